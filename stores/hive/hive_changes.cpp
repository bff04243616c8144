#include "stores/hive/hive_changes.h"

#include "stores/hive/base_block.h"

namespace vornex::hive {

namespace {

// A key with subkeys is refused as the registry refuses it; anything else
// the writer refuses is damage, or a cell that something else also uses.
RegResult CodeOf(const Failure& failure) {
    if (!failure) return kRegOk;
    return failure.error == ReadError::kHasSubkeys ? kRegAccessDenied : kRegBadDatabase;
}

}  // namespace

RegResult HiveChanges::CanDeleteValue(KeyRef key, const ValueInfo& value) {
    return CodeOf(writer_.CanDeleteValue(key, value));
}

RegResult HiveChanges::CanDeleteKey(KeyRef parent, KeyRef child) { return CodeOf(writer_.CanDeleteKey(parent, child)); }

RegResult HiveChanges::DeleteValue(KeyRef key, const ValueInfo& value) { return CodeOf(writer_.DeleteValue(key, value)); }

RegResult HiveChanges::DeleteKey(KeyRef parent, KeyRef child) { return CodeOf(writer_.DeleteKey(parent, child)); }

const std::vector<unsigned char>& HiveChanges::CommitBytes() {
    writer_.Seal(image_.Base().primarySeq + 1, FileTimeNow());
    return image_.Bytes();
}

}  // namespace vornex::hive
