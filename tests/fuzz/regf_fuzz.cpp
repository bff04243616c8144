// libFuzzer target: arbitrary bytes as a hive image. Every key reachable
// from the root is walked with every read the reader offers, and what must
// hold on any input is checked: no read returns more than the image holds,
// lookups agree with enumeration, errors always say where.
//
// Inputs that start with "regf" are taken whole; others become the bins of
// a made-up base block, so mutations spend their time in cells, not in the
// header checks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/registry_upcase.h"
#include "stores/hive/regf_image.h"
#include "tests/hive/regf_walk.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

using namespace vornex::hive;

using vornex::fuzz::Require;

void Put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::vector<unsigned char> ImageFrom(const std::uint8_t* data, std::size_t size) {
    if (size >= 4 && std::memcmp(data, "regf", 4) == 0) return {data, data + size};
    const std::size_t bins = (size + 32 + 4095) / 4096 * 4096;
    std::vector<unsigned char> image(4096 + bins, 0);
    std::memcpy(image.data(), "regf", 4);
    Put32(image, 4, 1);
    Put32(image, 8, 1);
    Put32(image, 20, 1);
    Put32(image, 24, 5);
    Put32(image, 32, 1);
    Put32(image, 36, 0x20);
    Put32(image, 40, static_cast<std::uint32_t>(bins));
    std::memcpy(image.data() + 4096, "hbin", 4);
    Put32(image, 4096 + 8, static_cast<std::uint32_t>(bins));
    if (size > 0) std::memcpy(image.data() + 4096 + 32, data, size);
    return image;
}

template <typename T>
void RequireWhere(const Result<T>& result) {
    Require(result.ok() == result.where.empty(), "an error says where, a success says nothing");
}

void CheckKey(const RegfImage& image, KeyRef key, std::size_t imageSize) {
    auto name = image.KeyName(key);
    RequireWhere(name);
    RequireWhere(image.KeyFlags(key));
    auto subkeys = image.Subkeys(key);
    RequireWhere(subkeys);
    Require(subkeys.value.size() <= imageSize / 4, "more subkeys than list entries fit");
    for (const KeyRef child : subkeys.value) {
        auto childName = image.KeyName(child);
        if (!childName.ok()) continue;
        auto found = image.SubkeysNamed(key, childName.value);
        RequireWhere(found);
        Require(found.ok(), "a readable subkey makes its own name's lookup fail");
        bool listed = false;
        for (const KeyRef match : found.value) {
            listed = listed || match == child;
            auto matchName = image.KeyName(match);
            Require(matchName.ok() && vornex::RegistryNamesEqual(matchName.value, childName.value),
                    "lookup returns a key of another name");
        }
        Require(listed, "lookup misses a listed subkey");
    }
    auto values = image.Values(key);
    RequireWhere(values);
    for (const ValueInfo& value : values.value) {
        auto data = image.ValueData(value);
        RequireWhere(data);
        if (data.ok()) {
            Require(data.value.size() == value.dataSize, "data size differs from the value's claim");
            Require(data.value.size() <= imageSize, "data larger than the image");
        }
        auto found = image.FindValue(key, value.name);
        Require(found.ok() && found.value && vornex::RegistryNamesEqual(found.value->name, value.name),
                "a listed value is not found by its name");
    }
    auto debugger = image.FindValue(key, u"Debugger");
    RequireWhere(debugger);
    if (debugger.ok() && debugger.value) RequireWhere(image.ValueData(*debugger.value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<unsigned char> bytes = ImageFrom(data, size);
    const std::size_t imageSize = bytes.size();
    std::string why;
    auto image = RegfImage::Parse(std::move(bytes), &why);
    if (!image) {
        Require(!why.empty(), "a refusal gives a reason");
        return 0;
    }
    const WalkCounts counts =
        WalkKeys(*image, {[&](KeyRef key, std::size_t) { CheckKey(*image, key, imageSize); }, nullptr, nullptr});
    Require(counts.keys <= image->Base().hiveBinsSize / 4 + 1, "more keys than cells");
    return 0;
}
