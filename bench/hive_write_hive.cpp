// Writes the hive bench/hive_write.sh changes: a SOFTWARE hive of about
// MEGABYTES, laid out as Windows lays it out (one shared security
// descriptor, lh leaves under an ri past 1,000 subkeys), whose Image File
// Execution Options key holds REDIRECTIONS subkeys with a Debugger value
// (and another value that stays), the rest filler keys with 4 KiB values.
//
//   vornex_hive_write_hive FILE REDIRECTIONS MEGABYTES
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/hive/hive_image_builder.h"

namespace {

using namespace vornex::hive::testing;

constexpr std::size_t kLeafEntries = 1000;
constexpr std::size_t kSecurityField = 44;  // nk: offset of the security cell

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class Layout {
public:
    std::uint32_t Key(std::uint32_t parent, const std::u16string& name) {
        KeyFields shape;
        shape.name = name;
        shape.parent = parent;
        if (parent == 0) shape.flags = 0x000C;  // the root
        const std::uint32_t key = builder_.AddKey(shape);
        keys_.push_back(key);
        return key;
    }
    void Subkeys(std::uint32_t parent, const std::vector<std::uint32_t>& children,
                 const std::vector<std::u16string>& names) {
        std::vector<std::uint32_t> hashes;
        for (const std::u16string& name : names) hashes.push_back(NameHash(name));
        if (children.size() <= kLeafEntries) {
            builder_.SetSubkeys(parent, builder_.AddList("lh", children, hashes),
                                static_cast<std::uint32_t>(children.size()));
            return;
        }
        std::vector<std::uint32_t> leaves;
        for (std::size_t at = 0; at < children.size(); at += kLeafEntries) {
            const std::size_t end = std::min(children.size(), at + kLeafEntries);
            leaves.push_back(builder_.AddList(
                "lh", {children.begin() + static_cast<std::ptrdiff_t>(at), children.begin() + static_cast<std::ptrdiff_t>(end)},
                {hashes.begin() + static_cast<std::ptrdiff_t>(at), hashes.begin() + static_cast<std::ptrdiff_t>(end)}));
        }
        builder_.SetSubkeys(parent, builder_.AddList("ri", leaves), static_cast<std::uint32_t>(children.size()));
    }
    void Values(std::uint32_t key, const std::vector<std::uint32_t>& values) {
        builder_.SetValues(key, builder_.AddValueList(values), static_cast<std::uint32_t>(values.size()));
    }
    // Every key refers to one security descriptor (a NULL DACL), counted once each.
    std::vector<unsigned char> Build(std::uint32_t root) {
        std::vector<unsigned char> sk = {'s', 'k', 0, 0};
        const auto put32 = [&sk](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) sk.push_back(static_cast<unsigned char>(v >> (8 * i)));
        };
        put32(0);  // flink, blink: patched to the cell itself
        put32(0);
        put32(static_cast<std::uint32_t>(keys_.size()));
        const std::vector<unsigned char> descriptor = {1, 0, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0,
                                                       0, 0, 0, 0, 0, 0, 0, 0};
        put32(static_cast<std::uint32_t>(descriptor.size()));
        sk.insert(sk.end(), descriptor.begin(), descriptor.end());
        const std::uint32_t cell = builder_.AddCell(sk);
        builder_.Patch32(cell, 4, cell);
        builder_.Patch32(cell, 8, cell);
        for (const std::uint32_t key : keys_) builder_.Patch32(key, kSecurityField, cell);
        return builder_.Build(root);
    }
    HiveImageBuilder& builder() { return builder_; }
    std::size_t size() const { return builder_.BinsSize(); }

private:
    HiveImageBuilder builder_;
    std::vector<std::uint32_t> keys_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE REDIRECTIONS MEGABYTES\n", argv[0]);
        return 2;
    }
    const std::size_t redirections = std::strtoul(argv[2], nullptr, 10);
    const std::size_t bytes = std::strtoul(argv[3], nullptr, 10) << 20;
    Layout hive;
    const std::uint32_t root = hive.Key(0, u"ROOT");
    const std::uint32_t microsoft = hive.Key(root, u"Microsoft");
    const std::uint32_t filler = hive.Key(root, u"Filler");
    hive.Subkeys(root, {filler, microsoft}, {u"Filler", u"Microsoft"});
    const std::uint32_t nt = hive.Key(microsoft, u"Windows NT");
    hive.Subkeys(microsoft, {nt}, {u"Windows NT"});
    const std::uint32_t version = hive.Key(nt, u"CurrentVersion");
    hive.Subkeys(nt, {version}, {u"CurrentVersion"});
    const std::uint32_t ifeo = hive.Key(version, u"Image File Execution Options");
    hive.Subkeys(version, {ifeo}, {u"Image File Execution Options"});

    std::vector<std::uint32_t> children;
    std::vector<std::u16string> names;
    for (std::size_t i = 0; i < redirections; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "program%05zu.exe", i);
        names.push_back(Ascii(name));
        children.push_back(hive.Key(ifeo, names.back()));
        hive.Values(children.back(), {hive.builder().AddStringValue(u"MitigationOptions", u"0"),
                                      hive.builder().AddStringValue(u"Debugger", u"C:\\tools\\dbg.exe")});
    }
    hive.Subkeys(ifeo, children, names);

    // Filler up to the size asked: keys of one 4 KiB value each.
    const std::u16string text(2040, u'x');
    children.clear();
    names.clear();
    for (std::size_t i = 0; hive.size() < bytes; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "item%07zu", i);
        names.push_back(Ascii(name));
        children.push_back(hive.Key(filler, names.back()));
        hive.Values(children.back(), {hive.builder().AddStringValue(u"Data", text)});
    }
    hive.Subkeys(filler, children, names);
    return WriteFile(argv[1], hive.Build(root)) ? 0 : 1;
}
