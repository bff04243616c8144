#include "core/subkey_walk.h"

#include <algorithm>

namespace vornex {

using Step = ReadFailure::Step;

namespace {

// A key met during a scan: gone since it was listed, read, or recorded as unread.
bool Recorded(RegResult opened, const Text& path, std::vector<ReadFailure>& unread) {
    if (opened != kRegOk && opened != kRegFileNotFound) unread.push_back({Step::kOpenSubkey, path, opened});
    return opened == kRegOk;
}

}  // namespace

bool OpenScanRoot(UniqueKey& key, const Text& path, ScanResult& scan) {
    scan.openResult = key.TryOpenToRead(kLocalMachine, path);
    if (!scan.opened()) scan.unread.push_back({Step::kOpenKey, path, scan.openResult});
    return scan.opened();
}

bool OpenScanned(UniqueKey& key, const Text& path, std::vector<ReadFailure>& unread) {
    return Recorded(key.TryOpenToRead(kLocalMachine, path), path, unread);
}

void ForEachSubkey(Registry& registry, KeyHandle key, const Text& path, std::vector<ReadFailure>& unread,
                   const SubkeyVisitor& visit) {
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    if (const RegResult queried = registry.QueryInfoKey(key, &count, &longest); queried != kRegOk) {
        unread.push_back({Step::kQueryKey, path, queried});
        return;
    }
    std::vector<char16_t> buffer(static_cast<std::size_t>(longest) + 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        auto length = static_cast<std::uint32_t>(buffer.size());
        const RegResult enumerated = registry.EnumKey(key, i, buffer.data(), &length);
        // The key shrank while it was read: nothing is left at this index.
        if (enumerated == kRegNoMoreItems) break;
        if (enumerated != kRegOk) {
            unread.push_back({Step::kEnumSubkey, path, enumerated});
            continue;
        }
        // The name exactly as reported: one with a NUL inside is not the key
        // its text before the NUL names, and the loader never looks one up.
        const Text name(buffer.data(), std::min<std::size_t>(length, buffer.size()));
        if (name.find(u'\0') != Text::npos) continue;
        const Text subkeyPath = path + u'\\' + name;
        // Opened by its path from the root; a name holding a backslash, which
        // a path would split, below the key just listed by that exact name.
        UniqueKey subkey(registry);
        const RegResult opened = HoldsSeparator(name) ? subkey.TryOpenChild(key, name, kKeyRead)
                                                      : subkey.TryOpenToRead(kLocalMachine, subkeyPath);
        if (Recorded(opened, subkeyPath, unread)) visit(name, subkeyPath, subkey.get());
    }
}

}  // namespace vornex
