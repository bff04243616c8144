#include <algorithm>
#include <vector>

#include "frm_main.h"
#include "texts.h"

namespace vornex {

namespace {

bool IsDebuggerName(const Text& name) {
    static const Text kLowered = u"debugger";
    if (name.size() != kLowered.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        if (c != kLowered[i]) return false;
    }
    return true;
}

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
    std::vector<char16_t> valueName(kValueNameCapacity);
    std::size_t recorded = 0;
    for (std::uint32_t j = 0; j < subkeyCount; ++j) {
        auto length = static_cast<std::uint32_t>(keyName.size());
        if (registry_.EnumKey(ifeo.get(), j, keyName.data(), &length) != kRegOk) continue;
        const Text name = ExactName(keyName, length);
        // A name with a NUL inside cannot be opened by its exact name, and the
        // loader never looks one up; its text before the NUL names another key.
        if (name.find(u'\0') != Text::npos) continue;
        const std::optional<Text> command = FindDebuggerCommand(name, valueName);
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

std::optional<Text> FrmMain::FindDebuggerCommand(const Text& subkeyName,
                                                 std::vector<char16_t>& nameBuffer) {
    UniqueKey subkey(registry_);
    if (!subkey.Open(kLocalMachine, texts::kIfeoKeyPath + u'\\' + subkeyName)) {
        return std::nullopt;
    }
    std::optional<Text> command;
    std::vector<unsigned char> data;
    for (std::uint32_t k = 0;; ++k) {
        auto nameLength = static_cast<std::uint32_t>(nameBuffer.size());
        std::uint32_t type = 0;
        std::uint32_t dataSize = 0;
        if (registry_.EnumValue(subkey.get(), k, nameBuffer.data(), &nameLength, &type, nullptr,
                                &dataSize) != kRegOk) {
            break;
        }
        if (type != kRegSz || !IsDebuggerName(ExactName(nameBuffer, nameLength))) {
            continue;
        }
        // Fetch the data of the one value that can match. A value changed
        // since the size query makes this fail; it is then not taken, rather
        // than read from a buffer the call may not have filled.
        data.assign(dataSize, 0);
        nameLength = static_cast<std::uint32_t>(nameBuffer.size());
        std::uint32_t dataLength = dataSize;
        if (registry_.EnumValue(subkey.get(), k, nameBuffer.data(), &nameLength, &type,
                                data.empty() ? nullptr : data.data(), &dataLength) != kRegOk) {
            continue;
        }
        if (type == kRegSz && IsDebuggerName(ExactName(nameBuffer, nameLength))) {
            command = TextFromRegistryData(data.data(), std::min<std::size_t>(dataLength, data.size()));
        }
    }
    return command;
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
