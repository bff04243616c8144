#pragma once
#include <memory>
#include <vector>

#include "core/reg_result.h"
#include "stores/hive/regf_image.h"

namespace vornex::hive {

// The changes made to an open hive: held in memory, seen by reads at once,
// written by one commit. The only place that knows how a hive is changed;
// what it changes is the image it owns.
class HiveChanges {
public:
    explicit HiveChanges(RegfImage image);
    ~HiveChanges();
    HiveChanges(const HiveChanges&) = delete;
    HiveChanges& operator=(const HiveChanges&) = delete;

    // The hive with every change made so far.
    const RegfImage& Image() const { return image_; }

    // kRegOk when `value` (one of `key`'s) can be removed exactly, leaving
    // every other value as it is.
    RegResult CanDeleteValue(KeyRef key, const ValueInfo& value) const;
    RegResult DeleteValue(KeyRef key, const ValueInfo& value);
    // `child`, a subkey of `parent` with no subkeys of its own, or a link key
    // (removed as the link, never what it points at).
    RegResult DeleteKey(KeyRef parent, KeyRef child);

    // The file to write: the image with every change, as a clean primary.
    // Null when the changes cannot be written (one could not be completed).
    const std::vector<unsigned char>* CommitBytes();

private:
    struct Engine;

    RegfImage image_;
    std::unique_ptr<Engine> engine_;
    bool broken_ = false;  // a change went half-way: nothing more is done or written
};

}  // namespace vornex::hive
