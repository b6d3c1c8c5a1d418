#pragma once

// A check whose failure libFuzzer reports as a crash, with the input that caused it.
#include <cstdio>
#include <cstdlib>

namespace zelbrin::fuzz {

inline void check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace zelbrin::fuzz
