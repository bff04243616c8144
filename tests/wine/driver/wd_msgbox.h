#pragma once
// Reading and answering a MessageBoxW shown by the program under test.
#include <windows.h>

#include <string>
#include <vector>

namespace windriver {

enum class MessageBoxIcon { None, Information, Question, Warning, Error, Unknown };
const wchar_t* IconName(MessageBoxIcon icon);
// "IDOK", "IDCANCEL", ... or the number.
std::wstring ButtonName(int id);

struct MessageBoxInfo {
    std::wstring title;
    std::wstring text;
    std::vector<int> buttons;  // visible IDOK..IDCONTINUE buttons, in creation order
    int defaultButton = 0;     // 0: none
    MessageBoxIcon icon = MessageBoxIcon::None;
};

// The static with id 0xFFFF.
std::wstring MessageBoxText(HWND box);
std::vector<int> MessageBoxButtons(HWND box);
bool HasButton(HWND box, int id);
// DM_GETDEFID; 0 when the box has no default button.
int MessageBoxDefaultButton(HWND box);
// Compares the pixels of the box's icon static with the system icons drawn
// here (handles differ between processes under Wine, so STM_GETICON alone
// cannot tell). The box must be unobscured. Unknown when nothing matches.
MessageBoxIcon MessageBoxIconOf(HWND box);
// For failure messages: how well each standard icon matches, 0..1.
std::wstring MessageBoxIconScores(HWND box);
MessageBoxInfo ReadMessageBox(HWND box);
// Posts BM_CLICK to the button: a sent one deadlocks in the modal loop.
bool AnswerMessageBox(HWND box, int buttonId);

}  // namespace windriver
