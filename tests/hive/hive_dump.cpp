#include "tests/hive/hive_dump.h"

#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#ifndef VORNEX_SOURCE_DIR
#define VORNEX_SOURCE_DIR "."
#endif

namespace vornex::hive::testing {
namespace {

// Data up to 64 bytes in hex, longer data as its length and FNV-1a hash:
// lines stay short enough to read in a failure.
std::string HexOf(const unsigned char* data, std::size_t size) {
    static const char* digits = "0123456789abcdef";
    if (size > 64) {
        std::uint32_t hash = 2166136261u;
        for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
        char text[48];
        std::snprintf(text, sizeof text, "%zu bytes, fnv %08x", size, hash);
        return text;
    }
    std::string text;
    for (std::size_t i = 0; i < size; ++i) text += digits[data[i] >> 4], text += digits[data[i] & 15];
    return text;
}

std::string Join(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

}  // namespace

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::optional<HiveDump> DumpImage(const RegfImage& image) {
    HiveDump dump;
    std::vector<std::pair<KeyRef, std::string>> pending{{image.Root(), ""}};
    while (!pending.empty()) {
        const auto [key, path] = pending.back();
        pending.pop_back();
        dump.insert("K " + path);
        auto values = image.Values(key);
        auto subkeys = image.Subkeys(key);
        if (!values.ok() || !subkeys.ok()) return std::nullopt;
        for (const ValueInfo& value : values.value) {
            auto data = image.ValueData(value);
            if (!data.ok()) return std::nullopt;
            dump.insert("V " + path + "|" + Utf8(value.name) + "|" + std::to_string(value.type) + "|" +
                        HexOf(data.value.data(), data.value.size()));
        }
        for (const KeyRef child : subkeys.value) {
            auto name = image.KeyName(child);
            if (!name.ok()) return std::nullopt;
            pending.emplace_back(child, Join(path, Utf8(name.value)));
        }
    }
    return dump;
}

std::optional<HiveDump> DumpWithHivex(const std::string& path) {
    struct Closer {
        void operator()(hive_h* hive) const { hivex_close(hive); }
    };
    std::unique_ptr<hive_h, Closer> hive(hivex_open(path.c_str(), 0));
    if (!hive) return std::nullopt;
    HiveDump dump;
    std::vector<std::pair<hive_node_h, std::string>> pending{{hivex_root(hive.get()), ""}};
    while (!pending.empty()) {
        const auto [node, where] = pending.back();
        pending.pop_back();
        dump.insert("K " + where);
        Malloced<hive_value_h> values(hivex_node_values(hive.get(), node));
        Malloced<hive_node_h> children(hivex_node_children(hive.get(), node));
        if (!values || !children) return std::nullopt;
        for (hive_value_h* value = values.get(); *value; ++value) {
            Malloced<char> name(hivex_value_key(hive.get(), *value));
            // Any 32-bit type: read as a number, never as the enum.
            std::uint32_t type = 0;
            std::size_t length = 0;
            Malloced<char> data(hivex_value_value(hive.get(), *value, reinterpret_cast<hive_type*>(&type), &length));
            if (!name || !data) return std::nullopt;
            dump.insert("V " + where + "|" + name.get() + "|" + std::to_string(type) + "|" +
                        HexOf(reinterpret_cast<const unsigned char*>(data.get()), length));
        }
        for (hive_node_h* child = children.get(); *child; ++child) {
            Malloced<char> name(hivex_node_name(hive.get(), *child));
            if (!name) return std::nullopt;
            pending.emplace_back(*child, Join(where, name.get()));
        }
    }
    return dump;
}

std::optional<HiveDump> DumpWithLibregf(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* pipe) const { pclose(pipe); }
    };
    const std::string command =
        "/usr/bin/python3 '" VORNEX_SOURCE_DIR "/tests/hive/regf_dump.py' '" + path + "' 2>/dev/null";
    std::unique_ptr<std::FILE, Closer> pipe(popen(command.c_str(), "r"));
    if (!pipe) return std::nullopt;
    HiveDump dump;
    std::string line;
    for (int c = 0; (c = std::fgetc(pipe.get())) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        dump.insert(line);
        line.clear();
    }
    if (pclose(pipe.release()) != 0) return std::nullopt;
    return dump;
}

}  // namespace vornex::hive::testing
