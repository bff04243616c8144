// The hive file layer on POSIX systems: flock, fsync, rename, copy_file_range.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "stores/hive/hive_file.h"
#include "stores/hive/unique_fd.h"

namespace vornex::hive {

namespace {

RegResult CodeOf(int error, RegResult otherwise = kRegWriteFault) {
    switch (error) {
        case ENOSPC:
        case EDQUOT: return kRegDiskFull;
        case EROFS: return kRegWriteProtect;
        case EWOULDBLOCK: return kRegLockViolation;
        case EACCES:
        case EPERM: return kRegAccessDenied;  // the file's permissions: a real refusal
        case ENOENT:
        case ENOTDIR: return kRegFileNotFound;
        case ENOMEM: return kRegNotEnoughMemory;
        default: return otherwise;
    }
}

FileFailure Failed(const std::string& path, int error = errno) {
    return {CodeOf(error), path + ": " + std::strerror(error)};
}

// An existing regular file, opened with these flags; a folder, a device or a
// pipe is refused, without waiting for one (a pipe's open waits for a
// writer). Messages start with `shown`.
FileFailure OpenFile(const std::string& file, int flags, const std::string& shown, int* out) {
    UniqueFd fd(open(file.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
        const int error = errno;
        if (error == EISDIR) return {kRegInvalidParameter, shown + ": a folder, not a file"};
        return {CodeOf(error, (flags & O_ACCMODE) == O_RDONLY ? kRegReadFault : kRegWriteFault),
                shown + ": " + std::strerror(error)};
    }
    if (!S_ISREG(info.st_mode)) {
        return {kRegInvalidParameter, shown + (S_ISDIR(info.st_mode) ? ": a folder" : ": a device or a pipe") +
                                          ", not a file"};
    }
    fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    *out = fd.Release();
    return {};
}

class PosixIn;

class PosixOut : public OutFile {
public:
    PosixOut(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    FileFailure CopyFrom(InFile& in) override;
    FileFailure Write(const unsigned char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t written = write(fd_.get(), data, size);
            if (written < 0) {
                if (errno == EINTR) continue;
                return Failed(path_);
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return {};
    }
    FileFailure Flush() override { return fsync(fd_.get()) == 0 ? FileFailure{} : Failed(path_); }
    FileFailure Close() override { return fd_.Close() ? FileFailure{} : Failed(path_); }

private:
    UniqueFd fd_;
    std::string path_;
};

class PosixIn : public InFile {
public:
    PosixIn(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    FileFailure Read(unsigned char* data, std::size_t room, std::size_t* got) override {
        for (;;) {
            const ssize_t n = read(fd_.get(), data, room);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return {CodeOf(errno, kRegReadFault), path_ + ": " + std::strerror(errno)};
            *got = static_cast<std::size_t>(n);
            return {};
        }
    }
    std::uint64_t SizeHint() const override {
        struct stat info {};
        return fstat(fd_.get(), &info) == 0 && info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    }
    int fd() const { return fd_.get(); }

private:
    UniqueFd fd_;
    std::string path_;
};

FileFailure PosixOut::CopyFrom(InFile& in) {
    auto* from = dynamic_cast<PosixIn*>(&in);
    if (!from) return OutFile::CopyFrom(in);
    bool copied = false;
    for (;;) {
        const ssize_t n = copy_file_range(from->fd(), nullptr, fd_.get(), nullptr, std::size_t{1} << 30, 0);
        if (n < 0 && errno == EINTR) continue;
        // A kernel or file system that cannot: the rest through a buffer,
        // from where the copy stands (both files' offsets moved together).
        if (n < 0 && !copied && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP)) {
            return OutFile::CopyFrom(in);
        }
        if (n < 0) return {CodeOf(errno), path_ + ": " + std::strerror(errno)};
        if (n == 0) return {};
        copied = true;
    }
}

class PosixFileLayer : public HiveFileLayer {
public:
    std::string RealPath(const std::string& path) override {
        std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), std::free);
        return resolved ? std::string(resolved.get()) : path;
    }

    FileFailure Hold(const std::string& path) override {
        // O_RDWR: a read-only file system refuses here, before any change.
        int opened = -1;
        if (FileFailure failed = OpenFile(RealPath(path), O_RDWR, path + ": cannot open for writing", &opened)) {
            return failed;
        }
        UniqueFd fd(opened);
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) return {kRegLockViolation, path + ": in use by another program (locked)"};
            return Failed(path);
        }
        held_ = std::make_unique<UniqueFd>(fd.Release());
        return {};
    }

