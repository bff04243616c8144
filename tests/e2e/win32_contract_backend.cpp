#include <windows.h>
#include <sddl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "stores/win32/win32_registry.h"
#include "tests/contract/contract_backend.h"
#include "wd_registry.h"
#include "win32/handles.h"

namespace vornex::testing {

namespace {

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

void Check(LSTATUS status, const char* what) {
    if (status != ERROR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

// A throwaway key of the real registry, removed after each test.
class Win32Backend : public ContractBackend {
public:
    Win32Backend() : root_(u"SOFTWARE\\VornexContract-" + Suffix()) { CreateKey(root_); }
    Registry& registry() override { return registry_; }
    Text Root() override { return root_; }
    void CreateKey(const Text& path) override {
        HKEY key = nullptr;
        Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              "RegCreateKeyExW");
        RegCloseKey(key);
    }
    void SetValue(const Text& path, const Text& name, std::uint32_t type,
                  const std::vector<unsigned char>& data) override {
        Check(RegSetKeyValueW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), Wide(name).c_str(), type,
                              data.data(), static_cast<DWORD>(data.size())),
              "RegSetKeyValueW");
    }
    void RemoveTree(const Text& path) override {
        // Guarded keys first take a DACL that lets them go; a link goes as a link.
        for (const Text& guarded : protected_) SetSddl(guarded, L"D:P(A;;KA;;;WD)");
        protected_.clear();
        windriver::DeleteTreeNoFollow(HKEY_LOCAL_MACHINE, Wide(path));
    }
    bool CanGuardKeys() override { return true; }
    // Refuses change and deletion to everyone under Wine too (where an owner
    // may always delete): owned by SYSTEM, with WRITE_DAC left to the
    // administrators so that a takeover can work.
    void ProtectKey(const Text& path) override {
        SetSddl(path, L"O:SYG:SYD:P(A;;KR;;;WD)(A;;WD;;;BA)");
        protected_.push_back(path);
    }
    void CreateLink(const Text& path, const Text& targetPath) override {
        HKEY key = nullptr;
        Check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                              &key, nullptr),
              "RegCreateKeyExW (link)");
        const std::wstring target = L"\\REGISTRY\\MACHINE\\" + Wide(targetPath);
        const LSTATUS status = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                              reinterpret_cast<const BYTE*>(target.data()),
                                              static_cast<DWORD>(target.size() * sizeof(wchar_t)));
        RegCloseKey(key);
        Check(status, "RegSetValueExW (SymbolicLinkValue)");
    }

private:
    static void SetSddl(const Text& path, const wchar_t* sddl) {
        win32::UniqueLocal descriptor;
        PSECURITY_DESCRIPTOR raw = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &raw, nullptr)) {
            throw std::runtime_error("bad SDDL");
        }
        descriptor.reset(raw);
        const bool owner = sddl[0] == L'O';
        HKEY key = nullptr;
        Check(RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(path).c_str(), 0, WRITE_DAC | (owner ? WRITE_OWNER : 0), &key),
              "open WRITE_DAC");
        const SECURITY_INFORMATION parts =
            DACL_SECURITY_INFORMATION | (owner ? OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION : 0);
        const LSTATUS status = RegSetKeySecurity(key, parts, descriptor.get());
        RegCloseKey(key);
        Check(status, "RegSetKeySecurity");
    }
    static Text Suffix() {
        const std::wstring digits = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
        return Text(digits.begin(), digits.end());
    }
    Win32Registry registry_;
    Text root_;
    std::vector<Text> protected_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace vornex::testing
