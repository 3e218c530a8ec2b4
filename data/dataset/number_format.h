// Number texts for the numeric fields: general text of floats and currency
// values, and formats such as "0.0" or "#,##0.00" ('0' digit, '#' optional
// digit, '.' point, ',' thousands, quoted literals, up to three sections
// "positive;negative;zero"). Rounding is half away from zero on the decimal
// digits (a float is first taken to 15 significant digits).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dataset {

[[nodiscard]] std::string FormatFloat(std::string_view format, double value);
// `currency`: the number times 10000.
[[nodiscard]] std::string FormatCurrency(std::string_view format, std::int64_t currency);
// Shortest text: up to 15 significant digits, no exponent below 1e15.
[[nodiscard]] std::string FloatToText(double value);
// Digits with up to four decimals, trailing zeros dropped.
[[nodiscard]] std::string CurrencyToText(std::int64_t currency);

}  // namespace dataset
