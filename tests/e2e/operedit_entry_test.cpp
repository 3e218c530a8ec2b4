// The exported entry, called through the shared library as the EMR client
// calls it: argument checks, login failures, repeated calls, and the
// library's exports.
#include "entry/operedit.h"
#include "tests/e2e/library.h"
#include "platform/text/gbk.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>

#include <QDate>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace result = operedit_result;
using e2e::BinaryDir;
using e2e::Library;
using e2e::LibraryPath;
using testenv::Backend;

class OperEditEntry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib_.Loaded()) << dlerror() << " " << LibraryPath(); }
    Library lib_;
};

#ifndef HIS_SERVER_TESTS
TEST_F(OperEditEntry, NullArgumentsAreCheckedBeforeLengths)
{
    const std::string tooLong(11, 'x');
    EXPECT_STREQ(lib_.Call(nullptr, tooLong.c_str(), ""), result::kNullArgument);
    EXPECT_STREQ(lib_.Call("", nullptr, ""), result::kNullArgument);
    EXPECT_STREQ(lib_.Call("", "", nullptr), result::kNullArgument);
    EXPECT_STREQ(lib_.Call(nullptr, nullptr, nullptr), result::kNullArgument);
}

TEST_F(OperEditEntry, LengthLimitsInGbkBytes)
{
    // With no database behind HIS an accepted call ends at the login.
    testenv::TempDir dir;
    dir.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + dir.Path() + "/absent.db\n");
    testenv::ScopedEnv aliases("HISDB_ALIASES", (dir.Path() + "/aliases.ini").c_str());

    const std::string s8(8, 'a'), s9(9, 'a'), s10(10, 'b'), s11(11, 'b'), s30(30, 'c'), s31(31, 'c');
    EXPECT_STREQ(lib_.Call(s8.c_str(), s10.c_str(), s30.c_str()), result::kCannotConnect);
    EXPECT_STREQ(lib_.Call(s9.c_str(), s10.c_str(), s30.c_str()), result::kTooLong);
    EXPECT_STREQ(lib_.Call(s8.c_str(), s11.c_str(), s30.c_str()), result::kTooLong);
    EXPECT_STREQ(lib_.Call(s8.c_str(), s10.c_str(), s31.c_str()), result::kTooLong);
    // Chinese characters take two bytes each: four fill the applicant, fifteen the department name.
    EXPECT_STREQ(lib_.CallUtf8("张医生乙", "0301", "一二三四五六七八九十一二三四五"), result::kCannotConnect);
    EXPECT_STREQ(lib_.CallUtf8("张医生乙丙", "0301", "科"), result::kTooLong);
    EXPECT_STREQ(lib_.CallUtf8("张", "0301", "一二三四五六七八九十一二三四五六"), result::kTooLong);
    // The first failing check decides, before anything is created.
    EXPECT_STREQ(lib_.Call(s9.c_str(), nullptr, ""), result::kNullArgument);
}

TEST_F(OperEditEntry, FailedLoginsReturnTheConnectionTextWithoutABox)
{
    testenv::TempDir dir;
    const std::string absent = dir.Path() + "/absent.db";
    std::vector<std::string> aliasFiles = {
        "[HIS]\ndriver=sqlite\ndatabase=" + absent + "\n",                      // missing file
        "[OTHER]\ndriver=sqlite\ndatabase=" + absent + "\n",                    // no alias HIS
        "[HIS]\ndriver=odbc\nconnect=Driver={No Such Driver};Server=127.0.0.1\n",  // unknown target
    };
    uitest::Driver driver;
    driver.RefuseBoxes();  // the library draws its own boxes
    testenv::HisDatabase refusing(Backend::Sqlite);  // exists, but accepts another login
    aliasFiles.push_back("[HIS]\ndriver=sqlite\ndatabase=" + refusing.Dir() + "/his.db\nuser=someone\npassword=x\n");
    if (!testenv::PgConnect().empty()) {
        // The test cluster keeps a database whose login is refused to every role but its owner.
        std::string connect = testenv::PgConnect();
        if (const auto at = connect.find("Database=his"); at != std::string::npos) {
            connect.replace(at, 12, "Database=his_refused");
            aliasFiles.push_back("[HIS]\ndriver=odbc\nconnect=" + connect + "\n");
        }
    }

    for (const std::string& aliases : aliasFiles) {
        SCOPED_TRACE(aliases);
        dir.Write("aliases.ini", aliases);
        testenv::ScopedEnv env("HISDB_ALIASES", (dir.Path() + "/aliases.ini").c_str());
        const char* text = lib_.Call("doctor", "0301", "ward");
        EXPECT_STREQ(text, result::kCannotConnect);
        // Constant storage: still readable, unchanged, after later calls.
        lib_.Call(nullptr, "", "");
        EXPECT_EQ(std::string(text), std::string(result::kCannotConnect));
    }
    EXPECT_NE(access(absent.c_str(), F_OK), 0) << "a login never creates a database file";
    EXPECT_TRUE(driver.Boxes().empty());
}

