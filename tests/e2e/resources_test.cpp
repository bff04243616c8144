// What the built executable carries: version record, icon, manifest, PE flags.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/test_options.h"

namespace vornex::e2e {
namespace {

std::wstring QueryString(const std::vector<BYTE>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\080404B0\\" + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return L"<missing>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(Executable, VersionRecordReadsBackExactly) {
    const std::wstring& exe = Options().exe;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);

    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT translationLength = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &translationLength));
    ASSERT_EQ(translationLength, sizeof(Translation));
    EXPECT_EQ(translation->language, 0x0804);
    EXPECT_EQ(translation->codePage, 1200);

    EXPECT_EQ(QueryString(block, L"FileDescription"), L"IFEO劫持检测修复工具");
    EXPECT_EQ(QueryString(block, L"FileVersion"), L"1.00.0001");
    EXPECT_EQ(QueryString(block, L"ProductVersion"), L"1.00.0001");
    EXPECT_EQ(QueryString(block, L"ProductName"), L"Vornex");
    EXPECT_EQ(QueryString(block, L"InternalName"), L"Vornex");
    EXPECT_EQ(QueryString(block, L"OriginalFilename"), L"Vornex.exe");
    EXPECT_NE(QueryString(block, L"CompanyName"), L"<missing>");
    EXPECT_NE(QueryString(block, L"LegalCopyright"), L"<missing>");
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(out)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

TEST(Executable, CarriesOneManifestAndTheFourImageIcon) {
    HMODULE module = LoadLibraryExW(Options().exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    std::vector<ULONG_PTR> manifests;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(24), CollectName, reinterpret_cast<LONG_PTR>(&manifests));
    ASSERT_EQ(manifests, std::vector<ULONG_PTR>{1});
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const auto* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(text, SizeofResource(module, found));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
    EXPECT_NE(manifest.find("supportedOS"), std::string::npos);

    std::vector<ULONG_PTR> images;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(3), CollectName, reinterpret_cast<LONG_PTR>(&images));
    std::sort(images.begin(), images.end());
    EXPECT_EQ(images, (std::vector<ULONG_PTR>{30001, 30002, 30003, 30004}));
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_EQ(dir[4] | (dir[5] << 8), 4) << "icon group 1 lists four images";
    FreeLibrary(module);
}

// Reads the PE headers from the file: subsystem, hardening flags, imports.
class PeFile {
public:
    explicit PeFile(const std::wstring& path) {
        std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), {});
    }
    template <typename T>
    const T* At(std::size_t offset) const {
        return offset + sizeof(T) <= bytes_.size() ? reinterpret_cast<const T*>(&bytes_[offset]) : nullptr;
    }
    const IMAGE_NT_HEADERS* Headers() const {
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        return dos ? At<IMAGE_NT_HEADERS>(static_cast<std::size_t>(dos->e_lfanew)) : nullptr;
    }
    std::size_t Offset(DWORD rva) const {
        const IMAGE_NT_HEADERS* nt = Headers();
        const auto* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize) {
                return rva - section->VirtualAddress + section->PointerToRawData;
            }
        }
        return bytes_.size();
    }
    std::set<std::string> Imports() const {
        std::set<std::string> names;
        const auto& dir = Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (std::size_t at = Offset(dir.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (!entry || entry->Name == 0) break;
            std::string name(&bytes_[Offset(entry->Name)]);
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            names.insert(name);
        }
        return names;
    }

private:
    std::vector<char> bytes_;
};

TEST(Executable, IsAStaticallyLinkedHardenedGuiProgram) {
    const PeFile pe(Options().exe);
    const IMAGE_NT_HEADERS* nt = pe.Headers();
    ASSERT_NE(nt, nullptr);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    const WORD flags = nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
    const std::set<std::string> system = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
                                          "ole32.dll",    "oleaut32.dll", "user32.dll"};
    for (const std::string& name : pe.Imports()) {
        EXPECT_TRUE(system.count(name)) << name << " is not a system DLL";
    }
    EXPECT_TRUE(pe.Imports().count("advapi32.dll"));
}

}  // namespace
}  // namespace vornex::e2e
