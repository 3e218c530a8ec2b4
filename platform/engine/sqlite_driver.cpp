// The SQLite driver.
//
// Statements run as written after the dialect translation; dates are stored
// as text "YYYY-MM-DD HH:MM:SS.mmm" and decimals as numbers. Column types
// come from the declared types of the columns, or, for expressions, from the
// storage class of the first value (a later value with a fraction in such an
// integer column comes back as a float, never rounded).
//
// A connection keeps reading and writing apart. Statements that read rows
// run on a reading handle; the others run on a writing handle to the same
// file, opened on the first of them, in autocommit mode. An open result holds
// a read snapshot (a WAL read transaction) on its handle: a write on that
// handle would fail at once with SQLITE_BUSY_SNAPSHOT as soon as another
// process committed meanwhile, and a further read there would see only that
// snapshot. So each read starts on a reading handle with no open result (its
// snapshot is taken afresh, after every commit so far), and a further handle
// is opened when every one holds a result.
//
// A transaction (BEGIN IMMEDIATE, taking the file's write lock at once) runs
// on the writing handle, and until it ends every statement does, reads too.
//
// A finished statement is not thrown away: its prepared form goes back to the
// connection, reset and unbound, and the next statement of the same text on
// the same handle takes it instead of compiling the text again (the list's
// re-reads, the editor's lists and counter, a search typed again). At most 32
// are kept per connection, the least recently used going first; SQLite
// compiles a kept one again by itself when the schema has changed since.
#include "platform/engine/dialect.h"
#include "platform/engine/drivers.h"

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <utility>

namespace hisdb::detail {
namespace {

// The operating system's reason for a failure of the file itself ("No space
// left on device", "Read-only file system"), which SQLite's own text omits.
std::string SystemReason(sqlite3* db, int rc)
{
    switch (rc & 0xff) {
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY: break;
    default: return {};
    }
    const int error = db != nullptr ? sqlite3_system_errno(db) : 0;
    return error != 0 ? std::strerror(error) : std::string();
}

[[noreturn]] void Fail(sqlite3* db, int rc, std::string context = {})
{
    std::vector<std::string> messages;
    if (db != nullptr) {
        messages.emplace_back(sqlite3_errmsg(db));
        if (std::string reason = SystemReason(db, sqlite3_extended_errcode(db)); !reason.empty()) {
            messages.push_back(std::move(reason));
        }
    }
    if (!context.empty()) {
        messages.push_back(std::move(context));
    }
    throw EngineError(sqlite3_errstr(rc), db != nullptr ? sqlite3_extended_errcode(db) : rc, std::move(messages));
}

struct StmtCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtCloser>;

// Opens the file the way every handle of a connection is opened: read-write,
// never creating it, with the busy timeout and extended result codes. A
// handle is only ever used by the thread that opened it, so SQLite need not
// lock it around every call (NOMUTEX).
// SQLite quietly opens for reading only a file that the system will not let
// it write (mode, owner, a read-only file system); such a handle would read
// the day's list and then fail every store, so it fails here instead.
sqlite3* OpenHandle(const std::string& path, int busyMs)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::vector<std::string> messages{db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc)};
        if (std::string reason = SystemReason(db, rc); !reason.empty()) {
            messages.push_back(std::move(reason));
        }
        messages.push_back("Cannot open database file '" + path + "'");
        sqlite3_close_v2(db);
        throw EngineError(sqlite3_errstr(rc), rc, std::move(messages));
    }
    if (sqlite3_db_readonly(db, "main") == 1) {
        sqlite3_close_v2(db);
        throw EngineError("The database file cannot be written", SQLITE_READONLY,
                          {"'" + path + "' opens read-only: the file or its file system is write-protected"});
    }
    sqlite3_busy_timeout(db, busyMs);
    sqlite3_extended_result_codes(db, 1);
    return db;
}

