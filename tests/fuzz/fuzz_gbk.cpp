// GBK both ways, widths and cutting. The first byte is a width to cut to.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text/gbk.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t width = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    // The input as GBK bytes.
    const std::string utf8 = gbk::ToUtf8(bytes);
    FUZZ_CHECK(IsUtf8(utf8));
    const std::string back = gbk::FromUtf8(utf8);
    FUZZ_CHECK(gbk::Width(utf8) == back.size());
    FUZZ_CHECK(gbk::ToUtf8(back) == utf8);

    // The input as UTF-8 (possibly ill-formed).
    const std::string encoded = gbk::FromUtf8(bytes);
    FUZZ_CHECK(gbk::Width(bytes) == encoded.size());
    const std::string cut = gbk::CutToWidth(bytes, width);
    FUZZ_CHECK(bytes.substr(0, cut.size()) == cut);
    FUZZ_CHECK(gbk::Width(cut) <= width);
    // Never a lone lead byte at the end of the cut text's GBK form.
    const std::string cutGbk = gbk::FromUtf8(cut);
    std::size_t i = 0;
    while (i < cutGbk.size()) {
        i += gbk::IsLeadByte(static_cast<unsigned char>(cutGbk[i])) ? 2 : 1;
    }
    FUZZ_CHECK(i == cutGbk.size());
    return 0;
}
