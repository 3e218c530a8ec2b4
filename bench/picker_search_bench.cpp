// The code picker's search over a diagnosis dictionary of 100,000 rows
// (hisdb-seed --bulk), by the typed letter "K": the prefix search
// `where FInputCode like 'K%' ` and, with "anywhere" ticked, `like '%K%' `.
// Each is timed to the first screen of 20 rows, at three levels:
//
//   Bare        the client library alone: the sqlite3 C API (prepare, step 20
//               rows, finalize), or ODBC (SQLExecDirect, SQLFetch 20 rows,
//               close) through psqlODBC with the options the engine uses;
//   BareKeystroke  the keystroke's floor: a plain QLineEdit whose text change
//               runs the bare sqlite3 search for its text, timed as
//               PickerSearch is (SQLite, prefix);
//   QueryLayer  OpenQuerySQL on DMInteface->QDiag with a 20-row link on
//               DSQDiag, reading the fields of every row it shows (and
//               PrefixFresh: with a text the connection has not kept
//               compiled each time);
//   PickerSearch  TChoiceDiagForm (kind 1) shown, its box emptied (not
//               timed), then one key event carrying "K" sent to the box: the
//               key handled, the statement built, run, and the rows the list
//               shows read; the paint that follows is not timed;
//   Picker      the same keystroke up to the window painted: the events it
//               left (the box and the list repainting) processed as the
//               event loop does.
//
// SQLite always; PostgreSQL when OPEREDIT_PG_CONNECT names the test cluster
// (the rows then live in the schema picker_bench of its database, loaded on
// the first run and kept, so the tests' tables are left alone).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringList>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/DMIntefaceUnit.h"
#include "data/dataset/db_errors.h"
#include "data/tables.h"
#include "db/seed/generator.h"
#include "controls/datagrid.h"
#include "entry/commoninteface.h"
#include "pickers/ChoiceDiag.h"
#include "platform/ui/application.h"
#include "platform/ui/widgets.h"
#include "tests/support/test_env.h"

namespace {

constexpr long kRows = 100000;
constexpr int kScreen = 20;
const char* const kPgSchema = "picker_bench";

enum class Engine { Sqlite, Postgres };
enum class Search { Prefix, Anywhere };

std::string Statement(Search search)
{
    return std::string(tables::kDiagSelect) +
        (search == Search::Prefix ? "where FInputCode like 'K%' " : "where FInputCode like '%K%' ");
}

// The two bulk databases and a data module connected to each.
class BenchDatabases {
public:
    static BenchDatabases& Get()
    {
        static BenchDatabases databases;
        return databases;
    }

    [[nodiscard]] const std::string& SqliteFile() const { return sqliteFile_; }
    // The test cluster's connection string with the bench schema first on
    // the search path; empty when the cluster is not configured.
    [[nodiscard]] const std::string& PgConnect() const { return pgConnect_; }

    // The data module on `engine`, made the running one (DMInteface). Only
    // one lives at a time: queries find their connection by its database
    // name, "HISDb", which both would carry.
    TDMInteface& Module(Engine engine)
    {
        if (!module_ || moduleEngine_ != engine) {
            DMInteface = nullptr;
            module_.reset();
            testenv::ScopedEnv aliases("HISDB_ALIASES", AliasFile(engine).c_str());
            module_ = std::make_unique<TDMInteface>();
            module_->DatabaseHIS->Params().SetValues("USER NAME", testenv::PgUser());
            module_->DatabaseHIS->Params().SetValues("PASSWORD", testenv::PgPassword());
            module_->DatabaseHIS->Open();
            moduleEngine_ = engine;
        }
        DMInteface = module_.get();
        return *module_;
    }

    ~BenchDatabases() { DMInteface = nullptr; }

private:
    BenchDatabases()
    {
        std::ostringstream bulk;
        seed::WriteBulk(bulk, kRows, 1);
        sqliteFile_ = dir_.Path() + "/his.db";
        testenv::CreateSqliteFile(sqliteFile_, testenv::SourceFile("db/sqlite/schema.sql") + bulk.str());
        // The module's login leaves the file in write-ahead mode, and a read
        // in the old journal mode costs more (the first page read again, the
        // file locked and checked for each statement): the floors run on the
        // file as the module finds it, whichever runs first.
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(sqliteFile_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "bench_picker_search: cannot switch %s to write-ahead mode\n", sqliteFile_.c_str());
        }
        sqlite3_close(db);
        dir_.Write("sqlite.ini", "[HIS]\ndriver=sqlite\ndatabase=" + sqliteFile_ + "\n");
        if (!testenv::PgConnect().empty()) {
            pgConnect_ = testenv::PgConnect() + ";ConnSettings=set search_path to " + kPgSchema;
            dir_.Write("postgres.ini", "[HIS]\ndriver=odbc\nconnect=" + pgConnect_ + "\n");
            LoadPostgres(bulk.str());
        }
    }

