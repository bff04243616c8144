#pragma once
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "main_window_controls.h"
#include "registry.h"

namespace vornex {

// The behaviour of frmMain: its event handlers and the hijack table they
// share. It reaches the registry and the window only through the two
// interfaces it is given, so the same code runs in the real window and in tests.
class FrmMain {
public:
    static constexpr std::size_t kTableSize = 201;
    static constexpr std::uint32_t kLabelRed = 0x0000FF;

    FrmMain(Registry& registry, MainWindowControls& controls)
        : registry_(registry), controls_(controls) {}

    void Form_Load();
    void lstListKey_Click();
    void cmdDelete_Click();
    void cmdDelete1_Click();
    void cmdFix_Click();
    void cmdQuit_Click();

    // The hijack table: entry i belongs to line i of lstListKey.
    std::array<Text, kTableSize> strDebugger;
    std::array<Text, kTableSize> strKeyName;

private:
    // The command of the subkey's REG_SZ Debugger value, if it has one.
    std::optional<Text> FindDebuggerCommand(const Text& subkeyName);
    // Adds the line and stores the entry at the index the list placed it.
    bool Record(const Text& subkeyName, const Text& command, std::size_t recorded);

    Registry& registry_;
    MainWindowControls& controls_;
};

}  // namespace vornex
