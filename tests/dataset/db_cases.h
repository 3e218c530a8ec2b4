// The query layer against a real engine: the same cases on a temporary
// SQLite file (label unit) and on the PostgreSQL test cluster (label server,
// skipped without OPEREDIT_PG_CONNECT). Each case works on tables of its own,
// named uniquely, shaped like the application table.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/dataset/database.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/query.h"
#include "tests/support/test_env.h"

namespace datasettest {

using testenv::Backend;

class DatasetDbTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    void TearDown() override;

    [[nodiscard]] bool IsPostgres() const { return GetParam() == Backend::Postgres; }
    // Runs a statement on a connection of its own; returns the rows affected.
    std::int64_t Exec(const std::string& sql);
    // The first column of the first row as text ("" for null or no row).
    [[nodiscard]] std::string Scalar(const std::string& sql);
    // The first column of every row, in order.
    [[nodiscard]] std::vector<std::string> Column(const std::string& sql);
    // Creates a table shaped like the application table; returns its name.
    std::string CreatePlanTable();
    // A table of the case (as the owner on PostgreSQL, with the test login's rights on it).
    void CreateTable(const std::string& table, const std::string& columns);
    // Creates a table (FSeq numbered by the engine in order of insertion,
    // FWhat varchar(20)) for statements that log what they were given.
    std::string CreateLogTable();
    void InsertPlan(const std::string& table, int serial, const std::string& room, const std::string& name);

    // The application query as the data module sets it up, on `table`.
    struct Plan {
        TQuery* query = nullptr;
        TUpdateSQL* update = nullptr;
        TDataSource* source = nullptr;
        TAutoIncField* serial = nullptr;
        TDateTimeField* date = nullptr;
        TStringField* time = nullptr;
        TStringField* room = nullptr;
        TStringField* name = nullptr;
        TBCDField* age = nullptr;
        TSmallintField* status = nullptr;
        TStringField* team = nullptr;  // calculated
    };
    Plan MakePlan(const std::string& table);
    // The application name of the sessions of the alias DSLOST (PostgreSQL).
    [[nodiscard]] static std::string LostAppName();

    std::unique_ptr<TComponent> module_;  // owns what the cases create, as the data module does
    TDatabase* database_ = nullptr;
    std::vector<std::string> boxes_;  // texts shown in the error box

private:
    testenv::TempDir dir_;
    std::unique_ptr<testenv::ScopedEnv> aliases_;
    std::unique_ptr<hisdb::Connection> direct_;
    // PostgreSQL: the tables' owner, who makes and drops the cases' tables.
    std::unique_ptr<hisdb::Connection> admin_;
    std::vector<std::string> tables_;
    dataset::ErrorBoxHook previousHook_;
    bool ready_ = false;
};

}  // namespace datasettest
