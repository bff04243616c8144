#include "cli/options.h"

#include "cli/output.h"

namespace vornex::cli {

std::string UsageText() {
    return "usage: vornex-cli [--hive FILE] [--all] [--json | --csv] scan\n"
           "       vornex-cli [--hive FILE] [UNDO] [--dry-run] [--json] repair NAME\n"
           "       vornex-cli [--hive FILE] [UNDO] [--dry-run] [--json] delete NAME\n"
           "       vornex-cli [--hive FILE] [UNDO] [--dry-run] [--json] --yes delete-all\n"
           "\n"
           "Lists and removes Image File Execution Options redirections, with the same\n"
           "rules as the Vornex window.\n"
           "\n"
           "  scan        list every redirected executable and its command\n"
           "  repair      remove the Debugger value of the listed NAME\n"
           "  delete      remove the whole IFEO subkey of the listed NAME\n"
           "  delete-all  remove the subkeys of every listed entry (needs --yes)\n"
           "\n"
           "  --hive FILE  an offline SOFTWARE hive instead of the live registry (on\n"
           "               Windows, e.g. D:\\Windows\\System32\\config\\SOFTWARE); a backup\n"
           "               FILE.vornex-backup-YYYYmmdd-HHMMSS is written before the\n"
           "               first change\n"
           "  --undo-dir DIR  live registry: write the undo file (.reg) of the change\n"
           "               into DIR instead of the undo folder beside the program\n"
           "  --no-undo    live registry: write no undo file\n"
           "  --all        also list what the window does not look at: filter\n"
           "               subkeys, silent-exit monitors, verifier DLLs, the 32-bit view\n"
           "  --json       one JSON document (see cli/scan.schema.json)\n"
           "  --csv        comma-separated values with a header line\n"
           "  --dry-run    show what would change, change nothing\n"
           "  --yes        confirm delete-all\n"
           "  --help, --version\n"
           "\n"
           "Exit codes: 0 nothing found, 1 redirections found (after a repair: still\n"
           "there), 2 bad usage, an unreadable source or output that could not be\n"
           "written, 3 a repair failed, 4 the scan could not read everything under the\n"
           "IFEO key, or the hive is dirty with no usable log (what it lists may not be\n"
           "all, or not the newest).\n";
}

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
                *error = "--hive needs a file";
                return false;
            }
            if (options->hiveGiven) {
                *error = "--hive is given twice";
                return false;
            }
            options->hive = ToUtf8(args[++i]);
            options->hiveGiven = true;
        } else if (arg == u"--json" || arg == u"--csv") {
            const Format format = arg == u"--json" ? Format::kJson : Format::kCsv;
            if (options->format != Format::kText && options->format != format) {
                *error = "--json and --csv exclude each other";
                return false;
            }
            options->format = format;
        } else if (arg == u"--undo-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                *error = "--undo-dir needs a folder";
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
            *error = "unknown option " + ToUtf8(arg);
            return false;
        } else if (arg.size() > 1 && arg[0] == u'-' && arg[1] == u'-') {
            *error = "unknown option " + ToUtf8(arg);
            return false;
        } else {
            words.push_back(arg);
        }
    }
    if (options->help || options->version) return true;
    if (words.empty()) {
        *error = "no command given (scan, repair, delete, delete-all)";
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
        *error = "unknown command " + ToUtf8(command);
        return false;
    }
    if (words.size() != wanted) {
        *error = wanted == 2 ? ToUtf8(command) + " needs exactly one NAME"
                             : ToUtf8(command) + " takes no NAME";
        return false;
    }
    if (wanted == 2) {
        options->name = UnescapedName(words[1]);
        if (options->name.empty()) {
            *error = "NAME is empty";
            return false;
        }
    }
    if (options->command == Command::kScan && options->dryRun) {
        *error = "--dry-run is for repair, delete and delete-all";
        return false;
    }
    if (options->command != Command::kScan && (options->all || options->format == Format::kCsv)) {
        *error = "--all and --csv are for scan";
        return false;
    }
    if ((options->noUndo || !options->undoDir.empty()) && options->command == Command::kScan) {
        *error = "--undo-dir and --no-undo are for repair, delete and delete-all";
        return false;
    }
    if (!options->undoDir.empty() && options->hiveGiven) {
        *error = "--undo-dir is for the live registry: a hive's backup copy is its undo";
        return false;
    }
    if (options->noUndo && !options->undoDir.empty()) {
        *error = "--undo-dir and --no-undo exclude each other";
        return false;
    }
    if (options->command == Command::kDeleteAll && !options->yes && !options->dryRun) {
        *error = "delete-all removes every listed subkey: add --yes to confirm (or --dry-run)";
        return false;
    }
    return true;
}

}  // namespace vornex::cli
