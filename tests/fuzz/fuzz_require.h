#pragma once
#include <cstdio>
#include <cstdlib>

namespace vornex::fuzz {

// A broken invariant ends the run, so that libFuzzer keeps the input.
inline void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace vornex::fuzz
