#include "tests/cli/hive_seed.h"

#include <hivex.h>

#include <cstdlib>

#include "core/registry.h"
#include "core/registry_upcase.h"

namespace vornex::testing {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

Text Joined(const std::vector<Text>& parts, std::size_t from, std::size_t to) {
    Text name;
    for (std::size_t i = from; i < to; ++i) name += (i == from ? Text() : Text(u"\\")) + parts[i];
    return name;
}

}  // namespace

void HiveSeed::Closer::operator()(hive_h* hive) const { hivex_close(hive); }

HiveSeed::HiveSeed(const std::string& path) : path_(path), hive_(hivex_open(path.c_str(), HIVEX_OPEN_WRITE)) {}

HiveSeed::~HiveSeed() = default;

std::size_t HiveSeed::Child(std::size_t parent, const Text& name) {
    Malloced<hive_node_h> children(hivex_node_children(hive_.get(), parent));
    if (!children) return 0;
    for (std::size_t i = 0; children.get()[i] != 0; ++i) {
        Malloced<char> found(hivex_node_name(hive_.get(), children.get()[i]));
        if (found && RegistryNamesEqual(FromUtf8(found.get()), name)) return children.get()[i];
    }
    return 0;
}

std::size_t HiveSeed::Node(const Text& path, bool create) {
    const std::vector<Text> parts = SplitKeyPath(path);
    if (!hive_ || parts.empty() || !RegistryNamesEqual(parts.front(), u"SOFTWARE")) return 0;
    std::size_t node = hivex_root(hive_.get());
    std::size_t at = 1;
    while (at < parts.size()) {
        std::size_t found = 0;
        std::size_t end = parts.size();
        for (; end > at; --end) {
            found = Child(node, Joined(parts, at, end));
            if (found) break;
        }
        if (found) {
            node = found;
            at = end;
            continue;
        }
        if (!create || parts[at].empty()) return 0;
        node = hivex_node_add_child(hive_.get(), node, ToUtf8(parts[at]).c_str());
        if (node == 0) return 0;
        ++at;
    }
    return node;
}

bool HiveSeed::CreateKey(const Text& path) { return Node(path, true) != 0; }

bool HiveSeed::SetValue(const Text& keyPath, const Text& name, std::uint32_t type,
                        const std::vector<unsigned char>& data) {
    const std::size_t node = Node(keyPath, true);
    if (node == 0) return false;
    std::string utf8 = ToUtf8(name);
    std::vector<char> bytes(data.begin(), data.end());
    const hive_set_value value{utf8.data(), static_cast<hive_type>(type), bytes.size(),
                               bytes.empty() ? nullptr : bytes.data()};
    return hivex_node_set_value(hive_.get(), node, &value, 0) == 0;
}

bool HiveSeed::CreateSubkeyNamed(const Text& parentPath, const Text& name) {
    const std::size_t parent = Node(parentPath, true);
    return parent != 0 && hivex_node_add_child(hive_.get(), parent, ToUtf8(name).c_str()) != 0;
}

bool HiveSeed::RemoveTree(const Text& path) {
    const std::size_t node = Node(path, false);
    return node != 0 && node != hivex_root(hive_.get()) && hivex_node_delete_child(hive_.get(), node) == 0;
}

bool HiveSeed::Commit() { return hive_ && hivex_commit(hive_.get(), path_.c_str(), 0) == 0; }

}  // namespace vornex::testing
