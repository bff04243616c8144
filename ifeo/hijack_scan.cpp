#include <algorithm>
#include <vector>

#include "frm_main.h"
#include "texts.h"

namespace vornex {

namespace {

// The name an enumeration reported, by its reported length (a name may hold
// a NUL of its own: "Debugger\0x" is not the value the loader reads).
Text ExactName(const std::vector<char16_t>& buffer, std::uint32_t length) {
    return Text(buffer.data(), std::min<std::size_t>(length, buffer.size()));
}

}  // namespace

void FrmMain::Form_Load() {
    controls_.SetButtonEnabled(Button::cmdDelete, false);
    controls_.SetButtonEnabled(Button::cmdDelete1, false);
    controls_.SetButtonEnabled(Button::cmdFix, false);
    controls_.SetDetailText(Text());
    controls_.SetDetailCaption(Text());

    UniqueKey ifeo(registry_);
    if (!ifeo.Open(kLocalMachine, texts::kIfeoKeyPath)) return;
    controls_.ListClear();

    std::uint32_t subkeyCount = 0;
    std::uint32_t longestName = 0;
    registry_.QueryInfoKey(ifeo.get(), &subkeyCount, &longestName);

    std::vector<char16_t> keyName(static_cast<std::size_t>(longestName) + 1);
    std::size_t recorded = 0;
    for (std::uint32_t j = 0; j < subkeyCount; ++j) {
        auto length = static_cast<std::uint32_t>(keyName.size());
        if (registry_.EnumKey(ifeo.get(), j, keyName.data(), &length) != kRegOk) continue;
        const Text name = ExactName(keyName, length);
        // A name with a NUL inside cannot be opened by its exact name, and the
        // loader never looks one up; its text before the NUL names another key.
        if (name.find(u'\0') != Text::npos) continue;
        const std::optional<Text> command = FindDebuggerCommand(name);
        if (!command || name == texts::kExcludedSubkey) continue;
        // The table holds the first matches met; later ones are not listed,
        // so list, table and count always agree.
        if (recorded < kTableSize && Record(name, *command, recorded)) ++recorded;
    }
    ifeo.Reset();

    if (recorded > 0) {
        controls_.SetCountCaption(texts::CountCaption(recorded));
        controls_.SetButtonEnabled(Button::cmdFix, true);
    } else {
        controls_.ShowForm();
        controls_.SetCountCaption(texts::CountCaption(0));
        controls_.ShowMessage(texts::kNothingFound, texts::kNoticeTitle, kNoticeStyle);
    }
}

std::optional<Text> FrmMain::FindDebuggerCommand(const Text& subkeyName) {
    UniqueKey subkey(registry_);
    if (!subkey.Open(kLocalMachine, texts::kIfeoKeyPath + u'\\' + subkeyName)) {
        return std::nullopt;
    }
    // Value names are unique without regard to case, and only ASCII letters
    // fold to those of "debugger": the lookup by name finds the one value an
    // enumeration would match, in one call instead of one per value.
    std::uint32_t type = 0;
    std::uint32_t dataSize = 0;
    if (registry_.QueryValue(subkey.get(), texts::kDebuggerValue, &type, nullptr, &dataSize) != kRegOk ||
        type != kRegSz) {
        return std::nullopt;
    }
    // A value changed since the size query makes this fail; it is then not
    // taken, rather than read from a buffer the call may not have filled.
    std::vector<unsigned char> data(dataSize, 0);
    std::uint32_t dataLength = dataSize;
    if (registry_.QueryValue(subkey.get(), texts::kDebuggerValue, &type,
                             data.empty() ? nullptr : data.data(), &dataLength) != kRegOk ||
        type != kRegSz) {
        return std::nullopt;
    }
    return TextFromRegistryData(data.data(), std::min<std::size_t>(dataLength, data.size()));
}

bool FrmMain::Record(const Text& subkeyName, const Text& command, std::size_t recorded) {
    const int placed = controls_.ListAdd(subkeyName);
    // A list that could not take the line reports a negative index.
    if (placed < 0 || static_cast<std::size_t>(placed) > recorded) return false;
    const auto index = static_cast<std::size_t>(placed);
    for (std::size_t i = recorded; i > index; --i) {
        strDebugger[i] = std::move(strDebugger[i - 1]);
        strKeyName[i] = std::move(strKeyName[i - 1]);
    }
    strDebugger[index] = command;
    strKeyName[index] = subkeyName;
    return true;
}

}  // namespace vornex
