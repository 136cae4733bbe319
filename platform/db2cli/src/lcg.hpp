#pragma once
// The small deterministic generator of the generated sample tables: the same seed gives the
// same rows on every machine and standard library.

#include <cstdint>

namespace db2s {

struct lcg {
    std::uint64_t state;
    std::uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
};

} // namespace db2s
