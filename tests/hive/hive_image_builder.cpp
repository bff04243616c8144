#include "tests/hive/hive_image_builder.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace vornex::hive::testing {
namespace {

constexpr std::size_t kBinSize = 4096;
constexpr std::size_t kBinHeader = 32;

void Put16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}
void Put32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
std::uint32_t Get32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

std::vector<unsigned char> NameBytes(const std::u16string& name, bool latin1) {
    std::vector<unsigned char> bytes;
    for (const char16_t unit : name) {
        bytes.push_back(static_cast<unsigned char>(unit));
        if (!latin1) bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

}  // namespace

HiveImageBuilder::HiveImageBuilder(std::uint32_t minorVersion) : minorVersion_(minorVersion) {
    StartBin(kBinSize);
}

void HiveImageBuilder::StartBin(std::size_t bytes) {
    // Whatever is left of the current bin becomes one free cell.
    if (!bins_.empty() && next_ < bins_.size()) {
        Put32(bins_.data() + next_, static_cast<std::uint32_t>(bins_.size() - next_));
    }
    binStart_ = bins_.size();
    bins_.resize(binStart_ + bytes, 0);
    unsigned char* bin = bins_.data() + binStart_;
    bin[0] = 'h', bin[1] = 'b', bin[2] = 'i', bin[3] = 'n';
    Put32(bin + 4, static_cast<std::uint32_t>(binStart_));
    Put32(bin + 8, static_cast<std::uint32_t>(bytes));
    next_ = binStart_ + kBinHeader;
    Put32(bins_.data() + next_, static_cast<std::uint32_t>(bins_.size() - next_));
}

std::uint32_t HiveImageBuilder::AddCell(const std::vector<unsigned char>& payload) {
    const std::size_t size = (payload.size() + 4 + 7) / 8 * 8;
    if (next_ + size > bins_.size()) {
        const std::size_t binBytes = (size + kBinHeader + kBinSize - 1) / kBinSize * kBinSize;
        StartBin(binBytes);
    }
    const std::size_t at = next_;
    Put32(bins_.data() + at, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    std::copy(payload.begin(), payload.end(), bins_.begin() + static_cast<std::ptrdiff_t>(at + 4));
    next_ = at + size;
    if (next_ < bins_.size()) Put32(bins_.data() + next_, static_cast<std::uint32_t>(bins_.size() - next_));
    return static_cast<std::uint32_t>(at);
}

std::uint32_t HiveImageBuilder::AddFreeCell(std::size_t bytes) {
    const std::uint32_t at = AddCell(std::vector<unsigned char>(bytes, 0));
    const std::uint32_t size = static_cast<std::uint32_t>(-static_cast<std::int32_t>(Get32(bins_.data() + at)));
    Put32(bins_.data() + at, size);
    return at;
}

std::uint32_t HiveImageBuilder::AddKey(const KeyFields& key) {
    const std::vector<unsigned char> name = NameBytes(key.name, key.latin1);
    std::vector<unsigned char> nk(76 + name.size(), 0);
    nk[0] = 'n', nk[1] = 'k';
    Put16(&nk[2], static_cast<std::uint16_t>(key.flags | (key.latin1 ? 0x0020 : 0)));
    Put32(&nk[16], key.parent);
    Put32(&nk[20], key.subkeyCount);
    Put32(&nk[28], key.subkeyList);
    Put32(&nk[32], kNone);
    Put32(&nk[36], key.valueCount);
    Put32(&nk[40], key.valueList);
    Put32(&nk[44], kNone);
    Put32(&nk[48], kNone);
    Put16(&nk[72], static_cast<std::uint16_t>(name.size()));
    std::copy(name.begin(), name.end(), nk.begin() + 76);
    return AddCell(nk);
}

std::uint32_t HiveImageBuilder::AddValue(const ValueFields& value) {
    const std::vector<unsigned char> name = NameBytes(value.name, value.latin1);
    std::vector<unsigned char> vk(20 + name.size(), 0);
    vk[0] = 'v', vk[1] = 'k';
    Put16(&vk[2], static_cast<std::uint16_t>(name.size()));
    Put32(&vk[4], value.dataSize);
    Put32(&vk[8], value.dataOffset);
    Put32(&vk[12], value.type);
    Put16(&vk[16], value.latin1 ? 1 : 0);
    std::copy(name.begin(), name.end(), vk.begin() + 20);
    return AddCell(vk);
}

std::uint32_t HiveImageBuilder::AddData(const std::vector<unsigned char>& bytes) { return AddCell(bytes); }

std::uint32_t HiveImageBuilder::AddStringValue(const std::u16string& name, const std::u16string& text,
                                               bool latin1Name) {
    std::vector<unsigned char> data = Utf16Bytes(text);
    data.push_back(0), data.push_back(0);
    const std::uint32_t cell = AddData(data);
    ValueFields value;
    value.name = name;
    value.latin1 = latin1Name;
    value.type = 1;
    value.dataSize = static_cast<std::uint32_t>(data.size());
    value.dataOffset = cell;
    return AddValue(value);
}

std::uint32_t HiveImageBuilder::AddList(const char* signature, const std::vector<std::uint32_t>& cells,
                                        const std::vector<std::uint32_t>& hashes) {
    const bool pairs = signature[1] == 'f' || signature[1] == 'h';
    const std::size_t stride = pairs ? 8 : 4;
    std::vector<unsigned char> list(4 + cells.size() * stride, 0);
    list[0] = static_cast<unsigned char>(signature[0]);
    list[1] = static_cast<unsigned char>(signature[1]);
    Put16(&list[2], static_cast<std::uint16_t>(cells.size()));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        Put32(&list[4 + i * stride], cells[i]);
        if (pairs && i < hashes.size()) Put32(&list[8 + i * stride], hashes[i]);
    }
    return AddCell(list);
}

std::uint32_t HiveImageBuilder::AddValueList(const std::vector<std::uint32_t>& values) {
    std::vector<unsigned char> list(values.size() * 4, 0);
    for (std::size_t i = 0; i < values.size(); ++i) Put32(&list[4 * i], values[i]);
    return AddCell(list);
}

void HiveImageBuilder::SetSubkeys(std::uint32_t key, std::uint32_t list, std::uint32_t count) {
    Patch32(key, 20, count);
    Patch32(key, 28, list);
}

void HiveImageBuilder::SetValues(std::uint32_t key, std::uint32_t list, std::uint32_t count) {
    Patch32(key, 36, count);
    Patch32(key, 40, list);
}

void HiveImageBuilder::Patch32(std::uint32_t cell, std::size_t offset, std::uint32_t value) {
    Put32(bins_.data() + cell + 4 + offset, value);
}

void HiveImageBuilder::Patch16(std::uint32_t cell, std::size_t offset, std::uint16_t value) {
    Put16(bins_.data() + cell + 4 + offset, value);
}

void HiveImageBuilder::PatchBins(std::uint32_t offset, const std::vector<unsigned char>& bytes) {
    std::copy(bytes.begin(), bytes.end(), bins_.begin() + offset);
}

std::vector<unsigned char> HiveImageBuilder::Build(std::uint32_t root) const {
    std::vector<unsigned char> image(4096 + bins_.size(), 0);
    unsigned char* base = image.data();
    base[0] = 'r', base[1] = 'e', base[2] = 'g', base[3] = 'f';
    Put32(base + 4, 1);
    Put32(base + 8, 1);
    Put32(base + 20, 1);
    Put32(base + 24, minorVersion_);
    Put32(base + 28, 0);
    Put32(base + 32, 1);
    Put32(base + 36, root);
    Put32(base + 40, static_cast<std::uint32_t>(bins_.size()));
    Put32(base + 44, 1);
    std::uint32_t sum = 0;
    for (int i = 0; i < 127; ++i) sum ^= Get32(base + 4 * i);
    if (sum == 0) sum = 1;
    if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
    Put32(base + 508, sum);
    std::copy(bins_.begin(), bins_.end(), image.begin() + 4096);
    return image;
}

std::uint32_t NameHash(const std::u16string& name) {
    std::uint32_t hash = 0;
    for (char16_t unit : name) {
        if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 32);
        hash = hash * 37 + unit;
    }
    return hash;
}

std::vector<unsigned char> Utf16Bytes(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

}  // namespace vornex::hive::testing
