#include "cli/remapped_registry.h"

#include "ifeo/case_fold.h"

namespace vornex::cli {

RegResult RemappedRegistry::OpenKey(KeyHandle root, const Text& path, std::uint32_t access,
                                    KeyHandle* key) {
    if (root == kLocalMachine && path.size() >= from_.size() &&
        RegistryNamesEqual(path.substr(0, from_.size()), from_) &&
        (path.size() == from_.size() || path[from_.size()] == u'\\')) {
        return inner_.OpenKey(root, to_ + path.substr(from_.size()), access, key);
    }
    return inner_.OpenKey(root, path, access, key);
}

}  // namespace vornex::cli