    std::string AliasFile(Engine engine) const
    {
        return dir_.Path() + (engine == Engine::Sqlite ? "/sqlite.ini" : "/postgres.ini");
    }

    void LoadPostgres(const std::string& bulk)
    {
        testenv::ScopedEnv aliases("HISDB_ALIASES", AliasFile(Engine::Postgres).c_str());
        auto connection = hisdb::Connect("HIS", testenv::PgUser(), testenv::PgPassword());
        const auto exec = [&](const std::string& sql) {
            auto statement = connection->Prepare(sql);
            statement->Execute();
            if (statement->HasResult()) {
                while (statement->Fetch()) { }
            }
        };
        exec(std::string("create schema if not exists ") + kPgSchema);
        testenv::RunScript(*connection, testenv::SourceFile("db/postgres/schema.sql"));
        auto count = connection->Prepare("select count(*) from TDictDiagICD");
        count->Execute();
        const bool loaded = count->Fetch() && std::get<std::int64_t>(count->Get(0)) == kRows;
        count.reset();
        if (!loaded) {
            std::fprintf(stderr, "loading %ld rows per table into schema %s ...\n", kRows, kPgSchema);
            for (const char* table : {"TDictDiagICD", "TDictOperCM", "TEmployee"}) {
                exec(std::string("delete from ") + table);
            }
            testenv::RunScript(*connection, bulk);
        }
        for (const char* table : {"TDictDiagICD", "TDictOperCM", "TEmployee"}) {
            exec(std::string("analyze ") + table);
        }
    }

    testenv::TempDir dir_;
    std::string sqliteFile_;
    std::string pgConnect_;
    std::unique_ptr<TDMInteface> module_;
    Engine moduleEngine_ = Engine::Sqlite;
};

// --- Bare: the client libraries alone.

// The bench file through the bare sqlite3 API; none (the benchmark skipped) when it cannot be opened.
sqlite3* OpenBare(benchmark::State& state)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(BenchDatabases::Get().SqliteFile().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        state.SkipWithError("cannot open the bench database");
        return nullptr;
    }
    return db;
}

void BareSqlite(benchmark::State& state, Search search)
{
    sqlite3* db = OpenBare(state);
    if (db == nullptr) {
        return;
    }
    const std::string sql = Statement(search);
    std::int64_t rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
        for (int i = 0; i < kScreen && sqlite3_step(stmt) == SQLITE_ROW; ++i, ++rows) {
            for (int c = 0; c < 3; ++c) {
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
            }
        }
        sqlite3_finalize(stmt);
    }
    state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
    sqlite3_close(db);
}

std::basic_string<SQLWCHAR> Wide(const std::string& ascii)
{
    return {ascii.begin(), ascii.end()};
}

// One ODBC connection with its environment, freed in reverse order.
class OdbcConnection {
public:
    explicit OdbcConnection(const std::string& connect)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        SQLSetConnectAttrW(dbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0);
        auto text = Wide(connect);
        SQLWCHAR out[1024];
        SQLSMALLINT outLength = 0;
        const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), out,
                                               1024, &outLength, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            Free();
            throw std::runtime_error("SQLDriverConnect failed");
        }
        connected_ = true;
    }
    ~OdbcConnection() { Free(); }
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;
    [[nodiscard]] SQLHDBC Handle() const { return dbc_; }

private:
    void Free()
    {
        if (connected_) {
            SQLDisconnect(dbc_);
            connected_ = false;
        }
        if (dbc_ != SQL_NULL_HDBC) {
            SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
            dbc_ = SQL_NULL_HDBC;
        }
        if (env_ != SQL_NULL_HENV) {
            SQLFreeHandle(SQL_HANDLE_ENV, env_);
            env_ = SQL_NULL_HENV;
        }
    }
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
};

