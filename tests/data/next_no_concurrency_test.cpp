// Several workstations take application numbers at the same moment: eight
// worker processes (next_no_worker) against one database, each taking 200
// numbers, with and without a list held half read meanwhile. Every number
// must be given once, and the counter must grow by exactly as many.
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

Worker Spawn(bool holdList)
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
    std::string path = NEXT_NO_WORKER;
    std::string count = std::to_string(kNumbersEach);
    std::string hold = "hold";
    std::vector<char*> argv{path.data(), count.data()};
    if (holdList) {
        argv.push_back(hold.data());
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
            workers.push_back(Spawn(holdList));
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

} // namespace
