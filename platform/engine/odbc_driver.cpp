// The ODBC driver (unixODBC).
//
// Text crosses ODBC as UTF-16 (the wide calls and SQL_C_WCHAR), so no code
// page of the driver or of the process locale is involved. Results are read
// one row per fetch with SQLGetData into buffers the statement keeps.
//
// The server is recognised after login by SQL_DBMS_NAME, never by the
// connection string: SQL Server runs the statements as written, except that
// "column = ?" with a null value is sent as "column IS NULL" (its marker
// dropped, the other values bound in order), so the session keeps the
// standard ANSI_NULLS that filtered indexes, indexed views and indexes on
// computed columns require; PostgreSQL and any other server get the dialect
// translation with IS NOT DISTINCT FROM. On PostgreSQL, reading sessions ask
// psqlODBC for cursor fetching (UseDeclareFetch) unless the connection string
// says otherwise, so that a large result is not read into memory at
// execution; the login session, which has none, then serves as the writing
// session.
//
// A connection keeps reading and writing apart: statements that read rows
// run on a reading session (an ODBC connection) with no open result, a
// further one being logged in when every one holds a result; the others run
// on a writing session with the same login, made on the first of them, in
// autocommit mode. psqlODBC runs a cursor inside a transaction that ends with
// the cursor, and a statement run beside it on the same connection would join
// that transaction: a write might not be committed when it returns, and a
// read would depend on the server's isolation. FreeTDS allows one active
// result per connection: where a driver reports such a limit (or the alias
// sets max_active), a statement about to run on a session that already holds
// that many open results first reads them to their end into memory. A
// transaction runs on the writing session, and until it ends every statement
// does, reads too.
//
// A session whose server connection was lost (the server restarted, the
// backend was ended) fails its next statement with the driver's error; it is
// logged in again before the statement after that, unless a transaction is
// active on it. Every session waits at most the alias's lock_timeout for a
// lock, and every call at most its answer_timeout for the server's answer:
// the watchdog then shuts the session's socket down, the call fails with
// "The database server did not answer in time" and the session is logged in
// again before its next statement, as one the server ended.
#include "platform/engine/dialect.h"
#include "platform/engine/drivers.h"
#include "platform/engine/watchdog.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <map>
#include <utility>

namespace hisdb::detail {
namespace {

using WString = std::basic_string<SQLWCHAR>;

WString ToWide(std::string_view utf8)
{
    WString out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0xFFFD;
        std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (n == 0 || i + n > utf8.size()) {
            ++i;
        } else {
            cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
            for (std::size_t k = 1; k < n; ++k) {
                cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            }
            i += n;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<SQLWCHAR>(0xD800 + (cp >> 10));
            out += static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<SQLWCHAR>(cp);
        }
    }
    return out;
}

void AppendUtf8(std::string& out, const SQLWCHAR* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        char32_t cp = text[i];
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        }
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ToUtf8(const SQLWCHAR* text, std::size_t length)
{
    std::string out;
    AppendUtf8(out, text, length);
    return out;
}

bool Succeeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The diagnostic records of a handle as an EngineError: the first record's
// text is the description; every record's text is among the messages.
[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view fallback)
{
    std::string description;
    std::vector<std::string> messages;
    int code = 0;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[2048];
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, text,
                                      static_cast<SQLSMALLINT>(std::size(text)), &length);
        if (!Succeeded(rc)) {
            break;
        }
        // psqlODBC puts the server's lines and its own into one record.
        const std::string recordText = ToUtf8(text, static_cast<std::size_t>(std::min<int>(length, std::size(text) - 1)));
        std::string_view all = recordText;
        while (!all.empty()) {
            std::size_t end = all.find('\n');
            std::string_view line = all.substr(0, end);
            all.remove_prefix(end == all.npos ? all.size() : end + 1);
            while (!line.empty() && (line.back() == ';' || line.back() == ' ' || line.back() == '\r')) {
                line.remove_suffix(1);
            }
            if (line.empty()) {
                continue;
            }
            if (description.empty()) {
                description = std::string(line);
                code = native != 0 ? native : -1;  // without a native code still not "no error"
            }
            messages.emplace_back(line);
        }
    }
    if (description.empty()) {
        description = std::string(fallback);
    }
    throw EngineError(std::move(description), code, std::move(messages));
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view what)
{
    if (!Succeeded(rc)) {
        Fail(type, handle, what);
    }
}

// True when the first diagnostic record of a handle says that the server
// connection is gone (SQLSTATE class 08, or PostgreSQL's "terminating
// connection" 57P01-57P03).
bool ConnectionLost(SQLSMALLINT type, SQLHANDLE handle)
{
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[8];
    SQLSMALLINT length = 0;
    if (!Succeeded(SQLGetDiagRecW(type, handle, 1, state, &native, text, 8, &length))) {
        return false;
    }
    const std::string code = ToUtf8(state, 5);
    return code.starts_with("08") || code == "57P01" || code == "57P02" || code == "57P03";
}

