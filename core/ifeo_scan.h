#pragma once
#include "core/ifeo.h"

namespace vornex {

constexpr std::size_t kWholeCommand = std::numeric_limits<std::size_t>::max();

// Every subkey of the IFEO key at `ifeoPath` (below HKEY_LOCAL_MACHINE) that
// carries a REG_SZ Debugger value, except the sample subkey; reads only.
// Commands are kept up to `maxCommandLength` characters (their whole length
// is told apart), so that what the scan holds stays bounded.
ScanResult ScanIfeo(Registry& registry, const Text& ifeoPath = kIfeoKeyPath,
                    EntryKind kind = EntryKind::kDebugger, std::size_t maxCommandLength = kWholeCommand);

}  // namespace vornex
