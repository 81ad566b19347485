#include "platform/linux/fd.h"

#include <fcntl.h>

#include <cerrno>

namespace velkaron::platform {

bool WriteAll(int fd, const void* data, std::size_t size) noexcept {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, p, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        p += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace velkaron::platform
