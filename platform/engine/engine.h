// The database engine behind an alias such as `HIS`.
//
// A Connection is opened by alias, user name and password; it prepares
// Statements with positional `?` parameters. A Statement binds typed values
// (or null), executes, describes its result columns and fetches rows one at a
// time (a forward cursor: nothing is read before it is asked for).
//
// Text crossing this API is UTF-8. Column widths are counted in GBK bytes.
// Fixed-width CHAR values come back without their trailing blanks.
//
// Statements are written in the SQL Server dialect. Drivers for servers that
// lack a feature translate it: the `(NOLOCK)` table hint is dropped, and a
// `column = ?` comparison whose bound value is null matches a null column.
//
// Many workstations share one database. Every statement sees what others
// committed before it started, whatever results its connection still holds
// open: a read runs on a reading session with no open result. Writes run on
// a writing session of their own, in autocommit mode, unless a transaction is
// active; during one, every statement of the connection runs on that
// session, reads included.
//
// A text holds one statement; a second one is refused at Prepare. A lock
// wait ends with an error after the alias's lock_timeout, a wait for a
// server that does not answer after its answer_timeout. A session the
// server ended (or that did not answer) fails its statement and is logged
// in again before the next one (never inside a transaction).
//
// Every failure is an EngineError. Objects are not thread-safe; a Statement
// must not outlive its Connection.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hisdb {

// Result column types, named as the data layer groups them.
enum class ColumnType {
    Unknown,
    String,     // variable-width text
    FixedChar,  // fixed-width CHAR(n)
    SmallInt,   // 16-bit signed
    Integer,    // 32-bit signed
    Word,       // 16-bit unsigned
    AutoInc,    // identity / serial column
    LargeInt,   // 64-bit signed
    Float,
    Currency,
    BCD,        // fixed-point decimal (DECIMAL / NUMERIC)
    Date,
    Time,
    DateTime,
    Blob,
};

[[nodiscard]] std::string_view ColumnTypeName(ColumnType type);

// Fixed-point decimal: value = unscaled / 10^scale.
struct Decimal {
    std::int64_t unscaled = 0;
    int scale = 0;
    [[nodiscard]] double ToDouble() const;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// A calendar date and time of day, to the millisecond. No time zone.
struct DateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
    // "YYYY-MM-DD HH:MM:SS.mmm"
    [[nodiscard]] std::string ToIso() const;
    // Parses "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (also with 'T'); false on bad text.
    static bool FromIso(std::string_view text, DateTime& out);
    // Parses "HH:MM[:SS[.fff]]" into the time of day of `out` (date 1899-12-30).
    static bool FromTimeText(std::string_view text, DateTime& out);
};

using Null = std::monostate;
// null, integer, float, decimal, date-time, UTF-8 text
using Value = std::variant<Null, std::int64_t, double, Decimal, DateTime, std::string>;

[[nodiscard]] inline bool IsNull(const Value& v) { return std::holds_alternative<Null>(v); }

struct ColumnDesc {
    std::string name;
    ColumnType type = ColumnType::Unknown;
    int width = 0;  // text: GBK bytes; decimal: precision; others: 0
    int scale = 0;  // decimal places (decimal columns)
};

// An engine failure: the engine's own description, its code, and the further
// messages of its error list (the server's among them), in order. what() is
// the description followed by each distinct message on a line of its own, or
// "Engine error $xxxx" (the code in hex) when there is no text at all.
class EngineError : public std::runtime_error {
public:
    EngineError(std::string description, int code = 0, std::vector<std::string> messages = {});
    [[nodiscard]] const std::string& Description() const { return description_; }
    [[nodiscard]] int Code() const { return code_; }
    [[nodiscard]] const std::vector<std::string>& Messages() const { return messages_; }

private:
    std::string description_;
    int code_;
    std::vector<std::string> messages_;
};

class Statement {
public:
    virtual ~Statement() = default;
    [[nodiscard]] virtual int ParamCount() const = 0;
    // Binds parameter `index` (0-based). Values stay bound across executions.
    virtual void Bind(int index, const Value& value) = 0;
    // Runs the statement with the bound values. A previous result is discarded.
    virtual void Execute() = 0;
    // True when the last Execute produced a result set (even an empty one).
    [[nodiscard]] virtual bool HasResult() const = 0;
    [[nodiscard]] virtual const std::vector<ColumnDesc>& Columns() const = 0;
    // Advances to the next row; false after the last one.
    [[nodiscard]] virtual bool Fetch() = 0;
    // Column `index` (0-based) of the current row.
    [[nodiscard]] virtual Value Get(int index) const = 0;
    // Rows changed by the last Execute; -1 when unknown.
    [[nodiscard]] virtual std::int64_t RowsAffected() const = 0;
};

// The database product behind a connection, for IT's diagnosis: over ODBC
// what the driver answers after login (SQL_DBMS_NAME, SQL_DBMS_VER), e.g.
// "PostgreSQL" / "15.10" or "Microsoft SQL Server" / "16.00.4135"; on
// SQLite "SQLite" and the library's version (sqlite3_libversion()).
struct ServerInfo {
    std::string dbmsName;
    std::string dbmsVersion;
};

class Connection {
public:
    virtual ~Connection() = default;
    [[nodiscard]] virtual std::unique_ptr<Statement> Prepare(std::string_view sql) = 0;
    // "sqlite" or "odbc"
    [[nodiscard]] virtual std::string_view DriverName() const = 0;
    // The product the login reached. Over ODBC its name chooses the dialect:
    // "Microsoft SQL Server" (…SQL Server…) runs the statements as written,
    // PostgreSQL and any other server get them translated.
    [[nodiscard]] virtual ServerInfo Server() const = 0;

    // Starts a write transaction on the writing session. A named
    // `lockedTable` is locked first, so that of two transactions locking the
    // same table the second waits until the first ends; plain reads of other
    // connections go on and see what was committed (SQLite locks the whole
    // file for writing). Until Commit or Rollback every statement of this
    // connection runs in the transaction, also those prepared before it.
    // Results opened inside it should be finished before it ends. Throws when
    // a transaction is already active or the lock is not had in the engine's
    // time.
    virtual void StartTransaction(std::string_view lockedTable) = 0;
    // Ends the transaction. A failed Commit leaves it active, to be rolled back.
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    [[nodiscard]] virtual bool InTransaction() const = 0;
};

// A transaction for a scope: started by the constructor, rolled back by the
// destructor unless committed (also while an exception is in flight; errors
// of that rollback are swallowed).
class Transaction {
public:
    explicit Transaction(Connection& connection, std::string_view lockedTable = {});
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    Connection& connection_;
    bool active_ = true;
};

// Connects through the alias file (see aliases.h) with the given login, or
// the one the credentials file gives the alias. Throws EngineError when the
// alias is unknown, its target is missing, the credentials file is not
// trusted or the login is refused.
[[nodiscard]] std::unique_ptr<Connection> Connect(std::string_view alias, std::string_view user,
                                                  std::string_view password);

}  // namespace hisdb
