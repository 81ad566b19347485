#include <sys/xattr.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "tests/support/test_support.h"

namespace testing_support {

void PutStream(const fs::path& file, const std::string& stream, const std::string& bytes) {
    const std::string name = "user." + stream;
    if (setxattr(file.c_str(), name.c_str(), bytes.data(), bytes.size(), 0) != 0) {
        ADD_FAILURE() << "setxattr " << file << " " << name << ": " << std::strerror(errno);
    }
}

bool GetStream(const fs::path& file, const std::string& stream, std::string& bytes) {
    const std::string name = "user." + stream;
    bytes.assign(65536, '\0');
    const ssize_t got = getxattr(file.c_str(), name.c_str(), bytes.data(), bytes.size());
    if (got < 0) {
        bytes.clear();
        return false;
    }
    bytes.resize(static_cast<std::size_t>(got));
    return true;
}

void RemoveStream(const fs::path& file, const std::string& stream) {
    removexattr(file.c_str(), ("user." + stream).c_str());
}

}  // namespace testing_support

#include <fcntl.h>
#include <sys/stat.h>

namespace testing_support {

void SetWriteTime(const fs::path& path, Time time) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), time.nanoseconds}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) ADD_FAILURE() << "utimensat " << path;
}

Time GetWriteTime(const fs::path& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) ADD_FAILURE() << "stat " << path;
    return {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

}  // namespace testing_support

namespace testing_support {

long OpenHandleCount() {
    long count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

}  // namespace testing_support
