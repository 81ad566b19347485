// File descriptors owned by scope, and whole-buffer I/O, for the POSIX layer.
#pragma once

#include <unistd.h>

#include <cstddef>

namespace velkaron::platform {

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    ~Fd() { close(); }

    bool valid() const noexcept { return fd_ >= 0; }
    int get() const noexcept { return fd_; }
    // Closes now; false when the OS reports a failure (a late write error, for instance).
    bool close() noexcept {
        if (fd_ < 0) return true;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

// Writes all of data, retrying short writes and interruptions.
bool WriteAll(int fd, const void* data, std::size_t size) noexcept;

}  // namespace velkaron::platform
