#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "registry.h"

namespace vornex {

// Places besides the IFEO Debugger value from which Windows starts another
// program when an executable runs, which the window does not look at.
enum class FindingKind {
    kDebugger,           // the window's own list
    kWow64Debugger,      // a Debugger value in the 32-bit view's own IFEO key
    kFilterDebugger,     // a Debugger value in a UseFilter subkey
    kSilentExitMonitor,  // GlobalFlag 0x200 and a SilentProcessExit MonitorProcess
    kVerifierDlls,       // GlobalFlag 0x100 and VerifierDlls
};

// Stable lower-case names, used in every output format.
const char* KindName(FindingKind kind);

struct Finding {
    FindingKind kind;
    Text name;     // the executable's IFEO subkey name
    Text command;  // what runs: the command, the monitor or the DLL list
    Text key;      // the key that holds it, below HKEY_LOCAL_MACHINE
    Text detail;   // what else decides it (filter path, GlobalFlag), may be empty
};

namespace extended {

constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kFlagApplicationVerifier = 0x100;
constexpr std::uint32_t kFlagMonitorSilentProcessExit = 0x200;

inline const Text kCurrentVersion = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline const Text kWow64CurrentVersion =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion";
inline const Text kIfeoName = u"Image File Execution Options";
inline const Text kSilentProcessExitName = u"SilentProcessExit";

// GlobalFlag as the loader takes it: a DWORD, or a string in hex ("0x200")
// or decimal. Nothing for other types or text that is not a number.
std::optional<std::uint32_t> ParseGlobalFlag(std::uint32_t type,
                                             const std::vector<unsigned char>& data);

}  // namespace extended

// The filter, silent-exit and verifier findings under one view's
// CurrentVersion key (kCurrentVersion or kWow64CurrentVersion), in the
// order the registry enumerates the IFEO subkeys. Reads only.
std::vector<Finding> ScanExtended(Registry& registry, const Text& currentVersionPath);

// Whether the 32-bit view's IFEO key is a key of its own in this registry,
// rather than a link to the native one (a hive can hold it as a link key).
bool Wow64IfeoIsSeparate(Registry& registry);

}  // namespace vornex
