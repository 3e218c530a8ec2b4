// emrhost: a stand-in for the ward's EMR client.
//
// Loads liboperedit.so at run time (see DefaultLibraryPath), converts its three UTF-8 arguments
// (applicant, department code, department name) to GBK, calls `operedit`,
// prints the result text in UTF-8 and exits 0 for the empty result, 1 for any
// other, 2 when the library cannot be used.
//
// emrhost --check diagnoses the way to the database instead (host/check.h):
// exit 0 when everything a call needs is in place, else 1.
#include "host/check.h"
#include "include/operedit.h"
#include "platform/text/gbk.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

using OperEditFn = decltype(&operedit);

// $OPEREDIT_LIBRARY; else the library beside the build tree's bin/ (lib/);
// else the installed one, found by the dynamic loader under its soname.
std::string DefaultLibraryPath()
{
    if (const char* env = std::getenv("OPEREDIT_LIBRARY"); env != nullptr && *env != '\0') {
        return env;
    }
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir.erase(dir.find_last_of('/'));
        const std::string beside = dir + "/../lib/" OPEREDIT_SONAME;
        if (access(beside.c_str(), F_OK) == 0) {
            return beside;
        }
    }
    return OPEREDIT_SONAME;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: emrhost [--library PATH] APPLICANT DEPTCODE DEPTNAME\n"
                 "       emrhost --check\n"
                 "  e.g. emrhost 张医生 0301 普外科\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--check") {
        return check::Run(std::cout);
    }
    std::string library = DefaultLibraryPath();
    int first = 1;
    if (argc > 2 && std::string(argv[1]) == "--library") {
        library = argv[2];
        first = 3;
    }
    if (argc - first != 3) {
        return Usage();
    }

    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "emrhost: cannot load %s: %s\n", library.c_str(), dlerror());
        return 2;
    }
    auto operedit = reinterpret_cast<OperEditFn>(dlsym(handle, "operedit"));
    if (operedit == nullptr) {
        std::fprintf(stderr, "emrhost: %s has no operedit\n", library.c_str());
        return 2;
    }

    const std::string applicant = gbk::FromUtf8(argv[first]);
    const std::string deptCode = gbk::FromUtf8(argv[first + 1]);
    const std::string deptName = gbk::FromUtf8(argv[first + 2]);
    const char* result = operedit(applicant.c_str(), deptCode.c_str(), deptName.c_str());

    // The result is the library's constant storage: read, never freed.
    const std::string text = gbk::ToUtf8(result != nullptr ? result : "");
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    // Qt keeps its application object for the process; unloading the library
    // under it would pull its code away, so the handle stays open.
    return text.empty() ? 0 : 1;
}
