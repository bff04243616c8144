#include "tests/hive/windows_hive.h"

#include <algorithm>

#include "core/registry_upcase.h"
#include "tests/hive/hive_image_builder.h"

namespace vornex::hive::testing {
namespace {

std::u16string Upper(const std::u16string& name) {
    std::u16string upper = name;
    for (char16_t& unit : upper) unit = RegistryUpcase(unit);
    return upper;
}

bool Latin1(const std::u16string& name) {
    return std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit < 0x80; });
}

class Writer {
public:
    Writer(const TreeLayout& layout, BuiltHive* out) : layout_(layout), builder_(layout.minorVersion), out_(out) {}

    void Descriptors() {
        // A minimal self-relative descriptor: revision 1, SE_SELF_RELATIVE, no parts.
        std::vector<unsigned char> sk(20 + 20, 0);
        sk[0] = 's', sk[1] = 'k';
        sk[16] = 20;
        sk[20] = 1, sk[22] = 0x04, sk[23] = 0x80;
        for (std::size_t i = 0; i < layout_.descriptors; ++i) out_->descriptors.push_back(builder_.AddCell(sk));
        const std::size_t n = out_->descriptors.size();
        for (std::size_t i = 0; i < n; ++i) {
            builder_.Patch32(out_->descriptors[i], 4, out_->descriptors[(i + 1) % n]);
            builder_.Patch32(out_->descriptors[i], 8, out_->descriptors[(i + n - 1) % n]);
        }
    }

    std::uint32_t Key(const TreeKey& key, std::uint32_t parent, const std::u16string& path) {
        KeyFields fields;
        fields.name = key.name;
        fields.latin1 = Latin1(key.name);
        fields.flags = static_cast<std::uint16_t>((key.link ? 0x10 : 0) | (path.empty() ? 0x0C : 0));
        fields.parent = parent;
        const std::uint32_t nk = builder_.AddKey(fields);
        out_->keys[path] = nk;
        const std::uint32_t sk = out_->descriptors.at(key.security);
        builder_.Patch32(nk, 44, sk);
        ++users_[sk];
        if (!key.className.empty()) {
            builder_.Patch32(nk, 48, builder_.AddData(Utf16Bytes(key.className)));
            builder_.Patch16(nk, 74, static_cast<std::uint16_t>(2 * key.className.size()));
        }
        std::vector<std::uint32_t> values;
        for (const TreeValue& value : key.values) values.push_back(Value(value));
        if (!values.empty()) builder_.SetValues(nk, builder_.AddValueList(values), static_cast<std::uint32_t>(values.size()));
        Subkeys(key, nk, path);
        return nk;
    }

    void Finish() {
        for (const auto& [sk, users] : users_) builder_.Patch32(sk, 12, users);
        out_->image = builder_.Build(out_->keys.at(u""));
    }

private:
    std::uint32_t Value(const TreeValue& value) {
        ValueFields fields;
        fields.name = value.name;
        fields.latin1 = Latin1(value.name);
        fields.type = value.type;
        const auto length = static_cast<std::uint32_t>(value.data.size());
        fields.dataSize = length;
        if (length <= 4) {
            fields.dataSize |= 0x80000000u;
            fields.dataOffset = 0;
            for (std::uint32_t i = 0; i < length; ++i) fields.dataOffset |= static_cast<std::uint32_t>(value.data[i]) << (8 * i);
        } else if (length > 16344 && layout_.minorVersion >= 4) {
            std::vector<std::uint32_t> segments;
            // Each segment cell holds 4 bytes past its data, as Windows
            // allocates them (readers skip a segment's last 4 bytes).
            for (std::uint32_t at = 0; at < length; at += 16344) {
                const auto end = value.data.begin() + std::min<std::uint32_t>(length, at + 16344);
                std::vector<unsigned char> segment(value.data.begin() + at, end);
                segment.resize(segment.size() + 4, 0);
                segments.push_back(builder_.AddData(segment));
            }
            const std::uint32_t list = builder_.AddValueList(segments);
            std::vector<unsigned char> db(8, 0);
            db[0] = 'd', db[1] = 'b';
            db[2] = static_cast<unsigned char>(segments.size());
            for (int i = 0; i < 4; ++i) db[4 + i] = static_cast<unsigned char>(list >> (8 * i));
            fields.dataOffset = builder_.AddCell(db);
        } else {
            fields.dataOffset = builder_.AddData(value.data);
        }
        return builder_.AddValue(fields);
    }

    void Subkeys(const TreeKey& key, std::uint32_t nk, const std::u16string& path) {
        std::vector<const TreeKey*> sorted;
        for (const TreeKey& child : key.subkeys) sorted.push_back(&child);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const TreeKey* a, const TreeKey* b) { return Upper(a->name) < Upper(b->name); });
        std::vector<std::uint32_t> cells;
        std::vector<std::uint32_t> hashes;
        for (const TreeKey* child : sorted) {
            cells.push_back(Key(*child, nk, path.empty() ? child->name : path + u"\\" + child->name));
            hashes.push_back(Hash(child->name));
        }
        if (cells.empty()) return;
        std::uint32_t list = 0;
        if (cells.size() <= layout_.leafCapacity) {
            list = builder_.AddList(layout_.leaf, cells, hashes);
        } else {
            std::vector<std::uint32_t> leaves;
            for (std::size_t at = 0; at < cells.size(); at += layout_.leafCapacity) {
                const std::size_t end = std::min(cells.size(), at + layout_.leafCapacity);
                leaves.push_back(builder_.AddList(layout_.leaf, {cells.begin() + at, cells.begin() + end},
                                                  {hashes.begin() + at, hashes.begin() + end}));
            }
            list = builder_.AddList("ri", leaves);
        }
        builder_.SetSubkeys(nk, list, static_cast<std::uint32_t>(cells.size()));
    }

    std::uint32_t Hash(const std::u16string& name) const {
        std::uint32_t hash = 0;
        if (std::string(layout_.leaf) == "lh") {
            for (const char16_t unit : Upper(name)) hash = hash * 37 + unit;
        } else {
            for (std::size_t i = 0; i < 4 && i < name.size(); ++i) {
                hash |= static_cast<std::uint32_t>(name[i] > 0xFF ? 0 : name[i]) << (8 * i);
            }
        }
        return hash;
    }

    const TreeLayout& layout_;
    HiveImageBuilder builder_;
    BuiltHive* out_;
    std::map<std::uint32_t, std::uint32_t> users_;
};

}  // namespace

BuiltHive BuildWindowsHive(const TreeKey& root, const TreeLayout& layout) {
    BuiltHive hive;
    Writer writer(layout, &hive);
    writer.Descriptors();
    writer.Key(root, 0, u"");
    writer.Finish();
    return hive;
}

}  // namespace vornex::hive::testing
