#pragma once
// Hives laid out as Windows lays them out, written from the format: sorted
// and hashed subkey lists (lh, lf or li, under an ri when a key has more
// subkeys than one leaf holds), security descriptors shared by several keys
// in their ring, class names, values inline, in one cell or as big data.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vornex::hive::testing {

struct TreeValue {
    std::u16string name;
    std::uint32_t type = 1;
    std::vector<unsigned char> data;
};

struct TreeKey {
    std::u16string name;
    std::vector<TreeValue> values;
    std::vector<TreeKey> subkeys;
    std::u16string className;
    std::size_t security = 0;  // which of the layout's descriptors it uses
    bool link = false;         // KEY_SYM_LINK
};

struct TreeLayout {
    std::uint32_t minorVersion = 5;
    const char* leaf = "lh";
    std::size_t leafCapacity = 500;
    std::size_t descriptors = 2;
};

struct BuiltHive {
    std::vector<unsigned char> image;
    std::map<std::u16string, std::uint32_t> keys;  // "A\B" (root "") to its nk cell
    std::vector<std::uint32_t> descriptors;
};

BuiltHive BuildWindowsHive(const TreeKey& root, const TreeLayout& layout);

}  // namespace vornex::hive::testing
