#include <windows.h>
#include <objbase.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "app/guarded.h"
#include "app/hive_document.h"
#include "app/hive_session.h"
#include "app/rescue_drives.h"
#include "app/start_arguments.h"
#include "app/texts.h"
#include "stores/undo/undo_files.h"
#include "stores/undo/undo_name.h"
#include "stores/win32/win32_registry.h"
#include "main_window.h"
#include "win32/wide_text.h"

namespace {

using vornex::win32::FromWide;
using vornex::win32::Wide;

// The program runs elevated: never let a DLL planted beside it be loaded.
void RestrictDllSearchToSystem() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set = kernel ? reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
                            GetProcAddress(kernel, "SetDefaultDllDirectories")))
                      : nullptr;
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialized_) CoUninitialize();
    }

private:
    bool initialized_;
};


// The command line as the C runtime split it (no shell32 to load for that).
std::vector<vornex::Text> Arguments() {
    std::vector<vornex::Text> args;
    if (!__wargv) return args;
    for (int i = 1; i < __argc; ++i) args.push_back(FromWide(__wargv[i]));
    return args;
}

// The path as the user is to see it: whole, from its drive or share.
vornex::Text FullPath(const vornex::Text& path) {
    const std::wstring given = Wide(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length);
        length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return FromWide(full);
}

std::unique_ptr<vornex::RegistrySession> HiveFileSession(const vornex::Text& path) {
    const vornex::Text full = FullPath(path);
    return std::make_unique<vornex::HiveSession>(full, [full](vornex::RegResult* code, std::string* error) {
        return vornex::OpenHiveDocument(vornex::ToUtf8(full), code, error);
    });
}

// The live registry's undo file of one repair, in the usual places.
std::unique_ptr<vornex::UndoKeeper> LiveUndoFile(const vornex::Text& action, const std::vector<vornex::Text>& names) {
    using namespace vornex;
    return std::make_unique<vornex::UndoFiles>(DefaultUndoFolders(),
                                               UndoFileName(LocalStamp(), action, UndoEntryName(names)));
}

// Without a path: the running system's registry, unless the system says it
// is a rescue system (Windows PE), whose own registry is not the computer's:
// then the installed Windows found on the other drives, chosen by the person
// when there are several. Null when the person chose to quit.
std::unique_ptr<vornex::RegistrySession> SessionWithoutPath(HINSTANCE instance, vornex::Registry& live) {
    using namespace vornex;
    if (!IsRescueSystem(live)) return std::make_unique<LiveSession>(live, texts::kWindowTitle, LiveUndoFile);
    SystemDriveProbe probe;
    std::vector<InstalledWindows> found = FindInstalledWindows(LogicalDrives(), SystemDrive(), probe);
    if (found.size() == 1) return HiveFileSession(found[0].hivePath);
    if (found.size() > 1) {
        ReadVersions(&found, probe);
        const int chosen = ChooseWindows(instance, found);
        if (chosen < 0) return nullptr;
        return HiveFileSession(found[static_cast<std::size_t>(chosen)].hivePath);
    }
    if (MessageBoxW(nullptr, Wide(texts::kNoWindowsFound).c_str(), Wide(texts::kNoticeTitle).c_str(),
                    MB_ICONQUESTION | MB_OKCANCEL) != IDOK) {
        return nullptr;
    }
    return std::make_unique<LiveSession>(live, texts::RunningSystemCaption(), LiveUndoFile);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystem();
    ComApartment com;  // the banner is decoded through OLE
    const vornex::StartArguments start = vornex::ParseStartArguments(Arguments());
    if (!start.valid) {
        MessageBoxW(nullptr, Wide(vornex::texts::kUsage).c_str(), Wide(vornex::texts::kNoticeTitle).c_str(),
                    MB_ICONINFORMATION | MB_OK);
        return 2;
    }
    vornex::Win32Registry registry;
    std::unique_ptr<vornex::RegistrySession> session;
    const bool started = vornex::GuardedWin32(nullptr, false, [&] {
        session = start.hiveGiven ? HiveFileSession(start.hivePath) : SessionWithoutPath(instance, registry);
        return true;
    });
    if (!started) return 1;
    if (!session) return 0;
    vornex::MainWindow window(*session);
    if (!window.Create(instance)) return 1;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslateMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
