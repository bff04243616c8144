// Makes a hive fixture: the minimal empty hive, then the keys and values of a
// script read from standard input, written with hivex's own calls.
//
//   vornex_hive_fixture OUT.hiv < script
//
// One line each, fields separated by tabs, paths starting with SOFTWARE:
//   key     PATH
//   sz      PATH NAME TEXT        (also: expand, for REG_EXPAND_SZ)
//   dword   PATH NAME NUMBER
//   raw     PATH NAME TYPE HEX    (bytes as given, e.g. 610062 for "a\0b")
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "stores/hive/hive_registry.h"
#include "tests/cli/empty_hive.h"

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
    std::string error;
    auto hive = vornex::HiveRegistry::Open(out, vornex::HiveRegistry::Mode::kWrite, &error);
    if (!hive) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::string line;
    int number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> f = Fields(line);
        bool ok = false;
        auto text = [](const std::string& s) { return vornex::FromUtf8(s); };
        if (f[0] == "key" && f.size() == 2) {
            ok = hive->CreateKey(text(f[1]));
        } else if ((f[0] == "sz" || f[0] == "expand") && (f.size() == 4 || f.size() == 3)) {
            ok = hive->SetValue(text(f[1]), text(f[2]), f[0] == "sz" ? 1 : 2,
                                Utf16WithNul(f.size() == 4 ? text(f[3]) : vornex::Text()));
        } else if (f[0] == "dword" && f.size() == 4) {
            const auto v = static_cast<std::uint32_t>(std::strtoul(f[3].c_str(), nullptr, 0));
            ok = hive->SetValue(text(f[1]), text(f[2]), 4,
                                {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                 static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)});
        } else if (f[0] == "raw" && (f.size() == 5 || f.size() == 4)) {
            std::vector<unsigned char> bytes;
            const std::string hex = f.size() == 5 ? f[4] : "";
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
                bytes.push_back(static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
            }
            ok = hive->SetValue(text(f[1]), text(f[2]), static_cast<std::uint32_t>(std::strtoul(f[3].c_str(), nullptr, 0)),
                                bytes);
        }
        if (!ok) {
            std::fprintf(stderr, "line %d: cannot apply: %s\n", number, line.c_str());
            return 1;
        }
    }
    if (!hive->Commit(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
