// An ODBC driver for tests, loaded by the driver manager from its path. It
// logs in to nothing, runs every statement with no result and one row
// changed, and refuses to prepare any statement holding "IS NOT DISTINCT
// FROM" with the message kRefusal, as a server refuses a statement it cannot
// compile; running a statement that was never prepared is a function
// sequence error, as with every driver.
//
// For the engine's choice of dialect it answers SQL_DBMS_NAME and
// SQL_DBMS_VER with $REFUSING_ODBC_DBMS and $REFUSING_ODBC_DBMS_VER (default
// "Refusing", "01.00.0000"), and when $REFUSING_ODBC_LOG names a file it
// appends what it is sent, a line each: "connect <string>", "prepare <sql>",
// "direct <sql>", "bind <position> <integer value | null | other>".
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr const char* kRefusal = "refused to prepare";
constexpr const char* kSequence = "Function sequence error";

struct Handle {
    SQLSMALLINT type = 0;
    std::string state;  // the SQLSTATE of the last error, empty for none
    std::string message;
    std::string text;  // statements: the prepared text
    bool prepared = false;
};

SQLRETURN Error(Handle* handle, const char* state, const std::string& message)
{
    handle->state = state;
    handle->message = message;
    return SQL_ERROR;
}

SQLRETURN Ok(Handle* handle)
{
    handle->state.clear();
    handle->message.clear();
    return SQL_SUCCESS;
}

std::string Narrow(const SQLWCHAR* text, SQLINTEGER length)
{
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (SQLINTEGER i = 0; length == SQL_NTS ? text[i] != 0 : i < length; ++i) {
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    }
    return out;
}

// Writes `text` into a wide buffer of `bytes` bytes; the length in bytes.
SQLSMALLINT Widen(const std::string& text, SQLPOINTER buffer, SQLINTEGER bytes)
{
    auto* out = static_cast<SQLWCHAR*>(buffer);
    const auto room = static_cast<std::size_t>(bytes > 0 ? bytes / static_cast<SQLINTEGER>(sizeof(SQLWCHAR)) : 0);
    if (out != nullptr && room > 0) {
        const std::size_t n = std::min(text.size(), room - 1);
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<unsigned char>(text[i]);
        }
        out[n] = 0;
    }
    return static_cast<SQLSMALLINT>(text.size() * sizeof(SQLWCHAR));
}

Handle* Of(SQLHANDLE handle) { return static_cast<Handle*>(handle); }

