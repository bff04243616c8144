#include <windows.h>

#include <stdexcept>
#include <string>

#include "stores/win32/win32_registry.h"
#include "tests/contract/contract_backend.h"

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
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(path).c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, Wide(path).c_str());
    }

private:
    static Text Suffix() {
        const std::wstring digits = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
        return Text(digits.begin(), digits.end());
    }
    Win32Registry registry_;
    Text root_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace vornex::testing