// Several workstations share the file: with a write-ahead log an open result
// (a list being browsed) never keeps another one from storing. The switch
// needs the file to itself; while another program reads it in the old
// journal mode the mode stays as it was, and every store would then wait out
// the busy timeout. So the login waits as long as a lock wait may, then fails.
// Any other failure (the log cannot be created beside the file, the disk is
// full) will not pass by waiting: it fails the login at once.
void SwitchToWal(sqlite3* db, int busyMs, const std::string& path)
{
    std::string mode;
    int rc = SQLITE_OK;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyMs);
    for (;;) {
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(db, "pragma journal_mode=wal", -1, &stmt, nullptr);
        StmtPtr owned(stmt);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
        }
        if (rc == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            mode = text != nullptr ? text : "";
            if (mode == "wal") {
                return;
            }
        } else if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED) {
            Fail(db, rc, "Cannot switch '" + path + "' to write-ahead logging: its log '" + path
                             + "-wal' and index '" + path + "-shm' must be creatable and writable beside it");
        }
        if (std::chrono::steady_clock::now() >= until) {
            break;
        }
        sqlite3_sleep(50);
    }
    std::vector<std::string> messages;
    if (rc != SQLITE_ROW) {
        messages.emplace_back(sqlite3_errmsg(db));
    }
    messages.push_back("The journal mode of '" + path + "' stays '" + mode
                       + "': another program holds the file in the old journal mode");
    throw EngineError("Cannot switch the database file to write-ahead logging", SQLITE_BUSY, std::move(messages));
}

bool HasOpenResult(sqlite3* db)
{
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s != nullptr; s = sqlite3_next_stmt(db, s)) {
        if (sqlite3_stmt_busy(s)) {
            return true;
        }
    }
    return false;
}

// The handles of one connection.
class Handles {
public:
    Handles(std::string path, int busyMs, sqlite3* main) : path_(std::move(path)), busyMs_(busyMs)
    {
        readers_.push_back(main);
    }
    ~Handles()
    {
        for (Kept& kept : kept_) {
            sqlite3_finalize(kept.stmt);
        }
        for (sqlite3* reader : readers_) {
            sqlite3_close_v2(reader);
        }
        // Closing with a transaction open rolls it back.
        sqlite3_close_v2(writer_);
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    [[nodiscard]] sqlite3* Main() const { return readers_.front(); }

    // The handle for a read about to start: the writing one during a
    // transaction, else a reading one without an open result, opened when
    // every one holds a result.
    sqlite3* ForReading()
    {
        if (inTransaction_) {
            return writer_;
        }
        for (sqlite3* reader : readers_) {
            if (!HasOpenResult(reader)) {
                return reader;
            }
        }
        readers_.push_back(OpenHandle(path_, busyMs_));
        return readers_.back();
    }

    sqlite3* ForWriting()
    {
        if (writer_ == nullptr) {
            writer_ = OpenHandle(path_, busyMs_);  // the file is in WAL mode since the login
        }
        return writer_;
    }

    [[nodiscard]] bool InTransaction() const { return inTransaction_; }

    // A statement of this text prepared on `db` and put back by an earlier
    // user, or none. Taken out: a statement is only ever used by one user.
    sqlite3_stmt* TakeKept(sqlite3* db, std::string_view text)
    {
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (it->db == db && it->text == text) {
                sqlite3_stmt* stmt = it->stmt;
                kept_.erase(it);
                return stmt;
            }
        }
        return nullptr;
    }

    // Puts a finished statement back, reset and unbound, for the next
    // statement of the same text on the same handle; the least recently put
    // back goes when more than kKept are kept.
    void Keep(sqlite3* db, const std::string& text, sqlite3_stmt* stmt)
    {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        for (const Kept& kept : kept_) {
            if (kept.db == db && kept.text == text) {
                sqlite3_finalize(stmt);  // one of each is enough
                return;
            }
        }
        if (kept_.size() == kKept) {
            sqlite3_finalize(kept_.back().stmt);
            kept_.pop_back();
        }
        kept_.insert(kept_.begin(), Kept{db, text, stmt});
    }

