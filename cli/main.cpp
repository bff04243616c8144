// vornex-cli: the window's scan and repairs from a command line, on an
// offline SOFTWARE hive (--hive FILE) or, on Windows, the live registry.
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/language.h"
#include "cli/messages.h"
#include "cli/options.h"

#include "stores/hive/hive_session.h"

#ifdef _WIN32
#include <windows.h>

#include "stores/undo/undo_files.h"
#include "stores/undo/undo_name.h"
#include "stores/win32/win32_registry.h"
#endif

namespace {

using vornex::Text;
using namespace vornex::cli;

#ifdef _WIN32
// A console gets UTF-16 through WriteConsoleW, so that every character shows
// whatever the console's code page; a pipe or a file gets the UTF-8 bytes.
// False when the text could not be written whole.
bool Write(DWORD which, const std::string& utf8) {
    if (utf8.empty()) return true;
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const Text text = vornex::FromUtf8(utf8);
        DWORD written = 0;
        return WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.data()), static_cast<DWORD>(text.size()),
                             &written, nullptr) != 0;
    }
    const char* data = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return false;
        data += written;
        left -= written;
    }
    return true;
}
bool WriteOut(const std::string& text) { return Write(STD_OUTPUT_HANDLE, text); }
void WriteErr(const std::string& text) { Write(STD_ERROR_HANDLE, text); }

// The window's list box order: the user's locale, ignoring case.
int CompareLikeTheList(const Text& a, const Text& b) {
    const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, reinterpret_cast<const wchar_t*>(a.c_str()),
                                      static_cast<int>(a.size()), reinterpret_cast<const wchar_t*>(b.c_str()),
                                      static_cast<int>(b.size()));
    return result == 0 ? CompareIgnoringCase(a, b) : result - CSTR_EQUAL;
}
constexpr Msg kAdminHint = Msg::kElevatedPrompt;
#else
// False when the output could not be written whole (a full disk, a closed pipe).
bool WriteOut(const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written && !std::ferror(stdout);
}
void WriteErr(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

int CompareLikeTheList(const Text& a, const Text& b) { return CompareIgnoringCase(a, b); }
constexpr Msg kAdminHint = Msg::kSudo;
#endif

// The hive of --hive as the source. Only a command that changes something
// opens the file for writing; its dry run too, so that it is refused where
// the real run would be (a read-only medium, a lock, a stale hive), though
// it writes nothing. False with one line in *error.
bool OpenHive(const Options& options, std::unique_ptr<vornex::hive::HiveFileSession>* hive, Source* source,
              std::string* error) {
    using vornex::hive::HiveFileSession;
    const bool writes = options.command != Command::kScan;
    vornex::RegResult code = vornex::kRegOk;
    *hive = HiveFileSession::Open(options.hive, writes ? HiveFileSession::Mode::kWrite : HiveFileSession::Mode::kReadOnly,
                                  error, &code);
    if (!*hive) {
        if (code == vornex::kRegSharingViolation) {
            *error += Words(Msg::kHiveInUse);
        } else if (code == vornex::kRegAccessDenied) {
            *error += Say(Msg::kWithHint, {Words(kAdminHint)});
        }
        return false;
    }
    HiveFileSession& opened = **hive;
    source->registry = &opened.registry();
    source->offline = true;
    source->path = vornex::FromUtf8(options.hive);
    source->openHint = Words(Msg::kSoftwareHiveHint);
    for (const auto& refused : opened.logsRefused()) {
        WriteErr("vornex-cli: " + Say(Msg::kLogNotRead, {refused.why}) + "\n");
    }
    source->recovery = vornex::hive::RecoveryName(opened.recovery());
    source->recoveryNote = opened.recoveryNote();
    source->logsApplied = opened.logsApplied();
    source->stale = opened.Stale();
    source->commit = [&opened](std::string* backup, std::string* commitError) {
        if (!opened.Changed()) return true;
        return opened.Backup(backup, commitError) == vornex::kRegOk && opened.Commit(commitError) == vornex::kRegOk;
    };
    return true;
}

int Fail(int code, const std::string& message) {
    WriteErr("vornex-cli: " + message + "\n");
    return code;
}

int Run(const std::vector<Text>& args) try {
    SetLanguage(UserLanguage());
    Options options;
    std::string error;
    if (!ParseArguments(args, &options, &error)) {
        return Fail(kExitUsage, Say(Msg::kSeeHelp, {error}));
    }
    if (options.help) {
        return WriteOut(UsageText()) ? kExitClean : kExitUsage;
    }
    if (options.version) {
        return WriteOut("vornex-cli " VORNEX_VERSION "\n") ? kExitClean : kExitUsage;
    }
    Source source;
    std::unique_ptr<vornex::hive::HiveFileSession> hive;
#ifdef _WIN32
    vornex::Win32Registry live;
    if (!options.hiveGiven) {
        source.registry = &live;
        source.path = u"HKEY_LOCAL_MACHINE";
        source.openHint = Words(kAdminHint);
        source.undo = [dir = options.undoDir](const std::string& command, const std::vector<Text>& names) {
            const Text name =
                vornex::UndoFileName(vornex::LocalStamp(), vornex::FromUtf8(command), vornex::UndoEntryName(names));
            return std::make_unique<vornex::UndoFiles>(dir.empty() ? vornex::DefaultUndoFolders() : std::vector<Text>{dir},
                                                       name);
        };
    }
#else
    if (!options.hiveGiven) {
        return Fail(kExitUsage, Words(Msg::kNoLiveRegistry));
    }
#endif
    if (options.hiveGiven && !OpenHive(options, &hive, &source, &error)) return Fail(kExitUsage, error);
    Outcome outcome = RunCommand(options, source, CompareLikeTheList);
    if (!WriteOut(outcome.out)) {
        // Whatever was done is done; the caller must not take the silence for a result.
        return Fail(kExitUsage, Words(Msg::kOutputNotWritten));
    }
    if (!outcome.err.empty()) WriteErr("vornex-cli: " + outcome.err + "\n");
    return outcome.exitCode;
} catch (const std::exception& error) {
    // Out of memory on a huge or hostile hive, say: a message, not a crash.
    return Fail(kExitUsage, Say(Msg::kCannotGoOn, {error.what()}));
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<Text> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        args.emplace_back(arg.begin(), arg.end());
    }
    return Run(args);
}
#else
int main(int argc, char** argv) {
    // A closed pipe is an error to report, not a signal to die of silently.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<Text> args;
    for (int i = 1; i < argc; ++i) args.push_back(vornex::FromUtf8(argv[i]));
    return Run(args);
}
#endif
