// Log replay (stores/hive/log_replay.h) on the real hives of ../shared/hives
// and on logs crafted from them. Linux only: hivex reads the images back.
#include <gtest/gtest.h>
#include <hivex.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/hive_load.h"
#include "stores/hive/log_replay.h"
#include "stores/hive/marvin32.h"
#include "tests/hive/log_crafting.h"

namespace vornex::hive {
namespace {

namespace fs = std::filesystem;
using OptBytes = std::optional<Bytes>;

// ---- Files -------------------------------------------------------------------

fs::path HivesDir() {
    if (const char* env = std::getenv("VORNEX_HIVES_DIR")) return env;
#ifdef VORNEX_SOURCE_DIR
    const fs::path fromSource = fs::path(VORNEX_SOURCE_DIR) / ".." / "shared" / "hives";
    if (fs::is_directory(fromSource)) return fromSource;
#endif
    return fs::path("..") / "shared" / "hives";
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) ADD_FAILURE() << "cannot read " << path << " (set VORNEX_HIVES_DIR to shared/hives)";
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Hive(const std::string& relative) { return ReadFile(HivesDir() / relative); }

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A fresh directory under the system's temporary one, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "vornex-replay-XXXXXX").string();
        if (::mkdtemp(templ.data())) path_ = templ;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// ---- Reading an image back through hivex -----------------------------------

// Every key (with its last-written time when asked) and every value (type and
// data), one sorted line each: two hives hold the same tree when these match.
// Only what the tree references is read, the way hivex reads it, so freed
// cells holding deleted data play no part.
std::optional<std::vector<std::string>> Tree(const Bytes& image, bool timestamps,
                                             std::string* error) {
    const int fd = ::memfd_create("hive", MFD_CLOEXEC);
    if (fd < 0) {
        *error = "memfd_create failed";
        return std::nullopt;
    }
    std::size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = ::write(fd, image.data() + done, image.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    hive_h* h = hivex_open(path.c_str(), 0);
    if (!h) {
        *error = std::string("hivex_open: ") + std::strerror(errno);
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::string> lines;
    bool ok = true;
    std::size_t nodes = 0;
    std::function<void(hive_node_h, const std::string&, int)> walk =
        [&](hive_node_h node, const std::string& keyPath, int depth) {
            if (!ok) return;
            if (depth > 256 || ++nodes > 200000) {
                ok = false;
                *error = "tree too deep or too large at " + keyPath;
                return;
            }
            std::string line = "K " + keyPath;
            if (timestamps) line += " @" + std::to_string(hivex_node_timestamp(h, node));
            lines.push_back(line);
            hive_value_h* values = hivex_node_values(h, node);
            if (!values) {
                ok = false;
                *error = "values of " + keyPath + ": " + std::strerror(errno);
                return;
            }
            for (hive_value_h* v = values; *v; ++v) {
                char* name = hivex_value_key(h, *v);
                hive_type type;
                std::size_t len = 0;
                char* data = hivex_value_value(h, *v, &type, &len);
                if (!name || !data) {
                    ok = false;
                    *error = "a value of " + keyPath + ": " + std::strerror(errno);
                } else {
                    std::ostringstream s;
                    s << "V " << keyPath << " :: " << name << " type " << type << " len " << len << " ";
                    static const char* kHex = "0123456789abcdef";
                    for (std::size_t i = 0; i < len; ++i) {
                        const unsigned char c = static_cast<unsigned char>(data[i]);
                        s << kHex[c >> 4] << kHex[c & 15];
                    }
                    lines.push_back(s.str());
                }
                std::free(name);
                std::free(data);
                if (!ok) break;
            }
            std::free(values);
            if (!ok) return;
            hive_node_h* children = hivex_node_children(h, node);
            if (!children) {
                ok = false;
                *error = "subkeys of " + keyPath + ": " + std::strerror(errno);
                return;
            }
            for (hive_node_h* c = children; *c && ok; ++c) {
                char* name = hivex_node_name(h, *c);
                if (!name) {
                    ok = false;
                    *error = "a subkey name of " + keyPath;
                    break;
                }
                const std::string child = keyPath + "\\" + name;
                std::free(name);
                walk(*c, child, depth + 1);
            }
            std::free(children);
        };
    walk(hivex_root(h), "", 0);
    hivex_close(h);
    ::close(fd);
    if (!ok) return std::nullopt;
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> TreeOrFail(const Bytes& image, bool timestamps = false) {
    std::string error;
    auto tree = Tree(image, timestamps, &error);
    EXPECT_TRUE(tree.has_value()) << error;
    return tree.value_or(std::vector<std::string>{});
}

// The first difference between two trees, or "" when they are the same.
std::string TreeDiff(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> onlyA, onlyB;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyA));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyB));
    if (onlyA.empty() && onlyB.empty()) return "";
    std::string out = std::to_string(onlyA.size()) + " lines only in the first, " +
                      std::to_string(onlyB.size()) + " only in the second";
    if (!onlyA.empty()) out += "; first: " + onlyA.front().substr(0, 200);
    if (!onlyB.empty()) out += "; second: " + onlyB.front().substr(0, 200);
    return out;
}

bool HasKey(const std::vector<std::string>& tree, const std::string& path) {
    const std::string line = "K " + path;
    return std::any_of(tree.begin(), tree.end(), [&](const std::string& l) {
        return l == line || l.rfind(line + " @", 0) == 0;
    });
}

// ---- Crafting ------------------------------------------------------------------

// A new-format log: the primary's first 512 bytes as its header (type 6, both
// numbers `seq`), then the entries.
Bytes MakeNewLog(const Bytes& primary, std::uint32_t seq, const std::vector<Bytes>& entries) {
    Bytes log(primary.begin(), primary.begin() + 512);
    WriteU32(log.data() + kFileTypeOffset, kFileNewLog);
    SetSeqs(log, seq, seq);
    for (const Bytes& e : entries) log.insert(log.end(), e.begin(), e.end());
    return log;
}

// Renumbers every entry of a real new-format log (and its header) from `seq` on.
Bytes Renumber(Bytes log, std::uint32_t seq) {
    SetSeqs(log, seq, seq);
    std::size_t pos = 512;
    while (pos + 40 <= log.size() && std::memcmp(log.data() + pos, "HvLE", 4) == 0) {
        WriteU32(log.data() + pos + 12, seq++);
        RehashEntry(log, pos);
        pos += ReadU32(log.data() + pos + 4);
    }
    return log;
}

bool ImageIsClean(const Bytes& image) {
    const BaseBlock bb = ParseBaseBlock(image.data(), image.size());
    return bb.valid && bb.primarySeq == bb.secondarySeq && bb.fileType == kFilePrimary;
}

// The sequence number a replay sealed the image with: that of the last entry applied.
std::uint32_t SealedSeq(const Bytes& image) { return ParseBaseBlock(image.data(), image.size()).primarySeq; }

Bytes Bins(const Bytes& image) { return Bytes(image.begin() + 4096, image.end()); }

const char* kNew = "yarp/NewDirtyHive1/NewDirtyHive";
const char* kNewLog1 = "yarp/NewDirtyHive1/NewDirtyHive.LOG1";
const char* kNewLog2 = "yarp/NewDirtyHive1/NewDirtyHive.LOG2";
const char* kNewWindows = "yarp/NewDirtyHive1/RecoveredHive_Windows10";
const char* kOld = "yarp/OldDirtyHive/OldDirtyHive";
const char* kOldLog = "yarp/OldDirtyHive/OldDirtyHive.LOG1";
const char* kOldWindows = "yarp/OldDirtyHive/RecoveredHive_Windows7";

// ---- Marvin32 and the checksum -----------------------------------------------

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

TEST(Marvin32, MatchesTheRuntimeTestVectors) {
    // .NET's MarvinTests, seed 0x004FB61A001BDBCC: 0 to 7 bytes cover every tail.
    const struct {
        const char* hex;
        std::uint64_t hash;
    } vectors[] = {
        {"", 0x30ED35C100CD3C7Dull},
        {"af", 0x48E73FC77D75DDC1ull},
        {"e70f", 0xB5F6E1FC485DBFF8ull},
        {"37f495", 0xF0B07C789B8CF7E8ull},
        {"8642dc59", 0x7008F2E87E9CF556ull},
        {"153fb79826", 0xE6C08C6DA2AFA997ull},
        {"0932e6246c47", 0x6F04BF1A5EA24060ull},
        {"ab427ea8d10fc7", 0xE11847E4F0678C41ull},
    };
    for (const auto& v : vectors) {
        const Bytes data = FromHex(v.hex);
        EXPECT_EQ(Marvin32(data.data(), data.size(), 0x004FB61A001BDBCCull), v.hash) << v.hex;
    }
}

TEST(Marvin32, VerifiesTheHashesOfARealLogEntry) {
    const Bytes log = Hive(kNewLog2);
    ASSERT_GE(log.size(), 0x2000u);
    const unsigned char* e = log.data() + 512;
    const std::uint32_t size = ReadU32(e + 4);
    EXPECT_EQ(Marvin32(e + 40, size - 40, kLogEntrySeed), ReadU64(e + 24));
    EXPECT_EQ(Marvin32(e, 32, kLogEntrySeed), ReadU64(e + 32));
}

TEST(Checksum, ZeroIsStoredAsOneAndAllOnesAsAllOnesLessOne) {
    Bytes block(4096, 0);
    std::memcpy(block.data(), "regf", 4);
    std::memcpy(block.data() + 400, "regf", 4);  // the XOR of all dwords is now 0
    EXPECT_EQ(BaseBlockChecksum(block.data()), 1u);
    WriteU32(block.data() + 400, ReadU32(block.data()) ^ 0xFFFFFFFFu);  // now 0xFFFFFFFF
    EXPECT_EQ(BaseBlockChecksum(block.data()), 0xFFFFFFFEu);
    WriteU32(block.data() + 400, 0x12345678u);
    EXPECT_EQ(BaseBlockChecksum(block.data()), ReadU32(block.data()) ^ 0x12345678u);
    // The checksum and what follows it are not covered.
    block[508] = 0xAA;
    block[4000] = 0xBB;
    EXPECT_EQ(BaseBlockChecksum(block.data()), ReadU32(block.data()) ^ 0x12345678u);
}

TEST(Checksum, APrimaryIsCleanOnlyWithTheMappedValue) {
    Bytes primary = Hive(kNewWindows);  // clean: 6/6
    ASSERT_TRUE(ParseBaseBlock(primary.data(), primary.size()).valid);
    // Make the XOR of the first 127 dwords 0: the stored checksum must then be 1.
    const std::uint32_t sum = [&] {
        std::uint32_t s = 0;
        for (std::size_t i = 0; i < 508; i += 4) s ^= ReadU32(primary.data() + i);
        return s;
    }();
    WriteU32(primary.data() + 200, ReadU32(primary.data() + 200) ^ sum);  // reserved area
    WriteU32(primary.data() + kChecksumOffset, 0);
    LoadedHive zero = Recover(primary, std::nullopt, std::nullopt);
    EXPECT_EQ(zero.recovery, Recovery::kDirtyNoUsableLog) << zero.note;
    EXPECT_NE(zero.note.find("checksum"), std::string::npos) << zero.note;

    WriteU32(primary.data() + kChecksumOffset, 1);
    LoadedHive one = Recover(primary, std::nullopt, std::nullopt);
    EXPECT_EQ(one.recovery, Recovery::kClean) << one.note;

    WriteU32(primary.data() + 200, ReadU32(primary.data() + 200) ^ 0xFFFFFFFFu);  // XOR: all ones
    WriteU32(primary.data() + kChecksumOffset, 0xFFFFFFFFu);
    EXPECT_EQ(Recover(primary, std::nullopt, std::nullopt).recovery, Recovery::kDirtyNoUsableLog);
    WriteU32(primary.data() + kChecksumOffset, 0xFFFFFFFEu);
    EXPECT_EQ(Recover(primary, std::nullopt, std::nullopt).recovery, Recovery::kClean);
}

// ---- The real dirty hives -------------------------------------------------------

TEST(NewFormat, NewDirtyHive1MatchesWhatWindows10Recovered) {
    const Bytes primary = Hive(kNew);
    const Bytes windows = Hive(kNewWindows);
    const LoadedHive h = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"LOG1", "LOG2"}));
    EXPECT_EQ(h.note, "dirty (sequence numbers 3/2); LOG1: entry 2 applied; LOG2: entries 3-5 applied");

    // Key by key and value by value, with the keys' times too.
    const auto ours = TreeOrFail(h.image, true);
    EXPECT_EQ(TreeDiff(ours, TreeOrFail(windows, true)), "");
    EXPECT_TRUE(HasKey(ours, "\\Key3\\Key3_1"));
    EXPECT_FALSE(HasKey(ours, "\\Key1"));
    const auto before = TreeOrFail(primary);
    EXPECT_TRUE(HasKey(before, "\\Key1"));
    EXPECT_FALSE(HasKey(before, "\\Key3"));
    // And byte for byte past the base block (Windows has since written the
    // hive once more, so only its sequence numbers are ahead: 6 against 5).
    EXPECT_TRUE(Bins(h.image) == Bins(windows));

    // The image reads as clean: loading it again changes nothing.
    EXPECT_TRUE(ImageIsClean(h.image));
    const BaseBlock bb = ParseBaseBlock(h.image.data(), h.image.size());
    EXPECT_EQ(bb.primarySeq, 5u);
    EXPECT_EQ(bb.hiveBinsSize, 0x5000u);
    EXPECT_EQ(bb.rootCell, 0x20u);
    const LoadedHive again = Recover(h.image, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(again.recovery, Recovery::kClean);
    EXPECT_TRUE(again.image == h.image);
}