std::string EnvOr(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

void Log(const std::string& line)
{
    const std::string path = EnvOr("REFUSING_ODBC_LOG", "");
    if (!path.empty()) {
        std::ofstream(path, std::ios::app) << line << '\n';
    }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE /*input*/, SQLHANDLE* output)
{
    auto* handle = new Handle;
    handle->type = type;
    *output = handle;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT /*type*/, SQLHANDLE handle)
{
    delete Of(handle);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV /*env*/, SQLINTEGER /*attribute*/, SQLPOINTER /*value*/, SQLINTEGER /*length*/)
{
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV /*env*/, SQLINTEGER /*attribute*/, SQLPOINTER value, SQLINTEGER /*length*/,
                                SQLINTEGER* /*out*/)
{
    if (value != nullptr) {
        *static_cast<SQLINTEGER*>(value) = SQL_OV_ODBC3;
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC dbc, SQLINTEGER /*attribute*/, SQLPOINTER /*value*/,
                                     SQLINTEGER /*length*/)
{
    return Ok(Of(dbc));
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER /*length*/,
                                     SQLINTEGER* /*out*/)
{
    if (value != nullptr) {
        *static_cast<SQLUINTEGER*>(value) = attribute == SQL_ATTR_CONNECTION_DEAD ? SQL_CD_FALSE : 0;
    }
    return Ok(Of(dbc));
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC dbc, SQLHWND /*window*/, SQLWCHAR* in, SQLSMALLINT inLength,
                                    SQLWCHAR* out, SQLSMALLINT outLength, SQLSMALLINT* written,
                                    SQLUSMALLINT /*completion*/)
{
    Log("connect " + Narrow(in, inLength));
    const SQLSMALLINT bytes = Widen("DSN=refusing", out, outLength * static_cast<SQLINTEGER>(sizeof(SQLWCHAR)));
    if (written != nullptr) {
        *written = static_cast<SQLSMALLINT>(bytes / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR)));
    }
    return Ok(Of(dbc));
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) { return Ok(Of(dbc)); }

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT length,
                              SQLSMALLINT* written)
{
    std::string text;
    switch (type) {
    case SQL_DBMS_NAME: text = EnvOr("REFUSING_ODBC_DBMS", "Refusing"); break;
    case SQL_DBMS_VER: text = EnvOr("REFUSING_ODBC_DBMS_VER", "01.00.0000"); break;
    case SQL_DRIVER_ODBC_VER: text = "03.52"; break;
    case SQL_DRIVER_NAME: text = "refusing_odbc_driver.so"; break;
    case SQL_DRIVER_VER: text = "01.00.0000"; break;
    default:
        // Numbers: zero, of whatever width the caller gave room for.
        if (value != nullptr && length >= 0) {
            std::memset(value, 0, length > 0 ? static_cast<std::size_t>(length) : sizeof(SQLUINTEGER));
        }
        if (written != nullptr) {
            *written = 0;
        }
        return Ok(Of(dbc));
    }
    const SQLSMALLINT bytes = Widen(text, value, length);
    if (written != nullptr) {
        *written = bytes;
    }
    return Ok(Of(dbc));
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length)
{
    Handle* handle = Of(stmt);
    const std::string sql = Narrow(text, length);
    Log("prepare " + sql);
    if (sql.find("IS NOT DISTINCT FROM") != std::string::npos) {
        return Error(handle, "42000", std::string(kRefusal) + ": " + sql);
    }
    handle->text = sql;
    handle->prepared = true;
    return Ok(handle);
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt)
{
    Handle* handle = Of(stmt);
    if (!handle->prepared) {
        return Error(handle, "HY010", kSequence);
    }
    return Ok(handle);
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length)
{
    Handle* handle = Of(stmt);
    handle->text = Narrow(text, length);
    Log("direct " + handle->text);
    return Ok(handle);
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count)
{
    Handle* handle = Of(stmt);
    if (!handle->prepared) {
        return Error(handle, "HY010", kSequence);
    }
    *count = static_cast<SQLSMALLINT>(std::count(handle->text.begin(), handle->text.end(), '?'));
    return Ok(handle);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT /*io*/,
                                   SQLSMALLINT cType, SQLSMALLINT /*sqlType*/, SQLULEN /*size*/,
                                   SQLSMALLINT /*digits*/, SQLPOINTER value, SQLLEN /*bufferLength*/,
                                   SQLLEN* indicator)
{
    std::string what = "other";
    if (indicator != nullptr && *indicator == SQL_NULL_DATA) {
        what = "null";
    } else if (cType == SQL_C_SBIGINT && value != nullptr) {
        what = std::to_string(*static_cast<const long long*>(value));
    }
    Log("bind " + std::to_string(number) + " " + what);
    return Ok(Of(stmt));
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count)
{
    *count = 0;
    return Ok(Of(stmt));
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* count)
{
    *count = 1;
    return Ok(Of(stmt));
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT /*stmt*/) { return SQL_NO_DATA; }

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT /*option*/) { return Ok(Of(stmt)); }

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT /*type*/, SQLHANDLE handle, SQLSMALLINT /*completion*/)
{
    return Ok(Of(handle));
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT /*type*/, SQLHANDLE handle, SQLSMALLINT record, SQLWCHAR* state,
                                 SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT length, SQLSMALLINT* written)
{
    const Handle* h = Of(handle);
    if (record != 1 || h->state.empty()) {
        return SQL_NO_DATA;
    }
    Widen(h->state, state, 6 * static_cast<SQLINTEGER>(sizeof(SQLWCHAR)));
    if (native != nullptr) {
        *native = 0;
    }
    const SQLSMALLINT bytes = Widen(h->message, message, length * static_cast<SQLINTEGER>(sizeof(SQLWCHAR)));
    if (written != nullptr) {
        *written = static_cast<SQLSMALLINT>(bytes / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR)));
    }
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT /*type*/, SQLHANDLE handle, SQLSMALLINT record,
                                   SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT /*length*/,
                                   SQLSMALLINT* /*written*/)
{
    const Handle* h = Of(handle);
    if (record == 0 && field == SQL_DIAG_NUMBER && value != nullptr) {
        *static_cast<SQLINTEGER*>(value) = h->state.empty() ? 0 : 1;
        return SQL_SUCCESS;
    }
    return SQL_NO_DATA;
}

}  // extern "C"
