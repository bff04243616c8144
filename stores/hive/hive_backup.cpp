#include "stores/hive/hive_backup.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "stores/hive/unique_fd.h"

namespace vornex::cli {

namespace {

using vornex::UniqueFd;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies `from` to the new file `to` (never over an existing one) and flushes
// it to disk. On failure nothing of `to` is left.
bool CopyNew(const std::string& from, const std::string& to, std::string* error) {
    UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        *error = from + ": " + std::strerror(errno);
        return false;
    }
    UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        *error = to + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || !WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(got))) {
            *error = to + ": " + std::strerror(errno);
            unlink(to.c_str());
            return false;
        }
        if (got == 0) break;
    }
    if (fsync(out.get()) != 0 || !out.Close()) {
        *error = to + ": " + std::strerror(errno);
        unlink(to.c_str());
        return false;
    }
    return true;
}

// The transaction logs beside a hive, by the names they have on disk (an
// NTFS mount may show SOFTWARE.LOG1 as software.log1).
std::vector<std::string> LogsBeside(const std::string& folder, const std::string& name) {
    std::vector<std::string> logs;
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.c_str()), closedir);
    if (!directory) return logs;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string found = entry->d_name;
        for (const char* suffix : {".LOG1", ".LOG2", ".LOG"}) {
            const std::string wanted = name + suffix;
            if (found.size() == wanted.size() && strcasecmp(found.c_str(), wanted.c_str()) == 0) logs.push_back(found);
        }
    }
    return logs;
}

}  // namespace

bool WriteHiveBackup(const std::string& path, std::string* backupPath, std::string* error) {
    std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), std::free);
    const std::string target = resolved ? resolved.get() : path;
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = target + ".vornex-backup-" + stamp;

    std::string backup = base;
    for (int n = 2; access(backup.c_str(), F_OK) == 0 && n < 1000; ++n) backup = base + "-" + std::to_string(n);
    if (!CopyNew(target, backup, error)) return false;
    // The logs go with it, named after the backup, so that the set can be put
    // back whole (or read as it was: vornex-cli --hive BACKUP).
    std::vector<std::string> written = {backup};
    for (const std::string& log : LogsBeside(folder, name)) {
        const std::string copy = backup + log.substr(name.size());
        if (!CopyNew(folder + log, copy, error)) {
            for (const std::string& done : written) unlink(done.c_str());
            return false;
        }
        written.push_back(copy);
    }
    UniqueFd directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || fsync(directory.get()) != 0) {
        *error = folder + ": " + std::strerror(errno);
        for (const std::string& done : written) unlink(done.c_str());
        return false;
    }
    *backupPath = backup;
    return true;
}

}  // namespace vornex::cli