TEST(NewFormat, StartsWithTheLogOfTheLowerSequenceNumber) {
    // LOG2 given the entries of LOG1 and the other way round: still 2, then 3-5.
    const LoadedHive straight = Recover(Hive(kNew), Hive(kNewLog1), Hive(kNewLog2));
    const LoadedHive swapped = Recover(Hive(kNew), Hive(kNewLog2), Hive(kNewLog1));
    EXPECT_EQ(swapped.recovery, Recovery::kReplayed) << swapped.note;
    EXPECT_EQ(swapped.logsApplied, (std::vector<std::string>{"LOG2", "LOG1"}));
    EXPECT_EQ(swapped.note, "dirty (sequence numbers 3/2); LOG2: entry 2 applied; LOG1: entries 3-5 applied");
    EXPECT_TRUE(swapped.image == straight.image);
}

TEST(NewFormat, SkipsALogBelowThePrimarysSecondaryNumber) {
    // The primary as if entry 2 had been written to it: its secondary number is
    // 3, so LOG1 (2) is old and LOG2 (3-5) alone applies.
    Bytes primary = Hive(kNew);
    SetSeqs(primary, 4, 3);
    const LoadedHive h = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"LOG2"}));
    EXPECT_NE(h.note.find("LOG2: entries 3-5 applied"), std::string::npos) << h.note;
    EXPECT_NE(h.note.find("LOG1 skipped: its sequence 2 is below the hive's 3"), std::string::npos)
        << h.note;
    EXPECT_TRUE(Bins(h.image) == Bins(Hive(kNewWindows)));  // entry 4 rewrote every bin

    // With a secondary number past both logs, neither applies.
    SetSeqs(primary, 7, 6);
    const LoadedHive none = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(none.recovery, Recovery::kDirtyNoUsableLog) << none.note;
    EXPECT_TRUE(none.image == primary);
}

