#pragma once
#include <functional>
#include <vector>

#include "ifeo/main_window_controls.h"

namespace vornex::cli {

// frmMain's controls without a window: a sorted list like the window's, a
// selection made by exact name, and message boxes answered on the user's
// behalf (the confirmation with OK only when told so, every notice with OK).
class HeadlessControls : public MainWindowControls {
public:
    // <0, 0 or >0 as a goes before, with or after b in the list.
    using Compare = std::function<int(const Text& a, const Text& b)>;

    // The portable order: ignoring case as the registry folds it; a line equal
    // ignoring case goes before the one already there, as in a list box.
    static int CompareIgnoringCase(const Text& a, const Text& b);

    explicit HeadlessControls(bool confirm, Compare compare = CompareIgnoringCase)
        : confirm_(confirm), compare_(std::move(compare)) {}

    // Selects the line whose text is exactly `name`; false when none is.
    bool SelectByName(const Text& name);

    const std::vector<Text>& lines() const { return lines_; }
    // Whether a scan reached the list, that is, opened the IFEO key.
    bool listCleared() const { return listCleared_; }
    void ResetObservations() {
        listCleared_ = false;
        messages_.clear();
    }
    // Texts of the message boxes shown, in order.
    const std::vector<Text>& messages() const { return messages_; }
    bool Shown(const Text& text) const;

    void ListClear() override;
    int ListAdd(const Text& line) override;
    int ListCount() override { return static_cast<int>(lines_.size()); }
    int ListSelectedIndex() override { return selected_; }
    Text ListSelectedText() override;
    void SetDetailText(const Text&) override {}
    void SetDetailCaption(const Text&) override {}
    void SetDetailColor(std::uint32_t) override {}
    void SetCountCaption(const Text&) override {}
    void SetButtonEnabled(Button, bool) override {}
    void ShowForm() override {}
    int ShowMessage(const Text& text, const Text& title, unsigned style) override;
    void EndProgram() override {}

private:
    bool confirm_;
    Compare compare_;
    std::vector<Text> lines_;
    int selected_ = -1;
    bool listCleared_ = false;
    std::vector<Text> messages_;
};

}  // namespace vornex::cli
