#include "data/dataset/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace dataset {
namespace {

// value = 0.d1d2d3... * 10^exponent
struct Digits {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Digits FromDouble(double value)
{
    Digits d;
    d.negative = std::signbit(value) && value != 0.0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    // "d.dddddddddddddde+XX"
    std::string text(buffer);
    const auto e = text.find('e');
    d.digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.exponent = std::atoi(text.c_str() + e + 1) + 1;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    if (d.digits.empty()) {
        d.exponent = 0;
    }
    return d;
}

Digits FromCurrency(std::int64_t currency)
{
    Digits d;
    d.negative = currency < 0;
    const std::uint64_t magnitude =
        currency < 0 ? static_cast<std::uint64_t>(-(currency + 1)) + 1 : static_cast<std::uint64_t>(currency);
    d.digits = std::to_string(magnitude);
    d.exponent = static_cast<int>(d.digits.size()) - 4;
    while (!d.digits.empty() && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    if (d.digits.empty() || magnitude == 0) {
        d.digits.clear();
        d.exponent = 0;
        d.negative = false;
    }
    return d;
}

// Integer and fraction digits, rounded half away from zero to `decimals` places.
void Split(const Digits& d, int decimals, std::string& integer, std::string& fraction)
{
    // Plain digit string with the point after position `point`.
    std::string all = d.digits;
    int point = d.exponent;
    if (point < 0) {
        all.insert(0, static_cast<std::size_t>(-point), '0');
        point = 0;
    }
    if (static_cast<int>(all.size()) < point) {
        all.append(static_cast<std::size_t>(point - static_cast<int>(all.size())), '0');
    }
    const int keep = point + decimals;
    if (static_cast<int>(all.size()) > keep) {
        const bool roundUp = all[static_cast<std::size_t>(keep)] >= '5';
        all.resize(static_cast<std::size_t>(keep));
        if (roundUp) {
            int i = keep - 1;
            for (; i >= 0; --i) {
                if (all[static_cast<std::size_t>(i)] == '9') {
                    all[static_cast<std::size_t>(i)] = '0';
                } else {
                    ++all[static_cast<std::size_t>(i)];
                    break;
                }
            }
            if (i < 0) {
                all.insert(all.begin(), '1');
                ++point;
            }
        }
    }
    all.append(static_cast<std::size_t>(std::max(0, point + decimals - static_cast<int>(all.size()))), '0');
    integer = all.substr(0, static_cast<std::size_t>(point));
    fraction = all.substr(static_cast<std::size_t>(point), static_cast<std::size_t>(decimals));
    std::size_t nonZero = integer.find_first_not_of('0');
    integer = nonZero == std::string::npos ? std::string() : integer.substr(nonZero);
}

std::vector<std::string> Sections(std::string_view format)
{
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char c : format) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
            sections.back() += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            sections.back() += c;
        } else if (c == ';') {
            sections.emplace_back();
        } else {
            sections.back() += c;
        }
    }
    return sections;
}

std::string ApplySection(std::string_view section, const Digits& value, bool withMinus)
{
    std::string prefix, suffix;
    int intZeros = 0, decZeros = 0, decAll = 0;
    bool seenPlaceholder = false, seenPoint = false, thousands = false, firstZeroSeen = false;
    char quote = 0;
    for (char c : section) {
        std::string& literal = seenPlaceholder ? suffix : prefix;
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                literal += c;
            }
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
            quote = c;
            break;
        case '0':
        case '#':
            seenPlaceholder = true;
            suffix.clear();
            if (seenPoint) {
                ++decAll;
                if (c == '0') {
                    decZeros = decAll;
                }
            } else if (c == '0' || firstZeroSeen) {
                firstZeroSeen = true;
                ++intZeros;
            }
            break;
        case '.':
            seenPoint = true;
            break;
        case ',':
            thousands = true;
            break;
        default:
            literal += c;
            break;
        }
    }
    std::string integer, fraction;
    Split(value, decAll, integer, fraction);
    while (static_cast<int>(integer.size()) < intZeros) {
        integer.insert(integer.begin(), '0');
    }
    while (static_cast<int>(fraction.size()) > decZeros && !fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (thousands) {
        for (int i = static_cast<int>(integer.size()) - 3; i > 0; i -= 3) {
            integer.insert(static_cast<std::size_t>(i), 1, ',');
        }
    }
    const bool allZero = integer.find_first_not_of("0,") == std::string::npos &&
                         fraction.find_first_not_of('0') == std::string::npos;
    std::string text = prefix;
    if (withMinus && !allZero) {
        text += '-';
    }
    text += integer;
    if (!fraction.empty()) {
        text += '.';
        text += fraction;
    }
    text += suffix;
    return text;
}

std::string Format(std::string_view format, Digits value)
{
    const auto sections = Sections(format);
    const bool zero = value.digits.empty();
    if (zero && sections.size() >= 3 && !sections[2].empty()) {
        return ApplySection(sections[2], value, false);
    }
    if (value.negative && sections.size() >= 2 && !sections[1].empty()) {
        value.negative = false;
        return ApplySection(sections[1], value, false);
    }
    const bool minus = value.negative;
    value.negative = false;
    return ApplySection(sections[0], value, minus);
}

}  // namespace

std::string FormatFloat(std::string_view format, double value)
{
    if (format.empty()) {
        return FloatToText(value);
    }
    // No digits to lay out (the scan below would find no exponent).
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    return Format(format, FromDouble(value));
}

std::string FormatCurrency(std::string_view format, std::int64_t currency)
{
    if (format.empty()) {
        return CurrencyToText(currency);
    }
    return Format(format, FromCurrency(currency));
}

std::string FloatToText(double value)
{
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    }
    char buffer[64];
    if (std::fabs(value) >= 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.14E", value);
        std::string text(buffer);
        // Trim the mantissa's trailing zeros: 1.50000000000000E+20 -> 1.5E+20
        const auto e = text.find('E');
        std::string mantissa = text.substr(0, e);
        while (!mantissa.empty() && mantissa.back() == '0') {
            mantissa.pop_back();
        }
        if (!mantissa.empty() && mantissa.back() == '.') {
            mantissa.pop_back();
        }
        return mantissa + text.substr(e);
    }
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string CurrencyToText(std::int64_t currency)
{
    const bool negative = currency < 0;
    const std::uint64_t magnitude =
        negative ? static_cast<std::uint64_t>(-(currency + 1)) + 1 : static_cast<std::uint64_t>(currency);
    std::string text = std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        text += '.' + fraction;
    }
    return negative ? "-" + text : text;
}

}  // namespace dataset
