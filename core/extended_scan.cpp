#include "core/extended_scan.h"

#include <algorithm>

#include "core/loader_integer.h"
#include "core/registry_upcase.h"
#include "core/subkey_walk.h"

namespace vornex {

namespace {

constexpr std::uint32_t kNameCapacity = 16384;

struct Value {
    Text name;
    std::uint32_t type;
    std::vector<unsigned char> data;
};

using Step = ReadFailure::Step;

// Every value of a key, by exact reported name. A failure other than the end
// of the list is recorded and ends the list.
std::vector<Value> ReadValues(Registry& registry, KeyHandle key, const Text& path,
                              std::vector<ReadFailure>& unread) {
    std::vector<Value> values;
    std::vector<char16_t> name(kNameCapacity);
    for (std::uint32_t i = 0;; ++i) {
        auto length = kNameCapacity;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        RegResult result = registry.EnumValue(key, i, name.data(), &length, &type, nullptr, &size);
        if (result == kRegNoMoreItems) break;
        std::vector<unsigned char> data(size);
        std::uint32_t got = size;
        if (result == kRegOk) {
            length = kNameCapacity;
            result = registry.EnumValue(key, i, name.data(), &length, &type, data.empty() ? nullptr : data.data(),
                                        &got);
        }
        if (result != kRegOk) {
            unread.push_back({Step::kReadValue, path, result});
            break;
        }
        data.resize(std::min(got, size));
        values.push_back({Text(name.data(), length), type, std::move(data)});
    }
    return values;
}

const Value* Find(const std::vector<Value>& values, const Text& name) {
    for (const Value& value : values) {
        if (RegistryNamesEqual(value.name, name)) return &value;
    }
    return nullptr;
}

bool IsString(std::uint32_t type) { return type == kRegSz || type == extended::kRegExpandSz; }

std::optional<Text> StringOf(const Value* value) {
    if (!value || !IsString(value->type)) return std::nullopt;
    return TextFromRegistryData(value->data.data(), value->data.size());
}

std::optional<std::uint32_t> LoaderDwordOf(const Value* value) {
    if (!value) return std::nullopt;
    return extended::ReadLoaderDword(value->type, value->data);
}

Entry Found(EntryKind kind, const Text& name, const Text& command, const Text& key, const Text& detail) {
    return {kind, name, command, key, detail, command.size(), false, Text()};
}

Text HexText(std::uint32_t value) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    Text out = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
    return out;
}

}  // namespace

std::optional<std::uint32_t> extended::ReadLoaderDword(std::uint32_t type,
                                                       const std::vector<unsigned char>& data) {
    if (type == kRegDword) {
        if (data.size() < 4) return std::nullopt;
        return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
               (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    }
    if (!IsString(type)) return std::nullopt;
    return LoaderStringInteger(TextFromRegistryData(data.data(), data.size()));
}

ScanResult ScanExtended(Registry& registry, const Text& currentVersionPath) {
    ScanResult scan;
    std::vector<Entry>& found = scan.entries;
    std::vector<ReadFailure>& unread = scan.unread;
    const Text ifeoPath = currentVersionPath + u'\\' + kIfeoName;
    UniqueKey ifeo(registry);
    if (!OpenScanRoot(ifeo, ifeoPath, scan)) return scan;

    ForEachSubkey(registry, ifeo.get(), ifeoPath, unread, [&](const Text& name, const Text& subkeyPath, KeyHandle subkey) {
        const std::vector<Value> values = ReadValues(registry, subkey, subkeyPath, unread);

        // Filters: with UseFilter set, the loader picks the subkey whose
        // FilterFullPath is the started file and takes its Debugger.
        // Looked up by the image's name, which never holds a backslash: the
        // filters and the exit monitor of such a key are never the loader's.
        const bool loaderNames = !HoldsSeparator(name);
        const std::optional<std::uint32_t> useFilter = LoaderDwordOf(Find(values, u"UseFilter"));
        if (useFilter && *useFilter != 0 && loaderNames) {
            ForEachSubkey(registry, subkey, subkeyPath, unread, [&](const Text&, const Text& filterPath, KeyHandle filter) {
                const std::vector<Value> filterValues = ReadValues(registry, filter, filterPath, unread);
                const std::optional<Text> fullPath = StringOf(Find(filterValues, u"FilterFullPath"));
                const Value* debugger = Find(filterValues, kDebuggerValue);
                if (!fullPath || !debugger || debugger->type != kRegSz) return;
                found.push_back(Found(EntryKind::kFilterDebugger, name,
                                      TextFromRegistryData(debugger->data.data(), debugger->data.size()), filterPath,
                                      u"FilterFullPath=" + *fullPath));
            });
        }

        const std::optional<std::uint32_t> flags = LoaderDwordOf(Find(values, u"GlobalFlag"));
        if (!flags) return;

        if ((*flags & extended::kFlagMonitorSilentProcessExit) && loaderNames) {
            const Text exitPath =
                currentVersionPath + u'\\' + extended::kSilentProcessExitName + u'\\' + name;
            UniqueKey exitKey(registry);
            if (OpenScanned(exitKey, exitPath, unread)) {
                const std::vector<Value> exitValues = ReadValues(registry, exitKey.get(), exitPath, unread);
                const std::optional<Text> monitor = StringOf(Find(exitValues, u"MonitorProcess"));
                if (monitor && !monitor->empty()) {
                    found.push_back(Found(EntryKind::kSilentExitMonitor, name, *monitor, exitPath,
                                          u"GlobalFlag=" + HexText(*flags)));
                }
            }
        }
        if (*flags & extended::kFlagApplicationVerifier) {
            const std::optional<Text> dlls = StringOf(Find(values, u"VerifierDlls"));
            if (dlls && !dlls->empty()) {
                found.push_back(Found(EntryKind::kVerifierDlls, name, *dlls, subkeyPath, u"GlobalFlag=" + HexText(*flags)));
            }
        }
    });
    return scan;
}

bool Wow64IfeoIsSeparate(Registry& registry) {
    UniqueKey key(registry);
    if (!key.Open(kLocalMachine, kWow64IfeoKeyPath, kKeyRead)) return false;
    std::vector<ReadFailure> ignored;
    const std::vector<Value> values = ReadValues(registry, key.get(), kWow64IfeoKeyPath, ignored);
    const Value* link = Find(values, u"SymbolicLinkValue");
    return !(link && link->type == kRegLink);
}

}  // namespace vornex