TEST(NewFormat, ACleanPrimaryIgnoresValidLogs) {
    // Windows' own recovered copy (6/6) with the logs beside it.
    const Bytes windows = Hive(kNewWindows);
    const LoadedHive h = Recover(windows, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(h.recovery, Recovery::kClean);
    EXPECT_TRUE(h.logsApplied.empty());
    EXPECT_TRUE(h.image == windows);
    EXPECT_EQ(h.note, "clean (sequence numbers 6/6): logs not applied");

    // The dirty primary made clean at 2/2: its logs hold entries 2-5, all of
    // which would apply to a dirty one, and none does.
    Bytes primary = Hive(kNew);
    SetSeqs(primary, 2, 2);
    const LoadedHive clean = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(clean.recovery, Recovery::kClean);
    EXPECT_TRUE(clean.image == primary);
    EXPECT_TRUE(HasKey(TreeOrFail(clean.image), "\\Key1"));
}

TEST(NewFormat, ACorruptHashInTheMiddleStopsBeforeThatEntry) {
    const Bytes primary = Hive(kNew);
    const Bytes log1 = Hive(kNewLog1);
    Bytes log2 = Hive(kNewLog2);
    ASSERT_EQ(ReadU32(log2.data() + 0x2000 + 12), 4u);  // LOG2: entries 3 (0x200), 4 (0x2000), 5 (0x8000)
    log2[0x2000 + 48 + 100] ^= 0x01;                     // a byte of entry 4's page data

    const LoadedHive h = Recover(primary, log1, log2);
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.note,
              "dirty (sequence numbers 3/2); LOG1: entry 2 applied; LOG2: entry 3 applied; "
              "LOG2 entry 2 (at 0x2000): hash mismatch: replay of LOG2 stopped");
    // Entry 5 is valid but follows the bad one: not applied. The image is what
    // entries 2 and 3 alone make.
    Bytes upTo3 = Hive(kNewLog2);
    upTo3.resize(0x2000);
    const LoadedHive expected = Recover(primary, log1, upTo3);
    EXPECT_EQ(expected.note, "dirty (sequence numbers 3/2); LOG1: entry 2 applied; LOG2: entry 3 applied");
    EXPECT_TRUE(h.image == expected.image);
    EXPECT_FALSE(Bins(h.image) == Bins(Hive(kNewWindows)));
    EXPECT_TRUE(ImageIsClean(h.image));
    EXPECT_EQ(ParseBaseBlock(h.image.data(), h.image.size()).primarySeq, 3u);

    // The header hash (the first 32 bytes) is checked as well.
    Bytes header = Hive(kNewLog2);
    header[0x2000 + 8] ^= 0x01;  // the entry's flags
    const LoadedHive h2 = Recover(primary, log1, header);
    EXPECT_EQ(SealedSeq(h2.image), 3u);
    EXPECT_NE(h2.note.find("header hash mismatch"), std::string::npos) << h2.note;

    // A bad first entry: nothing applies, and LOG2 does not continue from 2.
    Bytes bad1 = log1;
    bad1[0x200 + 4000] ^= 0x80;
    const LoadedHive h3 = Recover(primary, bad1, Hive(kNewLog2));
    EXPECT_EQ(h3.recovery, Recovery::kDirtyNoUsableLog) << h3.note;
    EXPECT_TRUE(h3.image == primary);
    EXPECT_NE(h3.note.find("LOG2 (sequence 3) does not continue from 2"), std::string::npos) << h3.note;
}

