#pragma once
#include <array>
#include <cstddef>

#include "app/main_window_controls.h"
#include "core/registry.h"

namespace vornex {

// The behaviour of frmMain: its event handlers and the hijack table they
// share. The handlers ask the IFEO core to scan and repair and show what it
// did; they reach the window only through MainWindowControls, so the same
// code runs in the real window and in tests.
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
    // Adds the line and stores the entry at the index the list placed it.
    bool Record(const Text& subkeyName, const Text& command, std::size_t recorded);

    Registry& registry_;
    MainWindowControls& controls_;
};

}  // namespace vornex
