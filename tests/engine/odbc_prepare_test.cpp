// The ODBC driver of the engine over a driver of the tests
// (refusing_odbc_driver.cpp). A statement whose prepare failed is not kept,
// so each later run prepares again and reports the driver's own error, never
// a sequence error from a handle that was never prepared. The dialect is
// chosen by what the driver answers after login, and what is sent to SQL
// Server leaves ANSI_NULLS alone. The watchdog that bounds a wait for the
// server ends a blocked read in time, and only the socket it watched.
#include "platform/engine/watchdog.h"
#include "tests/engine/backend.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using enginetest::AllTexts;
using enginetest::ScopedEnv;
using enginetest::TempDir;
using hisdb::EngineError;
using hisdb::Value;

// A read that no answer ends is cut off at its bound; a watch ended in time
// leaves its socket as it was; a new socket is told apart from the others.
TEST(Watchdog, EndsABlockedReadAtItsBoundAndTouchesNothingElse)
{
    using hisdb::detail::Watchdog;
    int silent[2];
    int answered[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, silent), 0);
    const auto before = hisdb::detail::OpenSockets();
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, answered), 0);
    EXPECT_EQ(hisdb::detail::NewSocket(before, hisdb::detail::OpenSockets()), -1) << "two new sockets: none can be told";
    close(answered[1]);
    EXPECT_EQ(hisdb::detail::NewSocket(before, hisdb::detail::OpenSockets()), answered[0]);

    const timeval limit{5, 0};  // a watchdog that never fires fails the case instead of hanging it
    setsockopt(silent[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t watch = Watchdog::Arm(silent[0], std::chrono::milliseconds(200));
    char byte = 0;
    EXPECT_EQ(read(silent[0], &byte, 1), 0) << "the shut-down socket ends the read";
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(Watchdog::Fired(watch));
    EXPECT_TRUE(Watchdog::Disarm(watch));
    EXPECT_GE(waited, std::chrono::milliseconds(190));
    EXPECT_LT(waited, std::chrono::seconds(5));

    int kept[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, kept), 0);
    const std::uint64_t early = Watchdog::Arm(kept[0], std::chrono::milliseconds(100));
    EXPECT_FALSE(Watchdog::Disarm(early));
    usleep(250'000);
    ASSERT_EQ(write(kept[1], "x", 1), 1);
    EXPECT_EQ(read(kept[0], &byte, 1), 1) << "a watch disarmed in time never fires";
    for (int fd : {silent[0], silent[1], answered[0], kept[0], kept[1]}) {
        close(fd);
    }
}

TEST(OdbcPrepare, ARefusedPrepareIsReportedAgainOnEveryRunAndNeverKept)
{
    TempDir dir;
    dir.Write("aliases.ini", std::string("[REFUSING]\ndriver=odbc\nconnect=Driver=") + REFUSING_ODBC_DRIVER + "\n");
    const ScopedEnv aliases("HISDB_ALIASES", (dir.Path() + "/aliases.ini").c_str());
    auto db = hisdb::Connect("REFUSING", "user", "password");

    // Prepared as written; with a null value the comparison is written
    // null-safe, and that text the driver refuses to prepare.
    auto update = db->Prepare("update TPlan set FStatus = 1 where FOperRoom = ?");
    update->Bind(0, Value(std::string("3")));
    update->Execute();
    EXPECT_EQ(update->RowsAffected(), 1);
    for (int run = 1; run <= 3; ++run) {
        update->Bind(0, Value());
        try {
            update->Execute();
            FAIL() << "run " << run << ": the refused statement ran";
        } catch (const EngineError& e) {
            const std::string texts = AllTexts(e);
            EXPECT_NE(texts.find("refused to prepare"), std::string::npos) << "run " << run << ": " << texts;
            EXPECT_EQ(texts.find("sequence"), std::string::npos) << "run " << run << ": " << texts;
        }
    }
    update->Bind(0, Value(std::string("3")));
    update->Execute();
    EXPECT_EQ(update->RowsAffected(), 1) << "the statement still runs as written";
}

// What the engine sends, read from the test driver's log.
class OdbcDialect : public ::testing::Test {
protected:
    // Logs in through an alias with `connect`, the driver answering `dbms`.
    std::unique_ptr<hisdb::Connection> LogIn(const std::string& connect, const char* dbms, const char* version = "9.9")
    {
        dir_.Write("aliases.ini", "[HIS]\ndriver=odbc\nconnect=" + connect + "\n");
        version_.reset();  // restored in the reverse order of setting
        dbms_.reset();
        dbms_ = std::make_unique<ScopedEnv>("REFUSING_ODBC_DBMS", dbms);
        version_ = std::make_unique<ScopedEnv>("REFUSING_ODBC_DBMS_VER", version);
        std::filesystem::remove(Log());
        return hisdb::Connect("HIS", "spemr", "kvrt3816#");
    }
    [[nodiscard]] std::string Log() const { return dir_.Path() + "/driver.log"; }
    [[nodiscard]] std::vector<std::string> Lines(const std::string& prefix) const
    {
        std::vector<std::string> lines;
        std::ifstream in(Log());
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with(prefix)) {
                lines.push_back(line.substr(prefix.size()));
            }
        }
        return lines;
    }
    [[nodiscard]] std::string All() const
    {
        std::ifstream in(Log());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempDir dir_;
    ScopedEnv aliases_{"HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str()};
    ScopedEnv log_{"REFUSING_ODBC_LOG", (dir_.Path() + "/driver.log").c_str()};
    std::unique_ptr<ScopedEnv> dbms_;
    std::unique_ptr<ScopedEnv> version_;
};

// SQL Server keeps ANSI_NULLS as it is set; a null value's comparison is sent
// as IS NULL and the other values are bound in order at the remaining markers.
TEST_F(OdbcDialect, SqlServerSessionsKeepAnsiNullsAndNullsAreMatchedWithIsNull)
{
    auto db = LogIn(std::string("Driver=") + REFUSING_ODBC_DRIVER, "Microsoft SQL Server", "16.00.4135");
    EXPECT_EQ(db->Server().dbmsName, "Microsoft SQL Server");
    EXPECT_EQ(db->Server().dbmsVersion, "16.00.4135");
    EXPECT_EQ(Lines("direct "), std::vector<std::string>{"SET LOCK_TIMEOUT 30000"});

    auto update = db->Prepare("update TOperationPlan with (NOLOCK) set FStatus = ? where FSerialNo = ? and FOperRoom = ? "
                              "and FDoctor = ?");
    ASSERT_EQ(update->ParamCount(), 4);
    update->Bind(0, std::int64_t{7});
    update->Bind(1, Value());
    update->Bind(2, std::int64_t{3});
    update->Bind(3, Value());
    std::filesystem::remove(Log());
    update->Execute();
    EXPECT_EQ(Lines("prepare "), std::vector<std::string>{"update TOperationPlan with (NOLOCK) set FStatus = ? "
                                                          "where FSerialNo  IS NULL and FOperRoom = ? and FDoctor  IS NULL"});
    EXPECT_EQ(Lines("bind "), (std::vector<std::string>{"1 7", "2 3"}));
    // A null in the SET list is a value to store, bound as null.
    update->Bind(0, Value());
    update->Bind(1, std::int64_t{12});
    std::filesystem::remove(Log());
    update->Execute();
    EXPECT_EQ(Lines("bind "), (std::vector<std::string>{"1 null", "2 12", "3 3"}));
    EXPECT_EQ(All().find("ANSI_NULLS"), std::string::npos) << All();
}

// The dialect follows what the driver says it reached, whatever words the
// connection string holds: a data source name gets PostgreSQL's settings, a
// string naming "postgres" on another server does not.
TEST_F(OdbcDialect, TheServerIsWhatTheDriverAnswersNotWhatTheStringSays)
{
    dir_.Write("odbc.ini", std::string("[HISDSN]\nDriver=") + REFUSING_ODBC_DRIVER + "\n");
    const ScopedEnv odbcIni("ODBCINI", (dir_.Path() + "/odbc.ini").c_str());
    struct Case {
        std::string connect;
        const char* dbms;
        bool cursor;             // reading sessions ask for cursor fetching
        const char* lockSetting; // the session's lock wait statement
        const char* nullForm;    // how a null value's comparison is sent
    };
    const std::string driver = std::string("Driver=") + REFUSING_ODBC_DRIVER;
    const Case cases[] = {
        {"DSN=HISDSN", "PostgreSQL", true, "SET lock_timeout = '30s'", "FBedNo  IS NOT DISTINCT FROM  ?"},
        {driver + ";Server=his-db", "PostgreSQL", true, "SET lock_timeout = '30s'", "FBedNo  IS NOT DISTINCT FROM  ?"},
        {driver + ";Server=postgres.example;Database=postgres", "Microsoft SQL Server", false,
         "SET LOCK_TIMEOUT 30000", "FBedNo  IS NULL"},
        {driver + ";Database=postgres_archive;Driver2=psqlodbcw.so", "Refusing", false, nullptr,
         "FBedNo  IS NOT DISTINCT FROM  ?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connect + " / " + c.dbms);
        auto db = LogIn(c.connect, c.dbms);
        EXPECT_EQ(db->Server().dbmsName, c.dbms);
        EXPECT_EQ(db->Server().dbmsVersion, "9.9");
        auto read = db->Prepare("select FName from TPat where FBedNo = ?");
        read->Bind(0, Value());
        try {
            read->Execute();
        } catch (const hisdb::EngineError&) {
            // the test driver refuses IS NOT DISTINCT FROM; what was sent is logged
        }
        const std::vector<std::string> logins = Lines("connect ");
        ASSERT_FALSE(logins.empty());
        EXPECT_EQ(logins.front().find("UseDeclareFetch"), std::string::npos) << "the first login (writing)";
        bool cursor = false;
        for (const std::string& login : logins) {
            cursor = cursor || login.find("UseDeclareFetch=1;Fetch=50") != std::string::npos;
        }
        EXPECT_EQ(cursor, c.cursor) << All();
        const std::vector<std::string> direct = Lines("direct ");
        if (c.lockSetting == nullptr) {
            EXPECT_TRUE(direct.empty()) << All();
        } else {
            ASSERT_FALSE(direct.empty());
            EXPECT_EQ(direct.front(), c.lockSetting);
        }
        EXPECT_NE(All().find(std::string("prepare select FName from TPat where ") + c.nullForm), std::string::npos)
            << All();
    }
}

}  // namespace
