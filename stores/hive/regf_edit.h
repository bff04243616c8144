#pragma once
// Internal to the regf writer: the reader's private parts it needs, the
// reference count of every cell, and a change planned in full before any
// byte of it is written.
#include <cstdint>
#include <string>
#include <vector>

#include "stores/hive/regf_image.h"
#include "stores/hive/regf_layout.h"

namespace vornex::hive {

// How many references reach each cell from the root: subkey lists, value
// lists, values, data, big-data segments, class names, keys' security
// descriptors. One byte per 8-byte slot of the bins, saturating at 255.
// A cell is freed only when the change removes its last reference.
struct RegfImage::CellUses {
    static constexpr std::uint8_t kMany = 255;
    std::vector<std::uint8_t> refs;

    std::uint8_t Of(std::uint32_t cell) const {
        return cell % layout::kCellAlignment == 0 && cell / layout::kCellAlignment < refs.size()
                   ? refs[cell / layout::kCellAlignment]
                   : 0;
    }
    // True on the first reference.
    bool Add(std::uint32_t cell) {
        if (cell % layout::kCellAlignment != 0 || cell / layout::kCellAlignment >= refs.size()) return false;
        std::uint8_t& count = refs[cell / layout::kCellAlignment];
        if (count != kMany) ++count;
        return count == 1;
    }
    void Drop(std::uint32_t cell) {
        if (cell % layout::kCellAlignment != 0 || cell / layout::kCellAlignment >= refs.size()) return;
        std::uint8_t& count = refs[cell / layout::kCellAlignment];
        if (count != kMany && count != 0) --count;
    }
    void Clear(std::uint32_t cell) { refs[cell / layout::kCellAlignment] = 0; }
};

// A change: writes into cells that stay, then cells freed. Checked whole
// (every target an allocated cell that is not freed, every range inside its
// cell, no cell freed twice) before the first byte is written.
struct ChangePlan {
    struct Put {
        std::uint32_t cell;    // the cell written into
        std::uint32_t offset;  // from the cell's payload
        std::uint32_t width;   // 2, 4 or 8 bytes
        std::uint64_t value;
    };
    // Removes `removed` bytes at `offset` by moving the `tail` bytes after
    // them down; the bytes vacated at the end are zeroed.
    struct Cut {
        std::uint32_t cell;
        std::uint32_t offset;
        std::uint32_t removed;
        std::uint32_t tail;
    };
    // A new cell taken from free room in the bins (planned: `cell` is free
    // and at least `size` bytes), written with these 4-byte entries.
    struct Allocation {
        std::uint32_t cell;
        std::uint32_t size;  // the cell's size, header included
        std::vector<std::uint32_t> entries;
    };
    std::vector<Put> puts;
    std::vector<Cut> cuts;
    std::vector<std::uint32_t> frees;
    // Cells that lose one reference and stay: another key still uses them.
    std::vector<std::uint32_t> drops;
    std::vector<Allocation> allocations;
    std::uint32_t releasedSecurity = layout::kNoCell;  // an sk that loses one user and stays
    KeyRef parent{layout::kNoCell};                    // a subkey gone from this parent's list...
    KeyRef removedKey{layout::kNoCell};                // ...this one
};

struct RegfEdit {
    using Span = RegfImage::Span;
    using KeyNode = RegfImage::KeyNode;
    using ValueNode = RegfImage::ValueNode;
    using CellUses = RegfImage::CellUses;

    static Failure Cell(const RegfImage& image, std::uint32_t cell, const char* what, Span* out) {
        return image.Cell(cell, what, out);
    }
    static Failure ReadKey(const RegfImage& image, KeyRef key, KeyNode* out) { return image.ReadKey(key, out); }
    static Failure ReadValue(const RegfImage& image, std::uint32_t cell, ValueNode* out) {
        return image.ReadValue(cell, out);
    }
    static Failure Subkeys(const RegfImage& image, KeyRef parent, const KeyNode& node, std::vector<KeyRef>* out) {
        return image.CollectSubkeys(parent, node, out);
    }
    static Failure ValueList(const RegfImage& image, KeyRef key, const KeyNode& node, std::vector<std::uint32_t>* out) {
        return image.ValueList(node, key, out);
    }
    using BigData = RegfImage::BigData;
    static Failure ReadBigData(const RegfImage& image, std::uint32_t cell, std::uint32_t length, BigData* out) {
        return image.ReadBigData(cell, length, out);
    }
    static Failure ReadIndexRoot(const RegfImage& image, std::uint32_t cell, const Span& list,
                                 std::vector<std::uint32_t>* leaves) {
        return image.ReadIndexRoot(cell, list, leaves);
    }
    static bool IsCellStart(const RegfImage& image, std::uint32_t cell) { return image.IsCellStart(cell); }

    // The reference counts, walked from the root on first use.
    static CellUses& Uses(RegfImage& image);

    // Writes a checked plan; cannot fail.
    static void Apply(RegfImage& image, const ChangePlan& plan);
    static Failure Check(const RegfImage& image, const ChangePlan& plan);

    static void Seal(RegfImage& image, std::uint32_t sequence, std::uint64_t filetime);

    // Marks an allocated cell free, merged with the free cells before and
    // after it in its bin (regf_cells.cpp).
    static void Free(RegfImage& image, std::uint32_t cell);
    // The first free cell of at least `size` bytes (header included, a
    // multiple of 8), or kNoCell when the bins have no such room.
    static std::uint32_t FindFreeCell(const RegfImage& image, std::uint32_t size);
    // Takes `size` bytes at the start of the free cell planned for it; what
    // is left stays free.
    static void Allocate(RegfImage& image, const ChangePlan::Allocation& allocation);
};

// The cells that hold a value's data: none (inline, empty or absent), one
// cell, or a db cell, its segment list and its segments.
Failure ValueDataCells(const RegfImage& image, std::uint32_t valueCell, std::vector<std::uint32_t>* out);
// The cells of a key's subkey list: the list, and the leaves of an ri.
Failure SubkeyListCells(const RegfImage& image, const RegfEdit::KeyNode& node, std::vector<std::uint32_t>* out);

// Frees a value's cells where the change removes their last reference, and
// drops one reference from those another key still uses.
Failure PlanValueRelease(const RegfImage& image, const RegfEdit::CellUses& uses, std::uint32_t value,
                         ChangePlan* plan);

// Succeeds when exactly one reference reaches the cell: the one a change
// removes. Anything else uses it too, or the walk never reached it.
Failure SoleUse(const RegfEdit::CellUses& uses, std::uint32_t cell, const char* what);

// Plans child's removal from parent's subkey list, in the list's own form;
// a list that empties is freed whole (regf_key_lists.cpp).
Failure PlanSubkeyRemoval(const RegfImage& image, const RegfEdit::CellUses& uses, const RegfEdit::KeyNode& parent,
                          KeyRef parentKey, KeyRef child, ChangePlan* plan);

}  // namespace vornex::hive
