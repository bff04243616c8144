#include "stores/hive/regf_image.h"

#include <utility>

#include "stores/hive/regf_index.h"
#include "stores/hive/regf_key_node.h"

namespace vornex::hive {

namespace {

constexpr std::uint32_t kSupportedMinorFirst = 2;
constexpr std::uint32_t kSupportedMinorLast = 6;
constexpr std::uint32_t kDirectMemoryLoad = 1;

std::optional<RegfImage> Refuse(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return std::nullopt;
}

}  // namespace

RegfImage::RegfImage(std::vector<unsigned char> image, BaseBlock base)
    : image_(std::move(image)), base_(base), cache_(std::make_unique<IndexCache>()) {
    // Names widen at most twofold, and every indexed subkey has a key node
    // and a list entry larger than its index entry.
    cache_->capacity = 2 * image_.size() + 65536;
}

RegfImage::RegfImage(RegfImage&&) noexcept = default;
RegfImage& RegfImage::operator=(RegfImage&&) noexcept = default;
RegfImage::~RegfImage() = default;

std::optional<RegfImage> RegfImage::Parse(std::vector<unsigned char> image, std::string* why) {
    if (image.size() < kBaseBlockSize) {
        return Refuse(why, "not a hive: " + std::to_string(image.size()) + " bytes, shorter than a base block");
    }
    const BaseBlock base = ParseBaseBlock(image.data(), image.size());
    if (!base.hasSignature) return Refuse(why, "not a hive: no regf signature");
    // A damaged base block usually shows in its checksum too: say so, since
    // Windows would then recover the base block from a log.
    auto refuse = [why, &base](const std::string& reason) {
        return Refuse(why, base.checksumOk ? reason : reason + " (and the base block checksum is wrong)");
    };
    if (base.major != 1 || base.minor < kSupportedMinorFirst || base.minor > kSupportedMinorLast) {
        return refuse("unsupported hive version " + std::to_string(base.major) + "." + std::to_string(base.minor));
    }
    if (base.fileType != kFilePrimary) {
        return refuse("not a primary hive (file type " + std::to_string(base.fileType) + "): a transaction log?");
    }
    if (base.format != kDirectMemoryLoad) return refuse("unknown hive file format " + std::to_string(base.format));
    const std::uint64_t available = image.size() - kBaseBlockSize;
    if (base.hiveBinsSize == 0 || base.hiveBinsSize % kHiveBinAlignment != 0) {
        return refuse("hive bins size " + Hex(base.hiveBinsSize) + " is not a positive multiple of 4096");
    }
    if (base.hiveBinsSize > available) {
        return refuse("hive bins size " + Hex(base.hiveBinsSize) + " runs past the image (" + Hex(available) +
                      " bytes of bins): truncated");
    }
    // Bytes past the bins are no part of the hive; every read stays inside
    // the bins size.
    RegfImage hive(std::move(image), base);
    if (!hive.MapBins(why)) return std::nullopt;
    KeyNode root;
    if (const Failure failure = ReadKeyNode(hive, hive.Root(), &root)) {
        return Refuse(why, "root cell unreadable: " + failure.where);
    }
    return std::optional<RegfImage>(std::move(hive));
}

bool RegfImage::IsCellStart(std::uint32_t cell) const {
    if (cell >= base_.hiveBinsSize || cell % kCellAlignment != 0) return false;
    const std::uint32_t slot = cell / kCellAlignment;
    return (cellStarts_[slot / 64] >> (slot % 64)) & 1u;
}

void RegfImage::MarkCellStart(std::uint32_t cell) {
    const std::uint32_t slot = cell / kCellAlignment;
    cellStarts_[slot / 64] |= std::uint64_t{1} << (slot % 64);
}

void RegfImage::ForgetCellStart(std::uint32_t cell) {
    const std::uint32_t slot = cell / kCellAlignment;
    cellStarts_[slot / 64] &= ~(std::uint64_t{1} << (slot % 64));
}

// Walks the bins as Windows does when it loads a hive: a page without a valid
// bin header is skipped and the next page tried, so one damaged bin does not
// hide the bins after it.
bool RegfImage::MapBins(std::string* why) {
    cellStarts_.assign(base_.hiveBinsSize / kCellAlignment / 64 + 1, 0);
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    for (std::uint32_t at = 0; at < base_.hiveBinsSize;) {
        const std::optional<Bin> bin = ReadBin(bins, at, base_.hiveBinsSize);
        if (!bin) {
            at += static_cast<std::uint32_t>(kHiveBinAlignment);
            continue;
        }
        bins_.push_back(*bin);
        WalkCells(bin->FirstCell(), bin->end);
        at = bin->end;
    }
    if (bins_.empty() && why) *why = "no valid hive bin";
    return !bins_.empty();
}

// A cell whose size breaks its bin ends the walk of that bin: the cells
// after it cannot be found.
void RegfImage::WalkCells(std::uint32_t from, std::uint32_t end) {
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    for (std::uint32_t at = from; end - at >= 4;) {
        const std::uint32_t size = CellSize(bins, at);
        if (size < kCellAlignment || size % kCellAlignment != 0 || size > end - at) return;
        if (!IsFreeCell(bins, at)) MarkCellStart(at);
        at += size;
    }
}

Failure RegfImage::Cell(std::uint32_t cell, const char* what, CellSpan* out) const {
    if (!IsCellStart(cell)) {
        return {ReadError::kBadCell, std::string(what) + " " + Hex(cell) + " is not an allocated cell"};
    }
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    out->data = bins + cell + 4;
    out->size = CellSize(bins, cell) - 4;
    return {};
}

Failure RegfImage::SignedCell(std::uint32_t cell, const char* what, const char* signature, std::size_t size,
                              CellSpan* out) const {
    if (Failure failure = Cell(cell, what, out)) return failure;
    if (out->size < size || !Signature(out->data, signature)) {
        return {ReadError::kBadSignature, std::string(what) + " " + Hex(cell) + " has no " + signature + " signature"};
    }
    return {};
}

Result<std::u16string> RegfImage::KeyName(KeyRef key) const {
    KeyNode node;
    if (Failure failure = ReadKeyNode(*this, key, &node)) return Result<std::u16string>::From(std::move(failure));
    return Result<std::u16string>::Of(node.name.Decode());
}

Result<std::uint16_t> RegfImage::KeyFlags(KeyRef key) const {
    KeyNode node;
    if (Failure failure = ReadKeyNode(*this, key, &node)) return Result<std::uint16_t>::From(std::move(failure));
    return Result<std::uint16_t>::Of(node.flags);
}

}  // namespace vornex::hive