TEST(NewFormat, ASequenceGapStopsTheReplay) {
    Bytes log2 = Hive(kNewLog2);
    WriteU32(log2.data() + 0x2000 + 12, 5);  // entry 4 claims 5, with good hashes
    RehashEntry(log2, 0x2000);
    const LoadedHive h = Recover(Hive(kNew), Hive(kNewLog1), log2);
    EXPECT_EQ(SealedSeq(h.image), 3u) << h.note;
    EXPECT_NE(h.note.find("sequence 5, expected 4"), std::string::npos) << h.note;

    // A second log that does not take the sequence up is not used.
    const LoadedHive gap = Recover(Hive(kNew), Hive(kNewLog1), Renumber(Hive(kNewLog2), 4));
    EXPECT_EQ(gap.logsApplied, (std::vector<std::string>{"LOG1"}));
    EXPECT_EQ(SealedSeq(gap.image), 2u);
    EXPECT_NE(gap.note.find("LOG2 (sequence 4) does not continue from 3"), std::string::npos) << gap.note;

    // An entry whose hive bins size is not a multiple of 4096.
    Bytes odd = Hive(kNewLog2);
    WriteU32(odd.data() + 0x2000 + 16, 0x5200);
    RehashEntry(odd, 0x2000);
    const LoadedHive h2 = Recover(Hive(kNew), Hive(kNewLog1), odd);
    EXPECT_EQ(SealedSeq(h2.image), 3u);
    EXPECT_NE(h2.note.find("not a multiple of 4096"), std::string::npos) << h2.note;
}

TEST(NewFormat, SequenceNumbersWrapAround) {
    // Secondary number 0xFFFFFFFF; LOG1 holds 0xFFFFFFFF, LOG2 0, 1, 2: the
    // lower is LOG1 even though its number is the larger.
    Bytes primary = Hive(kNew);
    SetSeqs(primary, 0, 0xFFFFFFFFu);
    const LoadedHive h =
        Recover(primary, Renumber(Hive(kNewLog1), 0xFFFFFFFFu), Renumber(Hive(kNewLog2), 0));
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"LOG1", "LOG2"}));
    EXPECT_EQ(SealedSeq(h.image), 2u);  // four entries from 0xFFFFFFFF
    EXPECT_TRUE(Bins(h.image) == Bins(Hive(kNewWindows)));

    // Given the other way round, LOG2 (0xFFFFFFFF) still comes first.
    const LoadedHive swapped =
        Recover(primary, Renumber(Hive(kNewLog2), 0), Renumber(Hive(kNewLog1), 0xFFFFFFFFu));
    EXPECT_EQ(swapped.logsApplied, (std::vector<std::string>{"LOG2", "LOG1"}));
    EXPECT_TRUE(swapped.image == h.image);
}

TEST(NewFormat, ALogAheadOfThePrimaryAppliesFromItsOwnNumber) {
    // After a partial reconcile the primary holds the data of entries that no
    // log has any more, and its secondary number stays behind (real hives:
    // regipy/UsrClass 255 with logs from 287, museum/Win11/DEFAULT 92 from 104).
    Bytes primary = Hive(kNew);
    SetSeqs(primary, 2, 1);  // LOG1 starts at 2, one past the primary's 1
    const LoadedHive h = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.note,
              "dirty (sequence numbers 2/1); LOG1: entry 2 applied (the log starts past the "
              "hive's 1); LOG2: entries 3-5 applied");
    EXPECT_TRUE(Bins(h.image) == Bins(Hive(kNewWindows)));
}

TEST(NewFormat, ABadBaseBlockIsRebuiltFromTheNewestLog) {
    const Bytes windows = Hive(kNewWindows);
    Bytes primary = Hive(kNew);
    primary[kChecksumOffset] ^= 0x01;
    const LoadedHive h = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(h.recovery, Recovery::kBaseBlockFromLog) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"LOG2"}));
    EXPECT_NE(h.note.find("LOG2: entries 3-5 applied"), std::string::npos) << h.note;
    EXPECT_TRUE(ImageIsClean(h.image));
    EXPECT_TRUE(Bins(h.image) == Bins(windows));
    EXPECT_EQ(TreeDiff(TreeOrFail(h.image), TreeOrFail(windows)), "");

    // No base block at all: the same, from the log.
    std::fill(primary.begin(), primary.begin() + 4096, 0);
    const LoadedHive blank = Recover(primary, Hive(kNewLog1), Hive(kNewLog2));
    EXPECT_EQ(blank.recovery, Recovery::kBaseBlockFromLog) << blank.note;
    EXPECT_TRUE(blank.image == h.image);
}

