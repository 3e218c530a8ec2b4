// liboperedit.so loaded and called as the EMR client does, for the
// end-to-end tests.
#pragma once

#include "platform/text/gbk.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace e2e {

inline std::string BinaryDir()
{
    const char* dir = std::getenv("OPEREDIT_BINARY_DIR");
    return dir != nullptr ? dir : ".";
}

inline std::string LibraryPath()
{
    return BinaryDir() + "/lib/liboperedit.so";
}

// liboperedit.so loaded as the host loads it.
class Library {
public:
    Library()
    {
        handle_ = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            fn_ = reinterpret_cast<Fn>(dlsym(handle_, "operedit"));
        }
    }
    // Qt's application object lives on in the library; it is never unloaded.
    [[nodiscard]] bool Loaded() const { return fn_ != nullptr; }
    const char* Call(const char* a, const char* b, const char* c) const { return fn_(a, b, c); }
    // Calls with UTF-8 texts converted to GBK, as emrhost does.
    const char* CallUtf8(const std::string& a, const std::string& b, const std::string& c) const
    {
        const std::string ga = gbk::FromUtf8(a), gb = gbk::FromUtf8(b), gc = gbk::FromUtf8(c);
        return fn_(ga.c_str(), gb.c_str(), gc.c_str());
    }

private:
    using Fn = const char* (*)(const char*, const char*, const char*);
    void* handle_ = nullptr;
    Fn fn_ = nullptr;
};

}  // namespace e2e
