#include "data/dataset/locale_settings.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace dataset::locale {
namespace {

Settings& Stored()
{
    static Settings settings;
    return settings;
}

bool& Loaded()
{
    static bool loaded = false;
    return loaded;
}

std::string EnvOr(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

int RunLength(std::string_view format, std::size_t pos)
{
    std::size_t end = pos;
    while (end < format.size() && format[end] == format[pos]) {
        ++end;
    }
    return static_cast<int>(end - pos);
}

void AppendNumber(std::string& out, int value, int width)
{
    std::string digits = std::to_string(value);
    while (static_cast<int>(digits.size()) < width) {
        digits.insert(digits.begin(), '0');
    }
    out += digits;
}

// Days from 0001-01-01 of a proleptic Gregorian date (1-based months).
long DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(long z, int& y, int& m, int& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

const long kEpochOffset = DaysFromCivil(1899, 12, 30);

bool ReadDigits(std::string_view text, std::size_t& pos, int minDigits, int maxDigits, int& value)
{
    int count = 0;
    value = 0;
    while (pos < text.size() && count < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++count;
    }
    return count >= minDigits;
}

bool ReadLiteral(std::string_view text, std::size_t& pos, std::string_view literal)
{
    if (text.substr(pos, literal.size()) != literal) {
        return false;
    }
    pos += literal.size();
    return true;
}

void SkipBlanks(std::string_view text, std::size_t& pos)
{
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
}

// Blanks before a literal that does not itself begin with a blank: they
// follow a number ("2026-1 -05", a month typed into a two-digit mask field).
void SkipBlanksBefore(std::string_view text, std::size_t& pos, std::string_view literal)
{
    if (!literal.empty() && literal.front() != ' ') {
        SkipBlanks(text, pos);
    }
}

// Parses a date from `pos` by the order of `format` (a short date format)
// with `separator` for '/', as people type dates: blanks around a number are
// skipped (a blank inside one is not), day and month take one or two digits,
// the year one, two (the century window below) or four. Leaves pos
// after the last number.
bool ParseDateAt(std::string_view text, std::size_t& pos, std::string_view format, std::string_view separator,
                 hisdb::DateTime& out)
{
    int year = -1, month = -1, day = -1;
    bool twoDigitYear = false;
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        const int run = RunLength(format, i);
        if (c == 'y') {
            SkipBlanks(text, pos);
            const std::size_t start = pos;
            // Three digits are a slip, not the year 202.
            if (!ReadDigits(text, pos, 1, 4, year) || pos - start == 3) {
                return false;
            }
            twoDigitYear = pos - start <= 2;
            i += static_cast<std::size_t>(run);
        } else if (c == 'M' || c == 'd') {
            int& target = c == 'M' ? month : day;
            SkipBlanks(text, pos);
            if (!ReadDigits(text, pos, 1, 2, target)) {
                return false;
            }
            i += static_cast<std::size_t>(run);
        } else if (c == '/') {
            SkipBlanksBefore(text, pos, separator);
            if (!ReadLiteral(text, pos, separator)) {
                return false;
            }
            ++i;
        } else if (c == '\'' || c == '"') {
            const std::size_t close = format.find(c, i + 1);
            const std::string_view literal =
                format.substr(i + 1, (close == std::string_view::npos ? format.size() : close) - i - 1);
            SkipBlanksBefore(text, pos, literal);
            if (!ReadLiteral(text, pos, literal)) {
                return false;
            }
            i = close == std::string_view::npos ? format.size() : close + 1;
        } else {
            SkipBlanksBefore(text, pos, format.substr(i, 1));
            if (pos >= text.size() || text[pos] != c) {
                return false;
            }
            ++pos;
            ++i;
        }
    }
    if (year < 0 || month < 0 || day < 0) {
        return false;
    }
    if (twoDigitYear) {
        year += year < 50 ? 2000 : 1900;
    }
    if (!IsValidDate(year, month, day)) {
        return false;
    }
    out = hisdb::DateTime{};
    out.year = year;
    out.month = month;
    out.day = day;
    return true;
}

}  // namespace

const Settings& Current()
{
    if (!Loaded()) {
        Reload();
    }
    return Stored();
}

void Reload()
{
    Settings& s = Stored();
    s.shortDateFormat = EnvOr("OPEREDIT_SHORTDATE", "yyyy-MM-dd");
    s.dateSeparator = EnvOr("OPEREDIT_DATESEP", "-");
    s.timeSeparator = EnvOr("OPEREDIT_TIMESEP", ":");
    s.longTimeFormat = EnvOr("OPEREDIT_LONGTIME", "HH:mm:ss");
    Loaded() = true;
}

std::string Format(std::string_view format, const hisdb::DateTime& v)
{
    const Settings& s = Current();
    std::string out;
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        const int run = RunLength(format, i);
        switch (c) {
        case 'y':
            if (run >= 3) {
                AppendNumber(out, v.year, 4);
            } else {
                AppendNumber(out, v.year % 100, 2);
            }
            break;
        case 'M':
            AppendNumber(out, v.month, run >= 2 ? 2 : 1);
            break;
        case 'd':
            AppendNumber(out, v.day, run >= 2 ? 2 : 1);
            break;
        case 'H':
        case 'h':
            AppendNumber(out, v.hour, run >= 2 ? 2 : 1);
            break;
        case 'm':
            AppendNumber(out, v.minute, run >= 2 ? 2 : 1);
            break;
        case 's':
            AppendNumber(out, v.second, run >= 2 ? 2 : 1);
            break;
        case 'z':
            AppendNumber(out, v.msec, run >= 3 ? 3 : 1);
            break;
        case '/':
            for (int k = 0; k < run; ++k) {
                out += s.dateSeparator;
            }
            break;
        case ':':
            for (int k = 0; k < run; ++k) {
                out += s.timeSeparator;
            }
            break;
        case '\'':
        case '"': {
            const std::size_t close = format.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? format.size() : close;
            out += format.substr(i + 1, end - i - 1);
            i = close == std::string_view::npos ? format.size() : close + 1;
            continue;
        }
        default:
            out.append(static_cast<std::size_t>(run), c);
            break;
        }
        i += static_cast<std::size_t>(run);
    }
    return out;
}