TEST(NewFormat, TheHiveGrowsWithItsBinsSize) {
    // Windows' recovered hive cut to its bins (0x5000), then an entry that
    // adds a 4 KiB bin at 0x5000.
    Bytes primary = Hive(kNewWindows);
    primary.resize(4096 + 0x5000);
    SetSeqs(primary, 7, 6);
    Bytes bin(4096, 0);
    std::memcpy(bin.data(), "hbin", 4);
    WriteU32(bin.data() + 4, 0x5000);
    WriteU32(bin.data() + 8, 0x1000);
    WriteU32(bin.data() + 32, 0x1000 - 32);  // one free cell
    const Bytes log = MakeNewLog(primary, 6, {MakeEntry({6, 0x6000, {{0x5000, bin}}})});
    const LoadedHive h = Recover(primary, log, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.image.size(), 4096u + 0x6000u);
    EXPECT_EQ(ParseBaseBlock(h.image.data(), h.image.size()).hiveBinsSize, 0x6000u);
    EXPECT_TRUE(ImageIsClean(h.image));
    EXPECT_EQ(TreeDiff(TreeOrFail(h.image), TreeOrFail(Hive(kNewWindows))), "");

    // A bins size that the entry's pages could not fill is refused.
    const Bytes huge = MakeNewLog(primary, 6, {MakeEntry({6, 0x100000, {{0x5000, bin}}})});
    const LoadedHive refused = Recover(primary, huge, std::nullopt);
    EXPECT_EQ(refused.recovery, Recovery::kDirtyNoUsableLog) << refused.note;
    EXPECT_TRUE(refused.image == primary);
    EXPECT_NE(refused.note.find("more than the logs' pages can fill"), std::string::npos) << refused.note;
}

