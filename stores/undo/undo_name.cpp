#include "stores/undo/undo_name.h"

namespace vornex {

namespace {

// Room for the stamp, the action and the folder within the usual path limit.
constexpr std::size_t kEntryKept = 80;
const Text kExtension = u".reg";

bool Forbidden(char16_t c) {
    return c < 0x20 || c == 0x7F || Text(u"<>:\"/\\|?*").find(c) != Text::npos;
}

}  // namespace

Text UndoFileName(const Text& stamp, const Text& action, const Text& entry) {
    Text kept = entry.substr(0, kEntryKept);
    // Never half of a surrogate pair at the cut.
    if (!kept.empty() && kept.size() < entry.size() && kept.back() >= 0xD800 && kept.back() <= 0xDBFF) kept.pop_back();
    Text name = stamp + u' ' + action + u' ' + kept;
    for (char16_t& c : name) {
        if (Forbidden(c)) c = u'_';
    }
    return name + kExtension;
}

Text UndoEntryName(const std::vector<Text>& names) {
    if (names.size() <= 1) return names.empty() ? Text() : names.front();
    return names.front() + u" +" + DecimalText(static_cast<unsigned long>(names.size() - 1));
}

Text NumberedName(const Text& name, unsigned n) {
    const Text stem = name.substr(0, name.size() - kExtension.size());
    return stem + u" (" + DecimalText(n) + u")" + kExtension;
}

}  // namespace vornex
