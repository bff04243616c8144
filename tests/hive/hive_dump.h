#pragma once
// What a reader sees of a whole hive, as comparable lines:
//   "K A\B"                         a key (the root is "K ")
//   "V A\B|name|type|hex of data"   a value
// read by the project's reader, by hivex and by libregf.
#include <optional>
#include <set>
#include <string>

#include "stores/hive/regf_image.h"

namespace vornex::hive::testing {

using HiveDump = std::multiset<std::string>;

// Nullopt when a read fails.
std::optional<HiveDump> DumpImage(const RegfImage& image);
std::optional<HiveDump> DumpWithHivex(const std::string& path);
std::optional<HiveDump> DumpWithLibregf(const std::string& path);

std::string Utf8(const std::u16string& text);

}  // namespace vornex::hive::testing
