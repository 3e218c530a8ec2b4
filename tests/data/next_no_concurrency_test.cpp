// Workstations as processes of their own against one database.
// Several take application numbers at the same moment: eight worker
// processes (next_no_worker), each taking 200 numbers, with and without a
// list held half read meanwhile. Every number must be given once, and the
// counter must grow by exactly as many.
// A workstation killed inside a step (stopped_worker): what it committed
// stays, what it had not committed is gone, and the next workstation goes on
// without any repair.
#include "data/DMIntefaceUnit.h"

#include "data/dataset/locale_settings.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

using testenv::Backend;

constexpr int kWorkers = 8;
constexpr int kNumbersEach = 200;
constexpr int kFirst = 1000;

struct Worker {
    pid_t pid = -1;
    int output = -1; // read end of its standard output
};

Worker Spawn(std::string path, std::vector<std::string> args)
{
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::vector<char*> argv{path.data()};
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    Worker worker;
    const int rc = posix_spawn(&worker.pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start " + path);
    }
    worker.output = fds[0];
    return worker;
}

// Reads the worker's output to its end and waits for it; its exit status.
int Collect(const Worker& worker, std::vector<int>& numbers)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(worker.output, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(worker.output);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        numbers.push_back(std::stoi(text.substr(pos, end - pos)));
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    int status = 0;
    waitpid(worker.pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class NumberAllocation : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<testenv::HisDatabase>(GetParam());
        if (!db_->Available()) {
            GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
        }
        db_->Exec("update TNextOperationPlanNo set FNext = " + std::to_string(kFirst));
    }

    void Run(bool holdList)
    {
        std::vector<Worker> workers;
        for (int i = 0; i < kWorkers; ++i) {
            std::vector<std::string> args{std::to_string(kNumbersEach)};
            if (holdList) {
                args.emplace_back("hold");
            }
            workers.push_back(Spawn(NEXT_NO_WORKER, std::move(args)));
        }
        std::vector<int> numbers;
        for (const Worker& worker : workers) {
            EXPECT_EQ(Collect(worker, numbers), 0) << "a worker failed (its error is on standard error)";
        }
        constexpr int total = kWorkers * kNumbersEach;
        ASSERT_EQ(numbers.size(), static_cast<std::size_t>(total));
        const std::set<int> distinct(numbers.begin(), numbers.end());
        EXPECT_EQ(distinct.size(), numbers.size()) << "a number was given twice";
        EXPECT_EQ(*distinct.begin(), kFirst);
        EXPECT_EQ(*distinct.rbegin(), kFirst + total - 1);
        EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), std::to_string(kFirst + total));
    }

    std::unique_ptr<testenv::HisDatabase> db_;
};

TEST_P(NumberAllocation, EightWorkstationsAtOnceNeverShareANumber)
{
    Run(false);
}

TEST_P(NumberAllocation, EightWorkstationsEachHoldingAListHalfRead)
{
    // More rows than psqlODBC fetches at once, so each worker's cursor stays open.
    db_->Exec("insert into TOperationPlan (FSerialNo, FName) "
              "with recursive n(i) as (select 1 union all select i + 1 from n where i < 500) "
              "select i, '病人' from n");
    Run(true);
}

INSTANTIATE_TEST_SUITE_P(Backends, NumberAllocation, ::testing::Values(Backend::HIS_TEST_BACKEND),
                         [](const auto& info) { return testenv::BackendName(info.param); });

