#include "stores/hive/regf_security.h"

namespace vornex::hive {

namespace {

enum : std::uint32_t { kFlink = 4, kBlink = 8, kReferences = 12, kHeaderSize = 20 };

}  // namespace

Failure ReadSecurityCell(const RegfImage& image, std::uint32_t cell, SecurityCell* out) {
    CellSpan sk;
    if (Failure failure = image.SignedCell(cell, "security descriptor", "sk", kHeaderSize, &sk)) return failure;
    *out = {cell, U32(sk.data + kFlink), U32(sk.data + kBlink), U32(sk.data + kReferences)};
    return {};
}

void SecurityCell::SetReferences(ChangePlan* plan, std::uint32_t count) const {
    plan->puts.push_back({cell, kReferences, 4, count});
}
void SecurityCell::SetFlink(ChangePlan* plan, std::uint32_t next) const { plan->puts.push_back({cell, kFlink, 4, next}); }
void SecurityCell::SetBlink(ChangePlan* plan, std::uint32_t previous) const {
    plan->puts.push_back({cell, kBlink, 4, previous});
}

}  // namespace vornex::hive