    // BEGIN IMMEDIATE takes the write lock of the whole file (waiting up to
    // the busy timeout), so no other connection writes until it ends; the
    // table to lock is covered by that.
    void Begin()
    {
        if (inTransaction_) {
            throw EngineError("A transaction is already active", SQLITE_MISUSE);
        }
        Run(ForWriting(), "BEGIN IMMEDIATE");
        inTransaction_ = true;
    }

    void End(bool commit)
    {
        if (!inTransaction_) {
            throw EngineError("No transaction is active", SQLITE_MISUSE);
        }
        if (commit) {
            Run(writer_, "COMMIT"); // on failure the transaction stays open for a rollback
        } else if (sqlite3_get_autocommit(writer_) == 0) {
            Run(writer_, "ROLLBACK");
        }
        inTransaction_ = false;
    }

private:
    static void Run(sqlite3* db, const char* sql)
    {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            Fail(db, rc, sql);
        }
    }

    struct Kept {
        sqlite3* db;
        std::string text;
        sqlite3_stmt* stmt;
    };
    static constexpr std::size_t kKept = 32;

    std::string path_;
    int busyMs_;
    std::vector<sqlite3*> readers_;
    std::vector<Kept> kept_;  // most recently put back first
    sqlite3* writer_ = nullptr;
    bool inTransaction_ = false;
};

class SqliteStatement final : public Statement {
public:
    SqliteStatement(Handles& handles, std::string_view sql)
        : handles_(handles),
          parsed_(ParseStatement(sql, true)),
          reads_(ReturnsRows(parsed_.text)),
          dml_(IsDml(FirstKeyword(parsed_.text)))
    {
        db_ = reads_ ? handles_.ForReading() : handles_.ForWriting();
        current_ = Prepare(parsed_.text);
        values_.resize(static_cast<std::size_t>(sqlite3_bind_parameter_count(current_)));
    }

    ~SqliteStatement() override
    {
        for (auto& [key, prepared] : statements_) {
            try {
                handles_.Keep(key.first, prepared.text, prepared.stmt.get());
                prepared.stmt.release();
            } catch (const std::bad_alloc&) {
                // Not kept: the statement is finalized with the map.
            }
        }
    }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    int ParamCount() const override { return static_cast<int>(values_.size()); }

    void Bind(int index, const Value& value) override
    {
        if (index < 0 || index >= ParamCount()) {
            throw EngineError("Parameter index out of range", SQLITE_RANGE,
                              {"Parameter " + std::to_string(index) + " of " + std::to_string(ParamCount())});
        }
        values_[static_cast<std::size_t>(index)] = value;
    }