// The process's ODBC environment, made on first use.
SQLHENV Environment()
{
    static struct Env {
        SQLHENV handle = SQL_NULL_HENV;
        Env()
        {
            if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) {
                throw EngineError("Cannot allocate the ODBC environment");
            }
            SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        }
        ~Env() { SQLFreeHandle(SQL_HANDLE_ENV, handle); }
    } env;
    return env.handle;
}

enum class ServerKind { SqlServer, Postgres, Other };

ServerKind ServerOf(std::string_view dbmsName)
{
    if (dbmsName.find("SQL Server") != std::string_view::npos) {
        return ServerKind::SqlServer;
    }
    return dbmsName.find("PostgreSQL") != std::string_view::npos ? ServerKind::Postgres : ServerKind::Other;
}

// A parameter's value as ODBC reads it at execution.
struct ParamBuffer {
    SQLLEN indicator = 0;
    std::int64_t integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    std::string decimal;
    WString text;
};

// A result that can be read to its end into memory, so that its session can
// run another statement.
class OpenResult {
public:
    virtual void ReadToEnd() = 0;

protected:
    ~OpenResult() = default;
};

// A logged-in ODBC connection of a Connection and the results open on it.
struct Session {
    SQLHDBC dbc = SQL_NULL_HDBC;
    int openResults = 0;
    std::vector<OpenResult*> open;  // those that can be read to their end
    int maxActive = 0;              // results the server lets one session hold; 0: any number
    bool lost = false;              // a statement failed because the connection is gone
    int socket = -1;                // the login's socket; -1: not known, calls are not bounded
    std::chrono::seconds bound{0};  // the longest wait for an answer
    std::uint64_t watch = 0;        // the watchdog's token while a call is bounded
};

// Bounds the server calls made in its scope on a session: the outermost of
// nested scopes arms the watchdog. A bound that passed marks the session
// lost, even when the call it cut short still succeeded.
class ServerWait {
public:
    explicit ServerWait(Session& session) : session_(session)
    {
        if (session.watch == 0 && session.socket >= 0 && session.bound.count() > 0) {
            session.watch = Watchdog::Arm(session.socket, session.bound);
            owner_ = session.watch != 0;
        }
    }
    ~ServerWait()
    {
        if (owner_) {
            if (Watchdog::Disarm(session_.watch)) {
                session_.lost = true;
            }
            session_.watch = 0;
        }
    }
    ServerWait(const ServerWait&) = delete;
    ServerWait& operator=(const ServerWait&) = delete;

private:
    Session& session_;
    bool owner_ = false;
};

// Check for a call on `session`: a failure after the bound passed is the
// server's silence, whatever the driver says of its broken connection; a
// lost connection marks the session, to be logged in again before its next
// statement.
void CheckOn(Session& session, SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view what)
{
    if (Succeeded(rc)) {
        return;
    }
    if (session.watch != 0 && Watchdog::Fired(session.watch)) {
        session.lost = true;
        throw EngineError("The database server did not answer in time", 0,
                          {"No answer within " + std::to_string(session.bound.count())
                               + " s (answer_timeout): the session was closed and is logged in again for the next statement",
                           std::string(what)});
    }
    if (ConnectionLost(type, handle)) {
        session.lost = true;
    }
    Fail(type, handle, what);
}

// The sessions of one Connection, as its statements choose them.
class SessionSource {
public:
    virtual ~SessionSource() = default;
    // A reading session with no open result (the writing one during a transaction).
    virtual Session& ForReading() = 0;
    virtual Session& ForWriting() = 0;
};

// Before a statement runs on `session`: when the session holds as many open
// results as its server allows, they are read to their end first, so that it
// never carries more active statements than that.
void MakeRoom(Session& session, const OpenResult* except)
{
    if (session.maxActive <= 0) {
        return;
    }
    while (session.openResults >= session.maxActive) {
        auto other = std::find_if(session.open.begin(), session.open.end(),
                                  [&](OpenResult* r) { return r != except; });
        if (other == session.open.end()) {
            throw EngineError("The session holds as many open results as the server allows", 0,
                              {"max_active=" + std::to_string(session.maxActive)});
        }
        (*other)->ReadToEnd();
    }
}

class OdbcStatement final : public Statement, private OpenResult {
public:
    OdbcStatement(SessionSource& sessions, ServerKind server, ParsedStatement parsed)
        : sessions_(sessions), server_(server), parsed_(std::move(parsed)), reads_(ReturnsRows(parsed_.text))
    {
        session_ = reads_ ? &sessions_.ForReading() : &sessions_.ForWriting();
        ServerWait wait(*session_);
        current_ = Prepare(parsed_.text, 0);
        SQLSMALLINT count = 0;
        if (!Succeeded(SQLNumParams(current_, &count))) {
            count = static_cast<SQLSMALLINT>(parsed_.paramCount);
        }
        values_.resize(static_cast<std::size_t>(count));
        params_.resize(values_.size());
    }

    ~OdbcStatement() override
    {
        ServerWait wait(*session_);  // freeing an open result closes the server's cursor
        ResultClosed();
        for (auto& [key, handle] : statements_) {
            SQLFreeHandle(SQL_HANDLE_STMT, handle);
        }
    }

    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    int ParamCount() const override { return static_cast<int>(values_.size()); }

