#pragma once
// A hive under construction with a root key, and parsing it for a test.
#include <optional>
#include <string>
#include <vector>

#include "stores/hive/regf_image.h"
#include "tests/hive/hive_image_builder.h"

namespace vornex::hive::testing {

struct SmallHive {
    explicit SmallHive(std::uint32_t minorVersion = 5) : builder(minorVersion) {
        KeyFields shape;
        shape.name = u"ROOT";
        shape.flags = 0x000C;  // hive entry, no delete
        root = builder.AddKey(shape);
    }

    // A key whose parent field names `parent` (the root by default); not yet
    // listed anywhere.
    std::uint32_t Key(const std::u16string& name, bool latin1 = true) { return KeyUnder(root, name, latin1); }
    std::uint32_t KeyUnder(std::uint32_t parent, const std::u16string& name, bool latin1 = true) {
        KeyFields shape;
        shape.name = name;
        shape.latin1 = latin1;
        shape.parent = parent;
        return builder.AddKey(shape);
    }
    // Lists `children` under `parent` in one list of this signature.
    std::uint32_t List(std::uint32_t parent, const char* signature, const std::vector<std::uint32_t>& children) {
        const std::uint32_t list = builder.AddList(signature, children);
        builder.SetSubkeys(parent, list, static_cast<std::uint32_t>(children.size()));
        return list;
    }
    std::uint32_t Values(std::uint32_t key, const std::vector<std::uint32_t>& values) {
        const std::uint32_t list = builder.AddValueList(values);
        builder.SetValues(key, list, static_cast<std::uint32_t>(values.size()));
        return list;
    }

    std::vector<unsigned char> Bytes() const { return builder.Build(root); }
    std::optional<RegfImage> Parse(std::string* why) const { return RegfImage::Parse(Bytes(), why); }

    HiveImageBuilder builder;
    std::uint32_t root = 0;
};

}  // namespace vornex::hive::testing