void BareOdbc(benchmark::State& state, Search search)
{
    // As the engine logs a reading session in: cursor fetching, read committed.
    OdbcConnection connection(BenchDatabases::Get().PgConnect() + ";UID=" + testenv::PgUser() + ";PWD={" +
                              testenv::PgPassword() + "};UseDeclareFetch=1;Fetch=50");
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, connection.Handle(), &stmt);
    auto sql = Wide(Statement(search));
    std::int64_t rows = 0;
    SQLWCHAR buffer[256];
    SQLLEN indicator = 0;
    for (auto _ : state) {
        if (!SQL_SUCCEEDED(SQLExecDirectW(stmt, sql.data(), static_cast<SQLINTEGER>(sql.size())))) {
            state.SkipWithError("SQLExecDirect failed");
            break;
        }
        for (int i = 0; i < kScreen && SQL_SUCCEEDED(SQLFetch(stmt)); ++i, ++rows) {
            for (SQLUSMALLINT c = 1; c <= 3; ++c) {
                SQLGetData(stmt, c, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
            }
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
}

// --- QueryLayer: the picker's routine on the data module.

// `fresh`: every search's text is one the connection has not kept compiled
// (the same search with 0 to 63 spaces after it, more texts than are kept),
// as a prefix typed for the first time is.
void QueryLayer(benchmark::State& state, Engine engine, Search search, bool fresh)
{
    TDMInteface& dm = BenchDatabases::Get().Module(engine);
    TDataLink list;
    list.SetDataSource(dm.DSQDiag);
    list.SetBufferCount(kScreen);
    std::vector<std::string> texts;
    for (int spaces = 0; spaces < (fresh ? 64 : 1); ++spaces) {
        texts.push_back(Statement(search) + std::string(static_cast<std::size_t>(spaces), ' '));
    }
    std::size_t next = 0;
    std::int64_t rows = 0;
    for (auto _ : state) {
        OpenQuerySQL(*dm.QDiag, texts[next]);
        next = (next + 1) % texts.size();
        const int shown = list.RecordCount();
        for (int i = 0; i < shown; ++i) {
            dataset::ActiveRecordGuard row(list, i);
            benchmark::DoNotOptimize(dm.QDiagFCode->AsString());
            benchmark::DoNotOptimize(dm.QDiagFName->AsString());
            benchmark::DoNotOptimize(dm.QDiagFInputCode->AsString());
        }
        rows += shown;
    }
    state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
    state.counters["rows_read"] = static_cast<double>(dm.QDiag->EngineFetchCount());
    dm.QDiag->Close();
}

// --- Picker: from the key "K" pressed in the input box to the list painted.

// Counts the paint events a widget receives, so a run proves the list was
// painted rather than timing a keystroke whose paint was left for later.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    [[nodiscard]] std::int64_t Count() const { return count_; }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++count_;
        }
        return false;
    }

private:
    std::int64_t count_ = 0;
};

void Picker(benchmark::State& state, Engine engine, Search search, bool paint)
{
    BenchDatabases::Get().Module(engine);
    TChoiceDiagForm picker;
    picker.Kind = 1;
    picker.CheckFlag->setChecked(search == Search::Anywhere);
    picker.show();
    QApplication::processEvents();
    const PaintCounter paints(picker.DBGrid2->viewport());
    std::int64_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        picker.EditInputCode->clear(); // an empty box searches nothing
        state.ResumeTiming();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("K"));
        QApplication::sendEvent(picker.EditInputCode, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_K, Qt::NoModifier, QStringLiteral("K"));
        QApplication::sendEvent(picker.EditInputCode, &release);
        if (!paint) {
            state.PauseTiming();
        }
        QApplication::processEvents();
        if (!paint) {
            state.ResumeTiming();
        }
        rows += picker.OKBtn->isEnabled() ? 1 : 0;
    }
    if (rows != state.iterations()) {
        state.SkipWithError("a search found nothing");
    }
    if (paints.Count() < state.iterations()) {
        state.SkipWithError("a keystroke left the list unpainted");
    }
    state.counters["paints"] = static_cast<double>(paints.Count()) / static_cast<double>(state.iterations());
    state.counters["rows_read"] = static_cast<double>(DMInteface->QDiag->EngineFetchCount());
    picker.hide();
}

