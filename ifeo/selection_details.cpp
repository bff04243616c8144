#include "frm_main.h"
#include "texts.h"

namespace vornex {

void FrmMain::lstListKey_Click() {
    const int selected = controls_.ListSelectedIndex();
    // A click that selected nothing explains nothing (and reads no entry).
    if (selected < 0 || static_cast<std::size_t>(selected) >= kTableSize) return;
    const Text name = controls_.ListSelectedText();

    controls_.SetButtonEnabled(Button::cmdDelete, true);
    controls_.SetButtonEnabled(Button::cmdDelete1, true);
    controls_.SetDetailColor(kLabelRed);
    controls_.SetDetailCaption(texts::DetailHeading(name));
    const Text& command = strDebugger[static_cast<std::size_t>(selected)];
    controls_.SetDetailText(texts::DetailAdvice(name, command));
}

}  // namespace vornex
