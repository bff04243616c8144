// The same deletions made with hivex and with the writer on real hives:
// what hivex reads of its own result, what it and libregf read of ours and
// what the reader sees in the changed image must all agree, and the strict
// check must find nothing it did not find before.
#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "stores/hive/regf_writer.h"
#include "tests/hive/hive_dump.h"
#include "tests/hive/hive_files.h"
#include "tests/hive/hive_image_builder.h"
#include "tests/hive/regf_check.h"

namespace vornex::hive {
namespace {

using namespace testing;

struct Temp {
    std::string path;
    Temp() {
        char name[] = "/tmp/vornex-diff-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
    }
    ~Temp() { std::remove(path.c_str()); }
};

struct Plan {
    KeyRef parent;
    std::vector<KeyRef> keys;  // childless subkeys of parent
    KeyRef valueKey{0};
    std::optional<ValueInfo> value;  // the first of a key with two or more small values
};

Plan Choose(const RegfImage& image) {
    Plan plan;
    std::size_t best = 0;
    std::vector<KeyRef> pending{image.Root()};
    while (!pending.empty()) {
        const KeyRef key = pending.back();
        pending.pop_back();
        auto subkeys = image.Subkeys(key);
        if (!subkeys.ok()) continue;
        std::vector<KeyRef> leaves;
        for (const KeyRef child : subkeys.value) {
            auto grandchildren = image.Subkeys(child);
            if (grandchildren.ok() && grandchildren.value.empty()) leaves.push_back(child);
            pending.push_back(child);
        }
        if (leaves.size() > best) {
            // Its first childless subkeys, up to 600: enough to empty a
            // leaf of an ri.
            best = leaves.size();
            plan.parent = key;
            plan.keys.assign(leaves.begin(), leaves.begin() + std::min<std::size_t>(leaves.size(), 600));
        }
        auto values = image.Values(key);
        if (!plan.value && values.ok() && values.value.size() >= 2 &&
            std::all_of(values.value.begin(), values.value.end(),
                        [](const ValueInfo& v) { return v.dataSize <= 16344 && !v.name.empty(); })) {
            plan.valueKey = key;
            plan.value = values.value.front();
        }
    }
    if (plan.value && std::find(plan.keys.begin(), plan.keys.end(), plan.valueKey) != plan.keys.end()) {
        plan.value.reset();
    }
    return plan;
}

// hivex addresses a node by its file offset.
hive_node_h Node(KeyRef key) { return 4096 + key.cell; }

bool WithHivex(const std::string& source, const Plan& plan, const std::string& out) {
    struct Closer {
        void operator()(hive_h* hive) const { hivex_close(hive); }
    };
    std::unique_ptr<hive_h, Closer> hive(hivex_open(source.c_str(), HIVEX_OPEN_WRITE));
    if (!hive) return false;
    if (plan.value) {
        std::unique_ptr<hive_value_h, decltype(&std::free)> values(hivex_node_values(hive.get(), Node(plan.valueKey)),
                                                                    &std::free);
        std::vector<hive_set_value> kept;
        std::vector<std::unique_ptr<char, decltype(&std::free)>> owned;
        for (hive_value_h* value = values.get(); value && *value; ++value) {
            if (*value == 4096 + plan.value->cell) continue;
            hive_set_value set{};
            owned.emplace_back(hivex_value_key(hive.get(), *value), &std::free);
            set.key = owned.back().get();
            owned.emplace_back(hivex_value_value(hive.get(), *value, &set.t, &set.len), &std::free);
            set.value = owned.back().get();
            kept.push_back(set);
        }
        if (hivex_node_set_values(hive.get(), Node(plan.valueKey), kept.size(), kept.data(), 0) != 0) return false;
    }
    for (const KeyRef key : plan.keys) {
        if (hivex_node_delete_child(hive.get(), Node(key)) != 0) return false;
    }
    return hivex_commit(hive.get(), out.c_str(), 0) == 0;
}

class WriterAgainstHivex : public ::testing::TestWithParam<const char*> {};

TEST_P(WriterAgainstHivex, SameDeletionsReadTheSame) {
    const std::string source = HivesDir() + "/" + GetParam();
    auto bytes = ReadHiveFile(source);
    ASSERT_TRUE(bytes) << source;
    auto image = RegfImage::Parse(*bytes, nullptr);
    ASSERT_TRUE(image);
    const Plan plan = Choose(*image);
    ASSERT_GE(plan.keys.size(), 1u);
    const HiveCheck checkBefore = CheckHive(*bytes);
    const auto libregfBefore = DumpWithLibregf(source);
    const bool libregfAgreed = libregfBefore && libregfBefore == DumpImage(*image);

    const auto before = DumpImage(*image);
    ASSERT_TRUE(before);
    RegfWriter writer(*image);
    if (plan.value) {
        ASSERT_FALSE(writer.DeleteValue(plan.valueKey, *plan.value));
    }
    for (const KeyRef key : plan.keys) ASSERT_FALSE(writer.DeleteKey(plan.parent, key)) << key.cell;
    writer.Seal(image->Base().primarySeq + 1, 0x01D9000000000000ull);
    const auto ours = DumpImage(*image);
    ASSERT_TRUE(ours);
    const HiveCheck checkAfter = CheckHive(image->Bytes());
    const std::vector<std::string> added = NewProblems(checkBefore, checkAfter);
    EXPECT_TRUE(added.empty()) << added.front();
    EXPECT_LE(checkAfter.adjacentFreeCells, checkBefore.adjacentFreeCells);

    Temp theirs, mine;
    ASSERT_TRUE(WriteFile(mine.path, image->Bytes()));
    EXPECT_EQ(DumpWithHivex(mine.path), ours);
    if (libregfAgreed) {
        EXPECT_EQ(DumpWithLibregf(mine.path), ours);
    }
    if (WithHivex(source, plan, theirs.path)) {
        EXPECT_EQ(DumpWithHivex(theirs.path), ours);
    } else {
        // hivex cannot delete from li leaves: the model then, the dump
        // before less what was deleted.
        EXPECT_EQ(std::string(GetParam()), "yarp/ManySubkeysHive");
        EXPECT_EQ(ours->size(), before->size() - plan.keys.size() - (plan.value ? 1 : 0));
        EXPECT_TRUE(std::includes(before->begin(), before->end(), ours->begin(), ours->end()));
    }
}

INSTANTIATE_TEST_SUITE_P(RealHives, WriterAgainstHivex,
                         ::testing::Values("yarp/ManySubkeysHive", "yarp/BigDataHive", "regipy/ntuser_software_partial",
                                           "regipy/NTUSER.DAT", "regipy/SAM"));

}  // namespace
}  // namespace vornex::hive
