#pragma once
// A strict structural check of a hive image, written from the format and
// independent of the reader: what Windows expects of a hive it loads.
#include <cstddef>
#include <string>
#include <vector>

namespace vornex::hive::testing {

struct HiveCheck {
    // One line per fault, each naming its cell, so that two checks compare.
    std::vector<std::string> problems;
    std::size_t keys = 0;
    std::size_t values = 0;
    std::size_t freeCells = 0;
    std::size_t adjacentFreeCells = 0;  // free cells right after a free cell

    bool ok() const { return problems.empty(); }
};

// Every allocated cell reached from the root exactly once (security
// descriptors once per key using them) and no other; free cells well
// formed; counts equal to lists; lf/lh lists sorted and hashed as Windows
// sorts and hashes them; reference counts and the ring of security
// descriptors; big data; the base block checksum.
HiveCheck CheckHive(const std::vector<unsigned char>& image);

// Problems of `after` that `before` did not have.
std::vector<std::string> NewProblems(const HiveCheck& before, const HiveCheck& after);

}  // namespace vornex::hive::testing
