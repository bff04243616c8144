#include "stores/hive/hive_key_paths.h"

#include "core/registry_upcase.h"
#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

namespace {

constexpr int kMaxLinkHops = 16;
const Text kSoftware = u"SOFTWARE";
const Text kLinkValue = u"SymbolicLinkValue";
// Where this hive's root lies in the absolute names a link key holds.
const std::vector<Text> kHiveRootInLinks = {u"REGISTRY", u"MACHINE", u"SOFTWARE"};

RegResult WalkNames(const RegfImage& image, KeyRef from, const std::vector<Text>& names, bool openLink, int hops,
                    KeyRef* out, KeyRef* parent);

// Where a link key leads in this hive.
RegResult FollowLink(const RegfImage& image, KeyRef link, int hops, KeyRef* out) {
    if (hops >= kMaxLinkHops) return kRegCantResolveFilename;
    bool isLink = false;
    Text target;
    if (const RegResult read = ReadLinkKey(image, link, &isLink, &target); read != kRegOk) return read;
    // Only an absolute name in this hive can be followed here; the parser
    // takes repeated and trailing separators as Windows' does.
    if (target.empty() || target.front() != u'\\') return kRegCantResolveFilename;
    const std::vector<Text> parts = SplitKeyPath(target);
    if (parts.size() < kHiveRootInLinks.size()) return kRegCantResolveFilename;
    for (std::size_t i = 0; i < kHiveRootInLinks.size(); ++i) {
        if (!RegistryNamesEqual(parts[i], kHiveRootInLinks[i])) return kRegCantResolveFilename;
    }
    const std::vector<Text> rest(parts.begin() + static_cast<std::ptrdiff_t>(kHiveRootInLinks.size()), parts.end());
    const RegResult followed = WalkNames(image, image.Root(), rest, false, hops + 1, out, nullptr);
    // A target that is not there is a link that cannot be followed, never "no key".
    return followed == kRegFileNotFound ? kRegCantResolveFilename : followed;
}

RegResult WalkNames(const RegfImage& image, KeyRef from, const std::vector<Text>& names, bool openLink, int hops,
                    KeyRef* out, KeyRef* parent) {
    KeyRef key = from;
    KeyRef above = from;
    for (std::size_t at = 0; at < names.size(); ++at) {
        // One name per step, as Windows walks a path: a key whose own name
        // holds a backslash is never reached through one.
        const Result<std::optional<KeyRef>> child = image.FindSubkey(key, names[at]);
        if (!child.ok()) return kRegBadDatabase;
        if (!child.value) return kRegFileNotFound;
        above = key;
        key = *child.value;
        bool link = false;
        if (const RegResult read = ReadLinkKey(image, key, &link, nullptr); read != kRegOk) return read;
        if (link && !(openLink && at + 1 == names.size())) {
            if (const RegResult followed = FollowLink(image, key, hops, &key); followed != kRegOk) return followed;
        }
    }
    *out = key;
    if (parent) *parent = above;
    return kRegOk;
}

}  // namespace

RegResult ReadLinkKey(const RegfImage& image, KeyRef key, bool* link, Text* target) {
    const Result<std::uint16_t> flags = image.KeyFlags(key);
    if (!flags.ok()) return kRegBadDatabase;
    *link = (flags.value & KeyNode::kSymbolicLink) != 0;
    if (target) target->clear();
    if (!*link || !target) return kRegOk;
    const Result<std::optional<ValueInfo>> value = image.FindValue(key, kLinkValue);
    if (!value.ok()) return kRegBadDatabase;
    if (!value.value || value.value->type != kRegLink) return kRegOk;
    const Result<std::vector<unsigned char>> data = image.ValueData(*value.value);
    if (!data.ok()) return kRegBadDatabase;
    for (std::size_t i = 0; i + 1 < data.value.size(); i += 2) {
        target->push_back(static_cast<char16_t>(data.value[i] | (data.value[i + 1] << 8)));
    }
    return kRegOk;
}

RegResult WalkKeyPath(const RegfImage& image, KeyRef from, const Text& path, bool openLink, KeyRef* out,
                      KeyRef* parent) {
    return WalkNames(image, from, SplitKeyPath(path), openLink, 0, out, parent);
}

RegResult WalkMachinePath(const RegfImage& image, const Text& path, bool openLink, KeyRef* out, KeyRef* parent) {
    std::vector<Text> names = SplitKeyPath(path);
    if (names.empty() || !RegistryNamesEqual(names.front(), kSoftware)) return kRegFileNotFound;
    names.erase(names.begin());
    return WalkNames(image, image.Root(), names, openLink, 0, out, parent);
}

}  // namespace vornex::hive
