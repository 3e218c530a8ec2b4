// Value types, errors and the choice of driver by alias.
#include "platform/engine/engine.h"

#include "platform/engine/aliases.h"
#include "platform/engine/drivers.h"

#include <cmath>
#include <cstdio>

namespace hisdb {

std::string_view ColumnTypeName(ColumnType type)
{
    switch (type) {
    case ColumnType::Unknown: return "Unknown";
    case ColumnType::String: return "String";
    case ColumnType::FixedChar: return "FixedChar";
    case ColumnType::SmallInt: return "SmallInt";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Word: return "Word";
    case ColumnType::AutoInc: return "AutoInc";
    case ColumnType::LargeInt: return "LargeInt";
    case ColumnType::Float: return "Float";
    case ColumnType::Currency: return "Currency";
    case ColumnType::BCD: return "BCD";
    case ColumnType::Date: return "Date";
    case ColumnType::Time: return "Time";
    case ColumnType::DateTime: return "DateTime";
    case ColumnType::Blob: return "Blob";
    }
    return "Unknown";
}

double Decimal::ToDouble() const
{
    return static_cast<double>(unscaled) / std::pow(10.0, scale);
}

std::string DateTime::ToIso() const
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour, minute,
                  second, msec);
    return buffer;
}

namespace {

// Reads exactly `digits` digits at `pos`.
bool ReadNumber(std::string_view text, std::size_t& pos, int digits, int& out)
{
    if (pos + static_cast<std::size_t>(digits) > text.size()) {
        return false;
    }
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        char c = text[pos + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += static_cast<std::size_t>(digits);
    out = value;
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

bool ValidDate(int y, int m, int d)
{
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > days[m - 1]) {
        return false;
    }
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m != 2 || d <= 28 || leap;
}

// Reads "HH:MM[:SS[.fff]]" at `pos` to the end of the text.
bool ReadTime(std::string_view text, std::size_t pos, DateTime& t)
{
    if (!ReadNumber(text, pos, 2, t.hour) || !Expect(text, pos, ':') || !ReadNumber(text, pos, 2, t.minute)) {
        return false;
    }
    t.second = t.msec = 0;
    if (Expect(text, pos, ':')) {
        if (!ReadNumber(text, pos, 2, t.second)) {
            return false;
        }
        if (Expect(text, pos, '.')) {
            // Any number of fraction digits; kept to the millisecond.
            int scale = 100;
            std::size_t start = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                t.msec += (text[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
            if (pos == start) {
                return false;
            }
        }
    }
    return pos == text.size() && t.hour < 24 && t.minute < 60 && t.second < 60;
}

}  // namespace

bool DateTime::FromIso(std::string_view text, DateTime& out)
{
    DateTime t;
    std::size_t pos = 0;
    if (!ReadNumber(text, pos, 4, t.year) || !Expect(text, pos, '-') || !ReadNumber(text, pos, 2, t.month)
        || !Expect(text, pos, '-') || !ReadNumber(text, pos, 2, t.day) || !ValidDate(t.year, t.month, t.day)) {
        return false;
    }
    t.hour = t.minute = t.second = t.msec = 0;
    if (pos < text.size()) {
        if (text[pos] != ' ' && text[pos] != 'T') {
            return false;
        }
        if (!ReadTime(text, pos + 1, t)) {
            return false;
        }
    }
    out = t;
    return true;
}

bool DateTime::FromTimeText(std::string_view text, DateTime& out)
{
    DateTime t;
    if (!ReadTime(text, 0, t)) {
        return false;
    }
    out = t;
    return true;
}

namespace {

std::string JoinMessages(const std::string& description, const std::vector<std::string>& messages, int code)
{
    std::string text = description;
    std::vector<const std::string*> seen;
    if (!text.empty()) {
        seen.push_back(&description);
    }
    for (const std::string& m : messages) {
        if (m.empty()) {
            continue;
        }
        bool repeated = false;
        for (const std::string* s : seen) {
            repeated = repeated || *s == m;
        }
        if (repeated) {
            continue;
        }
        seen.push_back(&m);
        if (!text.empty()) {
            text += '\n';
        }
        text += m;
    }
    if (text.empty()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "Engine error $%.4x", static_cast<unsigned>(code) & 0xFFFFu);
        text = buffer;
    }
    return text;
}

}  // namespace

EngineError::EngineError(std::string description, int code, std::vector<std::string> messages)
    : std::runtime_error(JoinMessages(description, messages, code)),
      description_(std::move(description)),
      code_(code),
      messages_(std::move(messages))
{
}

Transaction::Transaction(Connection& connection, std::string_view lockedTable) : connection_(connection)
{
    connection_.StartTransaction(lockedTable);
}

Transaction::~Transaction()
{
    if (!active_) {
        return;
    }
    try {
        connection_.Rollback();
    } catch (...) { // NOLINT(bugprone-empty-catch): a destructor must not throw
    }
}

void Transaction::Commit()
{
    connection_.Commit();
    active_ = false;
}

std::unique_ptr<Connection> Connect(std::string_view alias, std::string_view user, std::string_view password)
{
    const Alias target = FindAlias(alias);
    // The administrator's login for the alias replaces the module's.
    const std::optional<Credentials> replaced = FindCredentials(target.name);
    if (replaced) {
        user = replaced->user;
        password = replaced->password;
    }
    if (target.driver == "sqlite") {
        return detail::ConnectSqlite(target, user, password);
    }
    if (target.driver == "odbc") {
        return detail::ConnectOdbc(target, user, password);
    }
    throw EngineError("Unknown driver '" + target.driver + "' for alias '" + target.name + "'");
}

}  // namespace hisdb
