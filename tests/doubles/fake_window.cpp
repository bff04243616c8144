#include "fake_window.h"

#include "core/registry_upcase.h"
#include "core/text.h"

namespace vornex::testing {

namespace {

const char* ButtonName(Button button) {
    switch (button) {
        case Button::cmdDelete: return "cmdDelete";
        case Button::cmdDelete1: return "cmdDelete1";
        case Button::cmdFix: return "cmdFix";
    }
    return "?";
}

}  // namespace

bool FakeWindow::Enabled(Button button) const {
    switch (button) {
        case Button::cmdDelete: return cmdDeleteEnabled;
        case Button::cmdDelete1: return cmdDelete1Enabled;
        case Button::cmdFix: return cmdFixEnabled;
    }
    return false;
}

void FakeWindow::ListClear() {
    events.push_back("ListClear");
    lines.clear();
    selected = -1;
}

int FakeWindow::ListAdd(const Text& line) {
    events.push_back("ListAdd " + ToUtf8(line));
    if (refuseLinesFrom >= 0 && static_cast<int>(lines.size()) >= refuseLinesFrom) return -2;
    std::size_t at = 0;
    while (at < lines.size() && RegistryNamesCompare(line, lines[at]) > 0) ++at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    return static_cast<int>(at);
}

int FakeWindow::ListCount() { return static_cast<int>(lines.size()); }

int FakeWindow::ListSelectedIndex() { return selected; }

Text FakeWindow::ListSelectedText() {
    if (selected < 0 || selected >= static_cast<int>(lines.size())) return Text();
    return lines[static_cast<std::size_t>(selected)];
}

void FakeWindow::SetDetailText(const Text& text) {
    events.push_back("SetDetailText " + ToUtf8(text));
    detailText = text;
}

void FakeWindow::SetDetailCaption(const Text& caption) {
    events.push_back("SetDetailCaption " + ToUtf8(caption));
    detailCaption = caption;
}

void FakeWindow::SetDetailColor(std::uint32_t colorBgr) {
    events.push_back("SetDetailColor " + std::to_string(colorBgr));
    detailColor = colorBgr;
}

void FakeWindow::SetCountCaption(const Text& caption) {
    events.push_back("SetCountCaption " + ToUtf8(caption));
    countCaption = caption;
}

void FakeWindow::SetButtonEnabled(Button button, bool enabled) {
    events.push_back(std::string(enabled ? "Enable " : "Disable ") + ButtonName(button));
    switch (button) {
        case Button::cmdDelete: cmdDeleteEnabled = enabled; break;
        case Button::cmdDelete1: cmdDelete1Enabled = enabled; break;
        case Button::cmdFix: cmdFixEnabled = enabled; break;
    }
}

void FakeWindow::SetFormCaption(const Text& caption) {
    events.push_back("SetFormCaption " + ToUtf8(caption));
    formCaption = caption;
}

void FakeWindow::ShowForm() {
    events.push_back("ShowForm");
    visible = true;
}

int FakeWindow::ShowMessage(const Text& text, const Text& title, unsigned style) {
    events.push_back("ShowMessage " + ToUtf8(text));
    messages.push_back({text, title, style});
    if (answers.empty()) return kAnswerOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeWindow::EndProgram() {
    events.push_back("EndProgram");
    ended = true;
}

}  // namespace vornex::testing
