// 自动修复 of 201 entries whose subkeys hold 50 values each, on the real
// registry under Wine: DeleteEntries with the undo file written and flushed,
// against the same deletions without it. Medians of several runs, each on a
// freshly seeded IFEO key. Prints RESULT lines (bench/undo.sh).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/stats.h"
#include "core/ifeo.h"
#include "core/ifeo_repair.h"
#include "stores/undo/undo_files.h"
#include "stores/win32/win32_registry.h"
#include "win32/wide_text.h"

namespace {

constexpr int kEntries = 201;
constexpr int kValuesPerEntry = 50;
constexpr int kRuns = 7;

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Values of the sizes IFEO subkeys hold: strings, numbers, mitigation masks.
std::vector<vornex::Text> Seed() {
    const std::wstring ifeo = vornex::win32::Wide(vornex::kIfeoKeyPath);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, ifeo.c_str());
    std::vector<vornex::Text> names;
    for (int i = 0; i < kEntries; ++i) {
        const std::wstring name = L"app" + std::to_wstring(i) + L".exe";
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (ifeo + L"\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        const std::wstring command = L"C:\\Users\\Public\\evil" + std::to_wstring(i) + L".exe";
        RegSetValueExW(key, L"Debugger", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        for (int v = 1; v < kValuesPerEntry; ++v) {
            const std::wstring valueName = L"Setting" + std::to_wstring(v);
            const BYTE mask[16] = {0x00, 0x01, 0x10, 0x11, 0x00, 0x00, 0x20, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
            const DWORD number = static_cast<DWORD>(v);
            if (v % 3 == 0) {
                RegSetValueExW(key, valueName.c_str(), 0, REG_BINARY, mask, sizeof mask);
            } else if (v % 3 == 1) {
                RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
            } else {
                RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                               static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
            }
        }
        RegCloseKey(key);
        names.push_back(vornex::win32::FromWide(name));
    }
    return names;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const vornex::Text folder = vornex::win32::FromWide(argc > 1 ? argv[1] : L"C:\\undo-bench");
    std::vector<double> withFile, without, bytes;
    vornex::Win32Registry registry;
    for (int run = 0; run < kRuns; ++run) {
        for (bool keep : {true, false}) {
            const std::vector<vornex::Text> names = Seed();
            vornex::UndoFiles undo({folder}, u"bench " + vornex::DecimalText(static_cast<unsigned long>(run)) + u".reg");
            const double start = NowMs();
            const vornex::RepairResult result = vornex::DeleteEntries(registry, names, nullptr, keep ? &undo : nullptr);
            const double elapsed = NowMs() - start;
            if (!result.succeeded() || result.changes.size() != names.size()) {
                std::fprintf(stderr, "the repair failed\n");
                return 1;
            }
            (keep ? withFile : without).push_back(elapsed);
            if (keep) {
                WIN32_FILE_ATTRIBUTE_DATA data{};
                GetFileAttributesExW(vornex::win32::Wide(undo.path()).c_str(), GetFileExInfoStandard, &data);
                bytes.push_back(static_cast<double>(data.nFileSizeLow));
                DeleteFileW(vornex::win32::Wide(undo.path()).c_str());
            }
        }
    }
    // Where the time goes: reading the record, encoding it, writing the file.
    std::vector<double> reading, encoding, writing;
    for (int run = 0; run < kRuns; ++run) {
        const std::vector<vornex::Text> names = Seed();
        double start = NowMs();
        vornex::UndoRecord record;
        std::size_t budget = vornex::kUndoDataBound;
        for (const vornex::Text& name : names) {
            record.keys.emplace_back();
            vornex::ReadUndoKey(registry, vornex::kIfeoKeyPath + u'\\' + name, true, vornex::Text(), &budget,
                                &record.keys.back());
        }
        reading.push_back(NowMs() - start);
        start = NowMs();
        const vornex::RegFile file = vornex::EncodeRegFile(record, [](const std::vector<unsigned char>&) {
            return vornex::Text(u"D:");
        });
        encoding.push_back(NowMs() - start);
        vornex::UndoFiles undo({folder}, u"phases.reg");
        start = NowMs();
        undo.Keep(record);
        writing.push_back(NowMs() - start);
        DeleteFileW(vornex::win32::Wide(undo.path()).c_str());
    }
    for (const auto& [label, samples] : {std::pair<const char*, std::vector<double>&>{"read", reading},
                                         {"encode", encoding}, {"encode+write+flush", writing}}) {
        const auto summary = vornex::bench::Summarize(samples);
        std::printf("RESULT autofix-201x50 phase=%s median_ms=%.1f\n", label, summary.median);
    }
    const auto a = vornex::bench::Summarize(withFile);
    const auto b = vornex::bench::Summarize(without);
    std::printf("RESULT autofix-201x50 undo-file median_ms=%.1f min_ms=%.1f max_ms=%.1f file_bytes=%.0f\n", a.median,
                a.min, a.max, vornex::bench::Summarize(bytes).median);
    std::printf("RESULT autofix-201x50 no-undo median_ms=%.1f min_ms=%.1f max_ms=%.1f\n", b.median, b.min, b.max);
    return 0;
}
