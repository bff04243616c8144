#pragma once
#include <unistd.h>

namespace vornex {

// A file descriptor that is closed on every path.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Close(); }
    int get() const { return fd_; }
    // Gives the descriptor up without closing it.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // False when closing reported an error (a write that did not reach the disk).
    bool Close() {
        const bool ok = fd_ < 0 || close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

}  // namespace vornex
