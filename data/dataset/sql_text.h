// Pieces of statement text built from values.
#pragma once

#include <string>
#include <string_view>

namespace dataset {

// `value` as it goes between the single quotes of a literal: each quote is
// doubled, so the value can never end the literal early. Nothing else is
// changed ("%" and "_" keep their meaning in a like pattern).
[[nodiscard]] std::string LiteralText(std::string_view value);

}  // namespace dataset
