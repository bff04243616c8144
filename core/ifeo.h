#pragma once
#include <cstddef>
#include <limits>
#include <vector>

#include "core/registry.h"

namespace vornex {

// The CurrentVersion key of each registry view, below HKEY_LOCAL_MACHINE.
inline const Text kCurrentVersion = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline const Text kWow64CurrentVersion = u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion";
inline const Text kIfeoName = u"Image File Execution Options";
// Where the loader looks.
inline const Text kIfeoKeyPath = kCurrentVersion + u'\\' + kIfeoName;
inline const Text kWow64IfeoKeyPath = kWow64CurrentVersion + u'\\' + kIfeoName;
// The sample subkey Windows ships; it names no executable.
inline const Text kSampleSubkey = u"Your Image File Name Here without a path";
inline const Text kDebuggerValue = u"Debugger";

// How an entry makes Windows start another program.
enum class EntryKind {
    kDebugger,           // a Debugger value in the IFEO key
    kWow64Debugger,      // a Debugger value in the 32-bit view's own IFEO key
    kFilterDebugger,     // a Debugger value in a UseFilter subkey
    kSilentExitMonitor,  // GlobalFlag 0x200 and a SilentProcessExit MonitorProcess
    kVerifierDlls,       // GlobalFlag 0x100 and VerifierDlls
};

// Stable lower-case names, for every output format.
const char* EntryKindName(EntryKind kind);

struct Entry {
    EntryKind kind = EntryKind::kDebugger;
    Text name;     // the executable's IFEO subkey name, exactly as enumerated
    Text command;  // what runs instead: the command, the monitor or the DLL list
    Text key;      // the key that holds it, below HKEY_LOCAL_MACHINE
    Text detail;   // what else decides it (filter path, GlobalFlag); may be empty
    // The command's whole length in characters; `command` may hold less when
    // the scan was asked to keep commands short.
    std::size_t commandLength = 0;
    // The subkey is a registry link: the loader reads the command through it
    // from linkTarget (as stored in the link, e.g. \REGISTRY\MACHINE\...).
    bool link = false;
    Text linkTarget;
};

// A place the scan could not read, and why.
struct ReadFailure {
    enum class Step { kOpenKey, kQueryKey, kEnumSubkey, kOpenSubkey, kReadValue };
    Step step;
    Text key;  // below HKEY_LOCAL_MACHINE
    RegResult code;
};

struct ScanResult {
    RegResult openResult = kRegOk;  // of the scanned key itself
    std::vector<Entry> entries;     // in the registry's order
    std::vector<ReadFailure> unread;

    bool opened() const { return openResult == kRegOk; }
    bool complete() const { return opened() && unread.empty(); }
    // The key's own list of subkeys was read whole; subkeys that could not
    // be opened are left out of this and reported apart (a user the key lets
    // read may see what they hold).
    bool listedWhole() const;
};

}  // namespace vornex
