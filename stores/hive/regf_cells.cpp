// Writing a checked change into the image: puts, cuts, and freed cells
// merged with their free neighbours, as Windows keeps its bins.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "stores/hive/regf_edit.h"
#include "stores/hive/regf_index.h"

namespace vornex::hive {

using namespace layout;

namespace {

std::uint32_t CellSize(const unsigned char* bins, std::uint32_t cell) {
    const std::int64_t raw = static_cast<std::int32_t>(U32(bins + cell));
    return static_cast<std::uint32_t>(raw < 0 ? -raw : raw);
}

bool IsFree(const unsigned char* bins, std::uint32_t cell) {
    return static_cast<std::int32_t>(U32(bins + cell)) > 0;
}

// The payload bytes [offset, offset + width) lie inside the allocated cell.
Failure InCell(const RegfImage& image, std::uint32_t cell, std::uint64_t offset, std::uint64_t width) {
    RegfEdit::Span span;
    if (Failure failure = RegfEdit::Cell(image, cell, "changed cell", &span)) return failure;
    if (offset + width > span.size) {
        return {ReadError::kTooLarge, "a change runs past the end of cell " + Hex(cell)};
    }
    return {};
}

}  // namespace

Failure RegfEdit::Check(const RegfImage& image, const ChangePlan& plan) {
    if (const std::uint32_t repeat = FirstDuplicate(plan.frees); repeat != kNoCell) {
        return {ReadError::kDuplicate, "cell " + Hex(repeat) + " would be freed twice"};
    }
    std::vector<std::uint32_t> released = plan.frees;
    released.insert(released.end(), plan.drops.begin(), plan.drops.end());
    // One key reaching a cell twice (its class name its own value list, a
    // segment listed twice) is damage, not sharing.
    if (const std::uint32_t repeat = FirstDuplicate(released); repeat != kNoCell) {
        return {ReadError::kShared, "cell " + Hex(repeat) + " is reached twice by what the change removes"};
    }
    std::vector<std::uint32_t> frees = plan.frees;
    std::sort(frees.begin(), frees.end());
    for (const std::uint32_t cell : frees) {
        if (!image.IsCellStart(cell)) return {ReadError::kBadCell, "cell to free " + Hex(cell) + " is not allocated"};
    }
    auto freed = [&frees](std::uint32_t cell) { return std::binary_search(frees.begin(), frees.end(), cell); };
    for (const ChangePlan::Put& put : plan.puts) {
        if (freed(put.cell)) return {ReadError::kShared, "cell " + Hex(put.cell) + " is both changed and freed"};
        if (Failure failure = InCell(image, put.cell, put.offset, put.width)) return failure;
    }
    for (const ChangePlan::Allocation& allocation : plan.allocations) {
        const unsigned char* bins = image.image_.data() + kBaseBlockSize;
        if (allocation.cell == kNoCell || image.IsCellStart(allocation.cell) || !IsFree(bins, allocation.cell) ||
            CellSize(bins, allocation.cell) < allocation.size || allocation.size < 4 + 4 * allocation.entries.size()) {
            return {ReadError::kBadCell, "no free room for a new cell"};
        }
    }
    for (const ChangePlan::Cut& cut : plan.cuts) {
        if (freed(cut.cell)) return {ReadError::kShared, "cell " + Hex(cut.cell) + " is both changed and freed"};
        if (Failure failure = InCell(image, cut.cell, cut.offset, std::uint64_t{cut.removed} + cut.tail)) {
            return failure;
        }
    }
    return {};
}

void RegfEdit::Apply(RegfImage& image, const ChangePlan& plan) {
    unsigned char* bins = image.image_.data() + kBaseBlockSize;
    CellUses& uses = Uses(image);
    for (const ChangePlan::Allocation& allocation : plan.allocations) {
        Allocate(image, allocation);
        uses.Add(allocation.cell);
        for (const std::uint32_t entry : allocation.entries) uses.Add(entry);
    }
    for (const ChangePlan::Cut& cut : plan.cuts) {
        unsigned char* at = bins + cut.cell + 4 + cut.offset;
        std::memmove(at, at + cut.removed, cut.tail);
        std::memset(at + cut.tail, 0, cut.removed);
    }
    for (const ChangePlan::Put& put : plan.puts) {
        unsigned char* at = bins + put.cell + 4 + put.offset;
        if (put.width == 2) PutU16(at, static_cast<std::uint16_t>(put.value));
        if (put.width == 4) WriteU32(at, static_cast<std::uint32_t>(put.value));
        if (put.width == 8) WriteU64(at, put.value);
    }
    for (const std::uint32_t cell : plan.drops) uses.Drop(cell);
    for (const std::uint32_t cell : plan.frees) {
        Free(image, cell);
        uses.Clear(cell);
        const auto cached = image.cache_->byParent.find(cell);
        if (cached != image.cache_->byParent.end()) {
            image.cache_->bytes -= cached->second->Bytes();
            image.cache_->byParent.erase(cached);
        }
    }
    if (plan.releasedSecurity != kNoCell) uses.Drop(plan.releasedSecurity);
    if (plan.parent.cell != kNoCell) image.ForgetSubkey(plan.parent, plan.removedKey);
}

void RegfEdit::Free(RegfImage& image, std::uint32_t cell) {
    unsigned char* bins = image.image_.data() + kBaseBlockSize;
    const auto bin = std::upper_bound(image.binStarts_.begin(), image.binStarts_.end(), cell) - 1;
    const std::uint32_t binStart = *bin;
    const std::uint32_t binEnd = binStart + U32(bins + binStart + kBinSize);
    const std::uint32_t first = binStart + kBinHeaderSize;
    // The cell before: walk from the nearest allocated cell before this one
    // (only free cells lie between), found in the cell-start bitmap.
    std::uint32_t from = first;
    for (std::uint32_t at = cell; at > first;) {
        at -= kCellAlignment;
        const std::uint32_t slot = at / kCellAlignment;
        if (slot % 64 == 63 && image.cellStarts_[slot / 64] == 0 && at - first >= 64 * kCellAlignment) {
            at -= 63 * kCellAlignment;  // a whole word without an allocated cell
            continue;
        }
        if (image.IsCellStart(at)) {
            from = at;
            break;
        }
    }
    std::uint32_t previous = kNoCell;
    for (std::uint32_t at = from; at < cell;) {
        const std::uint32_t size = CellSize(bins, at);
        if (size < kCellAlignment || size > cell - at) {
            previous = kNoCell;  // a chain this image never had; no merge backwards
            break;
        }
        previous = at;
        at += size;
    }
    std::uint32_t size = CellSize(bins, cell);
    const std::uint32_t next = cell + size;
    if (next < binEnd && binEnd - next >= 4 && IsFree(bins, next)) {
        const std::uint32_t nextSize = CellSize(bins, next);
        if (nextSize % kCellAlignment == 0 && nextSize <= binEnd - next) size += nextSize;
    }
    image.ForgetCellStart(cell);
    if (previous != kNoCell && IsFree(bins, previous)) {
        WriteU32(bins + previous, CellSize(bins, previous) + size);
    } else {
        WriteU32(bins + cell, size);
    }
}

std::uint32_t RegfEdit::FindFreeCell(const RegfImage& image, std::uint32_t size) {
    const unsigned char* bins = image.image_.data() + kBaseBlockSize;
    for (std::size_t b = 0; b < image.binStarts_.size(); ++b) {
        const std::uint32_t binStart = image.binStarts_[b];
        const std::uint32_t binEnd = binStart + U32(bins + binStart + kBinSize);
        for (std::uint32_t at = binStart + kBinHeaderSize; at + 4 <= binEnd;) {
            const std::uint32_t cellSize = CellSize(bins, at);
            if (cellSize < kCellAlignment || cellSize > binEnd - at) break;  // read as damage elsewhere
            if (IsFree(bins, at) && !image.IsCellStart(at) && cellSize >= size) return at;
            at += cellSize;
        }
    }
    return kNoCell;
}

void RegfEdit::Allocate(RegfImage& image, const ChangePlan::Allocation& allocation) {
    unsigned char* bins = image.image_.data() + kBaseBlockSize;
    const std::uint32_t free = CellSize(bins, allocation.cell);
    // A rest too small for a cell of its own stays with the new one.
    const std::uint32_t size = free - allocation.size >= 2 * kCellAlignment ? allocation.size : free;
    std::memset(bins + allocation.cell + 4, 0, size - 4);
    WriteU32(bins + allocation.cell, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    for (std::size_t i = 0; i < allocation.entries.size(); ++i) {
        WriteU32(bins + allocation.cell + 4 + 4 * i, allocation.entries[i]);
    }
    if (size < free) WriteU32(bins + allocation.cell + size, free - size);
    image.MarkCellStart(allocation.cell);
}

void RegfEdit::Seal(RegfImage& image, std::uint32_t sequence, std::uint64_t filetime) {
    unsigned char* block = image.image_.data();
    WriteU64(block + kTimestampOffset, filetime);
    SealBaseBlock(block, sequence, image.header_.binsSize, (ReadU32(block + kFlagsOffset) & 1u) != 0);
    image.header_.primarySequence = sequence;
    image.header_.secondarySequence = sequence;
    image.header_.checksumValid = true;
}

}  // namespace vornex::hive
