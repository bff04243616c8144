#include "core/ifeo_scan.h"

#include <algorithm>
#include <optional>

#include "core/subkey_walk.h"

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
    if (!OpenScanRoot(ifeo, ifeoPath, scan)) return scan;
    ForEachSubkey(registry, ifeo.get(), ifeoPath, scan.unread, [&](const Text& name, const Text& path, KeyHandle subkey) {
        std::size_t commandLength = 0;
        std::optional<Text> command = ReadDebugger(registry, subkey, path, maxCommandLength, &commandLength, scan.unread);
        if (!command || name == kSampleSubkey) return;
        Entry entry{kind, name, std::move(*command), path, Text(), commandLength, false, Text()};
        // Told apart for what it means to a repair; the scan read the command
        // through it. A name no path reaches is never a link: stores refuse to open one.
        const RegResult queried = HoldsSeparator(name)
                                      ? kRegOk
                                      : registry.QueryLink(kLocalMachine, path, &entry.link, &entry.linkTarget);
        if (queried != kRegOk) scan.unread.push_back({Step::kOpenSubkey, path, queried});
        scan.entries.push_back(std::move(entry));
    });
    return scan;
}

}  // namespace vornex
