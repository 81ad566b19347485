#include "platform/linux/fd.h"

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

}  // namespace velkaron::platform