std::string FormatDate(const hisdb::DateTime& value)
{
    return Format(Current().shortDateFormat, value);
}

std::string FormatDateTime(const hisdb::DateTime& value)
{
    std::string text = FormatDate(value);
    if (value.hour != 0 || value.minute != 0 || value.second != 0) {
        text += ' ';
        text += Format(Current().longTimeFormat, value);
    }
    return text;
}

bool ParseDate(std::string_view text, hisdb::DateTime& out)
{
    const Settings& s = Current();
    return ParseDate(text, s.shortDateFormat, s.dateSeparator, out);
}

bool ParseDate(std::string_view text, std::string_view shortDateFormat, std::string_view dateSeparator,
               hisdb::DateTime& out)
{
    std::size_t pos = 0;
    hisdb::DateTime parsed;
    if (!ParseDateAt(text, pos, shortDateFormat, dateSeparator, parsed)) {
        return false;
    }
    SkipBlanks(text, pos);
    if (pos != text.size()) {
        return false;
    }
    out = parsed;
    return true;
}

bool ParseDateTime(std::string_view text, hisdb::DateTime& out)
{
    const Settings& s = Current();
    std::size_t pos = 0;
    hisdb::DateTime parsed;
    if (!ParseDateAt(text, pos, s.shortDateFormat, s.dateSeparator, parsed)) {
        return false;
    }
    if (pos == text.size()) {
        out = parsed;
        return true;
    }
    if (text[pos] != ' ') {
        return false;
    }
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    const std::string& sep = Current().timeSeparator;
    int hour = 0, minute = 0, second = 0, msec = 0;
    if (!ReadDigits(text, pos, 1, 2, hour) || !ReadLiteral(text, pos, sep) || !ReadDigits(text, pos, 2, 2, minute)) {
        return false;
    }
    if (pos < text.size() && ReadLiteral(text, pos, sep)) {
        if (!ReadDigits(text, pos, 2, 2, second)) {
            return false;
        }
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            std::size_t start = pos;
            if (!ReadDigits(text, pos, 1, 3, msec)) {
                return false;
            }
            for (std::size_t n = pos - start; n < 3; ++n) {
                msec *= 10;
            }
        }
    }
    if (pos != text.size() || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    parsed.hour = hour;
    parsed.minute = minute;
    parsed.second = second;
    parsed.msec = msec;
    out = parsed;
    return true;
}

hisdb::DateTime Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    hisdb::DateTime v;
    v.year = local.tm_year + 1900;
    v.month = local.tm_mon + 1;
    v.day = local.tm_mday;
    v.hour = local.tm_hour;
    v.minute = local.tm_min;
    v.second = local.tm_sec;
    v.msec = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    return v;
}

hisdb::DateTime Today()
{
    hisdb::DateTime v = Now();
    v.hour = v.minute = v.second = v.msec = 0;
    return v;
}

int DayNumber(const hisdb::DateTime& value)
{
    return static_cast<int>(DaysFromCivil(value.year, value.month, value.day) - kEpochOffset);
}

hisdb::DateTime FromDayNumber(int day)
{
    hisdb::DateTime v;
    CivilFromDays(static_cast<long>(day) + kEpochOffset, v.year, v.month, v.day);
    return v;
}

double ToDouble(const hisdb::DateTime& value)
{
    const double fraction =
        ((value.hour * 60.0 + value.minute) * 60.0 + value.second + value.msec / 1000.0) / 86400.0;
    const int day = DayNumber(value);
    // Before the epoch the fraction counts away from zero, as the day number's sign.
    return day < 0 ? day - fraction : day + fraction;
}

hisdb::DateTime FromDouble(double value)
{
    const double whole = std::trunc(value);
    long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
    int day = static_cast<int>(whole);
    if (ms >= 86400000LL) {
        ms -= 86400000LL;
        day += value < 0 ? -1 : 1;
    }
    hisdb::DateTime v = FromDayNumber(day);
    v.hour = static_cast<int>(ms / 3600000);
    v.minute = static_cast<int>(ms / 60000 % 60);
    v.second = static_cast<int>(ms / 1000 % 60);
    v.msec = static_cast<int>(ms % 1000);
    return v;
}

bool IsValidDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int max = month == 2 && leap ? 29 : kDays[month - 1];
    return day <= max;
}

}  // namespace dataset::locale
