#pragma once
// A security descriptor ("sk"): shared by the keys that count in its
// reference count, and linked in a ring of all of them.
#include <cstdint>

#include "stores/hive/regf_change_plan.h"

namespace vornex::hive {

struct SecurityCell {
    std::uint32_t cell = 0;
    std::uint32_t flink = 0;
    std::uint32_t blink = 0;
    std::uint32_t references = 0;

    // The writes a change makes to a descriptor.
    void SetReferences(ChangePlan* plan, std::uint32_t count) const;
    void SetFlink(ChangePlan* plan, std::uint32_t next) const;
    void SetBlink(ChangePlan* plan, std::uint32_t previous) const;
};

// The descriptor at `cell`: an allocated cell with the "sk" signature, large
// enough for its header.
Failure ReadSecurityCell(const RegfImage& image, std::uint32_t cell, SecurityCell* out);

}  // namespace vornex::hive