TEST(NewFormat, KtmLockFlagComesFromTheLastEntry) {
    Bytes primary = Hive(kNewWindows);
    SetSeqs(primary, 7, 6);
    Bytes page(primary.begin() + 4096, primary.begin() + 8192);
    const Bytes log = MakeNewLog(primary, 6, {MakeEntry({6, 0x5000, {{0, page}}, 1})});
    const LoadedHive h = Recover(primary, log, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(ParseBaseBlock(h.image.data(), h.image.size()).flags & 1u, 1u);
    EXPECT_TRUE(ImageIsClean(h.image));
}

// ---- Hostile logs: good hashes around lying numbers -----------------------------

TEST(Hostile, LyingEntriesStopWithoutGrowingOrCrashing) {
    Bytes primary = Hive(kNewWindows);
    SetSeqs(primary, 7, 6);
    const Bytes page(4096, 0x5A);
    const std::size_t original = primary.size();

    auto expectRefused = [&](const Bytes& log, const std::string& why) {
        const LoadedHive h = Recover(primary, log, std::nullopt);
        EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << why << ": " << h.note;
        EXPECT_EQ(h.image.size(), original) << why;
        EXPECT_TRUE(h.image == primary) << why;
        EXPECT_NE(h.note.find(why), std::string::npos) << h.note;
    };
    // 4 GiB of bins claimed, one page at its very end.
    expectRefused(MakeNewLog(primary, 6, {MakeEntry({6, 0xFFFFF000u, {{0xFFFFE000u, page}}})}),
                  "more than the logs' pages can fill");
    // A page reference whose end overflows 32 bits.
    {
        Bytes e = MakeEntry({6, 0x5000, {{0, page}}});
        WriteU32(e.data() + 40, 0xFFFFF000u);
        WriteU32(e.data() + 44, 0x2000);
        RehashEntry(e, 0);
        expectRefused(MakeNewLog(primary, 6, {e}), "lies past the hive bins size");
    }
    // 2 GiB pages.
    {
        Bytes e = MakeEntry({6, 0x5000, {{0, page}}});
        WriteU32(e.data() + 44, 0x80000000u);
        RehashEntry(e, 0);
        expectRefused(MakeNewLog(primary, 6, {e}), "lies past the hive bins size");
        WriteU32(e.data() + 16, 0xFFFFF000u);
        RehashEntry(e, 0);
        expectRefused(MakeNewLog(primary, 6, {e}), "pages run past the entry's size");
    }
    // A page count that overflows what the entry can hold.
    {
        Bytes e = MakeEntry({6, 0x5000, {{0, page}}});
        WriteU32(e.data() + 20, 0xFFFFFFFFu);
        RehashEntry(e, 0);
        expectRefused(MakeNewLog(primary, 6, {e}), "does not fit the entry");
        WriteU32(e.data() + 20, 0);
        RehashEntry(e, 0);
        expectRefused(MakeNewLog(primary, 6, {e}), "no dirty pages");
    }
    // A page size that is not a multiple of 4096.
    {
        Bytes e = MakeEntry({6, 0x5000, {{0, page}}});
        WriteU32(e.data() + 44, 0x800);
        RehashEntry(e, 0);
        expectRefused(MakeNewLog(primary, 6, {e}), "is not a multiple of 4096");
    }
    // An entry size claiming 2 GiB, or nothing: the hashes cannot even be read.
    {
        Bytes log = MakeNewLog(primary, 6, {MakeEntry({6, 0x5000, {{0, page}}})});
        WriteU32(log.data() + 512 + 4, 0x80000000u);
        expectRefused(log, "runs past the end of the log");
        WriteU32(log.data() + 512 + 4, 0);
        expectRefused(log, "is not a multiple of 512");
        WriteU32(log.data() + 512 + 4, 0x1234);
        expectRefused(log, "is not a multiple of 512");
    }
}

TEST(Hostile, BadLogHeadersAreNotUsed) {
    Bytes primary = Hive(kNew);
    auto expectUnusable = [&](const Bytes& log, const std::string& why) {
        const LoadedHive h = Recover(primary, log, std::nullopt);
        EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << why << ": " << h.note;
        EXPECT_TRUE(h.image == primary);
        EXPECT_NE(h.note.find("LOG1 unusable: " + why), std::string::npos) << h.note;
    };
    Bytes log = Hive(kNewLog1);
    log[kChecksumOffset] ^= 1;
    expectUnusable(log, "bad header checksum");
    log = Hive(kNewLog1);
    SetSeqs(log, 3, 2);
    expectUnusable(log, "header sequence numbers differ (3/2)");
    log = Hive(kNewLog1);
    WriteU32(log.data() + kFileTypeOffset, 0);
    Seal(log);
    expectUnusable(log, "file type 0 is not a log's");
    expectUnusable(Bytes(primary.begin(), primary.begin() + 300), "shorter than its 512-byte header");
    expectUnusable(Bytes(600, 0x41), "no 'regf' header");
    // An empty log counts as absent.
    const LoadedHive empty = Recover(primary, Bytes{}, Bytes{});
    EXPECT_EQ(empty.recovery, Recovery::kDirtyNoUsableLog);
    EXPECT_NE(empty.note.find("no log beside it"), std::string::npos) << empty.note;
}

TEST(Hostile, OldFormatLiesAreRefused) {
    const Bytes primary = Hive(kOld);
    // A bins size far past what the dirty vector in the log can describe.
    Bytes log = Hive(kOldLog);
    WriteU32(log.data() + kHiveBinsSizeOffset, 0xFFFFF000u);
    Seal(log);
    LoadedHive h = Recover(primary, log, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << h.note;
    EXPECT_NE(h.note.find("dirty vector cut short"), std::string::npos) << h.note;
    EXPECT_TRUE(h.image == primary);
    // Every page dirty, but the log holds 64 pages only.
    log = Hive(kOldLog);
    std::fill(log.begin() + 516, log.begin() + 516 + 0x77, 0xFF);
    h = Recover(primary, log, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << h.note;
    EXPECT_NE(h.note.find("holds 64 of its 952 dirty pages"), std::string::npos) << h.note;
    // Cut short.
    log = Hive(kOldLog);
    log.resize(20000);
    h = Recover(primary, log, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << h.note;
    EXPECT_TRUE(h.image == primary);
    // No dirty vector.
    log = Hive(kOldLog);
    log[512] = 'X';
    h = Recover(primary, log, std::nullopt);
    EXPECT_NE(h.note.find("no dirty vector"), std::string::npos) << h.note;
    // A bins size that grows the hive past what the dirty pages can fill.
    log = Hive(kOldLog);
    Bytes grown(log.begin(), log.begin() + 512);
    WriteU32(grown.data() + kHiveBinsSizeOffset, 0x200000);
    Seal(grown);
    grown.resize(512 + 4 + 0x200, 0);
    std::memcpy(grown.data() + 512, "DIRT", 4);
    grown[516 + 0x1FF] = 0x80;  // the last 512 bytes only
    grown.resize(1536 + 512, 0x33);  // the pages start at the first 512 boundary past the vector
    h = Recover(primary, grown, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << h.note;
    EXPECT_NE(h.note.find("more than the logs' pages can fill"), std::string::npos) << h.note;
}

// ---- Old format -------------------------------------------------------------------

TEST(OldFormat, OldDirtyHiveMatchesWhatWindows7Recovered) {
    const Bytes primary = Hive(kOld);
    const LoadedHive h = Recover(primary, Hive(kOldLog), Bytes{});
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"LOG1"}));
    EXPECT_EQ(h.note, "dirty (sequence numbers 5/4); LOG1: 64 dirty pages applied");
    EXPECT_TRUE(ImageIsClean(h.image));
    const auto ours = TreeOrFail(h.image, true);
    EXPECT_EQ(TreeDiff(ours, TreeOrFail(Hive(kOldWindows), true)), "");
    EXPECT_TRUE(HasKey(ours, "\\key_with_many_subkeys\\5000\\find_me_in_log"));
    EXPECT_FALSE(HasKey(ours, "\\key_with_many_subkeys\\1"));
    const auto before = TreeOrFail(primary);
    EXPECT_TRUE(HasKey(before, "\\key_with_many_subkeys\\1"));
    EXPECT_FALSE(HasKey(before, "\\key_with_many_subkeys\\5000\\find_me_in_log"));
}

TEST(OldFormat, ALogOfAnotherWriteIsNotApplied) {
    Bytes log = Hive(kOldLog);
    WriteU64(log.data() + kTimestampOffset, ReadU64(log.data() + kTimestampOffset) + 1);
    Seal(log);
    const Bytes primary = Hive(kOld);
    const LoadedHive h = Recover(primary, log, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog) << h.note;
    EXPECT_NE(h.note.find("LOG1 skipped: its timestamp is not the hive's"), std::string::npos) << h.note;
    EXPECT_TRUE(h.image == primary);
}

TEST(OldFormat, BadLogHive1HasNoUsableLog) {
    const Bytes primary = Hive("yarp/BadLogHive1/BadLogHive");
    const LoadedHive h = Recover(primary, Hive("yarp/BadLogHive1/BadLogHive.LOG1"),
                                 Hive("yarp/BadLogHive1/BadLogHive.LOG2"));
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog);
    EXPECT_TRUE(h.logsApplied.empty());
    EXPECT_TRUE(h.image == primary);
    EXPECT_EQ(h.note,
              "dirty (sequence numbers 5/4); LOG1 unusable: bad header checksum; "
              "image is the primary as is, possibly stale");
}

TEST(NewFormat, BadLogHive3HasNoUsableLog) {
    const Bytes primary = Hive("yarp/BadLogHive3/BadLogHive");
    const LoadedHive h = Recover(primary, Hive("yarp/BadLogHive3/BadLogHive.LOG1"),
                                 Hive("yarp/BadLogHive3/BadLogHive.LOG2"));
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog);
    EXPECT_TRUE(h.image == primary);
    EXPECT_NE(h.note.find("LOG1 unusable: bad header checksum; LOG2 unusable: bad header checksum"),
              std::string::npos)
        << h.note;
}