    void Bind(int index, const Value& value) override
    {
        if (index < 0 || index >= ParamCount()) {
            throw EngineError("Parameter index out of range", 0,
                              {"Parameter " + std::to_string(index) + " of " + std::to_string(ParamCount())});
        }
        values_[static_cast<std::size_t>(index)] = value;
    }

    void Execute() override
    {
        if (openOn_ != nullptr) {
            ServerWait wait(*openOn_);
            SQLFreeStmt(current_, SQL_CLOSE);
        }
        ResultClosed();
        hasResult_ = hasRow_ = finished_ = false;
        buffered_.clear();
        columns_.clear();
        affected_ = -1;
        session_ = reads_ ? &sessions_.ForReading() : &sessions_.ForWriting();
        ServerWait wait(*session_);
        MakeRoom(*session_, this);
        const std::uint64_t mask = NullPattern();
        current_ = ForNullPattern(mask);
        if (server_ == ServerKind::SqlServer && mask != 0) {
            // The markers of the comparisons written IS NULL are gone.
            const std::vector<int> kept = KeptParams(parsed_, mask);
            for (std::size_t i = 0; i < kept.size(); ++i) {
                const auto p = static_cast<std::size_t>(kept[i]);
                BindParam(static_cast<SQLUSMALLINT>(i + 1), values_.at(p), params_.at(p));
            }
        } else {
            for (std::size_t i = 0; i < values_.size(); ++i) {
                BindParam(static_cast<SQLUSMALLINT>(i + 1), values_[i], params_[i]);
            }
        }
        SQLRETURN rc = SQLExecute(current_);
        if (rc == SQL_NO_DATA) {
            affected_ = 0;  // a searched update or delete that found no row
            return;
        }
        CheckStmt(rc, "SQLExecute failed");
        SQLSMALLINT count = 0;
        CheckStmt(SQLNumResultCols(current_, &count), "SQLNumResultCols failed");
        if (count > 0) {
            hasResult_ = true;
            openOn_ = session_;
            ++openOn_->openResults;
            openOn_->open.push_back(this);
            DescribeColumns(count);
        } else {
            SQLLEN rows = -1;
            if (Succeeded(SQLRowCount(current_, &rows))) {
                affected_ = rows;
            }
        }
    }

    bool HasResult() const override { return hasResult_; }
    const std::vector<ColumnDesc>& Columns() const override { return columns_; }

    bool Fetch() override
    {
        if (!hasResult_ || finished_) {
            return false;
        }
        if (openOn_ == nullptr) {  // read to its end before
            if (buffered_.empty()) {
                hasRow_ = false;
                finished_ = true;
                return false;
            }
            row_ = std::move(buffered_.front());
            buffered_.pop_front();
            hasRow_ = true;
            return true;
        }
        if (!FetchRow()) {
            hasRow_ = false;
            finished_ = true;
            return false;
        }
        hasRow_ = true;
        return true;
    }

    Value Get(int index) const override
    {
        if (!hasRow_ || index < 0 || index >= static_cast<int>(row_.size())) {
            throw EngineError("No such column in the current row", 0,
                              {"Column " + std::to_string(index) + " of " + std::to_string(columns_.size())});
        }
        return row_[static_cast<std::size_t>(index)];
    }