    void Execute() override
    {
        // Reset first: the statement's own earlier result no longer holds its handle.
        sqlite3_reset(current_);
        db_ = reads_ ? handles_.ForReading() : handles_.ForWriting();
        sqlite3_stmt* stmt = ForNullPattern();
        current_ = stmt;
        sqlite3_reset(stmt);
        hasResult_ = hasRow_ = pending_ = false;
        columns_.clear();
        affected_ = -1;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            BindValue(stmt, static_cast<int>(i) + 1, values_[i]);
        }
        int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            sqlite3_reset(stmt);
            Fail(db_, rc);
        }
        const int count = sqlite3_column_count(stmt);
        hasResult_ = count > 0;
        pending_ = rc == SQLITE_ROW;
        if (!hasResult_) {
            sqlite3_reset(stmt);
            if (dml_) {
                affected_ = sqlite3_changes(db_);
            }
        }
        DescribeColumns(count);
    }

    bool HasResult() const override { return hasResult_; }
    const std::vector<ColumnDesc>& Columns() const override { return columns_; }

    bool Fetch() override
    {
        if (!hasResult_) {
            return false;
        }
        if (pending_) {
            pending_ = false;
            hasRow_ = true;
            return true;
        }
        if (!hasRow_) {
            return false;  // already past the end
        }
        int rc = sqlite3_step(current_);
        if (rc == SQLITE_ROW) {
            return true;
        }
        hasRow_ = false;
        sqlite3_reset(current_);
        if (rc != SQLITE_DONE) {
            Fail(db_, rc);
        }
        return false;
    }

    Value Get(int index) const override
    {
        if (!hasRow_ || index < 0 || index >= static_cast<int>(columns_.size())) {
            throw EngineError("No such column in the current row", SQLITE_RANGE,
                              {"Column " + std::to_string(index) + " of " + std::to_string(columns_.size())});
        }
        sqlite3_stmt* s = current_;
        const int storage = sqlite3_column_type(s, index);
        if (storage == SQLITE_NULL) {
            return Null{};
        }
        const ColumnDesc& column = columns_[static_cast<std::size_t>(index)];
        switch (column.type) {
        case ColumnType::SmallInt:
        case ColumnType::Integer:
        case ColumnType::Word:
        case ColumnType::AutoInc:
        case ColumnType::LargeInt:
            if (storage == SQLITE_FLOAT) {
                // Another program's fraction (or a later row of an expression
                // typed by its first, whole, value) is passed on, not rounded.
                const double v = sqlite3_column_double(s, index);
                if (v != std::trunc(v) || !(std::fabs(v) < 9.2e18)) {
                    return v;
                }
                return static_cast<std::int64_t>(v);
            }
            return static_cast<std::int64_t>(sqlite3_column_int64(s, index));
        case ColumnType::Float:
        case ColumnType::Currency:
            return sqlite3_column_double(s, index);
        case ColumnType::BCD: return ReadDecimal(index, column.scale);
        case ColumnType::Date:
        case ColumnType::Time:
        case ColumnType::DateTime: return ReadDateTime(index, column.type);
        case ColumnType::FixedChar: {
            std::string_view text = Text(index);
            while (!text.empty() && text.back() == ' ') {
                text.remove_suffix(1);
            }
            return std::string(text);
        }
        case ColumnType::Blob: {
            const void* data = sqlite3_column_blob(s, index);
            return std::string(static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(s, index)));
        }
        case ColumnType::String:
        case ColumnType::Unknown: break;
        }
        return std::string(Text(index));
    }

    std::int64_t RowsAffected() const override { return affected_; }

