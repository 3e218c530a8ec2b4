// The pickers' searches over dictionaries and a staff register of 100,000
// rows each (hisdb-seed --bulk), on SQLite (unit) or PostgreSQL (server):
// every prefix search the code and staff pickers run is answered through an
// index, and an anywhere search, which must scan, reads from its cursor only
// the rows the list shows.
#include "data/DMIntefaceUnit.h"

#include "data/dataset/dataset.h"
#include "data/tables.h"
#include "db/seed/generator.h"
#include "entry/commoninteface.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testenv::Backend;

constexpr Backend kBackend = Backend::HIS_TEST_BACKEND;
constexpr long kBulkRows = 100000;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

class PickerSearch : public ::testing::Test {
protected:
    // One bulk database for the whole suite: loading it is the slow part.
    static void SetUpTestSuite()
    {
        db_ = new testenv::HisDatabase(kBackend);
        if (!db_->Available()) {
            return;
        }
        if (kBackend == Backend::Postgres) {
            // The test cluster's database was made from the script when the
            // cluster started; load it again so that what is tested is the
            // script as it stands (it only adds what is missing).
            db_->RunScript(testenv::SourceFile("db/postgres/schema.sql"));
        }
        std::ostringstream bulk;
        seed::WriteBulk(bulk, kBulkRows, 7);
        db_->RunScript(bulk.str());
        if (kBackend == Backend::Postgres) {
            for (const char* table : {"TEmployee", "TDictDiagICD", "TDictOperCM"}) {
                db_->Exec(std::string("analyze ") + table);
            }
        }
    }
    static void TearDownTestSuite()
    {
        if (db_ != nullptr && db_->Available() && kBackend == Backend::Postgres) {
            for (const char* table : {"TEmployee", "TDictDiagICD", "TDictOperCM"}) {
                db_->Exec(std::string("delete from ") + table);
            }
        }
        delete db_;
        db_ = nullptr;
    }

    void SetUp() override
    {
        if (!db_->Available()) {
            GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
        }
    }

    // The plans of a statement as the engine sends it, one line per step.
    // psqlODBC reads a result through a cursor, `declare … cursor with hold
    // for <statement>`, which PostgreSQL plans for the first rows rather than
    // for all of them, so there both the statement and that cursor are planned.
    static std::vector<std::string> Plans(const std::string& sql)
    {
        const std::vector<std::string> explains = kBackend == Backend::Sqlite
            ? std::vector<std::string>{"EXPLAIN QUERY PLAN " + sql}
            : std::vector<std::string>{"EXPLAIN " + sql, "EXPLAIN declare c cursor with hold for " + sql};
        std::vector<std::string> plans;
        for (const auto& explain : explains) {
            auto statement = db_->Direct().Prepare(explain);
            statement->Execute();
            std::string plan;
            while (statement->Fetch()) {
                // SQLite: id, parent, notused, detail; PostgreSQL: one line of text.
                plan += std::get<std::string>(statement->Get(kBackend == Backend::Sqlite ? 3 : 0)) + "\n";
            }
            plans.push_back(explain + "\n" + plan);
        }
        return plans;
    }

    // True when the plan finds the rows through an index range on `column`,
    // the form a prefix LIKE takes when an index serves it.
    static bool SearchesIndexOn(const std::string& plan, const std::string& table, const std::string& column)
    {
        if (kBackend == Backend::Sqlite) {
            return plan.find("SEARCH " + table + " USING INDEX") != std::string::npos &&
                plan.find(column + ">? AND " + column + "<?") != std::string::npos;
        }
        return plan.find("Index Cond:") != std::string::npos &&
            plan.find(Lower(column) + " ~>=~ '") != std::string::npos &&
            plan.find(Lower(column) + " ~<~ '") != std::string::npos;
    }

    static testenv::HisDatabase* db_;
};

testenv::HisDatabase* PickerSearch::db_ = nullptr;

TEST_F(PickerSearch, EveryPrefixSearchOfTheCodePickerIsAnIndexSearch)
{
    struct Search {
        std::string_view select;
        std::string table;
        std::string column;
        std::string prefix;
    };
    const std::vector<Search> searches = {
        {tables::kDiagSelect, "TDictDiagICD", "FDiagCode", "K12"},
        {tables::kDiagSelect, "TDictDiagICD", "FName", "阑尾"},
        {tables::kDiagSelect, "TDictDiagICD", "FInputCode", "LW"},
        {tables::kOperSelect, "TDictOperCM", "FOperCode", "47.01"},
        {tables::kOperSelect, "TDictOperCM", "FName", "阑尾"},
        {tables::kOperSelect, "TDictOperCM", "FInputCode", "LW"},
    };
    for (const auto& s : searches) {
        const std::string sql = std::string(s.select) + "where " + s.column + " like '" + s.prefix + "%' ";
        for (const auto& plan : Plans(sql)) {
            EXPECT_TRUE(SearchesIndexOn(plan, s.table, s.column)) << plan;
        }
    }
}

TEST_F(PickerSearch, EveryPrefixSearchOfTheStaffPickerIsAnIndexSearchWithOrWithoutLimits)
{
    const std::string select(tables::kEmployeeSelect);
    for (const auto& [column, prefix] : {std::pair<std::string, std::string>{"FInputCode", "ZW"},
                                         {"FInputCode", "Z"},
                                         {"FName", "张"},
                                         {"FName", "张伟"}}) {
        for (const std::string limits :
             {"", " and FDeptCode='0301' ", " and FJob='医生' ", " and FDeptCode='0301'  and FJob='医生' "}) {
            // A single letter across the whole hospital matches a tenth of
            // the register; scanning is then the right plan for every server.
            if (prefix.size() == 1 && limits.find("FDeptCode") == std::string::npos) {
                continue;
            }
            const std::string sql = select + "where " + column + " like '" + prefix + "%' " + limits;
            for (const auto& plan : Plans(sql)) {
                EXPECT_TRUE(SearchesIndexOn(plan, "TEmployee", column)) << plan;
            }
        }
    }
}

// The anywhere search reads the dictionary from its start until the list is
// full: however many rows match, the cursor gives only about a screen.
TEST_F(PickerSearch, AnAnywhereSearchReadsOnlyTheRowsTheListShows)
{
    TDMInteface dm;
    dm.DatabaseHIS->Params().SetValues("USER NAME", "spemr");
    dm.DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
    dm.DatabaseHIS->Open();
    TDataLink list;
    list.SetDataSource(dm.DSQDiag);
    list.SetBufferCount(20);

    OpenQuerySQL(*dm.QDiag, std::string(tables::kDiagSelect) + "where FName like '%阑尾%' ");
    EXPECT_EQ(list.RecordCount(), 20);
    EXPECT_LE(dm.QDiag->EngineFetchCount(), 21);
    EXPECT_NE(dm.QDiagFName->AsString().find("阑尾"), std::string::npos);

    // Typing on: the next statement again reads a screen, not what the
    // previous one left unread.
    OpenQuerySQL(*dm.QDiag, std::string(tables::kDiagSelect) + "where FInputCode like '%LW%' ");
    EXPECT_EQ(list.RecordCount(), 20);
    EXPECT_LE(dm.QDiag->EngineFetchCount(), 21);
    EXPECT_EQ(dm.QDiag->RecordCount(), -1); // the rest is left on the cursor
    dm.QDiag->Close();
}

} // namespace
