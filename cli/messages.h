#pragma once
// Every sentence vornex-cli says to a person, in English and in Simplified
// Chinese (the window's words). JSON, CSV, exit codes and the words of the
// command line itself (commands, options, step and kind names) stay as they are.
#include <cstddef>
#include <initializer_list>
#include <string>

#include "cli/language.h"
#include "core/text.h"

namespace vornex::cli {

enum class Msg {
    kUsage,
    kHiveNeedsFile,
    kHiveTwice,
    kJsonCsvExclusive,
    kUndoDirNeedsFolder,
    kUnknownOption,
    kNoCommand,
    kUnknownCommand,
    kNeedsOneName,
    kTakesNoName,
    kNameEmpty,
    kDryRunForRepairs,
    kAllCsvForScan,
    kUndoForRepairs,
    kUndoDirLiveOnly,
    kUndoExclusive,
    kDeleteAllNeedsYes,
    kSeeHelp,
    kNoLiveRegistry,
    kHiveInUse,
    kWithHint,
    kElevatedPrompt,
    kSudo,
    kSoftwareHiveHint,
    kLogNotRead,
    kOutputNotWritten,
    kCannotGoOn,
    kCannotOpenIfeo,
    kNotListed,
    kUndoRefused,
    kFolderError,
    kChangesNotWritten,
    kUndoCannotRestore,
    kCouldNotDo,
    kReasonAccessDenied,
    kReasonHasSubkeys,
    kReasonDamaged,
    kReasonGone,
    kReasonDeletedMeanwhile,
    kReasonBadLink,
    kReasonBackslash,
    kReasonReadOnly,
    kReasonDiskFull,
    kReasonSecurityMismatch,
    kReasonRefused,
    kCouldNotDelete,
    kCouldNotTakeOver,
    kCouldNotRestore,
    kWouldDelete,
    kDeleted,
    kWouldTakeOver,
    kTookOver,
    kWouldRestore,
    kRestored,
    kChangeValue,
    kChangeKey,
    kChangeLink,
    kChangeTakeOver,
    kChangeRestore,
    kThroughLink,
    kUnreadLine,
    kHiveStale,
    kHiveLogsApplied,
    kStaleLine,
    kIncompleteOne,
    kIncompleteMany,
    kHiveBackup,
    kUndoFileWouldBe,
    kUndoFile,
    kRedirectionsLeftOne,
    kRedirectionsLeftMany,
    kCount  // not a message: how many there are
};

// The language of every message from now on (English until set).
void SetLanguage(Language language);
// A message in that language, as it is.
const char* Words(Msg id);
// A message with {1}, {2}, ... replaced by these texts, in that language.
std::string Say(Msg id, std::initializer_list<std::string> args = {});
// The same for UTF-16 texts (names that UTF-8 cannot carry, lone surrogates, stay as they are).
Text SayText(Msg id, std::initializer_list<Text> args);

}  // namespace vornex::cli