// Reads what the worker prints until it reports "stopped" (true), ends, or a
// minute passes.
bool WaitUntilStopped(const Worker& worker, std::string& text)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (text.find("stopped\n") == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd ready{worker.output, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[256];
        const ssize_t n = read(worker.output, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

std::string Today()
{
    namespace loc = dataset::locale;
    return loc::FromDayNumber(loc::DayNumber(loc::Today())).ToIso().substr(0, 10);
}

// The next workstation after the kill: a fresh data module that takes a
// number and stores an application with it; the number.
int NextWorkstationStores()
{
    TDMInteface dm;
    dm.DatabaseHIS->Params().SetValues("USER NAME", testenv::PgUser());
    dm.DatabaseHIS->Params().SetValues("PASSWORD", testenv::PgPassword());
    dm.DatabaseHIS->Open();
    const int number = dm.NextOperationPlanNo();
    TQuery& plan = *dm.QOperationPlan;
    plan.SQL().Add("select * from TOperationPlan where FOperDate >= '" + Today() + "' and FDeptCode = '0301' ");
    plan.Open();
    plan.Last();
    plan.Append();
    dm.QOperationPlanFSerialNo->SetAsInteger(number);
    hisdb::DateTime day;
    hisdb::DateTime::FromIso(Today(), day);
    dm.QOperationPlanFOperDate->SetAsDateTime(day);
    for (TStringField* field :
         {dm.QOperationPlanFName, dm.QOperationPlanFDeptCode, dm.QOperationPlanFBedNo, dm.QOperationPlanFBloodType,
          dm.QOperationPlanFDiag, dm.QOperationPlanFDiagCode, dm.QOperationPlanFOper, dm.QOperationPlanFOperCode,
          dm.QOperationPlanFOperator, dm.QOperationPlanFAnaesthesia}) {
        field->SetAsString("0301");
    }
    dm.QOperationPlanFStatus->SetAsInteger(0);
    plan.ApplyUpdates();
    plan.CommitUpdates();
    EXPECT_FALSE(plan.UpdatesPending());
    plan.Close();
    dm.DatabaseHIS->Close();
    return number;
}

class KilledWorkstation : public ::testing::TestWithParam<Backend> { };

// The host dies (SIGKILL) inside each step of taking a number and of
// storing an application. The worker first takes number 100 and stores its
// application; what it was doing when killed must leave no trace.
TEST_P(KilledWorkstation, KilledInsideAStepLeavesWhatCommittedAndNothingElse)
{
    constexpr int kCounter = 100;
    constexpr int kOthers = 120; // applications of other patients: more than a server cursor fetches at once
    const struct {
        const char* step;
        int numbersTaken; // committed by the worker
        int rowsStored;
    } cases[] = {
        {"counter-read", 1, 1}, {"counter-increment", 1, 1},
        {"apply-insert", 2, 1}, {"apply-stored", 2, 2}, // the editor's apply stores each change as it goes
        {"list-reread", 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        testenv::HisDatabase db(GetParam());
        if (!db.Available()) {
            GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
        }
        const bool sqlite = GetParam() == Backend::Sqlite;
        {
            // On SQLite a connection of its own, closed again, so that the
            // killed worker is the only one to have the file open.
            auto own = sqlite ? hisdb::Connect("HIS", testenv::PgUser(), testenv::PgPassword()) : nullptr;
            hisdb::Connection& arrange = sqlite ? *own : db.Direct();
            testenv::ExecOn(arrange, "update TNextOperationPlanNo set FNext = " + std::to_string(kCounter));
            testenv::ExecOn(arrange,
                            "insert into TOperationPlan (FSerialNo, FOperDate, FDeptCode, FName) "
                            "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                                std::to_string(kOthers) + ") select 5000 + i, '" + Today() +
                                " 08:00:00', '0301', '病人' from n");
        }

        const Worker worker = Spawn(STOPPED_WORKER, {c.step, Today()});
        std::string text;
        const bool stopped = WaitUntilStopped(worker, text);
        kill(worker.pid, SIGKILL);
        int status = 0;
        waitpid(worker.pid, &status, 0);
        close(worker.output);
        ASSERT_TRUE(stopped) << "the worker did not reach the step; it printed:\n" << text;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_NE(text.find("stored 100\n"), std::string::npos) << text;

        const std::string file = db.Dir() + "/his.db";
        if (sqlite) {
            // What the worker committed is in the log it left behind, not yet in the file.
            std::error_code error;
            EXPECT_GT(std::filesystem::file_size(file + "-wal", error), 0u) << error.message();
        }
        const int next = NextWorkstationStores();
        EXPECT_EQ(next, kCounter + c.numbersTaken) << "the counter moved for a transaction that did not commit";
        EXPECT_EQ(db.Scalar("select FNext from TNextOperationPlanNo"), std::to_string(next + 1));
        EXPECT_EQ(db.Scalar("select count(*) from TNextOperationPlanNo"), "1");
        EXPECT_EQ(db.Scalar("select count(*) from TOperationPlan where FSerialNo < 5000"),
                  std::to_string(c.rowsStored + 1));
        EXPECT_EQ(db.Scalar("select count(*) from TOperationPlan where FSerialNo > 5000"), std::to_string(kOthers));
        EXPECT_EQ(db.Scalar("select count(*) from TOperationPlan where FSerialNo = 101"),
                  (c.rowsStored == 2 || next == 101) ? "1" : "0");
        // Every application is whole: each column the worker wrote is there.
        EXPECT_EQ(db.Scalar("select count(*) from TOperationPlan where FSerialNo < 5000 and (FName is null or "
                            "FDiag is null or FOperCode is null or FAnaesthesia is null or FEnterDate is null)"),
                  "0");
        EXPECT_EQ(db.Scalar("select FName from TOperationPlan where FSerialNo = 100"), "王秀英");
        if (sqlite) {
            EXPECT_EQ(db.Scalar("pragma integrity_check"), "ok");
            EXPECT_EQ(db.Scalar("pragma wal_checkpoint(TRUNCATE)"), "0")
                << "a reader of the killed worker still counts";
            std::error_code error;
            EXPECT_EQ(std::filesystem::file_size(file + "-wal", error), 0u) << "the log was not folded into the file";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, KilledWorkstation, ::testing::Values(Backend::HIS_TEST_BACKEND),
                         [](const auto& info) { return testenv::BackendName(info.param); });

} // namespace
