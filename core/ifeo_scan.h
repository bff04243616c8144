#pragma once
#include "core/ifeo.h"

namespace vornex {

// Every subkey of the IFEO key at `ifeoPath` (below HKEY_LOCAL_MACHINE) that
// carries a REG_SZ Debugger value, except the sample subkey; reads only.
ScanResult ScanIfeo(Registry& registry, const Text& ifeoPath = kIfeoKeyPath,
                    EntryKind kind = EntryKind::kDebugger);

}  // namespace vornex
