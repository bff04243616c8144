#include "core/ifeo_scan.h"

#include <algorithm>
#include <optional>

namespace vornex {

const char* EntryKindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::kDebugger: return "debugger";
        case EntryKind::kWow64Debugger: return "wow64-debugger";
        case EntryKind::kFilterDebugger: return "filter-debugger";
        case EntryKind::kSilentExitMonitor: return "silent-exit-monitor";
        case EntryKind::kVerifierDlls: return "verifier-dlls";
    }
    return "unknown";
}

bool ScanResult::listedWhole() const {
    return opened() && std::all_of(unread.begin(), unread.end(), [](const ReadFailure& failure) {
               return failure.step == ReadFailure::Step::kOpenSubkey;
           });
}

namespace {

using Step = ReadFailure::Step;

// The command of a subkey's REG_SZ Debugger value; nothing when it has none.
// Value names are unique without regard to case, and only ASCII letters fold
// to those of "debugger", so a lookup by name finds the value the loader reads.
std::optional<Text> ReadDebugger(Registry& registry, KeyHandle subkey, const Text& path, std::size_t maxLength,
                                 std::size_t* fullLength, std::vector<ReadFailure>& unread) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    RegResult result = registry.QueryValue(subkey, kDebuggerValue, &type, nullptr, &size);
    if (result == kRegFileNotFound) return std::nullopt;
    if (result == kRegOk && type != kRegSz) return std::nullopt;
    if (result == kRegOk) {
        std::vector<unsigned char> data(size, 0);
        std::uint32_t got = size;
        result = registry.QueryValue(subkey, kDebuggerValue, &type, data.empty() ? nullptr : data.data(), &got);
        // Changed since the size query: not read from a buffer the call may not have filled.
        if (result == kRegOk && type != kRegSz) return std::nullopt;
        if (result == kRegOk) {
            return TextFromRegistryData(data.data(), std::min<std::size_t>(got, data.size()), maxLength, fullLength);
        }
    }
    unread.push_back({Step::kReadValue, path, result});
    return std::nullopt;
}

}  // namespace

ScanResult ScanIfeo(Registry& registry, const Text& ifeoPath, EntryKind kind, std::size_t maxCommandLength) {
    ScanResult scan;
    UniqueKey ifeo(registry);
    scan.openResult = ifeo.TryOpen(kLocalMachine, ifeoPath, kKeyRead);
    if (!scan.opened()) {
        scan.unread.push_back({Step::kOpenKey, ifeoPath, scan.openResult});
        return scan;
    }
    std::uint32_t subkeyCount = 0;
    std::uint32_t longestName = 0;
    if (const RegResult queried = registry.QueryInfoKey(ifeo.get(), &subkeyCount, &longestName);
        queried != kRegOk) {
        scan.unread.push_back({Step::kQueryKey, ifeoPath, queried});
        return scan;
    }

    std::vector<char16_t> nameBuffer(static_cast<std::size_t>(longestName) + 1);
    for (std::uint32_t j = 0; j < subkeyCount; ++j) {
        auto length = static_cast<std::uint32_t>(nameBuffer.size());
        const RegResult enumerated = registry.EnumKey(ifeo.get(), j, nameBuffer.data(), &length);
        // The key shrank while it was read: nothing is left at this index.
        if (enumerated == kRegNoMoreItems) break;
        if (enumerated != kRegOk) {
            scan.unread.push_back({Step::kEnumSubkey, ifeoPath, enumerated});
            continue;
        }
        // The name exactly as reported: one with a NUL inside is not the key
        // its text before the NUL names.
        const Text name(nameBuffer.data(), std::min<std::size_t>(length, nameBuffer.size()));
        // Such a name cannot be opened by its exact name, and the loader never looks one up.
        if (name.find(u'\0') != Text::npos) continue;
        const Text path = ifeoPath + u'\\' + name;

        UniqueKey subkey(registry);
        const RegResult opened = subkey.TryOpen(kLocalMachine, path, kKeyRead);
        if (opened == kRegFileNotFound) continue;  // removed since it was listed
        if (opened != kRegOk) {
            scan.unread.push_back({Step::kOpenSubkey, path, opened});
            continue;
        }
        std::size_t commandLength = 0;
        std::optional<Text> command =
            ReadDebugger(registry, subkey.get(), path, maxCommandLength, &commandLength, scan.unread);
        if (!command || name == kSampleSubkey) continue;
        Entry entry{kind, name, std::move(*command), path, Text(), commandLength, false, Text()};
        // Told apart for what it means to a repair; the scan read the command through it.
        if (const RegResult queried = registry.QueryLink(kLocalMachine, path, &entry.link, &entry.linkTarget);
            queried != kRegOk) {
            scan.unread.push_back({Step::kOpenSubkey, path, queried});
        }
        scan.entries.push_back(std::move(entry));
    }
    return scan;
}

}  // namespace vornex
