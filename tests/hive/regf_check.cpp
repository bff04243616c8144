#include "tests/hive/regf_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <map>
#include <set>

#include "core/registry_upcase.h"

namespace vornex::hive::testing {
namespace {

constexpr std::uint32_t kNil = 0xFFFFFFFFu;
constexpr std::uint32_t kSegment = 16344;

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::string H(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

class Checker {
public:
    explicit Checker(const std::vector<unsigned char>& image) : image_(image) {}

    HiveCheck Run() {
        if (image_.size() < 4096 + 4096) return Fail("image shorter than a base block and a bin");
        std::uint32_t sum = 0;
        for (int i = 0; i < 127; ++i) sum ^= Get32(&image_[4 * i]);
        if (sum == 0) sum = 1;
        if (sum == kNil) sum = 0xFFFFFFFEu;
        if (sum != Get32(&image_[508])) Problem("base block checksum " + H(Get32(&image_[508])) + ", not " + H(sum));
        if (Get32(&image_[4]) != Get32(&image_[8])) Problem("sequence numbers differ");
        minor_ = Get32(&image_[24]);
        binsSize_ = Get32(&image_[40]);
        if (binsSize_ > image_.size() - 4096) return Fail("bins size past the image");
        bins_ = image_.data() + 4096;
        WalkBins();
        WalkKeys(Get32(&image_[36]));
        CheckSecurity();
        for (const auto& [cell, state] : cells_) {
            if (!state.reached) Problem("cell " + H(cell) + " allocated, reached from nowhere");
        }
        return report_;
    }

private:
    struct CellState {
        std::uint32_t size = 0;
        bool reached = false;
    };

    HiveCheck Fail(const std::string& what) {
        Problem(what);
        return report_;
    }
    void Problem(const std::string& what) { report_.problems.push_back(what); }

    void WalkBins() {
        std::uint32_t at = 0;
        while (at < binsSize_) {
            const unsigned char* bin = bins_ + at;
            const std::uint32_t size = Get32(bin + 8);
            if (std::string(reinterpret_cast<const char*>(bin), 4) != "hbin" || Get32(bin + 4) != at ||
                size == 0 || size % 4096 != 0 || size > binsSize_ - at) {
                Problem("bad bin header at " + H(at));
                return;
            }
            bool previousFree = false;
            std::uint32_t cell = at + 32;
            while (cell < at + size) {
                const std::int32_t raw = static_cast<std::int32_t>(Get32(bins_ + cell));
                const std::uint32_t length = raw < 0 ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(raw))
                                                     : static_cast<std::uint32_t>(raw);
                if (length < 8 || length % 8 != 0 || length > at + size - cell) {
                    Problem("cell chain broken at " + H(cell));
                    break;
                }
                if (raw < 0) {
                    cells_[cell].size = length;
                } else {
                    ++report_.freeCells;
                    if (previousFree) ++report_.adjacentFreeCells;
                }
                previousFree = raw > 0;
                cell += length;
            }
            at += size;
        }
    }

    // The payload of an allocated cell, marked reached; null (and a problem)
    // when it is no allocated cell or was reached before.
    const unsigned char* Reach(std::uint32_t cell, const std::string& what, std::uint32_t* size, bool once = true) {
        const auto found = cells_.find(cell);
        if (found == cells_.end()) {
            Problem(what + " " + H(cell) + " is not an allocated cell");
            return nullptr;
        }
        if (found->second.reached && once) {
            Problem(what + " " + H(cell) + " reached twice");
            return nullptr;
        }
        found->second.reached = true;
        *size = found->second.size - 4;
        return bins_ + cell + 4;
    }

    static std::u16string Name(const unsigned char* bytes, std::size_t length, bool latin1) {
        std::u16string name;
        for (std::size_t i = 0; latin1 ? i < length : i + 1 < length; i += latin1 ? 1 : 2) {
            name.push_back(latin1 ? bytes[i] : static_cast<char16_t>(Get16(bytes + i)));
        }
        return name;
    }

    void WalkKeys(std::uint32_t root) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> pending{{root, kNil}};
        while (!pending.empty()) {
            const auto [key, parent] = pending.back();
            pending.pop_back();
            std::uint32_t size = 0;
            const unsigned char* nk = Reach(key, "key", &size);
            if (!nk) continue;
            if (size < 76 || nk[0] != 'n' || nk[1] != 'k' || Get16(nk + 72) > size - 76) {
                Problem("key " + H(key) + " is not a key node");
                continue;
            }
            ++report_.keys;
            if (parent != kNil && Get32(nk + 16) != parent) Problem("key " + H(key) + " names another parent");
            const std::uint32_t security = Get32(nk + 44);
            if (Reach(security, "security descriptor of " + H(key), &size, false)) ++skUsers_[security];
            if (const std::uint16_t classLength = Get16(nk + 74); classLength > 0) {
                const unsigned char* text = Reach(Get32(nk + 48), "class name of " + H(key), &size);
                if (text && size < classLength) Problem("class name of " + H(key) + " runs past its cell");
            }
            for (const std::uint32_t child : Subkeys(key, Get32(nk + 20), Get32(nk + 28))) {
                pending.emplace_back(child, key);
            }
            Values(key, Get32(nk + 36), Get32(nk + 40));
        }
    }

