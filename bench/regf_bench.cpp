// Scan cost of the regf reader as the IFEO key grows: builds a hive whose
// Image File Execution Options key has N subkeys (1,000 / 10,000 / 100,000 by
// default, or the counts given as arguments), then times what a scan does:
// the path lookup, listing the subkeys, and for each one reading its name,
// finding it again by that name and looking up its Debugger value.
// Each size runs in a child process so that its peak RSS is its own. For
// comparison, the same lookups through hivex for sizes up to 10,000.
//
//   regf_bench [N...]
//   regf_bench --write N FILE   (only writes the hive, for timing vornex-cli on it)
#include <hivex.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "stores/hive/regf_image.h"
#include "tests/hive/hive_image_builder.h"

namespace {

using namespace vornex::hive;
using testing::HiveImageBuilder;
using testing::KeyFields;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kLeafEntries = 1000;  // leaves of an ri, as Windows splits them

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::u16string ProgramName(std::size_t i) {
    char text[32];
    std::snprintf(text, sizeof text, "program%07zu.exe", i);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::uint32_t AddChain(HiveImageBuilder& builder, std::uint32_t parent, const std::u16string& name) {
    KeyFields shape;
    shape.name = name;
    shape.parent = parent;
    const std::uint32_t key = builder.AddKey(shape);
    builder.SetSubkeys(parent, builder.AddList("lh", {key}, {testing::NameHash(name)}), 1);
    return key;
}

// root\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\program*.exe,
// every tenth with a Debugger value.
std::vector<unsigned char> BuildHive(std::size_t subkeys) {
    HiveImageBuilder builder;
    KeyFields rootFields;
    rootFields.name = u"ROOT";
    rootFields.flags = 0x000C;
    const std::uint32_t root = builder.AddKey(rootFields);
    std::uint32_t key = root;
    for (const char16_t* name : {u"Microsoft", u"Windows NT", u"CurrentVersion", u"Image File Execution Options"}) {
        key = AddChain(builder, key, name);
    }
    std::vector<std::uint32_t> children, hashes;
    for (std::size_t i = 0; i < subkeys; ++i) {
        KeyFields shape;
        shape.name = ProgramName(i);
        shape.parent = key;
        const std::uint32_t child = builder.AddKey(shape);
        std::vector<std::uint32_t> values = {builder.AddStringValue(u"MitigationOptions", u"0")};
        if (i % 10 == 0) values.push_back(builder.AddStringValue(u"Debugger", u"C:\\tools\\dbg.exe"));
        builder.SetValues(child, builder.AddValueList(values), static_cast<std::uint32_t>(values.size()));
        children.push_back(child);
        hashes.push_back(testing::NameHash(shape.name));
    }
    if (children.size() <= kLeafEntries) {
        builder.SetSubkeys(key, builder.AddList("lh", children, hashes), static_cast<std::uint32_t>(subkeys));
    } else {
        std::vector<std::uint32_t> leaves;
        for (std::size_t at = 0; at < children.size(); at += kLeafEntries) {
            const auto end = static_cast<std::ptrdiff_t>(std::min(children.size(), at + kLeafEntries));
            const auto begin = static_cast<std::ptrdiff_t>(at);
            leaves.push_back(builder.AddList("lh", {children.begin() + begin, children.begin() + end},
                                             {hashes.begin() + begin, hashes.begin() + end}));
        }
        builder.SetSubkeys(key, builder.AddList("ri", leaves), static_cast<std::uint32_t>(subkeys));
    }
    return builder.Build(root);
}

struct HiveCloser {
    void operator()(hive_h* hive) const { hivex_close(hive); }
};

// The same per-subkey lookups through hivex, the old store's library.
double HivexSeconds(const std::vector<unsigned char>& image, std::size_t subkeys) {
    const std::string path = "/tmp/regf_bench." + std::to_string(getpid());
    if (!testing::WriteFile(path, image)) return -1;
    const Clock::time_point start = Clock::now();
    std::unique_ptr<hive_h, HiveCloser> hive(hivex_open(path.c_str(), 0));
    std::remove(path.c_str());
    if (!hive) return -1;
    hive_node_h key = hivex_root(hive.get());
    for (const char* name : {"Microsoft", "Windows NT", "CurrentVersion", "Image File Execution Options"}) {
        key = hivex_node_get_child(hive.get(), key, name);
    }
    std::size_t found = 0;
    for (std::size_t i = 0; i < subkeys; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "PROGRAM%07zu.EXE", i);
        const hive_node_h child = hivex_node_get_child(hive.get(), key, name);
        if (child != 0 && hivex_node_get_value(hive.get(), child, "Debugger") != 0) ++found;
    }
    const double seconds = Seconds(start);
    return found == (subkeys + 9) / 10 ? seconds : -1;
}

int RunOne(std::size_t subkeys) {
    const Clock::time_point buildStart = Clock::now();
    std::vector<unsigned char> image = BuildHive(subkeys);
    const double buildSeconds = Seconds(buildStart);
    const std::size_t imageBytes = image.size();
    const double hivexSeconds = subkeys <= 10000 ? HivexSeconds(image, subkeys) : -1;

    const Clock::time_point parseStart = Clock::now();
    std::string why;
    auto hive = RegfImage::Parse(std::move(image), &why);
    const double parseSeconds = Seconds(parseStart);
    if (!hive) {
        std::fprintf(stderr, "refused: %s\n", why.c_str());
        return 1;
    }

    const Clock::time_point scanStart = Clock::now();
    KeyRef key = hive->Root();
    for (const char16_t* name : {u"MICROSOFT", u"windows nt", u"CurrentVersion", u"image file execution options"}) {
        auto next = hive->FindSubkey(key, name);
        if (!next.ok() || !next.value) return 1;
        key = *next.value;
    }
    auto children = hive->Subkeys(key);
    if (!children.ok()) return 1;
    std::size_t debuggers = 0, dataBytes = 0;
    for (const KeyRef child : children.value) {
        auto name = hive->KeyName(child);
        auto again = hive->FindSubkey(key, name.value);
        if (!again.ok() || !again.value || *again.value != child) return 1;
        auto debugger = hive->FindValue(child, u"Debugger");
        if (!debugger.ok()) return 1;
        if (debugger.value) {
            ++debuggers;
            dataBytes += hive->ValueData(*debugger.value).value.size();
        }
    }
    const double scanSeconds = Seconds(scanStart);
    if (debuggers != (subkeys + 9) / 10) return 1;

    std::printf("%9zu subkeys  image %7.1f MiB  build %6.3f s  parse %6.3f s  scan %6.3f s  (%5.0f ns/subkey)  "
                "peak RSS %7.1f MiB  hivex lookups %s\n",
                subkeys, imageBytes / 1048576.0, buildSeconds, parseSeconds, scanSeconds,
                scanSeconds * 1e9 / static_cast<double>(subkeys), PeakRssKiB() / 1024.0,
                hivexSeconds < 0 ? "-" : (std::to_string(hivexSeconds).substr(0, 6) + " s").c_str());
    (void)dataBytes;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write") {
        return testing::WriteFile(argv[3], BuildHive(std::strtoul(argv[2], nullptr, 10))) ? 0 : 1;
    }
    std::vector<std::size_t> sizes = {1000, 10000, 100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    }
    int failures = 0;
    for (const std::size_t subkeys : sizes) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            const int result = RunOne(subkeys);
            std::fflush(stdout);
            _exit(result);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%zu subkeys: failed\n", subkeys);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
