// What the fuzz targets share: a check that stops the run (and keeps the
// input) when an invariant does not hold.
#pragma once

#include <cstdio>

#define FUZZ_CHECK(condition)                                                    \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                         #condition);                                            \
            __builtin_trap();                                                    \
        }                                                                        \
    } while (0)