private:
    static bool IsDml(const std::string& keyword)
    {
        return keyword == "INSERT" || keyword == "UPDATE" || keyword == "DELETE" || keyword == "REPLACE";
    }

    sqlite3_stmt* Prepare(const std::string& sql)
    {
        if (sqlite3_stmt* kept = handles_.TakeKept(db_, sql)) {
            statements_.emplace(std::pair{db_, patternKey_}, Prepared{StmtPtr(kept), sql});
            return kept;
        }
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size() + 1), SQLITE_PREPARE_PERSISTENT,
                                    &stmt, &tail);
        if (rc != SQLITE_OK) {
            Fail(db_, rc, sql);
        }
        if (stmt == nullptr) {
            throw EngineError("Empty statement", SQLITE_MISUSE, {sql});
        }
        StmtPtr owned(stmt);
        for (; tail != nullptr && *tail != '\0'; ++tail) {
            if (*tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n' && *tail != ';') {
                throw EngineError("Only one statement may be run at a time", SQLITE_MISUSE, {sql});
            }
        }
        statements_.emplace(std::pair{db_, patternKey_}, Prepared{std::move(owned), sql});
        return stmt;
    }

    // The prepared statement for the present pattern of null parameters at
    // the WHERE comparisons, prepared on first need and kept.
    sqlite3_stmt* ForNullPattern()
    {
        std::uint64_t mask = 0;
        for (std::size_t i = 0; i < parsed_.sites.size(); ++i) {
            if (IsNull(values_[static_cast<std::size_t>(parsed_.sites[i].param)])) {
                mask |= std::uint64_t{1} << i;
            }
        }
        auto found = statements_.find(std::pair{db_, mask});
        if (found != statements_.end()) {
            return found->second.stmt.get();
        }
        patternKey_ = mask;
        return Prepare(WithNullMatches(parsed_, mask, "IS"));
    }

    static void BindValue(sqlite3_stmt* stmt, int position, const Value& value)
    {
        struct Binder {
            sqlite3_stmt* stmt;
            int pos;
            int operator()(Null) const { return sqlite3_bind_null(stmt, pos); }
            int operator()(std::int64_t v) const { return sqlite3_bind_int64(stmt, pos, v); }
            int operator()(double v) const { return sqlite3_bind_double(stmt, pos, v); }
            int operator()(const Decimal& d) const
            {
                if (d.scale <= 0) {
                    std::int64_t v = d.unscaled;
                    for (int i = d.scale; i < 0; ++i) {
                        if (v > INT64_MAX / 10 || v < INT64_MIN / 10) {
                            return SQLITE_RANGE;
                        }
                        v *= 10;
                    }
                    return sqlite3_bind_int64(stmt, pos, v);
                }
                return sqlite3_bind_double(stmt, pos, d.ToDouble());
            }
            int operator()(const DateTime& t) const
            {
                std::string text = t.ToIso();
                return sqlite3_bind_text(stmt, pos, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
            }
            int operator()(const std::string& s) const
            {
                return sqlite3_bind_text(stmt, pos, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            }
        };
        int rc = std::visit(Binder{stmt, position}, value);
        if (rc != SQLITE_OK) {
            Fail(sqlite3_db_handle(stmt), rc);
        }
    }

    void DescribeColumns(int count)
    {
        columns_.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            ColumnDesc& c = columns_[static_cast<std::size_t>(i)];
            c.name = sqlite3_column_name(current_, i);
            c.width = c.scale = 0;
            const char* declared = sqlite3_column_decltype(current_, i);
            if (declared != nullptr) {
                DescribeDeclaredType(declared, c);
                continue;
            }
            switch (pending_ ? sqlite3_column_type(current_, i) : SQLITE_NULL) {
            case SQLITE_INTEGER: {
                sqlite3_int64 v = sqlite3_column_int64(current_, i);
                c.type = v >= INT32_MIN && v <= INT32_MAX ? ColumnType::Integer : ColumnType::LargeInt;
                break;
            }
            case SQLITE_FLOAT: c.type = ColumnType::Float; break;
            case SQLITE_BLOB: c.type = ColumnType::Blob; break;
            default: c.type = ColumnType::String; break;
            }
        }
    }

    std::string_view Text(int index) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(current_, index));
        return {data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(current_, index))};
    }

    Value ReadDecimal(int index, int scale) const
    {
        switch (sqlite3_column_type(current_, index)) {
        case SQLITE_INTEGER: {
            std::int64_t v = sqlite3_column_int64(current_, index);
            for (int i = 0; i < scale; ++i) {
                if (v > INT64_MAX / 10 || v < INT64_MIN / 10) {
                    DecimalOutOfRange(index);
                }
                v *= 10;
            }
            return Decimal{v, scale};
        }
        case SQLITE_FLOAT: {
            const double scaled = std::round(sqlite3_column_double(current_, index) * std::pow(10.0, scale));
            if (!(std::fabs(scaled) < 9.2e18)) {  // also NaN
                DecimalOutOfRange(index);
            }
            return Decimal{static_cast<std::int64_t>(scaled), scale};
        }
        default: {
            Decimal d;
            if (!ParseDecimal(Text(index), scale, d)) {
                throw EngineError("Invalid decimal value", SQLITE_MISMATCH,
                                  {"Column " + columns_[static_cast<std::size_t>(index)].name + ": '"
                                   + std::string(Text(index)) + "'"});
            }
            return d;
        }
        }
    }

    [[noreturn]] void DecimalOutOfRange(int index) const
    {
        throw EngineError("Decimal value out of range", SQLITE_RANGE,
                          {"Column " + columns_[static_cast<std::size_t>(index)].name + ": '"
                           + std::string(Text(index)) + "'"});
    }

    Value ReadDateTime(int index, ColumnType type) const
    {
        std::string_view text = Text(index);
        DateTime t;
        bool ok = type == ColumnType::Time ? DateTime::FromTimeText(text, t) || DateTime::FromIso(text, t)
                                           : DateTime::FromIso(text, t);
        if (!ok) {
            throw EngineError("Invalid date-time value", SQLITE_MISMATCH,
                              {"Column " + columns_[static_cast<std::size_t>(index)].name + ": '" + std::string(text) + "'"});
        }
        if (type == ColumnType::Time) {
            t.year = 1899, t.month = 12, t.day = 30;
        }
        return t;
    }

    Handles& handles_;
    sqlite3* db_ = nullptr;  // the handle of current_
    ParsedStatement parsed_;
    bool reads_;
    bool dml_;
    std::uint64_t patternKey_ = 0;
    // Prepared per handle and pattern of null parameters.
    struct Prepared {
        StmtPtr stmt;
        std::string text;
    };
    std::map<std::pair<sqlite3*, std::uint64_t>, Prepared> statements_;
    sqlite3_stmt* current_ = nullptr;
    std::vector<Value> values_;
    std::vector<ColumnDesc> columns_;
    bool hasResult_ = false;
    bool pending_ = false;  // Execute has stepped onto the first row, not yet fetched
    bool hasRow_ = false;
    std::int64_t affected_ = -1;
};

