// Date texts: typed dates under several workstation formats (the first byte
// picks one), and the engine's stored date text. A date read is a real date
// and reads back the same from its own text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/dataset/locale_settings.h"
#include "platform/engine/engine.h"
#include "tests/fuzz/fuzz_check.h"

namespace loc = dataset::locale;

namespace {

struct Workstation {
    const char* shortDate;
    const char* separator;
};
constexpr Workstation kWorkstations[] = {
    {"yyyy-MM-dd", "-"}, {"d/M/yy", "/"}, {"dd.MM.yyyy", "."}, {"M/d/yyyy", "/"}, {"yy/MM/dd", "-"},
};

bool SameDay(const hisdb::DateTime& a, const hisdb::DateTime& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const Workstation& workstation = kWorkstations[data[0] % std::size(kWorkstations)];
    setenv("OPEREDIT_SHORTDATE", workstation.shortDate, 1);
    setenv("OPEREDIT_DATESEP", workstation.separator, 1);
    loc::Reload();
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

    hisdb::DateTime date;
    if (loc::ParseDate(text, date)) {
        FUZZ_CHECK(loc::IsValidDate(date.year, date.month, date.day));
        hisdb::DateTime again;
        FUZZ_CHECK(loc::ParseDate(loc::FormatDate(date), again));
        // A two-digit year reads back in 1950..2049 only.
        const bool shortYear = std::string_view(workstation.shortDate).find("yyyy") == std::string_view::npos;
        FUZZ_CHECK(SameDay(again, date) || (shortYear && (date.year < 1950 || date.year > 2049)));
    }
    hisdb::DateTime stamp;
    if (loc::ParseDateTime(text, stamp)) {
        FUZZ_CHECK(loc::IsValidDate(stamp.year, stamp.month, stamp.day));
    }
    hisdb::DateTime stored;
    if (hisdb::DateTime::FromIso(text, stored)) {
        FUZZ_CHECK(loc::IsValidDate(stored.year, stored.month, stored.day));
        hisdb::DateTime again;
        FUZZ_CHECK(hisdb::DateTime::FromIso(stored.ToIso(), again));
        FUZZ_CHECK(again == stored);
    }
    hisdb::DateTime time;
    (void)hisdb::DateTime::FromTimeText(text, time);
    return 0;
}
