// libFuzzer target over the query layer's parsers: parameter markers, edit
// masks and their values, date texts and number formats. Built with clang
// only (see CMakeLists.txt); run: fuzz_dataset_parsers -max_total_time=60
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/dataset/edit_mask.h"
#include "data/dataset/locale_settings.h"
#include "data/dataset/number_format.h"
#include "data/dataset/params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto parsed = dataset::ParseSqlParams(text);
    if (parsed.text.size() > text.size()) {
        __builtin_trap();  // markers only ever shrink the text
    }

    // First line: a mask; the rest: an edit text.
    const auto newline = text.find('\n');
    const std::string_view maskText = text.substr(0, newline);
    const std::string_view editText = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    const dataset::EditMask mask(maskText);
    const std::string value = mask.ExtractValue(editText);
    const std::string laidOut = mask.EditText(value);
    if (static_cast<int>(laidOut.size()) != mask.Length()) {
        __builtin_trap();
    }
    (void)mask.FirstUnfilledRequired(editText);
    (void)mask.DisplayText(editText);

    hisdb::DateTime date;
    if (dataset::locale::ParseDateTime(text, date) && !dataset::locale::IsValidDate(date.year, date.month, date.day)) {
        __builtin_trap();
    }

    if (size >= 8) {
        std::int64_t currency = 0;
        __builtin_memcpy(&currency, data, 8);
        (void)dataset::FormatCurrency(text.substr(8, 40), currency);
        double number = 0;
        __builtin_memcpy(&number, data, 8);
        (void)dataset::FormatFloat(text.substr(8, 40), number);
    }
    return 0;
}
