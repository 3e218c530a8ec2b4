#include "platform/engine/aliases.h"

#include "tests/engine/backend.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
    ScopedEnv credentials_{"HISDB_CREDENTIALS", (dir_.Path() + "/secret/credentials.ini").c_str()};
    ScopedEnv config_{"XDG_CONFIG_HOME", (dir_.Path() + "/config").c_str()};
    ScopedEnv data_{"XDG_DATA_HOME", (dir_.Path() + "/data").c_str()};
};

TEST_F(AliasTest, WithoutAnyFileHisIsTheEmbeddedDatabase)
{
    EXPECT_EQ(hisdb::AliasFilePath(), "");
    EXPECT_EQ(hisdb::LookUpAliasFile().read, "");
    EXPECT_EQ(hisdb::LookUpAliasFile().tried.size(), 3u);
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
    using Tried = std::vector<std::pair<std::string, bool>>;
    const std::string config = dir_.Path() + "/config/hisdb/aliases.ini";
    hisdb::AliasLookup lookup = hisdb::LookUpAliasFile();
    EXPECT_EQ(lookup.tried, (Tried{{"", false}, {config, true}, {"/etc/hisdb/aliases.ini", false}}));
    EXPECT_EQ(lookup.read, config);
    {
        ScopedEnv chosen("HISDB_ALIASES", (dir_.Path() + "/explicit.ini").c_str());
        lookup = hisdb::LookUpAliasFile();
        EXPECT_EQ(lookup.tried, (Tried{{dir_.Path() + "/explicit.ini", true}, {config, true}, {"/etc/hisdb/aliases.ini", false}}));
        EXPECT_EQ(lookup.read, dir_.Path() + "/explicit.ini");
    }
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
        lookup = hisdb::LookUpAliasFile();
        EXPECT_EQ(lookup.tried.at(0), std::pair(dir_.Path() + "/missing.ini", false));
        EXPECT_EQ(lookup.read, config);
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
    EXPECT_EQ(his.AnswerTimeout(), std::chrono::seconds(60)) << "30 s beyond the default lock wait";
    dir_.Write("b.ini", "[HIS]\ndriver=odbc\nconnect=DSN=x\nlock_timeout=50\n[BOUND]\ndriver=odbc\nconnect=DSN=x\n"
                        "lock_timeout=5\nanswer_timeout=7\n[ZERO]\ndriver=odbc\nconnect=DSN=x\nanswer_timeout=0\n");
    ScopedEnv other("HISDB_ALIASES", (dir_.Path() + "/b.ini").c_str());
    EXPECT_EQ(hisdb::FindAlias("HIS").AnswerTimeout(), std::chrono::seconds(80));
    EXPECT_EQ(hisdb::FindAlias("BOUND").AnswerTimeout(), std::chrono::seconds(7));
    EXPECT_THROW((void)hisdb::FindAlias("ZERO"), EngineError) << "a wait without bound is not an option";
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

// A login inside the connection string would be appended to by the
// module's, and which one wins depends on the driver.
TEST_F(AliasTest, AConnectionStringNamingALoginIsRefused)
{
    for (const char* connect : {"Driver={X};UID=a", "Driver={X}; pwd = b;Server=s", "Driver=X;User=a",
                                "Driver=X;USERNAME=a", "Driver=X;Password={x;y}", "uid=a;Driver=X",
                                "Driver=X;pqopt={sslmode=require user=x}", "Driver=X;PQOPT={ password=y}"}) {
        SCOPED_TRACE(connect);
        dir_.Write("a.ini", std::string("[HIS]\ndriver=odbc\nconnect=") + connect + "\n");
        ScopedEnv chosen("HISDB_ALIASES", (dir_.Path() + "/a.ini").c_str());
        try {
            (void)hisdb::FindAlias("HIS");
            ADD_FAILURE() << "accepted";
        } catch (const EngineError& e) {
            EXPECT_NE(e.Description().find("names a login"), std::string::npos) << e.what();
            EXPECT_NE(AllTexts(e).find(dir_.Path() + "/a.ini"), std::string::npos) << e.what();
        }
        EXPECT_THROW((void)hisdb::Connect("HIS", "spemr", "kvrt3816#"), EngineError);
    }
    for (const char* connect : {"Driver={X;UID=y}", "Driver=X;Database=uid", "Driver=X;UIDX=1;PWDS=2",
                                "Driver=X;pqopt={application_name=user sslmode=require}", "Driver=X;Server=user"}) {
        SCOPED_TRACE(connect);
        dir_.Write("a.ini", std::string("[HIS]\ndriver=odbc\nconnect=") + connect + "\n");
        ScopedEnv chosen("HISDB_ALIASES", (dir_.Path() + "/a.ini").c_str());
        EXPECT_EQ(hisdb::FindAlias("HIS").connect, connect);
    }
}

// The administrator's credentials file replaces the module's login for its
// alias; the SQLite alias here accepts only the replaced one.
class CredentialsTest : public AliasTest {
protected:
    void SetUp() override
    {
        AliasTest::SetUp();
        CreateSqliteFile(dir_.Path() + "/his.db");
        dir_.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + dir_.Path() + "/his.db\nuser=ward_login\n"
                                      "password=n3w;secret\n[OTHER]\ndriver=sqlite\ndatabase=" + dir_.Path()
                                      + "/his.db\nuser=spemr\npassword=kvrt3816#\n");
        std::filesystem::create_directories(Folder());
        chmod(Folder().c_str(), 0750);
    }
    [[nodiscard]] std::string Folder() const { return dir_.Path() + "/secret"; }
    [[nodiscard]] std::string File() const { return Folder() + "/credentials.ini"; }
    void WriteFile(const std::string& text, mode_t mode) const
    {
        dir_.Write("secret/credentials.ini", text);
        chmod(File().c_str(), mode);
    }
    ScopedEnv chosen_{"HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str()};
    const std::string good_ = "; the hospital's login\n[his]\nuser = ward_login\npassword=n3w;secret\n";
};

TEST_F(CredentialsTest, ReplaceTheModulesLoginForTheirAliasOnly)
{
    EXPECT_EQ(hisdb::CredentialsFilePath(), File());
    EXPECT_EQ(hisdb::CredentialsFileFor("HIS"), "") << "no file yet";
    EXPECT_THROW((void)hisdb::Connect("HIS", "spemr", "kvrt3816#"), EngineError);
    for (mode_t mode : {0640, 0600, 0400, 0440}) {
        SCOPED_TRACE(mode);
        WriteFile(good_, mode);
        EXPECT_EQ(hisdb::CredentialsFileFor("HIS"), File());
        EXPECT_EQ(hisdb::CredentialsFileFor("OTHER"), "");
        const std::optional<hisdb::Credentials> login = hisdb::FindCredentials("HIS");
        ASSERT_TRUE(login.has_value());
        EXPECT_EQ(login->user, "ward_login");
        EXPECT_EQ(login->password, "n3w;secret");
        EXPECT_NE(hisdb::Connect("HIS", "spemr", "kvrt3816#"), nullptr);
        EXPECT_NE(hisdb::Connect("OTHER", "spemr", "kvrt3816#"), nullptr) << "OTHER keeps the module's login";
    }
    {
        ScopedEnv unset("HISDB_CREDENTIALS", nullptr);
        EXPECT_EQ(hisdb::CredentialsFilePath(), "/etc/hisdb/credentials.ini");
    }
    WriteFile("[HIS]\nuser=ward_login\n", 0600);
    try {
        (void)hisdb::Connect("HIS", "spemr", "kvrt3816#");
        FAIL() << "a section without a password was used";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("no password="), std::string::npos) << e.what();
    }
}

