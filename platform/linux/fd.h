// File descriptors owned by scope, and whole-buffer I/O, for the POSIX layer.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <string>

namespace velkaron::platform {

class Fd {
public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
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

// Reads the whole file at path into bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace velkaron::platform
