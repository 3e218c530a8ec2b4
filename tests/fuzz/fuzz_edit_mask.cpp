// Edit masks: the first line of the input is the mask, the rest an edit text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/dataset/edit_mask.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto newline = text.find('\n');
    const std::string_view maskText = text.substr(0, newline);
    const std::string_view editText = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    const dataset::EditMask mask(maskText);
    const std::string value = mask.ExtractValue(editText);
    const std::string laidOut = mask.EditText(value);
    FUZZ_CHECK(static_cast<int>(laidOut.size()) == mask.Length());
    FUZZ_CHECK(static_cast<int>(mask.DisplayText(value).size()) == mask.Length());
    (void)mask.FirstUnfilledRequired(editText);
    (void)mask.IsValid(editText);
    return 0;
}
