#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include "app/main_window_controls.h"
#include "app/registry_session.h"
#include "core/ifeo.h"
#include "core/ifeo_repair.h"

namespace vornex {

// The behaviour of frmMain: its event handlers and the hijack table they
// share. The handlers ask the IFEO core to scan and repair and show what it
// did; they reach the window only through MainWindowControls, so the same
// code runs in the real window and in tests.
class FrmMain {
public:
    static constexpr std::size_t kTableSize = 201;
    static constexpr std::uint32_t kLabelRed = 0x0000FF;
    // The longest command Windows can start; a longer Debugger value can never
    // run, and the table keeps no more of one than this.
    static constexpr std::size_t kCommandKept = 32767;
    // The most of a command the advice shows whole: the text box lays out a
    // longer one too slowly (its wrapping grows with the square of the length).
    static constexpr std::size_t kCommandShown = 4096;

    FrmMain(RegistrySession& session, MainWindowControls& controls)
        : session_(session), controls_(controls) {}

    // Before the window is first shown: opens the registry it is to show and
    // names it in the caption; false (said, the repair buttons disabled) when
    // it cannot be opened, and then Form_Load does not run.
    bool Form_Initialize();
    void Form_Load();
    void lstListKey_Click();
    void cmdDelete_Click();
    void cmdDelete1_Click();
    void cmdFix_Click();
    void cmdQuit_Click();

    // The hijack table: entry i belongs to line i of lstListKey.
    std::array<Text, kTableSize> strDebugger;
    std::array<Text, kTableSize> strKeyName;
    // The whole length of each command, of which strDebugger may keep less.
    std::array<std::size_t, kTableSize> commandLength{};

private:
    // Fills list, table and count from a scan; says when nothing was found.
    void ShowEntries(const ScanResult& scan);
    // Adds the line and stores the entry at the index the list placed it.
    bool Record(const Entry& entry, std::size_t recorded);
    // Whether a repair may change anything now; says why not.
    bool MayChange();
    // Makes what a repair changed lasting; false when it failed or could not
    // be kept (said).
    bool Kept(const RepairResult& result);
    // The one course of every button's repair: refused where the session
    // says so, the change made with its undo record, kept, then the notice
    // and a new scan.
    using Change = std::function<RepairResult(Registry&, UniqueKey* opened, UndoKeeper* undo)>;
    void Repair(const Text& action, const std::vector<Text>& names, const Text& notice, const Change& change);

    RegistrySession& session_;
    MainWindowControls& controls_;
    bool warned_ = false;
};

}  // namespace vornex