    std::int64_t RowsAffected() const override { return affected_; }

private:
    // Fetches the next row of the open result into row_; at the end closes it
    // at once, which ends the server's cursor (and its transaction).
    bool FetchRow()
    {
        ServerWait wait(*session_);
        SQLRETURN rc = SQLFetch(current_);
        if (rc == SQL_NO_DATA) {
            SQLFreeStmt(current_, SQL_CLOSE);
            ResultClosed();
            return false;
        }
        CheckStmt(rc, "SQLFetch failed");
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            ReadColumn(static_cast<SQLUSMALLINT>(i + 1), columns_[i], row_[i]);
        }
        return true;
    }

    void ReadToEnd() override
    {
        std::vector<Value> current = row_;
        while (FetchRow()) {
            buffered_.push_back(row_);
        }
        row_ = std::move(current);
    }

    void ResultClosed()
    {
        if (openOn_ != nullptr) {
            --openOn_->openResults;
            std::erase(openOn_->open, static_cast<OpenResult*>(this));
            openOn_ = nullptr;
        }
    }

    // Check for the statement's calls; a lost server connection marks the
    // session, to be logged in again before its next statement.
    void CheckStmt(SQLRETURN rc, std::string_view what)
    {
        CheckOn(*session_, rc, SQL_HANDLE_STMT, current_, what);
    }

    SQLHSTMT Prepare(const std::string& sql, std::uint64_t mask)
    {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLHDBC dbc = session_->dbc;
        Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "Cannot allocate a statement");
        WString wide = ToWide(sql);
        SQLRETURN rc = SQLPrepareW(stmt, wide.data(), static_cast<SQLINTEGER>(wide.size()));
        if (!Succeeded(rc)) {
            // Not kept: a later run must prepare it again and show its own error.
            try {
                CheckOn(*session_, rc, SQL_HANDLE_STMT, stmt, "SQLPrepare failed");
            } catch (...) {
                SQLFreeHandle(SQL_HANDLE_STMT, stmt);
                throw;
            }
        }
        statements_.emplace(std::pair{dbc, mask}, stmt);
        return stmt;
    }

    // Bit i set: the value at sites[i] is null.
    [[nodiscard]] std::uint64_t NullPattern() const
    {
        std::uint64_t mask = 0;
        for (std::size_t i = 0; i < parsed_.sites.size(); ++i) {
            const auto param = static_cast<std::size_t>(parsed_.sites[i].param);
            if (param < values_.size() && IsNull(values_[param])) {
                mask |= std::uint64_t{1} << i;
            }
        }
        return mask;
    }

    SQLHSTMT ForNullPattern(std::uint64_t mask)
    {
        auto found = statements_.find(std::pair{session_->dbc, mask});
        if (found != statements_.end()) {
            return found->second;
        }
        if (mask == 0) {
            return Prepare(parsed_.text, mask);
        }
        return Prepare(server_ == ServerKind::SqlServer ? WithIsNull(parsed_, mask)
                                                    : WithNullMatches(parsed_, mask, "IS NOT DISTINCT FROM"),
                       mask);
    }

    void BindParam(SQLUSMALLINT position, const Value& value, ParamBuffer& p)
    {
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN size = 1;
        SQLSMALLINT digits = 0;
        SQLPOINTER data = nullptr;
        SQLLEN bufferLength = 0;
        if (std::holds_alternative<Null>(value)) {
            p.indicator = SQL_NULL_DATA;
        } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
            p.integer = *i;
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIGINT;
            size = 19;
            data = &p.integer;
            p.indicator = 0;
        } else if (const auto* d = std::get_if<double>(&value)) {
            p.real = *d;
            cType = SQL_C_DOUBLE;
            sqlType = SQL_DOUBLE;
            size = 15;
            data = &p.real;
            p.indicator = 0;
        } else if (const auto* dec = std::get_if<Decimal>(&value)) {
            p.decimal = DecimalText(*dec);
            cType = SQL_C_CHAR;
            sqlType = SQL_DECIMAL;
            size = 18;
            digits = static_cast<SQLSMALLINT>(dec->scale < 0 ? 0 : dec->scale);
            data = p.decimal.data();
            bufferLength = static_cast<SQLLEN>(p.decimal.size());
            p.indicator = bufferLength;
        } else if (const auto* t = std::get_if<DateTime>(&value)) {
            p.timestamp = {static_cast<SQLSMALLINT>(t->year), static_cast<SQLUSMALLINT>(t->month),
                           static_cast<SQLUSMALLINT>(t->day),  static_cast<SQLUSMALLINT>(t->hour),
                           static_cast<SQLUSMALLINT>(t->minute), static_cast<SQLUSMALLINT>(t->second),
                           static_cast<SQLUINTEGER>(t->msec) * 1'000'000u};
            cType = SQL_C_TYPE_TIMESTAMP;
            sqlType = SQL_TYPE_TIMESTAMP;
            size = 23;
            digits = 3;
            data = &p.timestamp;
            bufferLength = sizeof p.timestamp;
            p.indicator = 0;
        } else {
            p.text = ToWide(std::get<std::string>(value));
            cType = SQL_C_WCHAR;
            sqlType = SQL_WVARCHAR;
            size = p.text.empty() ? 1 : p.text.size();
            data = p.text.data();
            bufferLength = static_cast<SQLLEN>(p.text.size() * sizeof(SQLWCHAR));
            p.indicator = bufferLength;
        }
        Check(SQLBindParameter(current_, position, SQL_PARAM_INPUT, cType, sqlType, size, digits, data, bufferLength,
                               &p.indicator),
              SQL_HANDLE_STMT, current_, "SQLBindParameter failed");
    }

    static std::string DecimalText(const Decimal& d)
    {
        std::string digits = std::to_string(d.unscaled < 0 ? -static_cast<unsigned long long>(d.unscaled)
                                                           : static_cast<unsigned long long>(d.unscaled));
        if (d.scale > 0) {
            if (digits.size() <= static_cast<std::size_t>(d.scale)) {
                digits.insert(0, static_cast<std::size_t>(d.scale) + 1 - digits.size(), '0');
            }
            digits.insert(digits.size() - static_cast<std::size_t>(d.scale), 1, '.');
        } else {
            digits.append(static_cast<std::size_t>(-d.scale), '0');
        }
        return d.unscaled < 0 ? "-" + digits : digits;
    }

    void DescribeColumns(SQLSMALLINT count)
    {
        columns_.resize(static_cast<std::size_t>(count));
        row_.assign(static_cast<std::size_t>(count), Value{});
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            SQLWCHAR name[256];
            SQLSMALLINT nameLength = 0;
            SQLSMALLINT type = 0;
            SQLULEN size = 0;
            SQLSMALLINT digits = 0;
            SQLSMALLINT nullable = 0;
            CheckStmt(SQLDescribeColW(current_, static_cast<SQLUSMALLINT>(i), name,
                                      static_cast<SQLSMALLINT>(std::size(name)), &nameLength, &type, &size, &digits,
                                      &nullable),
                      "SQLDescribeCol failed");
            ColumnDesc& c = columns_[static_cast<std::size_t>(i - 1)];
            c.name = ToUtf8(name, static_cast<std::size_t>(std::min<int>(nameLength, std::size(name) - 1)));
            c.width = c.scale = 0;
            const int width = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
            switch (type) {
            case SQL_CHAR:
            case SQL_WCHAR:
                c.type = ColumnType::FixedChar;
                c.width = width;
                break;
            case SQL_VARCHAR:
            case SQL_WVARCHAR:
            case SQL_LONGVARCHAR:
            case SQL_WLONGVARCHAR:
            case SQL_GUID:
                c.type = ColumnType::String;
                c.width = width;
                break;
            case SQL_SMALLINT:
            case SQL_TINYINT:
            case SQL_BIT: c.type = ColumnType::SmallInt; break;
            case SQL_INTEGER: {
                SQLLEN autoUnique = SQL_FALSE;
                SQLColAttributeW(current_, static_cast<SQLUSMALLINT>(i), SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0,
                                 nullptr, &autoUnique);
                c.type = autoUnique == SQL_TRUE ? ColumnType::AutoInc : ColumnType::Integer;
                break;
            }
            case SQL_BIGINT: c.type = ColumnType::LargeInt; break;
            case SQL_NUMERIC:
            case SQL_DECIMAL:
                c.type = ColumnType::BCD;
                c.width = width;
                c.scale = digits;
                break;
            case SQL_REAL:
            case SQL_FLOAT:
            case SQL_DOUBLE: c.type = ColumnType::Float; break;
            case SQL_TYPE_DATE:
            case SQL_DATE: c.type = ColumnType::Date; break;
            case SQL_TYPE_TIME:
            case SQL_TIME:
            case -154:  // SQL Server's time(n)
                c.type = ColumnType::Time;
                break;
            case SQL_TYPE_TIMESTAMP:
            case SQL_TIMESTAMP: c.type = ColumnType::DateTime; break;
            case SQL_BINARY:
            case SQL_VARBINARY:
            case SQL_LONGVARBINARY: c.type = ColumnType::Blob; break;
            default: c.type = ColumnType::Unknown; break;
            }
        }
    }

    // Reads column `n` of the fetched row into `out`, reusing its storage.
    void ReadColumn(SQLUSMALLINT n, const ColumnDesc& column, Value& out)
    {
        SQLLEN indicator = 0;
        auto get = [&](SQLSMALLINT cType, SQLPOINTER target, SQLLEN length) {
            SQLRETURN rc = SQLGetData(current_, n, cType, target, length, &indicator);
            CheckStmt(rc, "SQLGetData failed");
            return rc;
        };
        switch (column.type) {
        case ColumnType::SmallInt:
        case ColumnType::Integer:
        case ColumnType::Word:
        case ColumnType::AutoInc:
        case ColumnType::LargeInt: {
            std::int64_t v = 0;
            get(SQL_C_SBIGINT, &v, 0);
            out = indicator == SQL_NULL_DATA ? Value{} : Value{v};
            return;
        }
        case ColumnType::Float:
        case ColumnType::Currency: {
            double v = 0;
            get(SQL_C_DOUBLE, &v, 0);
            out = indicator == SQL_NULL_DATA ? Value{} : Value{v};
            return;
        }
        case ColumnType::BCD: {
            char text[80];
            get(SQL_C_CHAR, text, sizeof text);
            Decimal d;
            if (indicator == SQL_NULL_DATA) {
                out = Null{};
            } else if (ParseDecimal(text, column.scale, d)) {
                out = d;
            } else {
                throw EngineError("Invalid decimal value", 0, {"Column " + column.name + ": '" + text + "'"});
            }
            return;
        }
        case ColumnType::DateTime:
        case ColumnType::Date:
        case ColumnType::Time: {
            SQL_TIMESTAMP_STRUCT ts{};
            get(SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts);
            if (indicator == SQL_NULL_DATA) {
                out = Null{};
                return;
            }
            DateTime t{ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                       static_cast<int>(ts.fraction / 1'000'000u)};
            if (column.type == ColumnType::Time) {
                t.year = 1899, t.month = 12, t.day = 30;
            }
            out = t;
            return;
        }
        case ColumnType::Blob: {
            std::string* bytes = Reuse(out);
            char chunk[4096];
            for (;;) {
                SQLRETURN rc = get(SQL_C_BINARY, chunk, sizeof chunk);
                if (indicator == SQL_NULL_DATA) {
                    out = Null{};
                    return;
                }
                std::size_t got = indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof chunk)
                                      ? sizeof chunk
                                      : static_cast<std::size_t>(indicator);
                bytes->append(chunk, got);
                if (rc == SQL_SUCCESS) {
                    return;
                }
            }
        }
        default: break;
        }
        // Text, read in pieces of the statement's buffer. A piece may end
        // inside a surrogate pair, so the pieces are joined before converting.
        std::string* text = Reuse(out);
        longText_.clear();
        for (;;) {
            SQLRETURN rc = SQLGetData(current_, n, SQL_C_WCHAR, wide_, sizeof wide_, &indicator);
            if (rc == SQL_NO_DATA) {
                break;
            }
            CheckStmt(rc, "SQLGetData failed");
            if (indicator == SQL_NULL_DATA) {
                out = Null{};
                return;
            }
            constexpr std::size_t capacity = kWideChunk - 1;
            std::size_t got = indicator == SQL_NO_TOTAL || indicator / static_cast<SQLLEN>(sizeof(SQLWCHAR)) > static_cast<SQLLEN>(capacity)
                                  ? capacity
                                  : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
            if (rc == SQL_SUCCESS && longText_.empty()) {
                AppendUtf8(*text, wide_, got);
                break;
            }
            longText_.append(wide_, got);
            if (rc == SQL_SUCCESS) {
                AppendUtf8(*text, longText_.data(), longText_.size());
                break;
            }
        }
        if (column.type == ColumnType::FixedChar) {
            while (!text->empty() && text->back() == ' ') {
                text->pop_back();
            }
        }
    }

    static std::string* Reuse(Value& v)
    {
        if (auto* s = std::get_if<std::string>(&v)) {
            s->clear();
            return s;
        }
        return &v.emplace<std::string>();
    }

    SessionSource& sessions_;
    ServerKind server_;
    ParsedStatement parsed_;
    bool reads_;
    Session* session_ = nullptr; // where current_ runs
    Session* openOn_ = nullptr; // where this statement's result is open
    // Prepared per session and pattern of null parameters.
    std::map<std::pair<SQLHDBC, std::uint64_t>, SQLHSTMT> statements_;
    SQLHSTMT current_ = SQL_NULL_HSTMT;
    std::vector<Value> values_;
    std::vector<ParamBuffer> params_;
    std::vector<ColumnDesc> columns_;
    std::vector<Value> row_;
    std::deque<std::vector<Value>> buffered_;  // rest of a result read to its end early
    static constexpr std::size_t kWideChunk = 2048;
    SQLWCHAR wide_[kWideChunk];
    WString longText_;  // the pieces of a text longer than wide_
    bool hasResult_ = false;
    bool hasRow_ = false;
    bool finished_ = false;
    std::int64_t affected_ = -1;
};