TEST(OldFormat, BadBaseBlockHiveIsRebuiltFromItsLog) {
    // The OldDirtyHive with a damaged base block (minor version 1, checksum not
    // redone) and the same log: the same tree as Windows 7 recovered.
    const Bytes primary = Hive("yarp/BadBaseBlockHive/BadBaseBlockHive");
    ASSERT_FALSE(ParseBaseBlock(primary.data(), primary.size()).checksumOk);
    const LoadedHive h = Recover(primary, Hive("yarp/BadBaseBlockHive/BadBaseBlockHive.LOG1"),
                                 Hive("yarp/BadBaseBlockHive/BadBaseBlockHive.LOG2"));
    EXPECT_EQ(h.recovery, Recovery::kBaseBlockFromLog) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"LOG1"}));
    EXPECT_TRUE(ImageIsClean(h.image));
    EXPECT_EQ(ParseBaseBlock(h.image.data(), h.image.size()).minor, 3u);  // the log's
    EXPECT_EQ(TreeDiff(TreeOrFail(h.image), TreeOrFail(Hive(kOldWindows))), "");
    // The same image as from the intact primary, past the cleared reserved area.
    const LoadedHive intact = Recover(Hive(kOld), Hive(kOldLog), std::nullopt);
    EXPECT_TRUE(Bins(h.image) == Bins(intact.image));
    EXPECT_TRUE(std::equal(h.image.begin(), h.image.begin() + 512, intact.image.begin()));

    // Without even a signature, the first bin's timestamp decides.
    Bytes blank = Hive(kOld);
    std::fill(blank.begin(), blank.begin() + 4096, 0);
    const LoadedHive b = Recover(blank, Hive(kOldLog), std::nullopt);
    EXPECT_EQ(b.recovery, Recovery::kBaseBlockFromLog) << b.note;
    EXPECT_TRUE(Bins(b.image) == Bins(intact.image));
}

TEST(OldFormat, TruncatedDirtyHiveHasNoLog) {
    const Bytes primary = Hive("yarp/TruncatedDirtyHive");
    const LoadedHive h = Recover(primary, std::nullopt, std::nullopt);
    EXPECT_EQ(h.recovery, Recovery::kDirtyNoUsableLog);
    EXPECT_TRUE(h.image == primary);
    EXPECT_EQ(h.note,
              "dirty (sequence numbers 5/4); no log beside it; image is the primary as is, possibly stale");
}

// ---- LoadHive: files beside the primary ----------------------------------------------

// The store's loader over the system's file layer, as the store calls it.
bool Load(const std::string& path, LoadedHive* out, std::string* error) {
    const FileFailure failed = LoadHive(*SystemFileLayer(), path, out);
    *error = failed.message;
    return !failed;
}

TEST(LoadHive, FindsLogsInAnyLetterCaseAndNamesThem) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    WriteFile(dir.path() / "SOFTWARE", Hive(kNew));
    WriteFile(dir.path() / "software.log1", Hive(kNewLog1));
    WriteFile(dir.path() / "SOFTWARE.Log2", Hive(kNewLog2));
    LoadedHive h;
    std::string error;
    ASSERT_TRUE(Load((dir.path() / "SOFTWARE").string(), &h, &error)) << error;
    EXPECT_EQ(h.recovery, Recovery::kReplayed) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"software.log1", "SOFTWARE.Log2"}));
    EXPECT_NE(h.note.find("software.log1: entry 2 applied"), std::string::npos) << h.note;
    EXPECT_TRUE(Bins(h.image) == Bins(Hive(kNewWindows)));
    // Reading changed no file.
    EXPECT_TRUE(ReadFile(dir.path() / "SOFTWARE") == Hive(kNew));
    EXPECT_TRUE(ReadFile(dir.path() / "software.log1") == Hive(kNewLog1));
    EXPECT_TRUE(ReadFile(dir.path() / "SOFTWARE.Log2") == Hive(kNewLog2));
}

TEST(LoadHive, UsesASingleDotLogWhenThereIsNoLog1OrLog2) {
    TempDir dir;
    Bytes primary = Hive(kNew);
    SetSeqs(primary, 4, 3);
    WriteFile(dir.path() / "BCD", primary);
    WriteFile(dir.path() / "BCD.LOG", Hive(kNewLog2));
    LoadedHive h;
    std::string error;
    ASSERT_TRUE(Load((dir.path() / "BCD").string(), &h, &error)) << error;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"BCD.LOG"}));
    EXPECT_NE(h.note.find("BCD.LOG: entries 3-5 applied"), std::string::npos) << h.note;
}