    FileFailure CreateNew(const std::string& path, std::unique_ptr<OutFile>* out) override {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return Failed(path);
        *out = std::make_unique<PosixOut>(fd, path);
        return {};
    }

    FileFailure CreateBeside(const std::string& target, std::string* made, std::unique_ptr<OutFile>* out) override {
        std::string name = target + ".vornex-new-XXXXXX";
        const int fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return {CodeOf(errno), target + ": cannot create a file beside it: " + std::strerror(errno)};
        *made = name;
        *out = std::make_unique<PosixOut>(fd, name);
        return {};
    }

    FileFailure OpenRead(const std::string& path, std::unique_ptr<InFile>* in) override {
        int fd = -1;
        if (FileFailure failed = OpenFile(path, O_RDONLY, path, &fd)) return failed;
        *in = std::make_unique<PosixIn>(fd, path);
        return {};
    }

    FileFailure OpenLog(const std::string& path, std::unique_ptr<InFile>* in) override {
        int fd = -1;
        if (FileFailure failed = OpenFile(path, O_RDONLY | O_NOFOLLOW, path, &fd)) {
            if (errno == ELOOP) return {kRegInvalidParameter, path + ": a link or reparse point, not a plain file of the hive's folder"};
            return failed;
        }
        UniqueFd opened(fd);
        struct stat info {};
        if (fstat(opened.get(), &info) != 0 || info.st_nlink != 1) {
            return {kRegInvalidParameter, path + ": a file with other names elsewhere (a hard link)"};
        }
        *in = std::make_unique<PosixIn>(opened.Release(), path);
        return {};
    }

    FileFailure Replace(const std::string& from, const std::string& target) override {
        struct stat info {};
        if (stat(target.c_str(), &info) == 0) chmod(from.c_str(), info.st_mode & 07777);
        return rename(from.c_str(), target.c_str()) == 0 ? FileFailure{} : Failed(target);
    }

    FileFailure FlushFolder(const std::string& folder) override {
        const std::string name = folder.empty() ? "." : folder;
        UniqueFd fd(open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0 || fsync(fd.get()) != 0) return Failed(name);
        return {};
    }

    bool Exists(const std::string& path) override { return access(path.c_str(), F_OK) == 0; }

    FileFailure LinkNew(const std::string& path, const std::string& to) override {
        if (link(path.c_str(), to.c_str()) == 0) return {};
        const int error = errno;
        // No hard links here (FAT), or the kernel's protected_hardlinks.
        if (error == EPERM || error == EXDEV || error == EOPNOTSUPP || error == EMLINK) {
            return {kRegNotSupported, to + ": " + std::strerror(error)};
        }
        return Failed(to, error);
    }
    void Remove(const std::string& path) override { unlink(path.c_str()); }

    std::vector<std::string> FilesIn(const std::string& folder) override {
        std::vector<std::string> names;
        std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.empty() ? "." : folder.c_str()), closedir);
        if (!directory) return names;
        while (const dirent* entry = readdir(directory.get())) {
            const std::string found = entry->d_name;
            if (found != "." && found != "..") names.push_back(found);
        }
        return names;
    }

private:
    std::unique_ptr<UniqueFd> held_;
};

}  // namespace

std::unique_ptr<HiveFileLayer> SystemFileLayer() { return std::make_unique<PosixFileLayer>(); }

void SplitPath(const std::string& path, std::string* folder, std::string* name) {
    const std::size_t slash = path.find_last_of('/');
    *folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vornex::hive