#endif

// The library holds its own copy of every class, so its windows are found by
// their object names, not by their types.
void CloseListWindow(uitest::Driver& driver, QString* label = nullptr)
{
    driver.OnModalNamed(QStringLiteral("OperationApplyForm"), [label](QWidget* window) {
        if (label != nullptr) {
            *label = window->findChild<QLabel*>(QStringLiteral("LabelDept"))->text();
        }
        window->findChild<QAbstractButton*>(QStringLiteral("BtnClose"))->click();
    });
}

// A ward's day in one host: call after call, the editor opened and left on
// every third, leaves no file open and no server session behind.
TEST_F(OperEditEntry, CallAfterCallLeavesNoFileAndNoServerSessionBehind)
{
    testenv::HisDatabase db(Backend::HIS_TEST_BACKEND);
    if (!db.Available()) {
        GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
    }
    db.Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FDeptCode, FBedNo, FStatus) values (1, '"
            + QDate::currentDate().toString(Qt::ISODate).toStdString() + " 00:00:00', ' 9:30', '病人', '0301', '1', 0)");
    // The server's sessions of the module's login. A backend ends a moment
    // after its client has gone, so the count is read until it stops falling
    // (or, given `atMost`, until it is no more than that), for up to 3 s.
    const auto sessions = [&](int atMost = -1) {
        if (db.GetBackend() != Backend::Postgres) {
            return -1;
        }
        const auto count = [&] {
            return std::stoi(db.Scalar("select count(*) from pg_stat_activity where usename = '" + testenv::PgUser() + "'"));
        };
        int now = count();
        for (int wait = 0; wait < 60 && (atMost < 0 || now > atMost); ++wait) {
            usleep(50'000);
            const int next = count();
            if (atMost < 0 && next == now) {
                break;
            }
            now = next;
        }
        return now;
    };
    uitest::Driver driver;
    driver.RefuseBoxes();
    int editors = 0;
    const auto call = [&](int n) {
        if (n % 3 != 0) {
            CloseListWindow(driver);
        } else {
            driver.OnModalNamed(QStringLiteral("OperationApplyForm"), [](QWidget* window) {
                window->findChild<QAbstractButton*>(QStringLiteral("BtnModify"))->click();  // the editor's loop runs here
                window->findChild<QAbstractButton*>(QStringLiteral("BtnClose"))->click();
            });
            driver.OnModalNamed(QStringLiteral("OperationNewForm"), [&editors](QWidget* window) {
                ++editors;
                window->findChild<QAbstractButton*>(QStringLiteral("BtnClose"))->click();
            });
        }
        EXPECT_STREQ(lib_.CallUtf8("李医生", "0301", "普外科"), result::kEmpty);
    };
    for (int n = 0; n < 3; ++n) {
        call(n);
    }
    const int afterFirst = sessions();  // first: the query's own session is open from here on
    const int files = testenv::OpenFileCount();
    for (int n = 0; n < 30; ++n) {
        call(n);
    }
    EXPECT_EQ(driver.PendingSteps(), 0u);
    EXPECT_EQ(editors, 11);
    EXPECT_EQ(testenv::OpenFileCount(), files);
    EXPECT_LE(sessions(afterFirst), afterFirst);
    EXPECT_TRUE(driver.Boxes().empty());
}

