#include "app/frm_main.h"

#include <algorithm>
#include <vector>

#include "app/texts.h"
#include "core/ifeo_scan.h"

namespace vornex {

namespace {

// The IFEO subkeys the scan could not open, by name, in the registry's order.
std::vector<Text> UnreadSubkeys(const ScanResult& scan) {
    std::vector<Text> names;
    const Text prefix = kIfeoKeyPath + u'\\';
    for (const ReadFailure& failure : scan.unread) {
        if (failure.step != ReadFailure::Step::kOpenSubkey || failure.key.compare(0, prefix.size(), prefix) != 0) continue;
        Text name = failure.key.substr(prefix.size());
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace

bool FrmMain::Form_Initialize() {
    Text message;
    const RegResult opened = session_.Open(&message);
    controls_.SetFormCaption(session_.Caption());
    if (opened == kRegOk) return true;
    controls_.SetButtonEnabled(Button::cmdDelete, false);
    controls_.SetButtonEnabled(Button::cmdDelete1, false);
    controls_.SetButtonEnabled(Button::cmdFix, false);
    controls_.ShowForm();
    controls_.ShowMessage(message, texts::kWarningTitle, kWarningStyle);
    return false;
}

void FrmMain::Form_Load() {
    controls_.SetButtonEnabled(Button::cmdDelete, false);
    controls_.SetButtonEnabled(Button::cmdDelete1, false);
    controls_.SetButtonEnabled(Button::cmdFix, false);
    controls_.SetDetailText(Text());
    controls_.SetDetailCaption(Text());

    const ScanResult scan = ScanIfeo(session_.registry(), kIfeoKeyPath, EntryKind::kDebugger, kCommandKept);
    if (scan.opened()) {
        // A key whose own list could not be read whole, with nothing found,
        // leaves the window as it is, as for an IFEO key that cannot be opened.
        if (!scan.entries.empty() || scan.listedWhole()) ShowEntries(scan);
        // Said once, after the list: a subkey the scan could not open may hold
        // the very redirection built to hide (the loader may read what we cannot).
        const std::vector<Text> unread = UnreadSubkeys(scan);
        if (!unread.empty()) {
            controls_.ShowForm();
            controls_.ShowMessage(texts::UnreadNotice(unread), texts::kNoticeTitle, kNoticeStyle);
        }
    }
    // Said once, over the first list: what it shows may not be the newest
    // state, or may not be changed.
    const Text warning = session_.Warning();
    if (!warned_ && !warning.empty()) {
        warned_ = true;
        controls_.ShowForm();
        controls_.ShowMessage(warning, texts::kWarningTitle, kWarningStyle);
    }
}

void FrmMain::ShowEntries(const ScanResult& scan) {
    controls_.ListClear();
    std::size_t recorded = 0;
    for (const Entry& entry : scan.entries) {
        // The table holds the first matches met; later ones are not listed,
        // so list, table and count always agree.
        if (recorded < kTableSize && Record(entry, recorded)) ++recorded;
    }
    if (recorded > 0) {
        controls_.SetCountCaption(texts::CountCaption(recorded));
        controls_.SetButtonEnabled(Button::cmdFix, true);
        return;
    }
    controls_.ShowForm();
    controls_.SetCountCaption(texts::CountCaption(0));
    // "Nothing found" is said only of a key read whole, in its newest state.
    if (scan.complete() && session_.Current()) controls_.ShowMessage(texts::kNothingFound, texts::kNoticeTitle, kNoticeStyle);
}

bool FrmMain::Record(const Entry& entry, std::size_t recorded) {
    const int placed = controls_.ListAdd(entry.name);
    // A list that could not take the line reports a negative index.
    if (placed < 0 || static_cast<std::size_t>(placed) > recorded) return false;
    const auto index = static_cast<std::size_t>(placed);
    for (std::size_t i = recorded; i > index; --i) {
        strDebugger[i] = std::move(strDebugger[i - 1]);
        strKeyName[i] = std::move(strKeyName[i - 1]);
        commandLength[i] = commandLength[i - 1];
    }
    strDebugger[index] = entry.command;
    strKeyName[index] = entry.name;
    commandLength[index] = entry.commandLength;
    return true;
}

void FrmMain::lstListKey_Click() {
    const int selected = controls_.ListSelectedIndex();
    // A click that selected nothing explains nothing (and reads no entry).
    if (selected < 0 || static_cast<std::size_t>(selected) >= kTableSize) return;
    const Text name = controls_.ListSelectedText();

    controls_.SetButtonEnabled(Button::cmdDelete, true);
    controls_.SetButtonEnabled(Button::cmdDelete1, true);
    controls_.SetDetailColor(kLabelRed);
    controls_.SetDetailCaption(texts::DetailHeading(name));
    const auto index = static_cast<std::size_t>(selected);
    const Text& command = strDebugger[index];
    const bool whole = command.size() <= kCommandShown && commandLength[index] <= command.size();
    controls_.SetDetailText(texts::DetailAdvice(
        name, whole ? command : texts::CutCommand(command, kCommandShown, commandLength[index])));
}

// Every repair ends quietly on the first failure of the registry. On a hive
// file, a copy is made before the first change and each change is written
// at once: a copy or a write that fails is said, never the success notice,
// and the list stays as it was. On success the order is fixed: notice, then
// the scan, then the key the repair opened is closed (`opened`, at the end
// of Repair).

bool FrmMain::MayChange() {
    Text message;
    if (session_.BeforeChange(&message) == kRegOk) return true;
    controls_.ShowMessage(message, texts::kWarningTitle, kWarningStyle);
    return false;
}

bool FrmMain::Kept(const RepairResult& result) {
    if (result.changes.empty()) return result.succeeded();
    Text message;
    if (session_.AfterChange(&message) == kRegOk) return result.succeeded();
    controls_.ShowMessage(message, texts::kWarningTitle, kWarningStyle);
    return false;
}

void FrmMain::Repair(const Text& action, const std::vector<Text>& names, const Text& notice, const Change& change) {
    if (!MayChange()) return;
    Registry& registry = session_.registry();
    UniqueKey opened(registry);
    const auto undo = session_.UndoFor(action, names);
    if (!Kept(change(registry, &opened, undo.get()))) return;
    controls_.ShowMessage(notice, texts::kNoticeTitle, kNoticeStyle);
    Form_Load();
}

void FrmMain::cmdDelete_Click() {
    const Text name = controls_.ListSelectedText();
    Repair(texts::kManualRepairAction, {name}, texts::kRepaired,
           [&name](Registry& registry, UniqueKey* opened, UndoKeeper* undo) {
               return RemoveDebugger(registry, name, opened, undo);
           });
}

void FrmMain::cmdDelete1_Click() {
    const Text name = controls_.ListSelectedText();
    Repair(texts::kManualDeleteAction, {name}, texts::kDeleted,
           [&name](Registry& registry, UniqueKey* opened, UndoKeeper* undo) {
               return DeleteEntry(registry, name, opened, undo);
           });
}

void FrmMain::cmdFix_Click() {
    if (controls_.ShowMessage(texts::kConfirmFix, texts::kWarningTitle, kConfirmStyle) != kAnswerOk) return;
    const auto lines = static_cast<std::size_t>(std::clamp(controls_.ListCount(), 0, static_cast<int>(kTableSize)));
    const std::vector<Text> names(strKeyName.begin(), strKeyName.begin() + static_cast<std::ptrdiff_t>(lines));
    Repair(texts::kAutoFixAction, names, texts::kAllDeleted,
           [&names](Registry& registry, UniqueKey* opened, UndoKeeper* undo) {
               return DeleteEntries(registry, names, opened, undo);
           });
}

void FrmMain::cmdQuit_Click() { controls_.EndProgram(); }

}  // namespace vornex