// The keystroke's floor with bare Qt Widgets and the bare sqlite3 API: a
// plain line edit whose text change runs the same prefix search (prepare, the
// 16 rows the picker's list shows read as text, finalize), timed as Picker
// times the picker: the box emptied untimed, one key "K" sent, the paint that
// follows processed untimed.
void BareKeystroke(benchmark::State& state)
{
    sqlite3* db = OpenBare(state);
    if (db == nullptr) {
        return;
    }
    QWidget window;
    window.resize(600, 400);
    QLineEdit box(&window);
    std::int64_t rows = 0;
    QStringList shown;
    QObject::connect(&box, &QLineEdit::textChanged, [&](const QString& text) {
        if (text.isEmpty()) {
            return;
        }
        const std::string sql = std::string(tables::kDiagSelect) + "where FInputCode like '" + text.toStdString() + "%' ";
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
        shown.clear();
        for (int i = 0; i < 16 && sqlite3_step(stmt) == SQLITE_ROW; ++i, ++rows) {
            for (int c = 0; c < 3; ++c) {
                shown << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)));
            }
        }
        sqlite3_finalize(stmt);
    });
    window.show();
    box.setFocus();
    QApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        box.clear();
        state.ResumeTiming();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("K"));
        QApplication::sendEvent(&box, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_K, Qt::NoModifier, QStringLiteral("K"));
        QApplication::sendEvent(&box, &release);
        state.PauseTiming();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    if (rows != 16 * state.iterations()) {
        state.SkipWithError("a search found fewer rows than the picker shows");
    }
    sqlite3_close(db);
}

// The list repainted alone, with the rows of a prefix search: what the
// keystroke costs beyond the search.
void PickerPaint(benchmark::State& state)
{
    BenchDatabases::Get().Module(Engine::Sqlite);
    TChoiceDiagForm picker;
    picker.Kind = 1;
    picker.show();
    QApplication::processEvents();
    picker.EditInputCode->setText(QStringLiteral("K"));
    for (auto _ : state) {
        picker.DBGrid2->viewport()->repaint();
    }
    picker.hide();
}

void Register(const std::string& name, std::function<void(benchmark::State&)> run)
{
    benchmark::RegisterBenchmark(name.c_str(), [run = std::move(run)](benchmark::State& state) {
        run(state);
    })->Unit(benchmark::kMicrosecond);
}

void RegisterAll()
{
    for (const auto search : {Search::Prefix, Search::Anywhere}) {
        const std::string kind = search == Search::Prefix ? "Prefix" : "Anywhere";
        Register("Sqlite/Bare/" + kind, [search](benchmark::State& s) { BareSqlite(s, search); });
        if (search == Search::Prefix) {
            Register("Sqlite/BareKeystroke/Prefix", BareKeystroke);
        }
        Register("Sqlite/QueryLayer/" + kind,
                 [search](benchmark::State& s) { QueryLayer(s, Engine::Sqlite, search, false); });
        if (search == Search::Prefix) {
            Register("Sqlite/QueryLayer/PrefixFresh", [](benchmark::State& s) {
                QueryLayer(s, Engine::Sqlite, Search::Prefix, true);
            });
        }
        Register("Sqlite/PickerSearch/" + kind,
                 [search](benchmark::State& s) { Picker(s, Engine::Sqlite, search, false); });
        Register("Sqlite/Picker/" + kind, [search](benchmark::State& s) { Picker(s, Engine::Sqlite, search, true); });
    }
    Register("Sqlite/PickerPaintOnly", PickerPaint);
    if (testenv::PgConnect().empty()) {
        std::fprintf(stderr, "OPEREDIT_PG_CONNECT is not set: PostgreSQL is left out\n");
        return;
    }
    for (const auto search : {Search::Prefix, Search::Anywhere}) {
        const std::string kind = search == Search::Prefix ? "Prefix" : "Anywhere";
        Register("Postgres/Bare/" + kind, [search](benchmark::State& s) { BareOdbc(s, search); });
        Register("Postgres/QueryLayer/" + kind,
                 [search](benchmark::State& s) { QueryLayer(s, Engine::Postgres, search, false); });
        Register("Postgres/PickerSearch/" + kind,
                 [search](benchmark::State& s) { Picker(s, Engine::Postgres, search, false); });
        Register("Postgres/Picker/" + kind,
                 [search](benchmark::State& s) { Picker(s, Engine::Postgres, search, true); });
    }
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);
    static int qtArgc = 1;
    static char name[] = "bench_picker_search";
    static char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    ui::Application::Instance();
    dataset::SetErrorBoxHook([](const std::string& text) { std::fprintf(stderr, "error box: %s\n", text.c_str()); });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
