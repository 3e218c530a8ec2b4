// "0.0"-style number formats: eight bytes of value, then the format.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "data/dataset/number_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8) {
        return 0;
    }
    const std::string_view format(reinterpret_cast<const char*>(data) + 8, size - 8);
    std::int64_t currency = 0;
    std::memcpy(&currency, data, 8);
    (void)dataset::FormatCurrency(format.substr(0, 64), currency);
    double number = 0;
    std::memcpy(&number, data, 8);
    (void)dataset::FormatFloat(format.substr(0, 64), number);
    return 0;
}
