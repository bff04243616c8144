#include "cli/commands.h"

#include "cli/journal_registry.h"
#include "cli/output.h"
#include "cli/remapped_registry.h"
#include "ifeo/extended_scan.h"
#include "ifeo/frm_main.h"
#include "ifeo/texts.h"

namespace vornex::cli {

namespace {

const Text kWow64IfeoPath = extended::kWow64CurrentVersion + u'\\' + extended::kIfeoName;

// The window's list, line by line, with the command its table holds.
std::vector<Finding> Listed(const FrmMain& form, const HeadlessControls& controls, FindingKind kind,
                            const Text& ifeoPath) {
    std::vector<Finding> found;
    for (std::size_t i = 0; i < controls.lines().size() && i < FrmMain::kTableSize; ++i) {
        found.push_back({kind, form.strKeyName[i], form.strDebugger[i], ifeoPath + u'\\' + form.strKeyName[i],
                         Text()});
    }
    return found;
}

bool SameEntries(const std::vector<Finding>& a, const std::vector<Finding>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].command != b[i].command) return false;
    }
    return true;
}

// What the window does not show: the 32-bit view's own IFEO key, read with
// the window's own scan, and the filter, silent-exit and verifier places.
std::vector<Finding> WiderScan(Source& source, const std::vector<Finding>& windowList,
                               const HeadlessControls::Compare& compare) {
    std::vector<Finding> found;
    Registry& registry = *source.registry;
    const bool wow64Separate = Wow64IfeoIsSeparate(registry);
    if (wow64Separate) {
        RemappedRegistry remapped(registry, texts::kIfeoKeyPath, kWow64IfeoPath);
        HeadlessControls controls(false, compare);
        FrmMain form(remapped, controls);
        form.Form_Load();
        std::vector<Finding> wow64 = Listed(form, controls, FindingKind::kWow64Debugger, kWow64IfeoPath);
        // On a live system the 32-bit path may lead to the native key itself
        // (a shared key); the same list twice is then one key, not two.
        if (source.offline || !SameEntries(wow64, windowList)) {
            found.insert(found.end(), wow64.begin(), wow64.end());
        }
    }
    for (const Finding& f : ScanExtended(registry, extended::kCurrentVersion)) found.push_back(f);
    if (wow64Separate) {
        for (const Finding& f : ScanExtended(registry, extended::kWow64CurrentVersion)) found.push_back(f);
    }
    return found;
}

std::string ChangeLine(const JournalRegistry::Change& change) {
    return (change.deleteKey ? "key " : "value " + ToUtf8(Escaped(change.value)) + " of ") +
           ToUtf8(Escaped(KeyDisplay(change.key)));
}

}  // namespace

Outcome RunCommand(const Options& options, Source& source, const HeadlessControls::Compare& compare) {
    Outcome outcome;
    const bool deleteAll = options.command == Command::kDeleteAll;
    JournalRegistry journal(*source.registry, options.dryRun);
    HeadlessControls controls(options.yes || (deleteAll && options.dryRun), compare);
    FrmMain form(journal, controls);

    form.Form_Load();
    const auto damaged = [&]() { return source.damage ? source.damage() : std::string(); };
    if (!damaged().empty()) return {kExitUsage, "", damaged()};
    if (!controls.listCleared()) {
        return {kExitUsage, "",
                "cannot open " + ToUtf8(KeyDisplay(texts::kIfeoKeyPath)) +
                    (source.openHint.empty() ? "" : " (" + source.openHint + ")")};
    }
    const std::vector<Finding> listed = Listed(form, controls, FindingKind::kDebugger, texts::kIfeoKeyPath);
    const std::string sourceKind = source.offline ? "hive" : "registry";

    if (options.command == Command::kScan) {
        ScanReport report{sourceKind, source.path, options.all, listed};
        if (options.all) {
            for (const Finding& f : WiderScan(source, listed, compare)) report.entries.push_back(f);
            if (!damaged().empty()) return {kExitUsage, "", damaged()};
        }
        outcome.exitCode = report.entries.empty() ? kExitClean : kExitFound;
        switch (options.format) {
            case Format::kText: outcome.out = ScanText(report); break;
            case Format::kJson: outcome.out = ScanJson(report); break;
            case Format::kCsv: outcome.out = ScanCsv(report); break;
        }
        return outcome;
    }

    RepairReport report;
    report.sourceKind = sourceKind;
    report.sourcePath = source.path;
    report.name = options.name;
    report.dryRun = options.dryRun;
    Text success;
    if (deleteAll) {
        report.command = "delete-all";
        // As in the window: automatic repair is there only while something is listed.
        if (listed.empty()) {
            report.succeeded = true;
            outcome.out = options.format == Format::kJson ? RepairJson(report) : RepairText(report);
            return outcome;
        }
        success = texts::kAllDeleted;
        controls.ResetObservations();
        form.cmdFix_Click();
    } else {
        const bool repair = options.command == Command::kRepair;
        report.command = repair ? "repair" : "delete";
        if (!controls.SelectByName(options.name)) {
            return {kExitUsage, "", "no listed entry is named exactly \"" + ToUtf8(Escaped(options.name)) +
                                        "\" (see vornex-cli scan)"};
        }
        success = repair ? texts::kRepaired : texts::kDeleted;
        controls.ResetObservations();
        if (repair) form.cmdDelete_Click();
        else form.cmdDelete1_Click();
    }
    report.succeeded = controls.Shown(success);
    report.changes = journal.Done();
    // A hive that showed damage is not written, whatever was changed in memory.
    if (!damaged().empty()) return {kExitUsage, "", damaged() + "; nothing was written"};

    if (!options.dryRun && !report.changes.empty() && source.commit) {
        std::string error;
        if (!source.commit(&report.backup, &error)) {
            return {kExitRepairFailed, "", "the changes could not be written: " + error};
        }
    }
    report.remaining = Listed(form, controls, FindingKind::kDebugger, texts::kIfeoKeyPath);
    outcome.out = options.format == Format::kJson ? RepairJson(report) : RepairText(report);
    if (!report.succeeded) {
        const JournalRegistry::Change* failure = journal.FirstFailure();
        outcome.err = failure ? "could not delete " + ChangeLine(*failure) + " (error " +
                                    std::to_string(failure->result) + ")"
                              : "could not open the key to change";
        outcome.exitCode = kExitRepairFailed;
    } else {
        outcome.exitCode = report.remaining.empty() ? kExitClean : kExitFound;
    }
    return outcome;
}

}  // namespace vornex::cli
