// emrhost --check as IT runs it on a workstation: a database that is ready,
// and each common fault with what the check prints for it.
#include "tests/e2e/library.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using testenv::Backend;
using e2e::BinaryDir;

struct Checked {
    int status = -1;
    std::string output;
};

// emrhost --check with the environment given before it (VAR=value ...).
Checked Check(const std::string& environment = "")
{
    const std::string run = "env " + environment + " '" + BinaryDir() + "/bin/emrhost' --check 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(run.c_str(), "r"), pclose);
    Checked checked;
    if (!pipe) {
        return checked;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        checked.output += line;
    }
    const int status = pclose(pipe.release());
    checked.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return checked;
}

bool Has(const Checked& checked, const std::string& text)
{
    return checked.output.find(text) != std::string::npos;
}

class CheckCommand : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<testenv::HisDatabase>(GetParam());
        if (!db_->Available()) {
            GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
        }
        db_->Exec("insert into TDictBloodTypeA (FNo, FName) values (1, 'A型')");
        db_->Exec("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values ('K35.900', '急性阑尾炎', 'JXLWY')");
    }
    bool Sqlite() const { return GetParam() == Backend::Sqlite; }
    std::string Aliases() const { return db_->Dir() + "/aliases.ini"; }
    // Another alias file, for one run of the check: its HISDB_ALIASES.
    std::string OtherAlias(const std::string& text) const
    {
        const std::string path = db_->Dir() + "/other-" + std::to_string(++others_) + ".ini";
        std::ofstream(path) << text;
        return "HISDB_ALIASES='" + path + "'";
    }

    std::unique_ptr<testenv::HisDatabase> db_;
    mutable int others_ = 0;
};

TEST_P(CheckCommand, AReadyDatabaseSaysWhatItReadAndWhatItFound)
{
    const Checked checked = Check();
    EXPECT_EQ(checked.status, 0) << checked.output;
    EXPECT_TRUE(Has(checked, "tried   " + Aliases() + "\n")) << checked.output;
    EXPECT_TRUE(Has(checked, "read    " + Aliases() + "\n")) << checked.output;
    EXPECT_TRUE(Has(checked, Sqlite() ? "driver  sqlite" : "driver  odbc")) << checked.output;
    EXPECT_TRUE(Has(checked, "login ok\n  server  " + std::string(Sqlite() ? "SQLite 3." : "PostgreSQL 15.")))
        << checked.output;
    EXPECT_TRUE(Has(checked, "counter TNextOperationPlanNo: 1 row, next number 1\n")) << checked.output;
    EXPECT_TRUE(Has(checked, "TDictDiagICD: 1 row\n")) << checked.output;
    EXPECT_TRUE(Has(checked, "TEmployee (FDeptCode, FName): present")) << checked.output;
    EXPECT_TRUE(Has(checked, "\nREADY\n")) << checked.output;
    EXPECT_FALSE(Has(checked, "kvrt3816#")) << "no password is printed";
}

TEST_P(CheckCommand, ACounterOfTwoRowsAndAMissingIndexAreNotReady)
{
    db_->Exec("insert into TNextOperationPlanNo (FNext) values (7)");
    const std::string index = Sqlite() ? "IX_TDictDiagICD_Name" : "ix_tdictdiagicd_name";
    db_->Exec("drop index " + index);
    if (!Sqlite()) {
        // A plain index on a CHAR column serves no prefix search there.
        db_->Exec("create index " + index + " on TDictDiagICD (FName)");
    }
    const Checked checked = Check();
    if (!Sqlite()) {
        db_->Exec("drop index " + index);
    }
    db_->Exec("delete from TNextOperationPlanNo where FNext = 7");
    db_->Exec(Sqlite() ? "create index IX_TDictDiagICD_Name on TDictDiagICD (FName)"
                       : "create index ix_tdictdiagicd_name on TDictDiagICD (FName bpchar_pattern_ops)");
    EXPECT_EQ(checked.status, 1) << checked.output;
    EXPECT_TRUE(Has(checked, "counter TNextOperationPlanNo: 2 rows (FAILED: it must hold exactly 1 row)"))
        << checked.output;
    EXPECT_TRUE(Has(checked, "TDictDiagICD (FName): MISSING, for the code picker by name")) << checked.output;
    EXPECT_TRUE(Has(checked, "TDictDiagICD (FInputCode): present")) << checked.output;
    EXPECT_TRUE(Has(checked, "NOT READY (2 problems)")) << checked.output;
    EXPECT_EQ(Check().status, 0) << "ready again";
}

TEST_P(CheckCommand, AFailedLoginPrintsTheEnginesErrorAndAHint)
{
    struct Case {
        const char* what;
        std::string environment;
        const char* hint;
    };
    std::vector<Case> cases;
    if (Sqlite()) {
        cases = {
            {"a missing file", OtherAlias("[HIS]\ndriver=sqlite\ndatabase=" + db_->Dir() + "/gone.db\n"),
             "the database file is missing"},
            {"a wrong password",
             OtherAlias("[HIS]\ndriver=sqlite\ndatabase=" + db_->Dir() + "/his.db\nuser=spemr\npassword=other\n"),
             "login refused"},
        };
    } else {
        std::string stopped = testenv::PgConnect();
        const std::size_t port = stopped.find("Port=");
        stopped = stopped.substr(0, port) + "Port=1" + stopped.substr(stopped.find(';', port));
        const std::string credentials = db_->Dir() + "/credentials.ini";
        std::ofstream(credentials) << "[HIS]\nuser=spemr\npassword=not-the-password\n";
        chmod(credentials.c_str(), 0600);
        cases = {
            {"a wrong password", "HISDB_CREDENTIALS='" + credentials + "'", "login refused"},
            {"a server that is not there", OtherAlias("[HIS]\ndriver=odbc\nconnect=" + stopped + "\n"),
             "the server cannot be reached"},
            {"a driver that is not installed",
             OtherAlias("[HIS]\ndriver=odbc\nconnect=Driver={No Such Driver};Server=127.0.0.1\n"),
             "the ODBC driver named in the connect string is not installed"},
        };
    }
    cases.push_back({"no alias HIS", OtherAlias("[OTHER]\ndriver=sqlite\n"), "the alias HIS is not defined"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Checked checked = Check(c.environment);
        EXPECT_EQ(checked.status, 1) << checked.output;
        EXPECT_TRUE(Has(checked, std::string("hint    ") + c.hint)) << checked.output;
        EXPECT_TRUE(Has(checked, "NOT READY")) << checked.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, CheckCommand, ::testing::Values(Backend::HIS_TEST_BACKEND),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace
