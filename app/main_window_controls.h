#pragma once
#include <cstdint>

#include "core/text.h"

namespace vornex {

// The buttons whose enabled state the handlers set.
enum class Button { cmdDelete, cmdDelete1, cmdFix };

// Message-box styles the handlers use.
constexpr unsigned kNoticeStyle = 64;    // information icon, OK
constexpr unsigned kConfirmStyle = 33;   // question icon, OK and Cancel
constexpr unsigned kWarningStyle = 48;   // warning icon, OK
constexpr int kAnswerOk = 1;

// The few control operations of frmMain that the event handlers use. The real
// window implements them on Win32 controls; tests implement them in memory.
class MainWindowControls {
public:
    virtual ~MainWindowControls() = default;

    // lstListKey
    virtual void ListClear() = 0;
    // Adds a line at its sorted place and returns the index it was placed at.
    virtual int ListAdd(const Text& line) = 0;
    virtual int ListCount() = 0;
    // -1 when no line is selected.
    virtual int ListSelectedIndex() = 0;
    virtual Text ListSelectedText() = 0;

    virtual void SetDetailText(const Text& text) = 0;          // txtDetail
    virtual void SetDetailCaption(const Text& caption) = 0;    // lblDetail
    virtual void SetDetailColor(std::uint32_t colorBgr) = 0;   // lblDetail foreground
    virtual void SetCountCaption(const Text& caption) = 0;     // lblCount
    virtual void SetButtonEnabled(Button button, bool enabled) = 0;

    // frmMain's caption.
    virtual void SetFormCaption(const Text& caption) = 0;
    // Makes frmMain visible at once (before a notice box at start-up).
    virtual void ShowForm() = 0;
    // A modal message box over frmMain; returns the button pressed (1 for OK).
    virtual int ShowMessage(const Text& text, const Text& title, unsigned style) = 0;
    // Ends the program at once.
    virtual void EndProgram() = 0;
};

}  // namespace vornex