    // The key's name, upper-cased, for sorting and hashing.
    std::u16string UpperName(std::uint32_t key) {
        const auto found = cells_.find(key);
        if (found == cells_.end() || found->second.size < 80) return {};
        const unsigned char* nk = bins_ + key + 4;
        const std::size_t length = std::min<std::size_t>(Get16(nk + 72), found->second.size - 80);
        std::u16string name = Name(nk + 76, length, (Get16(nk + 2) & 0x20) != 0);
        for (char16_t& unit : name) unit = RegistryUpcase(unit);
        return name;
    }

    std::vector<std::uint32_t> Subkeys(std::uint32_t key, std::uint32_t count, std::uint32_t list) {
        std::vector<std::uint32_t> children;
        if (count == 0) return children;
        std::uint32_t size = 0;
        const unsigned char* root = Reach(list, "subkey list of " + H(key), &size);
        if (!root || size < 4) return children;
        std::vector<std::uint32_t> leaves{list};
        if (root[0] == 'r' && root[1] == 'i') {
            leaves.clear();
            for (std::uint32_t i = 0; i < Get16(root + 2) && 4 + 4 * i + 4 <= size; ++i) {
                leaves.push_back(Get32(root + 4 + 4 * i));
            }
            if (leaves.size() != Get16(root + 2)) Problem("index root " + H(list) + " count past its cell");
        }
        std::u16string previous;
        for (const std::uint32_t leaf : leaves) {
            const unsigned char* entries = leaf == list ? root : Reach(leaf, "leaf of " + H(list), &size);
            if (!entries || size < 4) continue;
            const std::string kind(reinterpret_cast<const char*>(entries), 2);
            if (kind != "li" && kind != "lf" && kind != "lh") {
                Problem("list " + H(leaf) + " is no leaf (" + kind + ")");
                continue;
            }
            const std::size_t stride = kind == "li" ? 4 : 8;
            const std::uint32_t n = Get16(entries + 2);
            if (n == 0) Problem("leaf " + H(leaf) + " is empty");
            if (4 + n * stride > size) {
                Problem("leaf " + H(leaf) + " count past its cell");
                continue;
            }
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint32_t child = Get32(entries + 4 + i * stride);
                const std::u16string name = UpperName(child);
                if (!children.empty() && !(previous < name)) Problem("list of " + H(key) + " unsorted at " + H(child));
                if (stride == 8 && !HashOk(kind, child, name, Get32(entries + 8 + i * stride))) {
                    Problem(kind + " hash of " + H(child) + " wrong");
                }
                previous = name;
                children.push_back(child);
            }
        }
        if (children.size() != count) {
            Problem("key " + H(key) + " counts " + std::to_string(count) + " subkeys, lists hold " +
                    std::to_string(children.size()));
        }
        return children;
    }

    bool HashOk(const std::string& kind, std::uint32_t child, const std::u16string& upper, std::uint32_t stored) {
        if (kind == "lh") {
            std::uint32_t hash = 0;
            for (const char16_t unit : upper) hash = hash * 37 + unit;
            return stored == hash;
        }
        // lf: the name's first four characters, one byte each (0 past its
        // end or for a unit above 0xFF); as stored or upper-cased.
        const auto found = cells_.find(child);
        if (found == cells_.end() || found->second.size < 80) return false;
        const unsigned char* nk = bins_ + child + 4;
        const bool latin1 = (Get16(nk + 2) & 0x20) != 0;
        const std::size_t room = std::min<std::size_t>(Get16(nk + 72), found->second.size - 80);
        const std::u16string name = Name(nk + 76, std::min<std::size_t>(room, latin1 ? 4 : 8), latin1);
        std::uint32_t asStored = 0;
        std::uint32_t asUpper = 0;
        for (std::size_t i = 0; i < 4 && i < name.size() && i < upper.size(); ++i) {
            asStored |= static_cast<std::uint32_t>(name[i] > 0xFF ? 0 : name[i]) << (8 * i);
            asUpper |= static_cast<std::uint32_t>(upper[i] > 0xFF ? 0 : upper[i]) << (8 * i);
        }
        return stored == asStored || stored == asUpper;
    }

