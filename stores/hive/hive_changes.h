#pragma once
#include <cstdint>
#include <vector>

#include "core/reg_result.h"
#include "stores/hive/regf_image.h"
#include "stores/hive/regf_writer.h"

namespace vornex::hive {

// The changes made to an open hive: made in place on the image it owns, so
// that reads see them at once, and written by one commit.
class HiveChanges {
public:
    explicit HiveChanges(RegfImage image) : image_(std::move(image)), writer_(image_) {}
    HiveChanges(const HiveChanges&) = delete;
    HiveChanges& operator=(const HiveChanges&) = delete;

    // The hive with every change made so far.
    const RegfImage& Image() const { return image_; }

    // What DeleteValue / DeleteKey would answer, changing nothing.
    RegResult CanDeleteValue(KeyRef key, const ValueInfo& value);
    RegResult CanDeleteKey(KeyRef parent, KeyRef child);
    RegResult DeleteValue(KeyRef key, const ValueInfo& value);
    // `child`, a subkey of `parent` with no subkeys of its own, or a link key
    // (removed as the link, never what it points at).
    RegResult DeleteKey(KeyRef parent, KeyRef child);

    // The file to write: the image with every change, as a clean primary
    // whose sequence number is past the one read (and so past its logs).
    const std::vector<unsigned char>& CommitBytes();

private:
    RegfImage image_;
    RegfWriter writer_;
};

}  // namespace vornex::hive
