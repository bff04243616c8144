#include <algorithm>

#include "frm_main.h"
#include "texts.h"

namespace vornex {

// Every repair ends quietly on the first failure. On success the order is
// fixed: notice, then the scan, then the handler's own key is closed (by
// UniqueKey at the end of the scope).

void FrmMain::cmdDelete_Click() {
    const Text name = controls_.ListSelectedText();
    // Without a name the path would be the IFEO key itself.
    if (name.empty()) return;
    UniqueKey subkey(registry_);
    if (!subkey.Open(kLocalMachine, texts::kIfeoKeyPath + u'\\' + name)) return;
    if (registry_.DeleteValue(subkey.get(), texts::kDebuggerValue) != kRegOk) return;
    controls_.ShowMessage(texts::kRepaired, texts::kNoticeTitle, kNoticeStyle);
    Form_Load();
}

void FrmMain::cmdDelete1_Click() {
    UniqueKey ifeo(registry_);
    if (!ifeo.Open(kLocalMachine, texts::kIfeoKeyPath)) return;
    const Text name = controls_.ListSelectedText();
    // An empty subkey name would delete the IFEO key itself.
    if (name.empty()) return;
    if (registry_.DeleteKey(ifeo.get(), name) != kRegOk) return;
    controls_.ShowMessage(texts::kDeleted, texts::kNoticeTitle, kNoticeStyle);
    Form_Load();
}

void FrmMain::cmdFix_Click() {
    if (controls_.ShowMessage(texts::kConfirmFix, texts::kWarningTitle, kConfirmStyle) !=
        kAnswerOk) {
        return;
    }
    UniqueKey ifeo(registry_);
    if (!ifeo.Open(kLocalMachine, texts::kIfeoKeyPath)) return;
    const int lines = std::clamp(controls_.ListCount(), 0, static_cast<int>(kTableSize));
    for (int i = 0; i < lines; ++i) {
        const Text& name = strKeyName[static_cast<std::size_t>(i)];
        if (name.empty() || registry_.DeleteKey(ifeo.get(), name) != kRegOk) return;
    }
    controls_.ShowMessage(texts::kAllDeleted, texts::kNoticeTitle, kNoticeStyle);
    Form_Load();
}

void FrmMain::cmdQuit_Click() { controls_.EndProgram(); }

}  // namespace vornex