// One ODBC connection (HDBC) and its login.
class Link {
public:
    Link()
    {
        Check(SQLAllocHandle(SQL_HANDLE_DBC, Environment(), &dbc_), SQL_HANDLE_ENV, Environment(),
              "Cannot allocate an ODBC connection");
    }
    ~Link()
    {
        if (connected_) {
            SQLDisconnect(dbc_);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    [[nodiscard]] SQLHDBC Handle() const { return dbc_; }
    // The login's socket; -1 when it could not be told.
    [[nodiscard]] int Socket() const { return socket_; }
    // Results one statement of this login may hold open at once; 0: any number.
    [[nodiscard]] int MaxActive() const { return maxActive_; }

    // True when the driver knows the server connection to be gone.
    [[nodiscard]] bool Dead() const
    {
        SQLUINTEGER dead = SQL_CD_FALSE;
        return Succeeded(SQLGetConnectAttrW(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE;
    }

    // Logs in and asks the driver which product it reached. Lock waits end
    // after `lockTimeout` seconds; the session's setup waits at most `bound`
    // for each answer. The socket the driver opened is told apart from the
    // process's others by being the one new after the login.
    ServerInfo Open(const std::string& connect, int lockTimeout, std::chrono::seconds bound)
    {
        SQLSetConnectAttrW(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(std::uintptr_t{15}), 0);
        WString wide = ToWide(connect);
        const std::vector<OpenSocket> before = OpenSockets();
        SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, wide.data(), static_cast<SQLSMALLINT>(wide.size()), nullptr, 0,
                                         nullptr, SQL_DRIVER_NOPROMPT);
        Check(rc, SQL_HANDLE_DBC, dbc_, "Cannot connect to the database server");
        connected_ = true;
        socket_ = NewSocket(before, OpenSockets());
        Session setup;
        setup.dbc = dbc_;
        setup.socket = socket_;
        setup.bound = bound;
        ServerWait wait(setup);
        CheckOn(setup, SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
                SQL_HANDLE_DBC, dbc_, "Cannot switch autocommit on");
        // Each statement sees what was committed before it began, whatever
        // the server's default; a driver that cannot set it keeps its own.
        SQLSetConnectAttrW(dbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0);

        const ServerInfo info{InfoText(SQL_DBMS_NAME), InfoText(SQL_DBMS_VER)};
        // Run directly, not prepared: a SET inside sp_prepexec would end with it.
        switch (ServerOf(info.dbmsName)) {
        case ServerKind::SqlServer: SetSession(setup, "SET LOCK_TIMEOUT " + std::to_string(lockTimeout * 1000)); break;
        case ServerKind::Postgres: SetSession(setup, "SET lock_timeout = '" + std::to_string(lockTimeout) + "s'"); break;
        case ServerKind::Other: break;
        }
        SQLUSMALLINT maxActive = 0;
        if (Succeeded(SQLGetInfoW(dbc_, SQL_MAX_CONCURRENT_ACTIVITIES, &maxActive, sizeof maxActive, nullptr))) {
            maxActive_ = maxActive;
        }
        return info;
    }

private:
    // A text answer of SQLGetInfo; empty when the driver gives none.
    std::string InfoText(SQLUSMALLINT type)
    {
        SQLWCHAR text[256] = {};
        SQLSMALLINT length = 0;
        if (!Succeeded(SQLGetInfoW(dbc_, type, text, sizeof text, &length))) {
            return {};
        }
        const std::size_t room = std::size(text) - 1;
        const auto n = static_cast<std::size_t>(length < 0 ? 0 : length) / sizeof(SQLWCHAR);
        return ToUtf8(text, std::min(n, room));
    }

    void SetSession(Session& setup, const std::string& sql)
    {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_, "Cannot allocate a statement");
        WString wide = ToWide(sql);
        SQLRETURN rc = SQLExecDirectW(stmt, wide.data(), static_cast<SQLINTEGER>(wide.size()));
        if (!Succeeded(rc)) {
            try {
                CheckOn(setup, rc, SQL_HANDLE_STMT, stmt, sql + " failed");
            } catch (...) {
                SQLFreeHandle(SQL_HANDLE_STMT, stmt);
                throw;
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }

    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    int maxActive_ = 0;
    int socket_ = -1;
};

class OdbcConnection final : public Connection, private SessionSource {
public:
    // `writeConnect` logs the writing session in; reading sessions use it
    // too, with `cursorAttributes` added on PostgreSQL, each when it is first
    // needed.
    OdbcConnection(std::string writeConnect, std::string cursorAttributes, const Alias& alias)
        : readConnect_(writeConnect),
          writeConnect_(std::move(writeConnect)),
          cursorAttributes_(std::move(cursorAttributes)),
          lockTimeout_(alias.lockTimeout),
          answerTimeout_(alias.AnswerTimeout()),
          maxActive_(alias.maxActive)
    {
    }

    ~OdbcConnection() override
    {
        if (inTransaction_) {
            // A connection in a transaction cannot disconnect.
            ServerWait wait(writer_->session);
            SQLEndTran(SQL_HANDLE_DBC, writer_->link->Handle(), SQL_ROLLBACK);
        }
    }

    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    // The first login tells the server. On PostgreSQL with cursor fetching
    // to add, that session (without it) is kept as the writing session and
    // readers log in with it.
    void Open()
    {
        auto first = std::make_unique<Member>();
        LogIn(*first, writeConnect_);
        info_ = first->info;
        server_ = ServerOf(info_.dbmsName);
        if (server_ == ServerKind::Postgres && !cursorAttributes_.empty()) {
            readConnect_ = writeConnect_ + cursorAttributes_;
            writer_ = std::move(first);
        } else {
            readers_.push_back(std::move(first));
        }
    }

    std::unique_ptr<Statement> Prepare(std::string_view sql) override
    {
        ParsedStatement parsed = ParseStatement(sql, server_ != ServerKind::SqlServer);
        SessionSource& sessions = *this;
        return std::make_unique<OdbcStatement>(sessions, server_, std::move(parsed));
    }
    std::string_view DriverName() const override { return "odbc"; }
    ServerInfo Server() const override { return info_; }

    void StartTransaction(std::string_view lockedTable) override
    {
        if (inTransaction_) {
            throw EngineError("A transaction is already active");
        }
        Session& session = ForWriting();
        ServerWait wait(session);
        MakeRoom(session, nullptr);
        SQLHDBC dbc = session.dbc;
        CheckOn(session, SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
                SQL_HANDLE_DBC, dbc, "Cannot start a transaction");
        inTransaction_ = true;
        if (lockedTable.empty()) {
            return;
        }
        const std::string table(lockedTable);
        // SQL Server: an exclusive table lock held to the end; the statement
        // must read the table for the lock to be taken. PostgreSQL: a mode
        // that conflicts with itself and with writes, not with plain reads.
        const std::string lock = server_ == ServerKind::SqlServer
            ? "SELECT COUNT(*) FROM " + table + " WITH (TABLOCKX, HOLDLOCK)"
            : "LOCK TABLE " + table + " IN SHARE ROW EXCLUSIVE MODE";
        try {
            RunDirect(session, lock);
        } catch (...) {
            EndTransaction(SQL_ROLLBACK);
            throw;
        }
    }

    void Commit() override { EndTransaction(SQL_COMMIT); }
    void Rollback() override { EndTransaction(SQL_ROLLBACK); }
    bool InTransaction() const override { return inTransaction_; }

private:
    // A session and the login behind it. A lost login is replaced; the old
    // one is kept (disconnected by the server) until the connection ends, so
    // the statements prepared on it can still free their handles.
    struct Member {
        std::unique_ptr<Link> link;
        std::vector<std::unique_ptr<Link>> retired;
        Session session;
        ServerInfo info;
    };

    Session& ForReading() override
    {
        if (inTransaction_) {
            return writer_->session;
        }
        for (const auto& reader : readers_) {
            if (reader->session.openResults == 0) {
                Revive(*reader, readConnect_);
                return reader->session;
            }
        }
        return NewReader().session;
    }

    Session& ForWriting() override
    {
        if (!writer_) {
            writer_ = std::make_unique<Member>();
            LogIn(*writer_, writeConnect_);
        } else if (!inTransaction_) {
            Revive(*writer_, writeConnect_);
        }
        return writer_->session;
    }

    Member& NewReader()
    {
        auto reader = std::make_unique<Member>();
        LogIn(*reader, readConnect_);
        readers_.push_back(std::move(reader));
        return *readers_.back();
    }

    void LogIn(Member& member, const std::string& connect)
    {
        auto link = std::make_unique<Link>();
        member.info = link->Open(connect, lockTimeout_, answerTimeout_);
        member.session.dbc = link->Handle();
        member.session.socket = link->Socket();
        member.session.bound = answerTimeout_;
        member.session.maxActive = maxActive_ > 0 ? maxActive_ : link->MaxActive();
        member.session.lost = false;
        if (member.link) {
            member.retired.push_back(std::move(member.link));
        }
        member.link = std::move(link);
    }

    // Logs a session whose server connection is gone in again, before a
    // statement runs on it (never inside a transaction, which died with it).
    void Revive(Member& member, const std::string& connect)
    {
        if (member.session.openResults == 0 && (member.session.lost || member.link->Dead())) {
            LogIn(member, connect);
        }
    }

    void EndTransaction(SQLSMALLINT completion)
    {
        if (!inTransaction_) {
            throw EngineError("No transaction is active");
        }
        if (completion == SQL_ROLLBACK && (writer_->session.lost || writer_->link->Dead())) {
            inTransaction_ = false;  // the server ended it with the session
            return;
        }
        if (writer_->session.lost || writer_->link->Dead()) {
            // The driver may answer a commit on a lost session with success.
            throw EngineError("Cannot commit the transaction", 0,
                              {"The connection to the server was lost; the transaction was rolled back"});
        }
        Session& session = writer_->session;
        SQLHDBC dbc = writer_->link->Handle();
        ServerWait wait(session);
        // A failed commit leaves the transaction active, to be rolled back.
        CheckOn(session, SQLEndTran(SQL_HANDLE_DBC, dbc, completion), SQL_HANDLE_DBC, dbc,
                completion == SQL_COMMIT ? "Cannot commit the transaction" : "Cannot roll the transaction back");
        inTransaction_ = false;
        CheckOn(session, SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
                SQL_HANDLE_DBC, dbc, "Cannot switch autocommit on");
    }

    // Runs `sql` directly on `session` and reads any result to its end.
    static void RunDirect(Session& session, const std::string& sql)
    {
        SQLHDBC dbc = session.dbc;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "Cannot allocate a statement");
        try {
            WString wide = ToWide(sql);
            SQLRETURN rc = SQLExecDirectW(stmt, wide.data(), static_cast<SQLINTEGER>(wide.size()));
            if (rc != SQL_NO_DATA) {
                CheckOn(session, rc, SQL_HANDLE_STMT, stmt, sql);
                SQLSMALLINT columns = 0;
                SQLNumResultCols(stmt, &columns);
                while (columns > 0 && Succeeded(SQLFetch(stmt))) { }
            }
        } catch (...) {
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            throw;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }

    // Statements die before their connection.
    std::vector<std::unique_ptr<Member>> readers_;
    std::unique_ptr<Member> writer_;
    std::string readConnect_;
    std::string writeConnect_;
    std::string cursorAttributes_;  // for PostgreSQL's reading sessions; empty: none
    int lockTimeout_;
    std::chrono::seconds answerTimeout_;
    int maxActive_;
    ServerKind server_ = ServerKind::Other;
    ServerInfo info_;
    bool inTransaction_ = false;
};

// A connection-string value, in braces when it could end the attribute.
std::string Quoted(std::string_view value)
{
    if (value.find_first_of(";{}= ") == std::string_view::npos) {
        return std::string(value);
    }
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') {
            out += '}';
        }
    }
    return out + "}";
}

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < part.size() && lower(text[i + k]) == lower(part[k])) {
            ++k;
        }
        if (k == part.size()) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<Connection> ConnectOdbc(const Alias& alias, std::string_view user, std::string_view password)
{
    if (alias.connect.empty()) {
        throw EngineError("No connection string named for alias " + alias.name);
    }
    std::string connect = alias.connect;
    while (!connect.empty() && (connect.back() == ';' || connect.back() == ' ')) {
        connect.pop_back();
    }
    const std::string login = ";UID=" + Quoted(user) + ";PWD=" + Quoted(password);
    // The writing connection runs no cursor, so it keeps the driver's way of
    // reading a result (one that answers an update comes whole at execution).
    // The server answers a fetch only when it has found that many rows: an
    // anywhere search in a picker, which scans, would scan for 200 matches
    // before the first screen of 20 could show. 50 rows is two screens of a
    // picker; a day's list of 200 takes four round trips. Added only where
    // the login finds PostgreSQL.
    const std::string cursor = ContainsNoCase(connect, "UseDeclareFetch") ? "" : ";UseDeclareFetch=1;Fetch=50";
    auto connection = std::make_unique<OdbcConnection>(connect + login, cursor, alias);
    connection->Open();
    return connection;
}

}  // namespace hisdb::detail
