// Private helpers that the parts of the field classes (fields.cpp,
// number_fields.cpp, date_fields.cpp) share; defined in fields.cpp. Not part
// of the contract in fields.h.

#pragma once

#include <cstdint>
#include <string_view>

namespace dataset::detail {

std::string_view TrimLeft(std::string_view text);
bool ParseInt64(std::string_view text, std::int64_t& out);
bool ParseDouble(std::string_view text, double& out);

}  // namespace dataset::detail
