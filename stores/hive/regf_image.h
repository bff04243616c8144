#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "stores/hive/base_block.h"
#include "stores/hive/regf_bin.h"
#include "stores/hive/regf_cell.h"
#include "stores/hive/regf_result.h"

namespace vornex::hive {

struct ChangePlan;

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

    const BaseBlock& Base() const { return base_; }
    // The bytes read: base block and hive bins.
    const std::vector<unsigned char>& Bytes() const { return image_; }
    KeyRef Root() const { return KeyRef{base_.rootCell}; }

    // The payload of the allocated cell at `cell`; `what` names it in the
    // failure. Every structure's check starts here.
    Failure Cell(std::uint32_t cell, const char* what, CellSpan* out) const;
    // The same, for a structure that starts with its two-letter `signature`
    // and holds at least `size` bytes: kBadSignature otherwise.
    Failure SignedCell(std::uint32_t cell, const char* what, const char* signature, std::size_t size,
                       CellSpan* out) const;
    bool IsCellStart(std::uint32_t cell) const;

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

    // Changes (regf_cells.cpp): a plan is checked whole (every write inside
    // an allocated cell that stays, no cell freed twice, new cells in free
    // room) before Apply writes it; Apply cannot fail.
    Failure Check(const ChangePlan& plan) const;
    void Apply(const ChangePlan& plan);
    // The first free cell of at least `size` bytes (header included, a
    // multiple of 8), or kNoCell when the bins have no such room.
    std::uint32_t FindFreeCell(std::uint32_t size) const;
    // A clean primary: both sequence numbers, the time stamp, the checksum.
    void Seal(std::uint32_t sequence, std::uint64_t filetime);

private:
    struct SubkeyIndex;
    struct IndexCache;
    RegfImage(std::vector<unsigned char> image, BaseBlock base);

    bool MapBins(std::string* why);
    void WalkCells(std::uint32_t from, std::uint32_t end);
    void MarkCellStart(std::uint32_t cell);
    void ForgetCellStart(std::uint32_t cell);
    // After a change: the subkey gone from its parent's cached index.
    void ForgetSubkey(KeyRef parent, KeyRef child);

    Result<std::shared_ptr<const SubkeyIndex>> IndexFor(KeyRef parent) const;
    // Marks an allocated cell free, merged with the free cells before and
    // after it in its bin.
    void Free(std::uint32_t cell);
    // Takes `size` bytes at the start of the free cell at `cell`; what is
    // left stays free.
    void Allocate(std::uint32_t cell, std::uint32_t size, const std::vector<std::uint32_t>& entries);

    std::vector<unsigned char> image_;
    BaseBlock base_;
    // One bit per 8-byte slot of the hive bins: set where an allocated cell
    // starts, found by walking each bin's cells once.
    std::vector<std::uint64_t> cellStarts_;
    // The valid bins, ascending.
    std::vector<Bin> bins_;
    std::unique_ptr<IndexCache> cache_;
};

}  // namespace vornex::hive
