// libFuzzer target: random sequences of deletions on hive images (the shared
// real hives as seeds, mutated). On any input the writer either refuses a
// change and leaves every byte as it was, or makes it; the reader never
// crashes on the result and no longer finds what was removed. On an image
// the strict check passed, every result passes it too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "tests/hive/regf_walk.h"
#include "stores/hive/regf_writer.h"
#include "tests/fuzz/fuzz_require.h"
#include "tests/hive/regf_check.h"

namespace {

using namespace vornex::hive;

using vornex::fuzz::Require;

struct Candidates {
    std::vector<std::pair<KeyRef, KeyRef>> keys;  // parent, a subkey without subkeys
    std::vector<std::pair<KeyRef, ValueInfo>> values;
};

// Every read on every key, and what a change may take next.
Candidates ReadEverything(const RegfImage& image) {
    Candidates found;
    WalkKeys(image, {[&](KeyRef key, std::size_t) {
                         auto values = image.Values(key);
                         for (const ValueInfo& value : values.value) {
                             (void)image.ValueData(value);
                             found.values.emplace_back(key, value);
                         }
                         auto subkeys = image.Subkeys(key);
                         for (const KeyRef child : subkeys.value) {
                             auto name = image.KeyName(child);
                             if (name.ok()) (void)image.FindSubkey(key, name.value);
                             auto grandchildren = image.Subkeys(child);
                             if (grandchildren.ok() && grandchildren.value.empty()) found.keys.emplace_back(key, child);
                         }
                     },
                     nullptr, nullptr});
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || std::memcmp(data, "regf", 4) != 0) return 0;
    auto image = RegfImage::Parse(std::vector<unsigned char>(data, data + size), nullptr);
    if (!image) return 0;
    const testing::HiveCheck before = testing::CheckHive(image->Bytes());
    std::uint32_t seed = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 16777619u;
    std::minstd_rand random(seed);
    RegfWriter writer(*image);
    for (int step = 0; step < 12; ++step) {
        const Candidates candidates = ReadEverything(*image);
        const std::size_t total = candidates.keys.size() + candidates.values.size();
        if (total == 0) break;
        const std::size_t pick = random() % total;
        const std::vector<unsigned char> unchanged = image->Bytes();
        Failure failure;
        if (pick < candidates.keys.size()) {
            const auto [parent, child] = candidates.keys[pick];
            auto name = image->KeyName(child);
            failure = writer.DeleteKey(parent, child);
            if (!failure && name.ok()) {
                auto again = image->SubkeysNamed(parent, name.value);
                for (const KeyRef match : again.value) Require(match != child, "a deleted key is still found");
            }
        } else {
            const auto& [key, value] = candidates.values[pick - candidates.keys.size()];
            failure = writer.DeleteValue(key, value);
            if (!failure) {
                auto left = image->Values(key);
                for (const ValueInfo& other : left.value) Require(other.cell != value.cell, "a deleted value is listed");
            }
        }
        if (failure) {
            Require(!failure.where.empty(), "a refusal says why");
            Require(image->Bytes() == unchanged, "a refused change wrote something");
            continue;
        }
        if (before.ok()) {
            const testing::HiveCheck after = testing::CheckHive(image->Bytes());
            if (!after.ok()) std::fprintf(stderr, "%s\n", after.problems.front().c_str());
            Require(after.ok(), "a change broke a hive that passed the strict check");
            Require(after.adjacentFreeCells == 0 || before.adjacentFreeCells != 0, "freed cells left unmerged");
        }
    }
    return 0;
}
