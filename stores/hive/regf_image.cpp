#include "stores/hive/regf_image.h"

#include <utility>

#include "stores/hive/regf_edit.h"
#include "stores/hive/regf_index.h"
#include "stores/hive/regf_layout.h"

namespace vornex::hive {

using namespace layout;

namespace {

constexpr std::uint32_t kSupportedMinorFirst = 2;
constexpr std::uint32_t kSupportedMinorLast = 6;
constexpr std::uint32_t kDirectMemoryLoad = 1;

bool Refuse(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return false;
}

}  // namespace

RegfImage::RegfImage(std::vector<unsigned char> image, HiveHeader header)
    : image_(std::move(image)), header_(std::move(header)), cache_(std::make_unique<IndexCache>()) {
    // Names widen at most twofold, and every indexed subkey has a key node
    // and a list entry larger than its index entry.
    cache_->capacity = 2 * image_.size() + 65536;
}

RegfImage::RegfImage(RegfImage&&) noexcept = default;
RegfImage& RegfImage::operator=(RegfImage&&) noexcept = default;
RegfImage::~RegfImage() = default;

std::optional<RegfImage> RegfImage::Parse(std::vector<unsigned char> image, std::string* why) {
    if (image.size() < kBaseBlockSize) {
        Refuse(why, "not a hive: " + std::to_string(image.size()) + " bytes, shorter than a base block");
        return std::nullopt;
    }
    const unsigned char* base = image.data();
    if (!Signature(base, "re") || !Signature(base + 2, "gf")) {
        Refuse(why, "not a hive: no regf signature");
        return std::nullopt;
    }
    const bool checksumValid = BaseBlockChecksum(base) == U32(base + kChecksumOffset);
    // A damaged base block usually shows in its checksum too: say so, since
    // Windows would then recover the base block from a log.
    auto refuse = [why, checksumValid](const std::string& reason) {
        Refuse(why, checksumValid ? reason : reason + " (and the base block checksum is wrong)");
        return std::nullopt;
    };
    const std::uint32_t major = U32(base + kMajorOffset);
    const std::uint32_t minor = U32(base + kMinorOffset);
    if (major != 1 || minor < kSupportedMinorFirst || minor > kSupportedMinorLast) {
        return refuse("unsupported hive version " + std::to_string(major) + "." + std::to_string(minor));
    }
    if (U32(base + kFileTypeOffset) != kFilePrimary) {
        return refuse("not a primary hive (file type " + std::to_string(U32(base + kFileTypeOffset)) +
                      "): a transaction log?");
    }
    if (U32(base + kFormatOffset) != kDirectMemoryLoad) {
        return refuse("unknown hive file format " + std::to_string(U32(base + kFormatOffset)));
    }
    HiveHeader header;
    header.primarySequence = U32(base + kPrimarySeqOffset);
    header.secondarySequence = U32(base + kSecondarySeqOffset);
    header.minorVersion = minor;
    header.rootCell = U32(base + kRootCellOffset);
    header.binsSize = U32(base + kHiveBinsSizeOffset);
    header.checksumValid = checksumValid;
    const std::uint64_t available = image.size() - kBaseBlockSize;
    if (header.binsSize == 0 || header.binsSize % kBinAlignment != 0) {
        return refuse("hive bins size " + Hex(header.binsSize) + " is not a positive multiple of 4096");
    }
    if (header.binsSize > available) {
        return refuse("hive bins size " + Hex(header.binsSize) + " runs past the image (" +
                      Hex(static_cast<std::uint32_t>(available)) + " bytes of bins): truncated");
    }
    // Bytes past the bins are no part of the hive; every read stays inside
    // the bins size.
    RegfImage hive(std::move(image), std::move(header));
    if (!hive.MapBins(why)) return std::nullopt;
    KeyNode root;
    if (const Failure failure = hive.ReadKey(hive.Root(), &root)) {
        Refuse(why, "root cell unreadable: " + failure.where);
        return std::nullopt;
    }
    return std::optional<RegfImage>(std::move(hive));
}

void RegfImage::NoteDamage(const std::string& what) {
    if (header_.firstDamage.empty()) header_.firstDamage = what;
}

bool RegfImage::IsCellStart(std::uint32_t cell) const {
    if (cell >= header_.binsSize || cell % kCellAlignment != 0) return false;
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
    const std::uint32_t slots = header_.binsSize / kCellAlignment;
    cellStarts_.assign(slots / 64 + 1, 0);
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    std::uint32_t at = 0;
    std::uint32_t goodBins = 0;
    while (at < header_.binsSize) {
        const unsigned char* bin = bins + at;
        const std::uint32_t size = U32(bin + kBinSize);
        const bool valid = Signature(bin, "hb") && Signature(bin + 2, "in") && U32(bin + kBinOffset) == at &&
                           size >= kBinAlignment && size % kBinAlignment == 0 &&
                           size <= header_.binsSize - at;
        if (!valid) {
            ++header_.damagedPages;
            NoteDamage("no valid bin header at " + Hex(at));
            at += kBinAlignment;
            continue;
        }
        ++goodBins;
        binStarts_.push_back(at);
        WalkCells(at + kBinHeaderSize, at + size);
        at += size;
    }
    if (goodBins == 0) return Refuse(why, "no valid hive bin");
    return true;
}

void RegfImage::WalkCells(std::uint32_t from, std::uint32_t end) {
    const unsigned char* bins = image_.data() + kBaseBlockSize;
    std::uint32_t at = from;
    while (at < end) {
        if (end - at < 4) break;
        const std::int64_t raw = static_cast<std::int32_t>(U32(bins + at));
        const std::uint64_t size = raw < 0 ? static_cast<std::uint64_t>(-raw) : static_cast<std::uint64_t>(raw);
        if (size < kCellAlignment || size % kCellAlignment != 0 || size > end - at) {
            ++header_.brokenCellChains;
            NoteDamage("cell at " + Hex(at) + " has size " + std::to_string(raw) + ", which breaks its bin");
            return;
        }
        if (raw < 0) MarkCellStart(at);
        at += static_cast<std::uint32_t>(size);
    }
}

Failure RegfImage::Cell(std::uint32_t cell, const char* what, Span* out) const {
    if (!IsCellStart(cell)) {
        return {ReadError::kBadCell, std::string(what) + " " + Hex(cell) + " is not an allocated cell"};
    }
    const unsigned char* start = image_.data() + kBaseBlockSize + cell;
    const std::uint32_t size = static_cast<std::uint32_t>(-static_cast<std::int64_t>(
        static_cast<std::int32_t>(U32(start))));
    out->data = start + 4;
    out->size = size - 4;
    return {};
}

char16_t RegfImage::NameView::Unit(std::size_t i) const {
    if (latin1) return bytes[i];
    return static_cast<char16_t>(U16(bytes + 2 * i));
}

std::u16string RegfImage::NameView::Decode() const {
    std::u16string name(Units(), u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) name[i] = Unit(i);
    return name;
}

Failure RegfImage::ReadKey(KeyRef key, KeyNode* out) const {
    Span cell;
    if (Failure failure = Cell(key.cell, "key", &cell)) return failure;
    if (cell.size < kKeyName || !Signature(cell.data, "nk")) {
        return {ReadError::kBadSignature, "key " + Hex(key.cell) + " is not a key node"};
    }
    out->flags = U16(cell.data + kKeyFlags);
    out->subkeyCount = U32(cell.data + kKeySubkeyCount);
    out->subkeyList = U32(cell.data + kKeySubkeyList);
    out->valueCount = U32(cell.data + kKeyValueCount);
    out->valueList = U32(cell.data + kKeyValueList);
    out->security = U32(cell.data + kKeySecurity);
    out->classCell = U32(cell.data + kKeyClass);
    out->classLength = U16(cell.data + kKeyClassLength);
    const std::size_t nameLength = U16(cell.data + kKeyNameLength);
    out->name.bytes = cell.data + kKeyName;
    out->name.byteLength = nameLength;
    out->name.latin1 = (out->flags & kKeyCompressedName) != 0;
    if (nameLength > cell.size - kKeyName) {
        return {ReadError::kBadName, "key " + Hex(key.cell) + ": name of " + std::to_string(nameLength) +
                                         " bytes runs past its cell"};
    }
    if (!out->name.latin1 && nameLength % 2 != 0) {
        return {ReadError::kBadName, "key " + Hex(key.cell) + ": UTF-16 name of odd length " +
                                         std::to_string(nameLength)};
    }
    return {};
}

Failure RegfImage::ReadValue(std::uint32_t cellOffset, ValueNode* out) const {
    Span cell;
    if (Failure failure = Cell(cellOffset, "value", &cell)) return failure;
    if (cell.size < kValueName || !Signature(cell.data, "vk")) {
        return {ReadError::kBadSignature, "value " + Hex(cellOffset) + " is not a value node"};
    }
    const std::size_t nameLength = U16(cell.data + kValueNameLength);
    out->name.bytes = cell.data + kValueName;
    out->name.byteLength = nameLength;
    out->name.latin1 = (U16(cell.data + kValueFlags) & kValueCompressedName) != 0;
    out->dataSize = U32(cell.data + kValueDataSize);
    out->dataOffsetField = cell.data + kValueDataOffset;
    out->type = U32(cell.data + kValueType);
    if (nameLength > cell.size - kValueName) {
        return {ReadError::kBadName, "value " + Hex(cellOffset) + ": name of " + std::to_string(nameLength) +
                                         " bytes runs past its cell"};
    }
    if (!out->name.latin1 && nameLength % 2 != 0) {
        return {ReadError::kBadName, "value " + Hex(cellOffset) + ": UTF-16 name of odd length " +
                                         std::to_string(nameLength)};
    }
    return {};
}

Result<std::u16string> RegfImage::KeyName(KeyRef key) const {
    KeyNode node;
    if (Failure failure = ReadKey(key, &node)) return Result<std::u16string>::From(std::move(failure));
    return Result<std::u16string>::Of(node.name.Decode());
}

Result<std::uint16_t> RegfImage::KeyFlags(KeyRef key) const {
    KeyNode node;
    if (Failure failure = ReadKey(key, &node)) return Result<std::uint16_t>::From(std::move(failure));
    return Result<std::uint16_t>::Of(node.flags);
}

}  // namespace vornex::hive
