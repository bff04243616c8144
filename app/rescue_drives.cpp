#include "app/rescue_drives.h"

#include <string>

#include "app/guarded.h"
#include "app/texts.h"
#include "stores/hive/hive_session.h"
#include "win32/wide_text.h"

namespace vornex {

namespace {

using win32::FromWide;
using win32::Wide;


constexpr int kPromptId = 100;
constexpr int kListId = 101;

// An in-memory dialog template: DLGTEMPLATE and its items, WORD-aligned.
class DialogTemplate {
public:
    void Dialog(DWORD style, short cx, short cy, const Text& title, WORD items) {
        Dword(style | DS_SETFONT | DS_MODALFRAME | DS_CENTER);
        Dword(0);
        Word(items);
        Word(0), Word(0), Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
        Word(0);  // no menu
        Word(0);  // the standard dialog class
        String(title);
        Word(9);
        String(u"MS Shell Dlg");
    }
    void Item(WORD classAtom, DWORD style, short x, short y, short cx, short cy, WORD id, const Text& text) {
        while (words_.size() % 2 != 0) Word(0);  // DWORD-aligned
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        Word(static_cast<WORD>(x)), Word(static_cast<WORD>(y)), Word(static_cast<WORD>(cx)),
            Word(static_cast<WORD>(cy));
        Word(id);
        Word(0xFFFF);
        Word(classAtom);
        String(text);
        Word(0);  // no creation data
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void String(const Text& text) {
        for (char16_t c : text) Word(c);
        Word(0);
    }
    std::vector<WORD> words_;
};

struct ChooserState {
    const std::vector<InstalledWindows>* found;
    int chosen = -1;
};

INT_PTR ChooserMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ChooserState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state = reinterpret_cast<ChooserState*>(lParam);
            HWND list = GetDlgItem(dialog, kListId);
            for (const InstalledWindows& found : *state->found) {
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(texts::InstalledWindowsLine(found)).c_str()));
            }
            SendMessageW(list, LB_SETCURSEL, 0, 0);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || (LOWORD(wParam) == kListId && HIWORD(wParam) == LBN_DBLCLK)) {
                state->chosen = static_cast<int>(SendMessageW(GetDlgItem(dialog, kListId), LB_GETCURSEL, 0, 0));
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedWin32(dialog, INT_PTR{FALSE}, [&] { return ChooserMessage(dialog, message, wParam, lParam); });
}

}  // namespace

std::vector<Text> LogicalDrives() {
    std::vector<Text> drives;
    wchar_t buffer[27 * 4 + 1] = {};
    const DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer)) - 1, buffer);
    if (length == 0 || length >= std::size(buffer)) return drives;
    for (const wchar_t* root = buffer; *root; root += lstrlenW(root) + 1) {
        const UINT type = GetDriveTypeW(root);
        // A network share can keep the search waiting long; Windows is not installed there.
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE && type != DRIVE_RAMDISK) continue;
        drives.push_back(FromWide(root));
    }
    return drives;
}

Text SystemDrive() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    if (length < 2 || length > MAX_PATH) return Text();
    return Text(folder, folder + 2) + u"\\";
}

bool SystemDriveProbe::IsFile(const Text& path) {
    // A card reader with no card answers "no disk", not with a system dialog.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    SetThreadErrorMode(previous, nullptr);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

RegResult SystemDriveProbe::ReadVersion(const Text& hivePath, WindowsVersion* version) {
    std::string error;
    RegResult code = kRegOk;
    std::unique_ptr<hive::HiveFileSession> hive =
        hive::HiveFileSession::Open(ToUtf8(hivePath), hive::HiveFileSession::Mode::kReadOnly, &error, &code);
    if (!hive) return code;
    return ReadWindowsVersion(hive->registry(), version);
}

int ChooseWindows(HINSTANCE instance, const std::vector<InstalledWindows>& found) {
    DialogTemplate dialog;
    dialog.Dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU, 300, 150, texts::kChooserTitle, 4);
    dialog.Item(0x0082, SS_LEFT | SS_NOPREFIX, 7, 7, 286, 26, kPromptId, texts::kChooserPrompt);
    dialog.Item(0x0083, WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 36, 286, 86, kListId,
                Text());
    dialog.Item(0x0080, WS_TABSTOP | BS_DEFPUSHBUTTON, 176, 128, 56, 15, IDOK, texts::kChooserOk);
    dialog.Item(0x0080, WS_TABSTOP | BS_PUSHBUTTON, 237, 128, 56, 15, IDCANCEL, texts::kChooserCancel);
    ChooserState state{&found};
    const INT_PTR answer = DialogBoxIndirectParamW(instance, dialog.get(), nullptr, ChooserProc,
                                                   reinterpret_cast<LPARAM>(&state));
    if (answer != IDOK || state.chosen < 0 || static_cast<std::size_t>(state.chosen) >= found.size()) return -1;
    return state.chosen;
}

}  // namespace vornex
