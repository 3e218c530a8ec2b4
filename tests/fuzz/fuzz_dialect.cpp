// The engine's dialect translation: the (NOLOCK) hint, '?' markers, the
// null-safe comparisons, the first keyword and whether a statement reads rows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/engine/dialect.h"
#include "platform/engine/engine.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    for (const bool dropNolock : {false, true}) {
        hisdb::detail::ParsedStatement parsed;
        try {
            parsed = hisdb::detail::ParseStatement(sql, dropNolock);
        } catch (const hisdb::EngineError&) {
            return 0;  // a second statement after ';' is refused
        }
        FUZZ_CHECK(parsed.text.size() <= sql.size() + sql.size() / 2 + 1);
        if (!dropNolock) {
            // Unchanged, but for a closing ';' and what may follow it.
            FUZZ_CHECK(sql.substr(0, parsed.text.size()) == parsed.text);
        }
        int lastParam = -1;
        std::size_t lastEquals = 0;
        for (const auto& site : parsed.sites) {
            FUZZ_CHECK(site.param > lastParam && site.param < parsed.paramCount);
            FUZZ_CHECK(site.equals < parsed.text.size() && parsed.text[site.equals] == '=');
            FUZZ_CHECK(lastParam < 0 || site.equals > lastEquals);
            lastParam = site.param;
            lastEquals = site.equals;
        }
        FUZZ_CHECK(parsed.sites.size() <= 64);
        const std::string none = hisdb::detail::WithNullMatches(parsed, 0, " IS ");
        FUZZ_CHECK(none == parsed.text);
        const std::string all = hisdb::detail::WithNullMatches(parsed, ~std::uint64_t{0}, "IS NOT DISTINCT FROM");
        FUZZ_CHECK(all.size() == parsed.text.size() + parsed.sites.size() * 21);
        // The null-safe text is the same statement: same markers, same kind.
        const auto again = hisdb::detail::ParseStatement(all, false);
        FUZZ_CHECK(again.paramCount == parsed.paramCount);
        FUZZ_CHECK(hisdb::detail::ReturnsRows(all) == hisdb::detail::ReturnsRows(parsed.text));
    }
    (void)hisdb::detail::FirstKeyword(sql);
    return 0;
}
