#pragma once
#include <functional>
#include <vector>

#include "core/ifeo.h"

namespace vornex {

// The one walk both scans make. Keys are opened for reading by their full
// path from HKEY_LOCAL_MACHINE and, where their security refuses that, once
// more with backup intent; what still cannot be read is recorded.

// Opens the key a scan starts from; its result (and a failure) go into `scan`.
bool OpenScanRoot(UniqueKey& key, const Text& path, ScanResult& scan);

// Opens a key met during a scan; false when it is gone or cannot be read
// (then recorded as kOpenSubkey).
bool OpenScanned(UniqueKey& key, const Text& path, std::vector<ReadFailure>& unread);

// name: exactly as enumerated; path: below HKEY_LOCAL_MACHINE; subkey: open for reading.
using SubkeyVisitor = std::function<void(const Text& name, const Text& path, KeyHandle subkey)>;

// Visits every subkey of the open key at `path`, in the registry's order:
// each by its path from the root, or, when its name holds a backslash, below
// that key by its exact name.
// Subkeys that cannot be listed or opened are recorded and skipped, as are
// names with a NUL inside (no path can name them) and subkeys removed since
// they were listed.
void ForEachSubkey(Registry& registry, KeyHandle key, const Text& path, std::vector<ReadFailure>& unread,
                   const SubkeyVisitor& visit);

}  // namespace vornex
