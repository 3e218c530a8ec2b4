// The ":name" marker scanner. Its markers and the engine's '?' markers must
// agree one for one (binding is by position), and it only ever shrinks text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/dataset/params.h"
#include "platform/engine/dialect.h"
#include "platform/engine/engine.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    const auto parsed = dataset::ParseSqlParams(sql);
    FUZZ_CHECK(parsed.text.size() <= sql.size());
    for (const auto& name : parsed.names) {
        FUZZ_CHECK(name.size() < sql.size());
    }
    if (sql.find('?') == std::string_view::npos) {
        try {
            const auto statement = hisdb::detail::ParseStatement(parsed.text, true);
            FUZZ_CHECK(statement.paramCount == static_cast<int>(parsed.names.size()));
        } catch (const hisdb::EngineError&) {
            // Two statements in one text are refused before any marker counts.
        }
    }
    return 0;
}