TEST_F(CredentialsTest, AFileOthersCouldReadOrChangeIsRefused)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* reason;
    };
    const std::string file = File();
    const std::string folder = Folder();
    const std::vector<Case> cases = {
        {"readable by others", [&] { WriteFile(good_, 0644); }, "mode is 0644"},
        {"writable by the group", [&] { WriteFile(good_, 0660); }, "mode is 0660"},
        {"executable", [&] { WriteFile(good_, 0740); }, "mode is 0740"},
        {"a symbolic link", [&] {
             WriteFile(good_, 0600);
             std::filesystem::rename(file, folder + "/real.ini");
             std::filesystem::create_symlink(folder + "/real.ini", file);
         }, "symbolic link"},
        {"a folder", [&] { std::filesystem::create_directory(file); }, "not a regular file"},
        {"in a folder anyone may write to", [&] {
             WriteFile(good_, 0600);
             chmod(folder.c_str(), 0777);
         }, "may be written by others"},
        {"owned by another user", [&] {
             WriteFile(good_, 0600);
             if (geteuid() != 0 || chown(file.c_str(), 65534, 65534) != 0) {
                 GTEST_SKIP() << "changing the owner needs root";
             }
         }, "owned by user id 65534"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        chmod(folder.c_str(), 0750);
        c.arrange();
        if (testing::Test::IsSkipped()) {
            continue;
        }
        for (int call = 0; call < 3; ++call) {
            try {
                if (call == 0) {
                    (void)hisdb::Connect("OTHER", "spemr", "kvrt3816#");
                } else if (call == 1) {
                    (void)hisdb::CredentialsFileFor("HIS");
                } else {
                    (void)hisdb::FindCredentials("HIS");
                }
                ADD_FAILURE() << "call " << call << " trusted the file";
            } catch (const EngineError& e) {
                EXPECT_NE(e.Description().find("is not trusted"), std::string::npos) << e.what();
                EXPECT_NE(AllTexts(e).find(c.reason), std::string::npos) << e.what();
            }
        }
    }
}

}  // namespace
}  // namespace enginetest