class SqliteConnection final : public Connection {
public:
    SqliteConnection(std::string path, int busyMs, sqlite3* main) : handles_(std::move(path), busyMs, main) {}

    std::unique_ptr<Statement> Prepare(std::string_view sql) override
    {
        return std::make_unique<SqliteStatement>(handles_, sql);
    }
    std::string_view DriverName() const override { return "sqlite"; }
    ServerInfo Server() const override { return {"SQLite", sqlite3_libversion()}; }

    void StartTransaction(std::string_view /*lockedTable*/) override { handles_.Begin(); }
    void Commit() override { handles_.End(true); }
    void Rollback() override { handles_.End(false); }
    bool InTransaction() const override { return handles_.InTransaction(); }

private:
    Handles handles_;
};

}  // namespace

std::unique_ptr<Connection> ConnectSqlite(const Alias& alias, std::string_view user, std::string_view password)
{
    if ((alias.user && *alias.user != user) || (alias.password && *alias.password != password)) {
        throw EngineError("Invalid user name or password", SQLITE_AUTH,
                          {"Login of '" + std::string(user) + "' refused by alias " + alias.name});
    }
    if (alias.database.empty()) {
        throw EngineError("No database file named for alias " + alias.name, SQLITE_CANTOPEN);
    }
    // Read-write only: a missing file is a failed login, never a new database.
    const int busyMs = alias.lockTimeout * 1000;
    sqlite3* db = OpenHandle(alias.database, busyMs);
    auto connection = std::make_unique<SqliteConnection>(alias.database, busyMs, db);
    // A file that is not a database fails here rather than at the first query.
    int rc = sqlite3_exec(db, "select count(*) from sqlite_schema", nullptr, nullptr, nullptr);
    if ((rc & 0xff) == SQLITE_CANTOPEN) {
        // The file opened: what cannot be opened is its write-ahead log or its index.
        Fail(db, rc, "Cannot open database file '" + alias.database + "': its log '" + alias.database
                         + "-wal' and index '" + alias.database + "-shm' must be creatable and writable beside it");
    }
    if (rc != SQLITE_OK) {
        Fail(db, rc, "Cannot open database file '" + alias.database + "'");
    }
    SwitchToWal(db, busyMs, alias.database);
    return connection;
}

