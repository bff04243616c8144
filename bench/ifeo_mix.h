#pragma once
// The IFEO key the benchmark seeds: a deterministic mix of subkeys like those
// found on real machines, the same bytes natively and under Wine. Subkey i
// depends on i alone, so a key grown from N to M subkeys equals one seeded
// with M at once.
#include <cstdint>
#include <string>
#include <vector>

namespace vornex::bench {

using Name = std::u16string;

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegQword = 11;

// One subkey in 50 is redirected: 2 %.
constexpr std::uint64_t kRedirectEvery = 50;

struct MixValue {
    Name name;
    std::uint32_t type;
    std::vector<unsigned char> data;
};

struct MixSubkey {
    Name name;
    std::vector<MixValue> values;
    bool redirected = false;
};

inline std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

inline Name Ascii(const char* text) {
    Name out;
    while (*text) out.push_back(static_cast<char16_t>(*text++));
    return out;
}

inline std::vector<unsigned char> LittleEndian(std::uint64_t value, int bytes) {
    std::vector<unsigned char> out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    return out;
}

// REG_SZ data as RegSetValueEx stores it: UTF-16LE with its terminating NUL.
inline std::vector<unsigned char> StringData(const Name& text) {
    std::vector<unsigned char> out;
    for (char16_t c : text) {
        out.push_back(static_cast<unsigned char>(c & 0xFF));
        out.push_back(static_cast<unsigned char>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

// Letters only, so "word" + decimal number never repeats a name; mixed case
// as installers write them.
inline const char* const kWords[] = {
    "acrord", "AcroBroker", "chrome", "firefox", "msedge", "iexplore", "explorer", "notepad",
    "Taskmgr", "regedit", "cmd", "powershell", "mmc", "winword", "EXCEL", "POWERPNT",
    "outlook", "teams", "Skype", "javaw", "java", "python", "node", "devenv", "msbuild",
    "setup", "install", "Update", "updater", "svchost", "rundll", "dllhost", "conhost",
    "lsass", "winlogon", "spoolsv", "MsMpEng", "wmplayer", "vlc", "steam", "Discord",
    "zoom", "slack", "code", "git", "ssh", "putty", "winscp", "sqlservr", "inetinfo",
    "sppsvc", "mspaint", "calc", "magnify", "osk", "sethc", "utilman", "narrator",
    "AppVClient", "backgroundTaskHost", "searchindexer", "wuauclt", "MpCmdRun", "ntvdm",
};
constexpr std::uint64_t kWordCount = sizeof kWords / sizeof kWords[0];

inline const char* const kCommands[] = {
    "C:\\Windows\\System32\\vsjitdebugger.exe",
    "\"C:\\Program Files\\Sysinternals\\procexp64.exe\"",
    "C:\\Users\\Public\\svch0st.exe",
    "ntsd -d",
    "\"C:\\Program Files (x86)\\Common Files\\Helper\\launcher.exe\" /silent",
    "cmd.exe /c start C:\\ProgramData\\x.exe",
};
constexpr std::uint64_t kCommandCount = sizeof kCommands / sizeof kCommands[0];

inline Name SubkeyName(std::uint64_t index) {
    Name name = Ascii(kWords[index % kWordCount]);
    if (index >= kWordCount) {
        for (char c : std::to_string(index / kWordCount)) name.push_back(static_cast<char16_t>(c));
    }
    return name + Ascii(".exe");
}

// Subkey `index` of the mix. redirectAll: every subkey carries a Debugger
// value (the start-up scenario with a full list).
inline MixSubkey MixEntry(std::uint64_t index, bool redirectAll = false) {
    MixSubkey key;
    key.name = SubkeyName(index);
    key.redirected = redirectAll || index % kRedirectEvery == kRedirectEvery / 3;
    const std::uint64_t r = SplitMix(index);
    const std::uint64_t r2 = SplitMix(r);
    // Nine independent draws of 0..99 from the 63 low bits.
    auto percent = [r](int slot) { return static_cast<int>(((r >> (slot * 7)) & 127) * 100 / 128); };

    // About 6 % are bare subkeys, left behind by an uninstaller.
    if (percent(0) >= 6) {
        if (percent(1) < 85) {
            if (percent(2) < 70) {
                key.values.push_back({u"MitigationOptions", kRegBinary,
                                      LittleEndian(0x0000000000100000ull << (r2 & 3),
                                                   percent(3) < 50 ? 8 : 16)});
            } else {
                key.values.push_back(
                    {u"MitigationOptions", kRegQword, LittleEndian(0x1000000000000ull, 8)});
            }
        }
        if (percent(4) < 45) {
            if (percent(5) < 70) {
                key.values.push_back({u"GlobalFlag", kRegDword, LittleEndian(0x200, 4)});
            } else {
                key.values.push_back({u"GlobalFlag", kRegSz, StringData(u"0x00000200")});
            }
        }
        if (percent(6) < 40) {
            key.values.push_back(
                {u"DisableExceptionChainValidation", kRegDword, LittleEndian(0, 4)});
        }
        if (percent(7) < 30) {
            key.values.push_back({u"MitigationAuditOptions", kRegBinary, LittleEndian(0, 16)});
        }
        if (percent(8) < 10) {
            key.values.push_back({u"FrontEndHeapDebugOptions", kRegDword, LittleEndian(8, 4)});
        }
    }
    if (key.redirected) {
        MixValue debugger{u"Debugger", kRegSz,
                          StringData(Ascii(kCommands[r2 % kCommandCount]))};
        // First or last in creation order: a scan may not stop at the first value.
        if ((r2 >> 32) & 1) {
            key.values.insert(key.values.begin(), debugger);
        } else {
            key.values.push_back(debugger);
        }
    }
    return key;
}

}  // namespace vornex::bench