    void Values(std::uint32_t key, std::uint32_t count, std::uint32_t list) {
        if (count == 0) return;
        std::uint32_t size = 0;
        const unsigned char* cells = Reach(list, "value list of " + H(key), &size);
        if (!cells) return;
        if (count > size / 4) {
            Problem("value list of " + H(key) + " count past its cell");
            return;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t cell = Get32(cells + 4 * i);
            const unsigned char* vk = Reach(cell, "value of " + H(key), &size);
            if (!vk) continue;
            if (size < 20 || vk[0] != 'v' || vk[1] != 'k' || Get16(vk + 2) > size - 20) {
                Problem("value " + H(cell) + " is not a value node");
                continue;
            }
            ++report_.values;
            Data(cell, Get32(vk + 4), Get32(vk + 8));
        }
    }

    void Data(std::uint32_t value, std::uint32_t stored, std::uint32_t offset) {
        const std::uint32_t length = stored & 0x7FFFFFFFu;
        std::uint32_t size = 0;
        if (stored & 0x80000000u) {
            if (length > 4) Problem("value " + H(value) + " claims " + std::to_string(length) + " inline bytes");
            return;
        }
        if (length == 0) {
            if (offset != kNil && cells_.count(offset)) Reach(offset, "empty data of " + H(value), &size);
            return;
        }
        const unsigned char* data = Reach(offset, "data of " + H(value), &size);
        if (!data) return;
        if (length <= kSegment || minor_ < 4) {
            if (size < length) Problem("data of " + H(value) + " runs past its cell");
            return;
        }
        if (size < 8 || data[0] != 'd' || data[1] != 'b') {
            Problem("big data " + H(offset) + " has no db signature");
            return;
        }
        const std::uint32_t segments = Get16(data + 2);
        if (segments != (length + kSegment - 1) / kSegment) Problem("big data " + H(offset) + " segment count");
        const unsigned char* list = Reach(Get32(data + 4), "segment list of " + H(offset), &size);
        if (!list || size < 4 * segments) return;
        for (std::uint32_t i = 0; i < segments; ++i) {
            const unsigned char* segment = Reach(Get32(list + 4 * i), "segment of " + H(offset), &size);
            if (segment && size < std::min(kSegment, length - std::min(length, i * kSegment))) {
                Problem("segment of " + H(offset) + " too short");
            }
        }
    }

    void CheckSecurity() {
        for (const auto& [cell, users] : skUsers_) {
            const unsigned char* sk = bins_ + cell + 4;
            if (cells_[cell].size < 24 || sk[0] != 's' || sk[1] != 'k') {
                Problem("security descriptor " + H(cell) + " has no sk signature");
                continue;
            }
            if (Get32(sk + 12) != users) {
                Problem("security descriptor " + H(cell) + " counts " + std::to_string(Get32(sk + 12)) +
                        " users, " + std::to_string(users) + " keys use it");
            }
        }
        if (skUsers_.empty()) return;
        // The ring through flink holds every descriptor in use, and blink
        // goes back the same way.
        const std::uint32_t start = skUsers_.begin()->first;
        std::set<std::uint32_t> ring;
        std::uint32_t at = start;
        do {
            if (!skUsers_.count(at) || !ring.insert(at).second) {
                Problem("ring of security descriptors broken at " + H(at));
                return;
            }
            const std::uint32_t next = Get32(bins_ + at + 4 + 4);
            if (!skUsers_.count(next) || Get32(bins_ + next + 4 + 8) != at) {
                Problem("ring of security descriptors broken after " + H(at));
                return;
            }
            at = next;
        } while (at != start);
        if (ring.size() != skUsers_.size()) Problem("security descriptors outside the ring");
    }

    const std::vector<unsigned char>& image_;
    const unsigned char* bins_ = nullptr;
    std::uint32_t binsSize_ = 0;
    std::uint32_t minor_ = 0;
    std::map<std::uint32_t, CellState> cells_;
    std::map<std::uint32_t, std::uint32_t> skUsers_;
    HiveCheck report_;
};

}  // namespace

HiveCheck CheckHive(const std::vector<unsigned char>& image) { return Checker(image).Run(); }

std::vector<std::string> NewProblems(const HiveCheck& before, const HiveCheck& after) {
    const std::multiset<std::string> old(before.problems.begin(), before.problems.end());
    std::vector<std::string> added;
    for (const std::string& problem : after.problems) {
        if (!old.count(problem)) added.push_back(problem);
    }
    return added;
}

}  // namespace vornex::hive::testing
