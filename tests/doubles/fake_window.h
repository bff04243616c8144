#pragma once
#include <deque>
#include <string>
#include <vector>

#include "app/main_window_controls.h"

namespace vornex::testing {

// frmMain's controls in memory. The list sorts like a Win32 sorted list box
// (case-insensitive; a line equal ignoring case goes before the existing one).
// Every operation is logged so that tests can check the order of effects.
class FakeWindow : public MainWindowControls {
public:
    struct Message {
        Text text;
        Text title;
        unsigned style;
    };

    std::vector<Text> lines;
    int selected = -1;
    Text detailText;
    Text detailCaption;
    std::uint32_t detailColor = 0x000000;
    Text countCaption;
    Text formCaption;
    bool cmdDeleteEnabled = true;
    bool cmdDelete1Enabled = true;
    bool cmdFixEnabled = true;
    bool visible = false;
    bool ended = false;
    std::vector<Message> messages;
    std::deque<int> answers;  // what the next message boxes return; OK when empty
    std::vector<std::string> events;
    // Makes ListAdd fail (as LB_ADDSTRING does when out of space) from this line on.
    int refuseLinesFrom = -1;

    void Select(int index) { selected = index; }
    bool Enabled(Button button) const;

    void ListClear() override;
    int ListAdd(const Text& line) override;
    int ListCount() override;
    int ListSelectedIndex() override;
    Text ListSelectedText() override;
    void SetDetailText(const Text& text) override;
    void SetDetailCaption(const Text& caption) override;
    void SetDetailColor(std::uint32_t colorBgr) override;
    void SetCountCaption(const Text& caption) override;
    void SetButtonEnabled(Button button, bool enabled) override;
    void SetFormCaption(const Text& caption) override;
    void ShowForm() override;
    int ShowMessage(const Text& text, const Text& title, unsigned style) override;
    void EndProgram() override;
};

}  // namespace vornex::testing
