#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/text.h"

struct hive_h;

namespace vornex::testing {

// Lays out keys and values in a hive file with hivex's own calls, before the
// store opens it. Paths below HKEY_LOCAL_MACHINE, starting with SOFTWARE;
// missing parents are created; a name may hold a backslash (the longest name
// that exists is taken, as the store takes it). False on failure.
class HiveSeed {
public:
    explicit HiveSeed(const std::string& path);
    ~HiveSeed();
    HiveSeed(const HiveSeed&) = delete;
    HiveSeed& operator=(const HiveSeed&) = delete;

    bool ok() const { return hive_ != nullptr; }
    bool CreateKey(const Text& path);
    bool SetValue(const Text& keyPath, const Text& name, std::uint32_t type, const std::vector<unsigned char>& data);
    // A subkey of parentPath named exactly `name`.
    bool CreateSubkeyNamed(const Text& parentPath, const Text& name);
    // A key with everything below it.
    bool RemoveTree(const Text& path);
    // Writes the file.
    bool Commit();

private:
    struct Closer {
        void operator()(hive_h* hive) const;
    };
    // The node at path, created (with its parents) when `create`; 0 if none.
    std::size_t Node(const Text& path, bool create);
    std::size_t Child(std::size_t parent, const Text& name);

    std::string path_;
    std::unique_ptr<hive_h, Closer> hive_;
};

}  // namespace vornex::testing