#ifndef HIS_SERVER_TESTS
TEST_F(OperEditEntry, TwoCallsInARowEachLogInAfresh)
{
    testenv::HisDatabase db(Backend::Sqlite);
    uitest::Driver driver;
    driver.RefuseBoxes();
    QString first, second;
    CloseListWindow(driver, &first);
    CloseListWindow(driver, &second);
    EXPECT_STREQ(lib_.CallUtf8("李医生", "0301", "普外科"), result::kEmpty);
    EXPECT_STREQ(lib_.CallUtf8("", "", ""), result::kEmpty) << "empty texts pass the checks";
    EXPECT_EQ(driver.PendingSteps(), 0u) << "each call returns only after its list window was closed";
    EXPECT_EQ(first, QString::fromUtf8("申请科室: 普外科"));
    EXPECT_EQ(second, QString::fromUtf8("申请科室: "));
    // The database went away between calls: the next call reports it.
    std::remove((db.Dir() + "/his.db").c_str());
    EXPECT_STREQ(lib_.CallUtf8("李医生", "0301", "普外科"), result::kCannotConnect);
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_F(OperEditEntry, AListThatCannotBeReadEndsTheCallWithItsOwnTextAndLeavesNothingBehind)
{
    testenv::HisDatabase db(Backend::Sqlite);
    uitest::Driver driver;
    driver.RefuseBoxes();  // the library draws its own boxes: the driver's recorder never sees them
    db.Exec("alter table TOperationPlan rename to TOperationPlanAway");
    EXPECT_STREQ(lib_.CallUtf8("李医生", "0301", "普外科"), result::kFailed);
    EXPECT_TRUE(driver.Boxes().empty()) << "the entry shows no box of its own";

    // The next call starts afresh and shows its list.
    db.Exec("alter table TOperationPlanAway rename to TOperationPlan");
    CloseListWindow(driver);
    EXPECT_STREQ(lib_.CallUtf8("李医生", "0301", "普外科"), result::kEmpty);
    EXPECT_EQ(driver.PendingSteps(), 0u);
    EXPECT_TRUE(driver.Boxes().empty());
}

// The host calls operedit in a process of its own, where Qt has not started yet.
TEST(OperEditHost, AWindowSystemThatDoesNotAnswerIsReportedInsteadOfEndingTheHost)
{
    testenv::HisDatabase db(Backend::Sqlite);  // the login succeeds: only the display is missing
    int display = 150;
    while (display < 200 && access(("/tmp/.X11-unix/X" + std::to_string(display)).c_str(), F_OK) == 0) {
        ++display;
    }
    const std::string x = "DISPLAY=:" + std::to_string(display);
    // A Wayland desktop whose compositor is gone, with or without Qt's Wayland plugin installed.
    const std::string wayland = "XDG_RUNTIME_DIR=/tmp WAYLAND_DISPLAY=operedit-no-compositor";
    for (const std::string platform :
         {"-u QT_QPA_PLATFORM -u WAYLAND_DISPLAY " + x, "-u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " + x,
          "-u QT_QPA_PLATFORM -u XDG_SESSION_TYPE -u DISPLAY " + wayland,
          "-u QT_QPA_PLATFORM -u DISPLAY XDG_SESSION_TYPE=wayland " + wayland,
          "-u DISPLAY QT_QPA_PLATFORM=wayland " + wayland}) {
        SCOPED_TRACE(platform);
        const std::string run = "env " + platform + " '" + BinaryDir() + "/bin/emrhost' doctor 0301 ward 2>/dev/null";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(run.c_str(), "r"), pclose);
        ASSERT_TRUE(pipe);
        std::string output;
        char line[512];
        while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
            output += line;
        }
        const int status = pclose(pipe.release());
        ASSERT_TRUE(WIFEXITED(status)) << "the host ended abnormally";
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(output, gbk::ToUtf8(result::kNoDisplay) + "\n");
    }
}

TEST(OperEditLibrary, ExportsOnlyOperedit)
{
    const std::string command = "nm -D --defined-only '" + LibraryPath() + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::vector<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        symbols.push_back(text.substr(text.find_last_of(' ') + 1));
    }
    EXPECT_EQ(symbols, std::vector<std::string>{"operedit"});
}

#endif

}  // namespace
