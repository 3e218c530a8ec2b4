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
    // A table name unique to this test; the table is dropped afterwards.
    [[nodiscard]] std::string NewTable(const std::string& columns);
    std::int64_t Exec(const std::string& sql, std::initializer_list<hisdb::Value> params = {});
    [[nodiscard]] std::vector<std::vector<hisdb::Value>> Rows(const std::string& sql,
                                                              std::initializer_list<hisdb::Value> params = {});

    bool IsPostgres() const { return GetParam() == Backend::Postgres; }

    TempDir dir_;
    std::unique_ptr<ScopedEnv> aliases_;
    std::unique_ptr<hisdb::Connection> db_;
    std::vector<std::string> tables_;
};

}  // namespace enginetest
