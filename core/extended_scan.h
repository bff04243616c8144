#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "core/ifeo.h"

namespace vornex {

namespace extended {

constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kFlagApplicationVerifier = 0x100;
constexpr std::uint32_t kFlagMonitorSilentProcessExit = 0x200;

inline const Text kSilentProcessExitName = u"SilentProcessExit";

// A number the loader asks for as a DWORD (GlobalFlag, UseFilter), as it
// takes it: a DWORD's first four bytes, or a string read as the loader reads
// a number (LoaderStringInteger). Nothing for other types.
std::optional<std::uint32_t> ReadLoaderDword(std::uint32_t type,
                                             const std::vector<unsigned char>& data);

}  // namespace extended

// Places besides the IFEO Debugger value from which Windows starts another
// program when an executable runs: filter subkeys, silent-exit monitors and
// verifier DLLs under one view's CurrentVersion key (kCurrentVersion or
// kWow64CurrentVersion), in the order the registry enumerates the IFEO
// subkeys, with every place that could not be read. Reads only.
ScanResult ScanExtended(Registry& registry, const Text& currentVersionPath);

// Whether the 32-bit view's IFEO key is a key of its own in this registry,
// rather than a link to the native one (a hive can hold it as a link key).
bool Wow64IfeoIsSeparate(Registry& registry);

}  // namespace vornex
