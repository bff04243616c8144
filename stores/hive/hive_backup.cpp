#include "stores/hive/hive_backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace vornex::cli {

namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Close(); }
    int get() const { return fd_; }
    bool Close() {
        const bool ok = fd_ < 0 || close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

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

}  // namespace

bool WriteHiveBackup(const std::string& path, std::string* backupPath, std::string* error) {
    UniqueFd in(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path + ".vornex-backup-" + stamp;

    std::string name = base;
    int out = -1;
    for (int n = 2; n < 1000; ++n) {
        out = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out >= 0 || errno != EEXIST) break;
        name = base + "-" + std::to_string(n);
    }
    UniqueFd backup(out);
    if (backup.get() < 0) {
        *error = name + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || !WriteAll(backup.get(), buffer.data(), static_cast<std::size_t>(got))) {
            *error = name + ": " + std::strerror(errno);
            unlink(name.c_str());
            return false;
        }
        if (got == 0) break;
    }
    // The hive is replaced only once its copy is safely on disk.
    if (fsync(backup.get()) != 0 || !backup.Close()) {
        *error = name + ": " + std::strerror(errno);
        unlink(name.c_str());
        return false;
    }
    *backupPath = name;
    return true;
}

}  // namespace vornex::cli
