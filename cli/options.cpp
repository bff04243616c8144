#include "cli/options.h"

#include "cli/messages.h"
#include "cli/output.h"

namespace vornex::cli {

std::string UsageText() { return Words(Msg::kUsage); }

bool ParseArguments(const std::vector<Text>& args, Options* options, std::string* error) {
    std::vector<Text> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Text& arg = args[i];
        if (arg == u"--help" || arg == u"-h") {
            options->help = true;
        } else if (arg == u"--version") {
            options->version = true;
        } else if (arg == u"--hive") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = Words(Msg::kHiveNeedsFile);
                return false;
            }
            if (options->hiveGiven) {
                *error = Words(Msg::kHiveTwice);
                return false;
            }
            options->hive = ToUtf8(args[++i]);
            options->hiveGiven = true;
        } else if (arg == u"--json" || arg == u"--csv") {
            const Format format = arg == u"--json" ? Format::kJson : Format::kCsv;
            if (options->format != Format::kText && options->format != format) {
                *error = Words(Msg::kJsonCsvExclusive);
                return false;
            }
            options->format = format;
        } else if (arg == u"--undo-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = Words(Msg::kUndoDirNeedsFolder);
                return false;
            }
            options->undoDir = args[++i];
        } else if (arg == u"--no-undo") {
            options->noUndo = true;
        } else if (arg == u"--all") {
            options->all = true;
        } else if (arg == u"--dry-run") {
            options->dryRun = true;
        } else if (arg == u"--yes") {
            options->yes = true;
        } else if (arg == u"--") {
            words.insert(words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == u'-' && words.empty()) {
            *error = Say(Msg::kUnknownOption, {ToUtf8(arg)});
            return false;
        } else if (arg.size() > 1 && arg[0] == u'-' && arg[1] == u'-') {
            *error = Say(Msg::kUnknownOption, {ToUtf8(arg)});
            return false;
        } else {
            words.push_back(arg);
        }
    }
    if (options->help || options->version) return true;
    if (words.empty()) {
        *error = Words(Msg::kNoCommand);
        return false;
    }
    const Text& command = words[0];
    std::size_t wanted = 1;
    if (command == u"scan") {
        options->command = Command::kScan;
    } else if (command == u"repair") {
        options->command = Command::kRepair;
        wanted = 2;
    } else if (command == u"delete") {
        options->command = Command::kDelete;
        wanted = 2;
    } else if (command == u"delete-all") {
        options->command = Command::kDeleteAll;
    } else {
        *error = Say(Msg::kUnknownCommand, {ToUtf8(command)});
        return false;
    }
    if (words.size() != wanted) {
        *error = wanted == 2 ? Say(Msg::kNeedsOneName, {ToUtf8(command)})
                             : Say(Msg::kTakesNoName, {ToUtf8(command)});
        return false;
    }
    if (wanted == 2) {
        options->name = UnescapedName(words[1]);
        if (options->name.empty()) {
            *error = Words(Msg::kNameEmpty);
            return false;
        }
    }
    if (options->command == Command::kScan && options->dryRun) {
        *error = Words(Msg::kDryRunForRepairs);
        return false;
    }
    if (options->command != Command::kScan && (options->all || options->format == Format::kCsv)) {
        *error = Words(Msg::kAllCsvForScan);
        return false;
    }
    if ((options->noUndo || !options->undoDir.empty()) && options->command == Command::kScan) {
        *error = Words(Msg::kUndoForRepairs);
        return false;
    }
    if (!options->undoDir.empty() && options->hiveGiven) {
        *error = Words(Msg::kUndoDirLiveOnly);
        return false;
    }
    if (options->noUndo && !options->undoDir.empty()) {
        *error = Words(Msg::kUndoExclusive);
        return false;
    }
    if (options->command == Command::kDeleteAll && !options->yes && !options->dryRun) {
        *error = Words(Msg::kDeleteAllNeedsYes);
        return false;
    }
    return true;
}

}  // namespace vornex::cli
