#include "tests/e2e/guarded_fixture.h"

#include <windows.h>

namespace vornex::e2e {

using namespace windriver;

void GuardedE2E::TearDown() {
    // The IFEO key first: its links go before what they point at.
    VornexE2E::TearDown();
    for (const auto& target : targets_) DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, target);
}

void GuardedE2E::SeedReadOnly(const std::wstring& name, const std::wstring& command, const std::wstring& sddl,
                              bool withSubkey) {
    const std::wstring path = SubkeyPath(name);
    Redirect(name, command);
    const BYTE mitigation[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};
    SetValue(HKEY_LOCAL_MACHINE, path, L"MitigationOptions", REG_BINARY, mitigation, sizeof mitigation);
    SetDword(HKEY_LOCAL_MACHINE, path, L"GlobalFlag", 0x200);
    SetValue(HKEY_LOCAL_MACHINE, path, StringValue(L"Note", L"%SystemRoot%\\keep.dll", REG_EXPAND_SZ));
    if (withSubkey) SetString(HKEY_LOCAL_MACHINE, path + L"\\inner", L"Inside", L"stays");
    SetKeySecuritySddl(HKEY_LOCAL_MACHINE, path, sddl);
}

std::wstring GuardedE2E::SeedTarget(const std::wstring& command) {
    const std::wstring path = L"SOFTWARE\\VornexLinkTarget-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(targets_.size() + 1);
    targets_.push_back(path);
    DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, path);
    SetString(HKEY_LOCAL_MACHINE, path, L"Debugger", command);
    const BYTE precious[] = {0xDE, 0xAD, 0x00, 0xBE, 0xEF};
    SetValue(HKEY_LOCAL_MACHINE, path, L"Precious", REG_BINARY, precious, sizeof precious);
    SetString(HKEY_LOCAL_MACHINE, path, L"Settings", L"keep me");
    SetDword(HKEY_LOCAL_MACHINE, path, L"GlobalFlag", 0x200);
    SetString(HKEY_LOCAL_MACHINE, path + L"\\Inner", L"Data", L"inner value");
    return path;
}

void GuardedE2E::SeedLink(const std::wstring& name, const std::wstring& targetPath) {
    CreateLinkKey(HKEY_LOCAL_MACHINE, SubkeyPath(name), NtMachinePath(targetPath));
}

LONG GuardedE2E::OpenError(const std::wstring& name, REGSAM access, bool linkItself) {
    RegKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, SubkeyPath(name).c_str(), linkItself ? REG_OPTION_OPEN_LINK : 0, access,
                         key.put());
}

}  // namespace vornex::e2e
