#include "platform/engine/aliases.h"

#include "tests/engine/backend.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace enginetest {
namespace {

using hisdb::EngineError;

// Every case starts with no alias file in the user's places; /etc is the
// machine's and only checked when it holds none.
class AliasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::filesystem::exists("/etc/hisdb/aliases.ini")) {
            GTEST_SKIP() << "/etc/hisdb/aliases.ini exists on this machine";
        }
    }
    TempDir dir_;
    ScopedEnv aliases_{"HISDB_ALIASES", nullptr};
    ScopedEnv config_{"XDG_CONFIG_HOME", (dir_.Path() + "/config").c_str()};
    ScopedEnv data_{"XDG_DATA_HOME", (dir_.Path() + "/data").c_str()};
};

TEST_F(AliasTest, WithoutAnyFileHisIsTheEmbeddedDatabase)
{
    EXPECT_EQ(hisdb::AliasFilePath(), "");
    const hisdb::Alias his = hisdb::FindAlias("HIS");
    EXPECT_EQ(his.driver, "sqlite");
    EXPECT_EQ(his.database, dir_.Path() + "/data/hisdb/his.db");
    EXPECT_FALSE(his.user.has_value());
    EXPECT_THROW((void)hisdb::FindAlias("OTHER"), EngineError);

    ScopedEnv noXdg("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", dir_.Path().c_str());
    EXPECT_EQ(hisdb::FindAlias("HIS").database, dir_.Path() + "/.local/share/hisdb/his.db");
}

TEST_F(AliasTest, FileIsLookedUpInOrder)
{
    dir_.Write("config/hisdb/aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=/from/config.db\n");
    dir_.Write("explicit.ini", "[HIS]\ndriver=odbc\nconnect=Driver={X};Server=y\n");
    EXPECT_EQ(hisdb::FindAlias("HIS").database, "/from/config.db");
    {
        ScopedEnv chosen("HISDB_ALIASES", (dir_.Path() + "/explicit.ini").c_str());
        const hisdb::Alias his = hisdb::FindAlias("his");
        EXPECT_EQ(his.driver, "odbc");
        EXPECT_EQ(his.connect, "Driver={X};Server=y");
        EXPECT_EQ(his.source, dir_.Path() + "/explicit.ini");
    }
    {
        // A named file that does not exist passes on to the next place.
        ScopedEnv missing("HISDB_ALIASES", (dir_.Path() + "/missing.ini").c_str());
        EXPECT_EQ(hisdb::FindAlias("HIS").database, "/from/config.db");
    }
    ScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", dir_.Path().c_str());
    dir_.Write(".config/hisdb/aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=/from/home.db\n");
    EXPECT_EQ(hisdb::FindAlias("HIS").database, "/from/home.db");
}

TEST_F(AliasTest, ReadsItsOwnSectionOnly)
{
    dir_.Write("a.ini",
               "; comment\n[OTHER]\ndriver=odbc\nuser=x\n\n[ HIS ]\r\n  Driver = SQLite \r\ndatabase=/d/his.db\n"
               "# comment\nuser=spemr\npassword=kvrt3816#\n[LAST]\ndatabase=/d/last.db\n");
    ScopedEnv chosen("HISDB_ALIASES", (dir_.Path() + "/a.ini").c_str());
    const hisdb::Alias his = hisdb::FindAlias("HIS");
    EXPECT_EQ(his.driver, "sqlite");
    EXPECT_EQ(his.database, "/d/his.db");
    EXPECT_EQ(his.user, "spemr");
    EXPECT_EQ(his.password, "kvrt3816#");
    // With a file, HIS is not built in any more.
    EXPECT_THROW((void)hisdb::FindAlias("MISSING"), EngineError);
}

TEST_F(AliasTest, MissingSqliteFileIsAFailedLoginAndIsNotCreated)
{
    const std::string file = dir_.Path() + "/data/hisdb/his.db";
    EXPECT_THROW((void)hisdb::Connect("HIS", "spemr", "x"), EngineError);
    EXPECT_FALSE(std::filesystem::exists(file));

    std::filesystem::create_directories(dir_.Path() + "/data/hisdb");
    EXPECT_THROW((void)hisdb::Connect("HIS", "spemr", "x"), EngineError);
    EXPECT_FALSE(std::filesystem::exists(file));

    CreateSqliteFile(file);
    auto db = hisdb::Connect("HIS", "anyone", "");  // no login named: any is accepted
    EXPECT_EQ(db->DriverName(), "sqlite");
}

TEST_F(AliasTest, FileThatIsNoDatabaseFailsAtLogin)
{
    dir_.Write("data/hisdb/his.db", "this is not a database file, it is text of some length.......\n");
    EXPECT_THROW((void)hisdb::Connect("HIS", "", ""), EngineError);
}

}  // namespace
}  // namespace enginetest
