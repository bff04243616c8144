#include "cli/commands.h"

#include <algorithm>

#include "cli/dry_run_registry.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "core/display_text.h"
#include "core/registry_upcase.h"
#include "core/extended_scan.h"
#include "core/ifeo_repair.h"
#include "core/ifeo_scan.h"

namespace vornex::cli {

namespace {

void SortEntries(std::vector<Entry>& entries, const Compare& compare) {
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return compare(a.name, b.name) < 0; });
}

void Append(ScanResult& into, ScanResult&& more) {
    for (Entry& e : more.entries) into.entries.push_back(std::move(e));
    for (ReadFailure& f : more.unread) into.unread.push_back(std::move(f));
}

bool SameEntries(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].command != b[i].command) return false;
    }
    return true;
}

// What the window does not show: the 32-bit view's own IFEO key, and the
// filter, silent-exit and verifier places of both views.
ScanResult WiderScan(Source& source, const ScanResult& native, const Compare& compare) {
    ScanResult wider;
    Registry& registry = *source.registry;
    const bool wow64Separate = Wow64IfeoIsSeparate(registry);
    if (wow64Separate) {
        ScanResult wow64 = ScanIfeo(registry, kWow64IfeoKeyPath, EntryKind::kWow64Debugger);
        SortEntries(wow64.entries, compare);
        // On a live system the 32-bit path may lead to the native key itself
        // (a shared key); the same list twice is then one key, not two.
        if (source.offline || !SameEntries(wow64.entries, native.entries)) Append(wider, std::move(wow64));
    }
    Append(wider, ScanExtended(registry, kCurrentVersion));
    if (wow64Separate) Append(wider, ScanExtended(registry, kWow64CurrentVersion));
    return wider;
}

int ExitFor(const ScanResult& scan, const Source& source) {
    if (!scan.unread.empty() || source.stale) return kExitIncomplete;
    return scan.entries.empty() ? kExitClean : kExitFound;
}

// Why a change failed, in words; the code follows for a search.
std::string Reason(const RepairFailure& failure) {
    // The entry's name: what follows the IFEO key in the failed change's path.
    const Text name = failure.attempted.key.substr(std::min(failure.attempted.key.size(), kIfeoKeyPath.size() + 1));
    switch (failure.code) {
        case kRegAccessDenied: return Words(Msg::kReasonAccessDenied);
        case kRegKeyHasChildren:
            return Say(Msg::kReasonHasSubkeys, {ToUtf8(EscapedName(name))});
        case kRegBadDatabase: return Words(Msg::kReasonDamaged);
        case kRegFileNotFound: return Words(Msg::kReasonGone);
        case kRegKeyDeleted: return Words(Msg::kReasonDeletedMeanwhile);
        case kRegCantResolveFilename: return Words(Msg::kReasonBadLink);
        case kRegBadPathname: return Words(Msg::kReasonBackslash);
        case kRegWriteProtect: return Words(Msg::kReasonReadOnly);
        case kRegDiskFull: return Words(Msg::kReasonDiskFull);
        case kRegInvalidSecurityDescr: return Words(Msg::kReasonSecurityMismatch);
        default: return Words(Msg::kReasonRefused);
    }
}

std::string FailureLine(const RepairFailure& failure) {
    const Msg verb = failure.attempted.kind == Change::Kind::kTookOverSecurity   ? Msg::kCouldNotTakeOver
                     : failure.attempted.kind == Change::Kind::kRestoredSecurity ? Msg::kCouldNotRestore
                                                                                 : Msg::kCouldNotDelete;
    return Say(Msg::kCouldNotDo, {Words(verb), ToUtf8(DisplayEscaped(ChangeText(failure.attempted))), Reason(failure),
                                  std::to_string(failure.code)});
}

HiveState HiveStateOf(const Source& source) {
    return {source.recovery, source.recoveryNote, source.logsApplied, source.stale};
}

bool Listed(const ScanResult& scan, const Text& name) {
    return std::any_of(scan.entries.begin(), scan.entries.end(), [&](const Entry& e) { return e.name == name; });
}

// One more line for standard error; main puts the program's name before the first.
void AddLine(std::string* err, const std::string& line) {
    *err += (err->empty() ? "" : "\nvornex-cli: ") + line;
}

std::string UndoRefusedLine(const UndoTarget& undo) {
    std::string places;
    for (const UndoFolderRefusal& refusal : undo.refusals()) {
        places += (places.empty() ? "" : "; ") +
                  Say(Msg::kFolderError, {ToUtf8(DisplayEscaped(refusal.folder)), std::to_string(refusal.code)});
    }
    return Say(Msg::kUndoRefused, {places});
}

}  // namespace

