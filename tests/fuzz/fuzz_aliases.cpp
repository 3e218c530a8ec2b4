// The alias file: the input is the file; the alias looked up is HIS.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/engine/aliases.h"
#include "platform/engine/engine.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

const std::string& AliasFile()
{
    static const std::string path = [] {
        char name[] = "/tmp/fuzz-aliases-XXXXXX";
        const int fd = mkstemp(name);
        FUZZ_CHECK(fd >= 0);
        close(fd);
        setenv("HISDB_ALIASES", name, 1);
        std::atexit([] { std::remove(AliasFile().c_str()); });
        return std::string(name);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = AliasFile();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    try {
        const hisdb::Alias alias = hisdb::FindAlias("HIS");
        FUZZ_CHECK(alias.source == path);
        for (char c : alias.driver) {
            FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
        }
    } catch (const hisdb::EngineError&) {
        // an alias file without HIS
    }
    return 0;
}
