// Makes a hive fixture: the minimal empty hive, then the keys and values of a
// script read from standard input, written with hivex's own calls
// (HiveSeed).
//
//   vornex_hive_fixture OUT.hiv < script
//
// One line each, fields separated by tabs, paths starting with SOFTWARE:
//   key     PATH
//   sz      PATH NAME TEXT        (also: expand, for REG_EXPAND_SZ)
//   dword   PATH NAME NUMBER
//   raw     PATH NAME TYPE HEX    (bytes as given, e.g. 610062 for "a\0b")
//   keyname PATH NAME             (a subkey of PATH named NAME exactly: it may hold a backslash)
//   link    PATH TARGET           (a link key pointing at TARGET, e.g. \REGISTRY\MACHINE\SOFTWARE\X)
//   lone    PATH NAME             (turns the first unit of value NAME's name, stored as UTF-16, into a
//                                  lone surrogate U+D800: RegSetValueExW takes such names)
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/registry.h"
#include "stores/hive/regf_image.h"
#include "tests/cli/empty_hive.h"
#include "tests/cli/hive_seed.h"

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

std::vector<unsigned char> Utf16WithNul(const vornex::Text& text) {
    std::vector<unsigned char> bytes;
    for (char16_t c : text + u'\0') {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

// What hivex cannot write: patched into the committed file afterwards.
struct Patch {
    bool link;               // set the key's link flag; else a lone surrogate in a value's name
    std::vector<vornex::Text> path;  // below the hive root
    vornex::Text valueName;
};

bool ApplyPatches(const std::string& file, const std::vector<Patch>& patches) {
    std::vector<unsigned char> bytes;
    {
        std::FILE* in = std::fopen(file.c_str(), "rb");
        if (!in) return false;
        int c;
        while ((c = std::fgetc(in)) != EOF) bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(in);
    }
    std::string why;
    auto image = vornex::hive::RegfImage::Parse(bytes, &why);
    if (!image) return false;
    for (const Patch& patch : patches) {
        vornex::hive::KeyRef key = image->Root();
        for (const vornex::Text& name : patch.path) {
            auto child = image->FindSubkey(key, name);
            if (!child.ok() || !child.value) return false;
            key = *child.value;
        }
        if (patch.link) {
            bytes[4096 + key.cell + 4 + 2] |= 0x10;  // nk flags: KEY_SYM_LINK
        } else {
            auto value = image->FindValue(key, patch.valueName);
            if (!value.ok() || !value.value) return false;
            const std::size_t name = 4096 + value.value->cell + 4 + 20;  // vk name, UTF-16
            bytes[name] = 0x00;
            bytes[name + 1] = 0xD8;
        }
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

std::vector<vornex::Text> BelowRoot(const vornex::Text& path) {
    std::vector<vornex::Text> parts = vornex::SplitKeyPath(path);
    parts.erase(parts.begin());  // SOFTWARE: the hive root
    return parts;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.hiv < script\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    if (!vornex::testing::WriteEmptyHive(out)) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    vornex::testing::HiveSeed seed(out);
    if (!seed.ok()) {
        std::fprintf(stderr, "%s: hivex cannot open it\n", out.c_str());
        return 1;
    }
    std::string line;
    int number = 0;
    std::vector<Patch> patches;
    while (std::getline(std::cin, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = Fields(line);
        bool ok = false;
        auto text = [](const std::string& s) { return vornex::FromUtf8(s); };
        if (f[0] == "key" && f.size() == 2) {
            ok = seed.CreateKey(text(f[1]));
        } else if ((f[0] == "sz" || f[0] == "expand") && (f.size() == 4 || f.size() == 3)) {
            ok = seed.SetValue(text(f[1]), text(f[2]), f[0] == "sz" ? 1 : 2,
                                Utf16WithNul(f.size() == 4 ? text(f[3]) : vornex::Text()));
        } else if (f[0] == "dword" && f.size() == 4) {
            const auto v = static_cast<std::uint32_t>(std::strtoul(f[3].c_str(), nullptr, 0));
            ok = seed.SetValue(text(f[1]), text(f[2]), 4,
                                {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                 static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)});
        } else if (f[0] == "raw" && (f.size() == 5 || f.size() == 4)) {
            std::vector<unsigned char> bytes;
            const std::string hex = f.size() == 5 ? f[4] : "";
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
                bytes.push_back(static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
            }
            ok = seed.SetValue(text(f[1]), text(f[2]), static_cast<std::uint32_t>(std::strtoul(f[3].c_str(), nullptr, 0)),
                                bytes);
        }
        if (f[0] == "keyname" && f.size() == 3) {
            ok = seed.CreateSubkeyNamed(text(f[1]), text(f[2]));
        } else if (f[0] == "link" && f.size() == 3) {
            std::vector<unsigned char> target;
            for (char16_t c : text(f[2])) {
                target.push_back(static_cast<unsigned char>(c & 0xFF));
                target.push_back(static_cast<unsigned char>(c >> 8));
            }
            ok = seed.SetValue(text(f[1]), u"SymbolicLinkValue", 6, target);
            patches.push_back({true, BelowRoot(text(f[1])), vornex::Text()});
        } else if (f[0] == "lone" && f.size() == 3) {
            ok = true;
            patches.push_back({false, BelowRoot(text(f[1])), text(f[2])});
        }
        if (!ok) {
            std::fprintf(stderr, "line %d: cannot apply: %s\n", number, line.c_str());
            return 1;
        }
    }
    if (!seed.Commit()) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    if (!patches.empty() && !ApplyPatches(out, patches)) {
        std::fprintf(stderr, "%s: cannot patch links or names\n", out.c_str());
        return 1;
    }
    return 0;
}
