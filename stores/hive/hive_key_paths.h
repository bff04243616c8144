#pragma once
#include <vector>

#include "core/registry.h"
#include "stores/hive/regf_image.h"

// Key paths and link keys in a SOFTWARE hive image, resolved as Windows
// resolves them: one name per step (a key whose own name holds a backslash
// is never reached through a path), a link key followed where its target
// lies in this hive.
namespace vornex::hive {

// The key at `path` (split at every backslash) below `from`. A link key on
// the way is followed; the last one too, unless `openLink`. *parent: the key
// the last name was found in.
RegResult WalkKeyPath(const RegfImage& image, KeyRef from, const Text& path, bool openLink, KeyRef* out,
                      KeyRef* parent = nullptr);
// The same from HKEY_LOCAL_MACHINE: the first name must be SOFTWARE.
RegResult WalkMachinePath(const RegfImage& image, const Text& path, bool openLink, KeyRef* out,
                          KeyRef* parent = nullptr);
// Whether `key` is a link key and, with `target`, the name it holds (empty
// when it holds none of type REG_LINK).
RegResult ReadLinkKey(const RegfImage& image, KeyRef key, bool* link, Text* target);

}  // namespace vornex::hive