TEST(LoadHive, RefusesWhatIsNoHive) {
    LoadedHive h;
    std::string error;
    EXPECT_FALSE(Load((HivesDir() / "no-such-hive").string(), &h, &error));
    EXPECT_NE(error.find("no-such-hive"), std::string::npos) << error;
    EXPECT_FALSE(Load(HivesDir().string(), &h, &error));
    EXPECT_NE(error.find("a folder, not a file"), std::string::npos) << error;
    EXPECT_FALSE(Load((HivesDir() / "ezregistry/NotAHive").string(), &h, &error));
    EXPECT_NE(error.find("not a registry hive"), std::string::npos) << error;
    EXPECT_FALSE(Load((HivesDir() / "yarp/Discovery5_aa_empty").string(), &h, &error));
    EXPECT_NE(error.find("not a registry hive"), std::string::npos) << error;
    // A log given as the hive (its header even has a bad checksum).
    EXPECT_FALSE(Load((HivesDir() / kNewLog2).string(), &h, &error));
    EXPECT_NE(error.find("a transaction log (file type 6), not a registry hive"), std::string::npos) << error;
    EXPECT_FALSE(Load((HivesDir() / "yarp/BadLogHive1/BadLogHive.LOG1").string(), &h, &error));
    EXPECT_NE(error.find("a transaction log (file type 1)"), std::string::npos) << error;

    // No signature, but a log to rebuild the base block from: a hive.
    TempDir dir;
    Bytes blank = Hive(kNew);
    std::fill(blank.begin(), blank.begin() + 4096, 0);
    WriteFile(dir.path() / "NTUSER.DAT", blank);
    WriteFile(dir.path() / "NTUSER.DAT.LOG2", Hive(kNewLog2));
    ASSERT_TRUE(Load((dir.path() / "NTUSER.DAT").string(), &h, &error)) << error;
    EXPECT_EQ(h.recovery, Recovery::kBaseBlockFromLog) << h.note;
    EXPECT_EQ(h.logsApplied, (std::vector<std::string>{"NTUSER.DAT.LOG2"}));
    // And without one usable, not.
    WriteFile(dir.path() / "NTUSER.DAT.LOG2", Bytes(4096, 0));
    EXPECT_FALSE(Load((dir.path() / "NTUSER.DAT").string(), &h, &error));
    EXPECT_NE(error.find("no usable log"), std::string::npos) << error;
}

// ---- Real Windows 10/11 hives -------------------------------------------------------------

struct RealCase {
    const char* path;
    Recovery recovery;
    std::vector<std::string> logs;
    std::uint32_t sequence;
};

TEST(RealHives, ReplayWithoutError) {
    const RealCase cases[] = {
        {"regipy/transactions/NTUSER.DAT", Recovery::kReplayed, {"NTUSER.DAT.LOG1"}, 588},
        {"regipy/UsrClass/UsrClass.dat", Recovery::kReplayed, {"UsrClass.dat.LOG1", "UsrClass.dat.LOG2"}, 300},
        {"museum/Win11/BBI", Recovery::kReplayed, {"BBI.LOG1", "BBI.LOG2"}, 49},
        {"museum/Win11/DEFAULT", Recovery::kReplayed, {"DEFAULT.LOG2", "DEFAULT.LOG1"}, 107},
        {"museum/Win11/NTUSER.DAT", Recovery::kReplayed, {"NTUSER.DAT.LOG2", "NTUSER.DAT.LOG1"}, 242},
        {"museum/Win11/SECURITY", Recovery::kReplayed, {"SECURITY.LOG1"}, 115},
        {"museum/Win11/BCD-Template", Recovery::kClean, {}, 0},
        {"museum/Win11/ELAM", Recovery::kClean, {}, 0},
        {"dfwinreg/NTUSER.DAT", Recovery::kClean, {}, 0},
    };
    for (const RealCase& c : cases) {
        SCOPED_TRACE(c.path);
        LoadedHive h;
        std::string error;
        ASSERT_TRUE(Load((HivesDir() / c.path).string(), &h, &error)) << error;
        EXPECT_EQ(h.recovery, c.recovery) << h.note;
        EXPECT_EQ(h.logsApplied, c.logs) << h.note;
        EXPECT_EQ(h.note.find("stopped"), std::string::npos) << h.note;
        EXPECT_EQ(h.note.find("unusable"), std::string::npos) << h.note;
        EXPECT_TRUE(ImageIsClean(h.image)) << h.note;
        const auto after = TreeOrFail(h.image);
        const auto before = TreeOrFail(ReadFile(HivesDir() / c.path));
        if (c.recovery == Recovery::kReplayed) {
            EXPECT_EQ(SealedSeq(h.image), c.sequence);
        }
        std::cout << "[ real     ] " << c.path << ": " << RecoveryName(h.recovery) << ", "
                  << before.size() << " keys+values before, " << after.size() << " after, "
                  << TreeDiff(after, before).substr(0, 60) << "\n    " << h.note << "\n";
    }
}

// Every file of the shared set: loading never crashes, and a replayed image
// always has a valid, clean base block that hivex opens.
TEST(SharedHives, EveryFileLoads) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(HivesDir())) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 50u);
    std::map<std::string, int> counts;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        LoadedHive h;
        std::string error;
        const bool ok = Load(file.string(), &h, &error);
        const std::string rel = fs::relative(file, HivesDir()).string();
        if (!ok) {
            ++counts["not loaded"];
            std::cout << "[ shared   ] " << rel << ": " << error << "\n";
            continue;
        }
        ++counts[RecoveryName(h.recovery)];
        if (h.recovery == Recovery::kReplayed || h.recovery == Recovery::kBaseBlockFromLog) {
            EXPECT_TRUE(ImageIsClean(h.image)) << h.note;
            std::string treeError;
            EXPECT_TRUE(Tree(h.image, false, &treeError).has_value()) << treeError;
        } else {
            EXPECT_TRUE(h.image == ReadFile(file));
        }
        if (h.recovery != Recovery::kClean) {
            std::cout << "[ shared   ] " << rel << ": " << RecoveryName(h.recovery) << ": " << h.note << "\n";
        }
    }
    for (const auto& [what, n] : counts) std::cout << "[ shared   ] " << n << " " << what << "\n";
}

}  // namespace
}  // namespace vornex::hive
