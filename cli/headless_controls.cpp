#include "cli/headless_controls.h"

#include <algorithm>

#include "ifeo/case_fold.h"

namespace vornex::cli {

namespace {
constexpr int kAnswerCancel = 2;
}

int HeadlessControls::CompareIgnoringCase(const Text& a, const Text& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const char16_t x = RegistryUpcase(a[i]);
        const char16_t y = RegistryUpcase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool HeadlessControls::SelectByName(const Text& name) {
    auto found = std::find(lines_.begin(), lines_.end(), name);
    if (found == lines_.end()) return false;
    selected_ = static_cast<int>(found - lines_.begin());
    return true;
}

bool HeadlessControls::Shown(const Text& text) const {
    return std::find(messages_.begin(), messages_.end(), text) != messages_.end();
}

void HeadlessControls::ListClear() {
    listCleared_ = true;
    lines_.clear();
    selected_ = -1;
}

int HeadlessControls::ListAdd(const Text& line) {
    std::size_t at = 0;
    while (at < lines_.size() && compare_(line, lines_[at]) > 0) ++at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
    return static_cast<int>(at);
}

Text HeadlessControls::ListSelectedText() {
    if (selected_ < 0 || selected_ >= static_cast<int>(lines_.size())) return Text();
    return lines_[static_cast<std::size_t>(selected_)];
}

int HeadlessControls::ShowMessage(const Text& text, const Text& /*title*/, unsigned style) {
    messages_.push_back(text);
    if (style == kConfirmStyle) return confirm_ ? kAnswerOk : kAnswerCancel;
    return kAnswerOk;
}

}  // namespace vornex::cli