bool ParseDecimal(std::string_view text, int scale, Decimal& out)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    constexpr std::int64_t limit = INT64_MAX / 10 - 9;
    std::int64_t value = 0;
    int places = -1;  // digits read after the point; -1 before it
    bool roundUp = false;
    bool digits = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.' && places < 0) {
            places = 0;
            continue;
        }
        if (c < '0' || c > '9') {
            return false;
        }
        digits = true;
        if (places >= scale) {
            if (places == scale) {
                roundUp = c >= '5';
            }
            ++places;
            continue;
        }
        if (value > limit) {
            return false;
        }
        value = value * 10 + (c - '0');
        if (places >= 0) {
            ++places;
        }
    }
    if (!digits) {
        return false;
    }
    for (int p = places < 0 ? 0 : places; p < scale; ++p) {
        if (value > limit) {
            return false;
        }
        value *= 10;
    }
    if (roundUp) {
        ++value;
    }
    out = Decimal{negative ? -value : value, scale};
    return true;
}

void DescribeDeclaredType(std::string_view declared, ColumnDesc& column)
{
    std::string name;
    std::vector<int> args;
    std::size_t open = declared.find('(');
    for (char c : declared.substr(0, open)) {
        name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    if (open != std::string_view::npos) {
        int n = 0;
        bool any = false;
        for (char c : declared.substr(open + 1)) {
            if (c >= '0' && c <= '9') {
                n = n * 10 + (c - '0');
                any = true;
            } else if (c == ',' || c == ')') {
                args.push_back(any ? n : 0);
                n = 0;
                any = false;
                if (c == ')') {
                    break;
                }
            }
        }
    }
    auto arg = [&](std::size_t i, int fallback) { return i < args.size() ? args[i] : fallback; };
    auto has = [&](std::string_view part) { return name.find(part) != std::string::npos; };
    auto is = [&](std::initializer_list<std::string_view> names) {
        for (std::string_view n : names) {
            if (name == n) {
                return true;
            }
        }
        return false;
    };
    column.width = column.scale = 0;
    if (is({"CHAR", "NCHAR", "CHARACTER", "NATIONAL CHARACTER", "BPCHAR"})) {
        column.type = ColumnType::FixedChar;
        column.width = arg(0, 1);
    } else if (has("CHAR") || has("TEXT") || has("CLOB")) {
        column.type = ColumnType::String;
        column.width = arg(0, 0);
    } else if (is({"SMALLINT", "TINYINT", "INT2", "BIT", "BOOLEAN", "BOOL"})) {
        column.type = ColumnType::SmallInt;
    } else if (is({"BIGINT", "INT8"})) {
        column.type = ColumnType::LargeInt;
    } else if (has("INT")) {
        column.type = ColumnType::Integer;
    } else if (is({"DECIMAL", "NUMERIC", "DEC"})) {
        column.type = ColumnType::BCD;
        column.width = arg(0, 18);
        column.scale = arg(1, 0);
    } else if (has("MONEY")) {
        column.type = ColumnType::Currency;
    } else if (is({"DATE"})) {
        column.type = ColumnType::Date;
    } else if (is({"TIME"})) {
        column.type = ColumnType::Time;
    } else if (has("DATETIME") || has("TIMESTAMP")) {
        column.type = ColumnType::DateTime;
    } else if (has("REAL") || has("FLOA") || has("DOUB")) {
        column.type = ColumnType::Float;
    } else if (has("BLOB") || has("BINARY") || has("IMAGE") || name.empty()) {
        column.type = ColumnType::Blob;
    } else {
        column.type = ColumnType::String;
    }
}

}  // namespace hisdb::detail
