// The query layer on the embedded engine: opening a picker's prefix search
// over a dictionary of 100,000 rows (lazy reading: only the grid's window is
// read), and applying the cache of one new application.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "data/dataset/database.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/query.h"
#include "db/seed/generator.h"
#include "tests/support/test_env.h"

namespace {

class BenchDatabase {
public:
    BenchDatabase()
    {
        std::ostringstream bulk;
        seed::WriteBulk(bulk, 100000, 1);
        const std::string file = dir_.Path() + "/his.db";
        testenv::CreateSqliteFile(file, testenv::SourceFile("db/sqlite/schema.sql") + bulk.str());
        dir_.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + file + "\n");
        aliases_ = std::make_unique<testenv::ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
        database_ = new TDatabase(&module_);
        database_->SetAliasName("HIS");
        database_->SetDatabaseName("HISDb");
        database_->SetLoginPrompt(false);
        database_->Open();
    }

    TComponent& Module() { return module_; }

private:
    testenv::TempDir dir_;
    std::unique_ptr<testenv::ScopedEnv> aliases_;
    TComponent module_;
    TDatabase* database_ = nullptr;
};

BenchDatabase& Database()
{
    static BenchDatabase db;
    return db;
}

void BM_OpenPrefixSearch(benchmark::State& state)
{
    TComponent owner;
    auto* query = new TQuery(&owner);
    query->SetDatabaseName("HISDb");
    TDataSource source;
    source.SetDataSet(query);
    TDataLink grid;
    grid.SetBufferCount(20);
    grid.SetDataSource(&source);
    Database();
    const char* prefixes[] = {"a", "b", "c", "d", "e", "f", "g", "h"};
    std::size_t i = 0;
    for (auto _ : state) {
        // As the picker re-queries on each typed character.
        query->DisableControls();
        query->Close();
        query->SQL().Clear();
        query->SQL().Add(std::string("select FDiagCode as FCode,FName,FInputCode from TDictDiagICD where FInputCode like '") +
                         prefixes[i++ % std::size(prefixes)] + "%' ");
        query->Prepare();
        query->Open();
        query->EnableControls();
        benchmark::DoNotOptimize(grid.RecordCount());
    }
    state.counters["rows_read"] = static_cast<double>(query->EngineFetchCount());
}
BENCHMARK(BM_OpenPrefixSearch)->Unit(benchmark::kMicrosecond);

void BM_ApplyOneInsert(benchmark::State& state)
{
    TComponent owner;
    Database();
    auto* query = new TQuery(&owner);
    query->SetDatabaseName("HISDb");
    query->SetCachedUpdates(true);
    auto* update = new TUpdateSQL(&owner);
    query->SetUpdateObject(update);
    update->InsertSQL().Add("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FAge, FDeptCode, FUser, FStatus)");
    update->InsertSQL().Add("values (:FSerialNo, :FOperDate, :FTime, :FName, :FAge, :FDeptCode, :FUser, :FStatus)");
    query->SQL().Add("select * from TOperationPlan where FSerialNo < 0");
    query->Open();
    static int serial = 1000000;  // the benchmark runs this function more than once
    for (auto _ : state) {
        query->Append();
        query->FieldByName("FSerialNo")->SetAsInteger(++serial);
        query->FieldByName("FOperDate")->SetAsDateTime({2026, 5, 1, 0, 0, 0, 0});
        query->FieldByName("FTime")->SetAsString("10:30");
        query->FieldByName("FName")->SetAsString("张三");
        query->FieldByName("FAge")->SetAsFloat(35.645);
        query->FieldByName("FDeptCode")->SetAsString("0101");
        query->FieldByName("FUser")->SetAsString("doctor");
        query->FieldByName("FStatus")->SetAsInteger(0);
        query->Post();
        query->ApplyUpdates();
        query->CommitUpdates();
    }
}
BENCHMARK(BM_ApplyOneInsert)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);
    dataset::SetErrorBoxHook([](const std::string& text) { std::fprintf(stderr, "error box: %s\n", text.c_str()); });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
