#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "stores/hive/regf_result.h"

namespace vornex::hive {

// A key node: the offset of its "nk" cell, relative to the start of the hive
// bins (file offset 4096).
struct KeyRef {
    std::uint32_t cell = 0;

    friend bool operator==(KeyRef a, KeyRef b) { return a.cell == b.cell; }
    friend bool operator!=(KeyRef a, KeyRef b) { return a.cell != b.cell; }
};

struct ValueInfo {
    std::u16string name;     // exact, as stored (may hold NUL, lone surrogates)
    std::uint32_t type = 0;  // any 32-bit number: real hives use types past REG_QWORD
    std::uint32_t dataSize = 0;  // bytes the value claims; ValueData checks it
    std::uint32_t cell = 0;      // its "vk" cell
};

// What the base block says, and what the bins walk found.
struct HiveHeader {
    std::uint32_t primarySequence = 0;
    std::uint32_t secondarySequence = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t rootCell = 0;
    std::uint32_t binsSize = 0;
    bool checksumValid = false;
    // 4 KiB pages skipped because no valid bin header covered them, and cell
    // chains that broke inside a bin (the rest of that bin is unreadable).
    std::uint32_t damagedPages = 0;
    std::uint32_t brokenCellChains = 0;
    std::string firstDamage;
};

// A read-only registry hive held in memory: the whole file, base block and
// hive bins, as written by Windows or by a log replay. Every read checks
// every offset and length against the cells it lies in: damage gives an
// error, never a crash, and no read allocates more than the cells it reads
// hold (names widen Latin-1 bytes to UTF-16, so at most twice as much).
//
// Lookups keep an index per subkey list, built on first use; reads are const
// but not safe to run from two threads at once. A RegfWriter changes the
// image in place; reads see each change at once.
class RegfImage {
public:
    // Null, with a one-line reason in *why, when the bytes are not a primary
    // hive this reader can walk: bad signature or version, a bins size that
    // is not a multiple of 4096 or runs past the image, or a root cell that
    // is not a key. Damage below the root is reported by the reads.
    static std::optional<RegfImage> Parse(std::vector<unsigned char> image, std::string* why);

    RegfImage(RegfImage&&) noexcept;
    RegfImage& operator=(RegfImage&&) noexcept;
    ~RegfImage();
    RegfImage(const RegfImage&) = delete;
    RegfImage& operator=(const RegfImage&) = delete;

    const HiveHeader& Header() const { return header_; }
    // The bytes read: base block and hive bins.
    const std::vector<unsigned char>& Bytes() const { return image_; }
    KeyRef Root() const { return KeyRef{header_.rootCell}; }

    // The raw name: UTF-16 units as stored, or Latin-1 bytes widened one to
    // one for keys stored with compressed names.
    Result<std::u16string> KeyName(KeyRef key) const;
    // KEY_SYM_LINK is 0x0010, KEY_COMP_NAME 0x0020.
    Result<std::uint16_t> KeyFlags(KeyRef key) const;

    // In stored order, read by the lists' own counts, which must add up to the
    // key's subkey count. A list that names a key twice, nests index roots or
    // lists the key itself is an error. The subkeys themselves are not read:
    // one damaged subkey shows when its own name is read.
    Result<std::vector<KeyRef>> Subkeys(KeyRef parent) const;
    // The first subkey (stored order) whose name equals `name` as the
    // registry compares names. Absent only when every subkey could be read;
    // with an unreadable subkey and no match the answer is an error.
    Result<std::optional<KeyRef>> FindSubkey(KeyRef parent, const std::u16string& name) const;
    // Every subkey of that name: a damaged hive can hold two, and which one
    // Windows opens then depends on its search.
    Result<std::vector<KeyRef>> SubkeysNamed(KeyRef parent, const std::u16string& name) const;