int CompareIgnoringCase(const Text& a, const Text& b) { return RegistryNamesCompare(a, b); }

Outcome RunCommand(const Options& options, Source& source, const Compare& compare) {
    DryRunRegistry dryRun(*source.registry);
    Registry& registry = options.dryRun ? dryRun : *source.registry;

    ScanResult scan = ScanIfeo(registry);
    if (!scan.opened()) {
        return {kExitUsage, "",
                Say(Msg::kCannotOpenIfeo, {ToUtf8(KeyDisplay(kIfeoKeyPath)), std::to_string(scan.openResult),
                                           source.openHint.empty() ? "" : "; " + source.openHint})};
    }
    SortEntries(scan.entries, compare);
    const std::string sourceKind = source.offline ? "hive" : "registry";

    if (options.command == Command::kScan) {
        if (options.all) {
            Append(scan, WiderScan(source, scan, compare));
        }
        const ScanReport report{sourceKind, source.path, HiveStateOf(source), options.all, scan.entries, scan.unread};
        Outcome outcome;
        outcome.exitCode = ExitFor(scan, source);
        switch (options.format) {
            case Format::kText: outcome.out = ScanText(report); break;
            case Format::kJson: outcome.out = ScanJson(report); break;
            case Format::kCsv: outcome.out = ScanCsv(report); break;
        }
        if (!scan.unread.empty()) outcome.err = IncompleteLine(scan.unread.size());
        if (source.stale) AddLine(&outcome.err, StaleLine());
        return outcome;
    }

    RepairReport report;
    report.sourceKind = sourceKind;
    report.sourcePath = source.path;
    report.hive = HiveStateOf(source);
    report.name = options.name;
    report.dryRun = options.dryRun;
    RepairResult repair;
    std::vector<Text> names;
    if (options.command == Command::kDeleteAll) {
        report.command = "delete-all";
        for (const Entry& e : scan.entries) names.push_back(e.name);
    } else {
        report.command = options.command == Command::kRepair ? "repair" : "delete";
        if (!Listed(scan, options.name)) {
            return {kExitUsage, "",
                    Say(Msg::kNotListed, {ToUtf8(EscapedName(options.name))})};
        }
        names = {options.name};
    }
    // As in the window: the automatic repair is there only while something is listed.
    std::unique_ptr<UndoTarget> undo;
    if (!names.empty() && source.undo && !options.noUndo) undo = source.undo(report.command, names);
    UndoKeeper* keeper = options.dryRun ? nullptr : undo.get();
    if (options.command == Command::kDeleteAll) {
        if (!names.empty()) repair = DeleteEntries(registry, names, nullptr, keeper, AfterFailure::kGoOn);
    } else if (options.command == Command::kRepair) {
        repair = RemoveDebugger(registry, options.name, nullptr, keeper);
    } else {
        repair = DeleteEntry(registry, options.name, nullptr, keeper);
    }
    if (undo) {
        if (keeper && undo->path().empty() && !undo->refusals().empty()) return {kExitUsage, "", UndoRefusedLine(*undo)};
        report.undo = options.dryRun ? undo->Planned() : undo->path();
        report.notRestorable = undo->notRestorable();
    }
    report.succeeded = repair.succeeded();
    report.changes = repair.changes;

    if (!options.dryRun && !report.changes.empty() && source.commit) {
        std::string error;
        if (!source.commit(&report.backup, &error)) {
            return {kExitRepairFailed, "", Say(Msg::kChangesNotWritten, {error})};
        }
    }
    ScanResult after = ScanIfeo(registry);
    SortEntries(after.entries, compare);
    report.remaining = after.entries;
    report.unread = after.unread;

    Outcome outcome;
    outcome.out = options.format == Format::kJson ? RepairJson(report) : RepairText(report);
    for (const Text& item : report.notRestorable) {
        AddLine(&outcome.err, Say(Msg::kUndoCannotRestore, {ToUtf8(DisplayEscaped(item))}));
    }
    if (!repair.failures.empty()) {
        for (const RepairFailure& failure : repair.failures) AddLine(&outcome.err, FailureLine(failure));
        outcome.exitCode = kExitRepairFailed;
    } else {
        outcome.exitCode = after.opened() ? ExitFor(after, source) : kExitIncomplete;
        if (!after.unread.empty()) AddLine(&outcome.err, IncompleteLine(after.unread.size()));
    }
    return outcome;
}

}  // namespace vornex::cli
