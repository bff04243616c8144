// Writing a checked change into the image: puts, cuts, new cells, and freed
// cells merged with their free neighbours, as Windows keeps its bins.
#include <algorithm>
#include <cstring>

#include "stores/hive/regf_change_plan.h"
#include "stores/hive/regf_index.h"

namespace vornex::hive {

namespace {

// The payload bytes [offset, offset + width) lie inside the allocated cell.
Failure InCell(const RegfImage& image, std::uint32_t cell, std::uint64_t offset, std::uint64_t width) {
    CellSpan span;
    if (Failure failure = image.Cell(cell, "changed cell", &span)) return failure;
    if (offset + width > span.size) return {ReadError::kTooLarge, "a change runs past the end of cell " + Hex(cell)};
    return {};
}

}  // namespace

Failure RegfImage::Check(const ChangePlan& plan) const {
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
        if (!IsCellStart(cell)) return {ReadError::kBadCell, "cell to free " + Hex(cell) + " is not allocated"};
    }
    auto freed = [&frees](std::uint32_t cell) { return std::binary_search(frees.begin(), frees.end(), cell); };
    for (const ChangePlan::Put& put : plan.puts) {
        if (freed(put.cell)) return {ReadError::kShared, "cell " + Hex(put.cell) + " is both changed and freed"};
        if (Failure failure = InCell(*this, put.cell, put.offset, put.width)) return failure;
    }
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    for (const ChangePlan::Allocation& allocation : plan.allocations) {
        if (allocation.cell == kNoCell || IsCellStart(allocation.cell) || !IsFreeCell(bins, allocation.cell) ||
            CellSize(bins, allocation.cell) < allocation.size || allocation.size < 4 + 4 * allocation.entries.size()) {
            return {ReadError::kBadCell, "no free room for a new cell"};
        }
    }
    for (const ChangePlan::Cut& cut : plan.cuts) {
        if (freed(cut.cell)) return {ReadError::kShared, "cell " + Hex(cut.cell) + " is both changed and freed"};
        if (Failure failure = InCell(*this, cut.cell, cut.offset, std::uint64_t{cut.removed} + cut.tail)) {
            return failure;
        }
    }
    return {};
}

void RegfImage::Apply(const ChangePlan& plan) {
    unsigned char* bins = image_.data() + kBaseBlockSize;
    for (const ChangePlan::Allocation& allocation : plan.allocations) {
        Allocate(allocation.cell, allocation.size, allocation.entries);
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
    for (const std::uint32_t cell : plan.frees) {
        Free(cell);
        const auto cached = cache_->byParent.find(cell);
        if (cached != cache_->byParent.end()) {
            cache_->bytes -= cached->second->Bytes();
            cache_->byParent.erase(cached);
        }
    }
    if (plan.parent.cell != kNoCell) ForgetSubkey(plan.parent, plan.removedKey);
}

void RegfImage::Free(std::uint32_t cell) {
    unsigned char* bins = image_.data() + kBaseBlockSize;
    const Bin& bin = *(std::upper_bound(bins_.begin(), bins_.end(), cell,
                                        [](std::uint32_t at, const Bin& b) { return at < b.start; }) -
                       1);
    const std::uint32_t first = bin.FirstCell();
    // The cell before: walk from the nearest allocated cell before this one
    // (only free cells lie between), found in the cell-start bitmap.
    std::uint32_t from = first;
    for (std::uint32_t at = cell; at > first;) {
        at -= kCellAlignment;
        const std::uint32_t slot = at / kCellAlignment;
        if (slot % 64 == 63 && cellStarts_[slot / 64] == 0 && at - first >= 64 * kCellAlignment) {
            at -= 63 * kCellAlignment;  // a whole word without an allocated cell
            continue;
        }
        if (IsCellStart(at)) {
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
    if (next < bin.end && bin.end - next >= 4 && IsFreeCell(bins, next)) {
        const std::uint32_t nextSize = CellSize(bins, next);
        if (nextSize % kCellAlignment == 0 && nextSize <= bin.end - next) size += nextSize;
    }
    ForgetCellStart(cell);
    if (previous != kNoCell && IsFreeCell(bins, previous)) {
        SetCellHeader(bins, previous, CellSize(bins, previous) + size, false);
    } else {
        SetCellHeader(bins, cell, size, false);
    }
}

std::uint32_t RegfImage::FindFreeCell(std::uint32_t size) const {
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    for (const Bin& bin : bins_) {
        for (std::uint32_t at = bin.FirstCell(); at + 4 <= bin.end;) {
            const std::uint32_t cellSize = CellSize(bins, at);
            if (cellSize < kCellAlignment || cellSize > bin.end - at) break;  // read as damage elsewhere
            if (IsFreeCell(bins, at) && !IsCellStart(at) && cellSize >= size) return at;
            at += cellSize;
        }
    }
    return kNoCell;
}

void RegfImage::Allocate(std::uint32_t cell, std::uint32_t wanted, const std::vector<std::uint32_t>& entries) {
    unsigned char* bins = image_.data() + kBaseBlockSize;
    const std::uint32_t free = CellSize(bins, cell);
    // A rest too small for a cell of its own stays with the new one.
    const std::uint32_t size = free - wanted >= 2 * kCellAlignment ? wanted : free;
    std::memset(bins + cell + 4, 0, size - 4);
    SetCellHeader(bins, cell, size, true);
    for (std::size_t i = 0; i < entries.size(); ++i) WriteU32(bins + cell + 4 + 4 * i, entries[i]);
    if (size < free) SetCellHeader(bins, cell + size, free - size, false);
    MarkCellStart(cell);
}

void RegfImage::Seal(std::uint32_t sequence, std::uint64_t filetime) {
    unsigned char* block = image_.data();
    SealWrittenBaseBlock(block, sequence, base_.hiveBinsSize, (base_.flags & 1u) != 0, filetime);
    base_ = ParseBaseBlock(block, image_.size());
}

}  // namespace vornex::hive
