// The scan natively, over the in-memory store: FrmMain::Form_Load with
// in-memory controls, against the floor of the registry calls a scan must
// make. Under callgrind (--instr-atstart=no) only the scan and the floor are
// instrumented, each dumped on its own.
//
//   vornex_bench_native [--callgrind] [SIZE...]   (default 100 1000 10000 100000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(label) ((void)(label))
#endif

#include "bench/ifeo_mix.h"
#include "bench/memory_controls.h"
#include "bench/stats.h"
#include "app/registry_session.h"
#include "app/frm_main.h"
#include "core/ifeo.h"
#include "tests/doubles/memory_registry.h"
#include "app/texts.h"

namespace vornex::bench {
namespace {


using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Grows the IFEO key from `from` to `to` subkeys of the mix.
void Seed(MemoryRegistry& registry, std::uint64_t from, std::uint64_t to) {
    for (std::uint64_t i = from; i < to; ++i) {
        const MixSubkey key = MixEntry(i);
        const Text path = kIfeoKeyPath + u'\\' + key.name;
        if (key.values.empty()) registry.CreateKey(path);
        for (const MixValue& value : key.values) {
            registry.SetValue(path, value.name, value.type, value.data);
        }
    }
}

bool IsDebugger(const char16_t* name, std::uint32_t length) {
    static const char16_t kLower[] = u"debugger";
    if (length != 8) return false;
    for (std::uint32_t i = 0; i < 8; ++i) {
        char16_t c = name[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c != kLower[i]) return false;
    }
    return true;
}

// The least a scanner can do through this interface: enumerate the subkeys,
// open each relative to the IFEO key for reading, find its Debugger value
// (the interface reads values only by enumeration), fetch that one's data,
// close. Returns the number of REG_SZ Debugger values.
std::size_t Floor(MemoryRegistry& registry) {
    UniqueKey ifeo(registry);
    if (!ifeo.Open(kLocalMachine, kIfeoKeyPath, kKeyRead)) return 0;
    std::uint32_t count = 0;
    std::uint32_t longest = 0;
    registry.QueryInfoKey(ifeo.get(), &count, &longest);
    std::vector<char16_t> keyName(longest + 1u);
    char16_t valueName[256];
    unsigned char data[1024];
    Text name;
    std::size_t found = 0;
    for (std::uint32_t j = 0; j < count; ++j) {
        std::uint32_t length = static_cast<std::uint32_t>(keyName.size());
        if (registry.EnumKey(ifeo.get(), j, keyName.data(), &length) != kRegOk) continue;
        name.assign(keyName.data(), length);
        KeyHandle subkey = 0;
        if (registry.OpenKey(ifeo.get(), name, kKeyQueryValue, &subkey) != kRegOk) continue;
        for (std::uint32_t k = 0;; ++k) {
            std::uint32_t nameLength = 256;
            std::uint32_t type = 0;
            std::uint32_t size = 0;
            if (registry.EnumValue(subkey, k, valueName, &nameLength, &type, nullptr, &size) !=
                kRegOk) {
                break;
            }
            if (type != kRegSz || !IsDebugger(valueName, nameLength)) continue;
            nameLength = 256;
            size = sizeof data;
            if (registry.EnumValue(subkey, k, valueName, &nameLength, &type, data, &size) ==
                kRegOk) {
                ++found;
            }
        }
        registry.CloseKey(subkey);
    }
    return found;
}

int Repetitions(std::uint64_t size) {
    if (size <= 100) return 31;
    if (size <= 1000) return 15;
    if (size <= 10000) return 7;
    return 3;
}

}  // namespace
}  // namespace vornex::bench

int main(int argc, char** argv) {
    using namespace vornex;
    using namespace vornex::bench;
    bool callgrind = false;
    std::vector<std::uint64_t> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--callgrind") == 0) {
            callgrind = true;
        } else {
            sizes.push_back(std::strtoull(argv[i], nullptr, 10));
        }
    }
    if (sizes.empty()) sizes = {100, 1000, 10000, 100000};

    MemoryRegistry registry;
    registry.CreateKey(kIfeoKeyPath);
    std::uint64_t seeded = 0;
    for (std::uint64_t size : sizes) {
        const auto seedStart = Clock::now();
        Seed(registry, seeded, size);
        const double seedMs = MsSince(seedStart);
        seeded = size;
        registry.ClearCallLog();

        MemoryControls controls;
        LiveSession live(registry, Text());
        FrmMain form(live, controls);
        std::size_t listed = 0;
        std::size_t found = 0;
        if (callgrind) {
            const std::string scanLabel = "scan-" + std::to_string(size);
            const std::string floorLabel = "floor-" + std::to_string(size);
            CALLGRIND_START_INSTRUMENTATION;
            CALLGRIND_ZERO_STATS;
            form.Form_Load();
            CALLGRIND_DUMP_STATS_AT(scanLabel.c_str());
            CALLGRIND_STOP_INSTRUMENTATION;
            listed = controls.lines.size();
            registry.ClearCallLog();
            CALLGRIND_START_INSTRUMENTATION;
            CALLGRIND_ZERO_STATS;
            found = Floor(registry);
            CALLGRIND_DUMP_STATS_AT(floorLabel.c_str());
            CALLGRIND_STOP_INSTRUMENTATION;
            registry.ClearCallLog();
            std::printf("RESULT native-callgrind size=%llu listed=%zu redirected=%zu\n",
                        static_cast<unsigned long long>(size), listed, found);
            std::fflush(stdout);
            continue;
        }

        std::vector<double> scanMs;
        std::vector<double> floorMs;
        std::uint64_t scanCalls = 0;
        std::uint64_t floorCalls = 0;
        // Interleaved, so that drift hits both alike.
        for (int rep = 0; rep < Repetitions(size); ++rep) {
            std::uint64_t before = registry.CallCount();
            auto start = Clock::now();
            form.Form_Load();
            scanMs.push_back(MsSince(start));
            scanCalls = registry.CallCount() - before;
            registry.ClearCallLog();

            before = registry.CallCount();
            start = Clock::now();
            found = Floor(registry);
            floorMs.push_back(MsSince(start));
            floorCalls = registry.CallCount() - before;
            registry.ClearCallLog();
        }
        listed = controls.lines.size();
        const Summary scan = Summarize(scanMs);
        const Summary floor = Summarize(floorMs);
        std::printf(
            "RESULT native size=%llu seed_ms=%.1f scan_ms=%.3f scan_min_ms=%.3f floor_ms=%.3f "
            "floor_min_ms=%.3f scan_calls=%llu floor_calls=%llu listed=%zu redirected=%zu "
            "reps=%d\n",
            static_cast<unsigned long long>(size), seedMs, scan.median, scan.min, floor.median,
            floor.min, static_cast<unsigned long long>(scanCalls),
            static_cast<unsigned long long>(floorCalls), listed, found, Repetitions(size));
        std::fflush(stdout);
    }
    return 0;
}
