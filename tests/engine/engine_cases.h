// Database cases shared by the SQLite and the PostgreSQL test programs.
#pragma once

#include "tests/engine/backend.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

class EngineTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    [[nodiscard]] std::unique_ptr<hisdb::Connection> Login(const std::string& user, const std::string& password);
    // The test login through another alias of the test file: TESTDB_SHORT
    // (lock_timeout=1), TESTDB_ONE (max_active=1), TESTDB_NAMED (on
    // PostgreSQL its sessions carry the application name AppName();
    // lock_timeout=1, answer_timeout=2).
    // TESTDB_CURSOR (on PostgreSQL its string sets UseDeclareFetch itself).
    [[nodiscard]] std::unique_ptr<hisdb::Connection> LoginTo(const std::string& alias);
    [[nodiscard]] static std::string AppName();
    // A table name unique to this test; the table is dropped afterwards.
    [[nodiscard]] std::string NewTable(const std::string& columns);
    std::int64_t Exec(const std::string& sql, std::initializer_list<hisdb::Value> params = {});
    [[nodiscard]] std::vector<std::vector<hisdb::Value>> Rows(const std::string& sql,
                                                              std::initializer_list<hisdb::Value> params = {});

    bool IsPostgres() const { return GetParam() == Backend::Postgres; }

    TempDir dir_;
    std::unique_ptr<ScopedEnv> aliases_;
    std::unique_ptr<hisdb::Connection> db_;
    // PostgreSQL: the tables' owner, who makes and drops the cases' tables
    // (the test login has the module's rights only).
    std::unique_ptr<hisdb::Connection> admin_;
    std::vector<std::string> tables_;
};

// The day's list stays open on the connection, read only in part (10 of
// 1000 rows), while the user stores; `other_` stands for another workstation.
class OpenListTest : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::int64_t OtherExec(const std::string& sql);
    [[nodiscard]] hisdb::Value OtherCount(const std::string& where);
    // Reads the list to its end; the number of rows that were left.
    int RestOfList();

    std::string table_;
    std::unique_ptr<hisdb::Connection> other_;
    std::unique_ptr<hisdb::Statement> list_;
};

}  // namespace enginetest
