// GBK (code page 936) conversion and byte widths.
//
// Inside the program text is UTF-8; GBK appears only at the library boundary
// and where column widths are counted. Characters that GBK cannot encode count
// as (and convert to) a single '?'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gbk {

// UTF-8 -> GBK bytes.
[[nodiscard]] std::string FromUtf8(std::string_view utf8);
// GBK bytes -> UTF-8. An incomplete trailing lead byte is dropped.
[[nodiscard]] std::string ToUtf8(std::string_view gbk);
// Width of UTF-8 text in GBK bytes (ASCII 1, Chinese 2).
[[nodiscard]] std::size_t Width(std::string_view utf8);
// The longest prefix of UTF-8 text whose GBK width is at most `bytes`; never
// splits a character.
[[nodiscard]] std::string CutToWidth(std::string_view utf8, std::size_t bytes);
// True when `c` is a lead byte of a GBK double-byte character.
[[nodiscard]] constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

}  // namespace gbk