    // All values in stored order; an error when any of them is unreadable or
    // listed twice.
    Result<std::vector<ValueInfo>> Values(KeyRef key) const;
    // The first value of that name, read past damaged neighbours. Absent only
    // when every value could be read.
    Result<std::optional<ValueInfo>> FindValue(KeyRef key, const std::u16string& name) const;
    // The value's bytes: inline (at most 4), one cell, or big-data segments.
    // Read from the value's own cell again; info.dataSize is not trusted.
    Result<std::vector<unsigned char>> ValueData(const ValueInfo& info) const;

private:
    struct Span {
        const unsigned char* data = nullptr;
        std::size_t size = 0;
    };
    struct NameView {
        const unsigned char* bytes = nullptr;
        std::size_t byteLength = 0;
        bool latin1 = false;

        std::size_t Units() const { return latin1 ? byteLength : byteLength / 2; }
        char16_t Unit(std::size_t i) const;
        std::u16string Decode() const;
    };
    struct KeyNode {
        std::uint16_t flags = 0;
        std::uint32_t subkeyCount = 0;
        std::uint32_t subkeyList = 0;
        std::uint32_t valueCount = 0;
        std::uint32_t valueList = 0;
        std::uint32_t security = 0;
        std::uint32_t classCell = 0;
        std::uint16_t classLength = 0;
        NameView name;
    };
    struct ValueNode {
        NameView name;
        std::uint32_t dataSize = 0;  // as stored, inline flag included
        const unsigned char* dataOffsetField = nullptr;
        std::uint32_t type = 0;
    };
    struct SubkeyIndex;
    struct IndexCache;
    struct CellUses;
    // The writer's access to what follows (stores/hive/regf_edit.h).
    friend struct RegfEdit;

    RegfImage(std::vector<unsigned char> image, HiveHeader header);

    bool MapBins(std::string* why);
    void WalkCells(std::uint32_t from, std::uint32_t end);
    void NoteDamage(const std::string& what);
    bool IsCellStart(std::uint32_t cell) const;
    void MarkCellStart(std::uint32_t cell);
    void ForgetCellStart(std::uint32_t cell);
    // After a change: the subkey gone from its parent's cached index.
    void ForgetSubkey(KeyRef parent, KeyRef child);

    Failure Cell(std::uint32_t cell, const char* what, Span* out) const;
    Failure ReadKey(KeyRef key, KeyNode* out) const;
    Failure ReadValue(std::uint32_t cell, ValueNode* out) const;
    Failure CollectSubkeys(KeyRef parent, const KeyNode& node, std::vector<KeyRef>* out) const;
    Failure AppendLeaf(std::uint32_t leaf, const Span& list, std::uint32_t expected,
                       std::vector<KeyRef>* out) const;
    Failure ValueList(const KeyNode& node, KeyRef key, std::vector<std::uint32_t>* out) const;
    Result<std::shared_ptr<const SubkeyIndex>> IndexFor(KeyRef parent) const;
    // Big data ("db") holding `length` bytes: its segment list and the
    // segments the length needs, each checked (a cell large enough, none
    // listed twice) before anything is copied (regf_big_data.cpp).
    struct BigData {
        std::uint32_t list = 0;
        std::vector<std::uint32_t> segments;
        std::vector<Span> spans;
    };
    Failure ReadBigData(std::uint32_t cell, std::uint32_t length, BigData* out) const;
    // The leaf lists an index root ("ri") names, none twice (regf_subkeys.cpp).
    Failure ReadIndexRoot(std::uint32_t cell, const Span& list, std::vector<std::uint32_t>* leaves) const;

    // As the registry compares names: unit by unit, upper-cased.
    static bool NamesEqual(const NameView& a, const std::u16string& b);

    std::vector<unsigned char> image_;
    HiveHeader header_;
    // One bit per 8-byte slot of the hive bins: set where an allocated cell
    // starts, found by walking each bin's cells once.
    std::vector<std::uint64_t> cellStarts_;
    // Where each valid bin starts, ascending.
    std::vector<std::uint32_t> binStarts_;
    std::unique_ptr<IndexCache> cache_;
    // Built by the writer on its first change, kept up to date by it.
    std::unique_ptr<CellUses> uses_;
};

}  // namespace vornex::hive
