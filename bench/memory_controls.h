#pragma once
// frmMain's controls in memory, for timing the scan without a window: a
// sorted list (case-insensitive like a sorted list box, an equal line goes
// before the existing one) and nothing else kept.
#include <algorithm>
#include <vector>

#include "app/main_window_controls.h"

namespace vornex::bench {

class MemoryControls : public MainWindowControls {
public:
    std::vector<Text> lines;
    int messages = 0;

    void ListClear() override { lines.clear(); }
    int ListAdd(const Text& line) override {
        auto at = std::lower_bound(lines.begin(), lines.end(), line, Less);
        return static_cast<int>(lines.insert(at, line) - lines.begin());
    }
    int ListCount() override { return static_cast<int>(lines.size()); }
    int ListSelectedIndex() override { return -1; }
    Text ListSelectedText() override { return Text(); }
    void SetDetailText(const Text&) override {}
    void SetDetailCaption(const Text&) override {}
    void SetDetailColor(std::uint32_t) override {}
    void SetCountCaption(const Text&) override {}
    void SetButtonEnabled(Button, bool) override {}
    void SetFormCaption(const Text&) override {}
    void ShowForm() override {}
    int ShowMessage(const Text&, const Text&, unsigned) override {
        ++messages;
        return kAnswerOk;
    }
    void EndProgram() override {}

private:
    static char16_t Fold(char16_t c) {
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    }
    static bool Less(const Text& a, const Text& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char16_t x, char16_t y) { return Fold(x) < Fold(y); });
    }
};

}  // namespace vornex::bench
