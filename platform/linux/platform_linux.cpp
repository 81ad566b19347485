// The OS layer for Linux. Paths travel as UTF-16 and meet the OS as UTF-8; the ANSI code page is
// Windows-1252; there is no system INI reader.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/linux/codepage.h"
#include "platform/linux/fd.h"
#include "platform/platform.h"
#include "platform/syscalls.h"

namespace velkaron::platform {

namespace {

using StatFn = int (*)(const char*, struct stat*);
using GetxattrFn = ssize_t (*)(const char*, const char*, void*, size_t);
using SetxattrFn = int (*)(const char*, const char*, const void*, size_t, int);
using RemovexattrFn = int (*)(const char*, const char*);
using UtimensatFn = int (*)(int, const char*, const struct timespec*, int);
using StatfsFn = int (*)(const char*, struct statfs*);

SystemCallSlot kSystemCalls[] = {
    {"stat", AsSystemCall<StatFn>(::stat), AsSystemCall<StatFn>(::stat)},
    {"getxattr", AsSystemCall<GetxattrFn>(::getxattr), AsSystemCall<GetxattrFn>(::getxattr)},
    {"setxattr", AsSystemCall<SetxattrFn>(::setxattr), AsSystemCall<SetxattrFn>(::setxattr)},
    {"removexattr", AsSystemCall<RemovexattrFn>(::removexattr), AsSystemCall<RemovexattrFn>(::removexattr)},
    {"utimensat", AsSystemCall<UtimensatFn>(::utimensat), AsSystemCall<UtimensatFn>(::utimensat)},
    {"statfs", AsSystemCall<StatfsFn>(::statfs), AsSystemCall<StatfsFn>(::statfs)},
};

#define osStat (reinterpret_cast<StatFn>(kSystemCalls[0].current))
#define osGetxattr (reinterpret_cast<GetxattrFn>(kSystemCalls[1].current))
#define osSetxattr (reinterpret_cast<SetxattrFn>(kSystemCalls[2].current))
#define osRemovexattr (reinterpret_cast<RemovexattrFn>(kSystemCalls[3].current))
#define osUtimensat (reinterpret_cast<UtimensatFn>(kSystemCalls[4].current))
#define osStatfs (reinterpret_cast<StatfsFn>(kSystemCalls[5].current))

}  // namespace

SystemCallSlot* SystemCallTable(std::size_t& count) {
    count = sizeof kSystemCalls / sizeof kSystemCalls[0];
    return kSystemCalls;
}

// A path as the OS takes it: UTF-8, zero-terminated; on the stack unless it is long.
using NativeName = SmallBuffer<char, 2048>;

static const char* ToNative(std::u16string_view text, NativeName& out) {
    char* name = out.Reserve(3 * text.size() + 1);
    name[EncodeUtf8(text, name)] = '\0';
    return name;
}

std::u16string OwnModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    if (!path.empty() && path[0] != '/') {
        // The loader keeps the name it was given; make it absolute against today's folder.
        std::string cwd(4096, '\0');
        if (getcwd(cwd.data(), cwd.size()) != nullptr) {
            cwd.resize(cwd.find('\0'));
            path = cwd + "/" + path;
        }
    }
    return DecodeUtf8(path);
}

bool FileExists(const std::u16string& path) {
    struct stat st {};
    NativeName name;
    return stat(ToNative(path, name), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CopyFileNoOverwrite(const std::u16string& source, const std::u16string& target) {
    NativeName fromName, toName;
    const char *from = ToNative(source, fromName), *to = ToNative(target, toName);
    Fd in(open(from, O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.valid() || fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    Fd out(open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
    if (!out.valid()) return false;
    bool ok = true;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(in.get(), buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (!WriteAll(out.get(), buffer, static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    if (!out.close()) ok = false;
    if (!ok) unlink(to);
    return ok;
}

bool ReadWholeFile(const std::u16string& path, std::string& bytes) {
    NativeName name;
    return ReadWholeFile(ToNative(path, name), bytes);
}

// No system reader: the caller parses INI files itself.
bool SystemProfileReaderOpens(const std::u16string&) { return false; }
std::u16string ReadSystemProfileString(const std::u16string&, const std::u16string&, const std::u16string&,
                                       const std::u16string&, std::size_t) {
    return {};
}

void ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
    const std::string line = EncodeUtf8(caption) + ": " + EncodeUtf8(text) + "\n";
    WriteAll(STDERR_FILENO, line.data(), line.size());
}

std::size_t ToAnsi(std::u16string_view text, char* out) { return EncodeWindows1252(text, out); }
std::size_t FromAnsi(std::string_view bytes, char16_t* out) { return DecodeWindows1252(bytes, out); }
std::size_t ToUtf8(std::u16string_view text, char* out) { return EncodeUtf8(text, out); }
std::size_t FromUtf8(std::string_view bytes, char16_t* out) { return DecodeUtf8(bytes, out); }

// A stream S of a file is its extended attribute "user.S".
StreamName MakeStreamName(std::u16string_view stream) { return {{}, "user." + EncodeUtf8(stream)}; }

// An attribute, read whole into bytes: offered first the stack part, cut to offer; when it is
// larger, it is measured and read into a buffer of its size. It may shrink after it was measured
// (fine) or grow (ERANGE again: measure again). The size read, or -1 with errno set.
static ssize_t ReadAttribute(const char* path, const char* name, std::size_t offer, StreamBytes& bytes) {
    ssize_t got = osGetxattr(path, name, bytes.data(), std::min(bytes.capacity(), offer));
    for (int attempt = 0; attempt < 4 && got < 0 && errno == ERANGE; ++attempt) {
        const ssize_t size = osGetxattr(path, name, nullptr, 0);
        if (size < 0) return -1;
        got = osGetxattr(path, name, bytes.Reserve(static_cast<std::size_t>(size)), static_cast<std::size_t>(size));
    }
    return got;
}

bool ReadStream(std::u16string_view file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes) {
    NativeName pathBuffer;
    const char* path = ToNative(file, pathBuffer);
    const char* name = stream.narrow.c_str();
    // An attribute is read whole or not at all. Most are small and fit the buffer's stack part,
    // offered no larger than the host's limit (the kernel clears as much as it is offered); a
    // larger one is measured and read into a buffer of its size (the kernel caps values at
    // 64 KiB). The host's limit cuts what is kept, not what is read.
    const ssize_t got = ReadAttribute(path, name, maxBytes, bytes);
    if (got < 0) {
        bytes.SetSize(0);
        return false;
    }
    bytes.SetSize(std::min(static_cast<std::size_t>(got), maxBytes));
    return true;
}

// Whether a failed setxattr on path's file system keeps the attribute's old value. ext2/3/4, XFS,
// Btrfs and tmpfs build the new value aside and fail before touching the old one (measured with
// ENOSPC, E2BIG and EDQUOT). Anything else may not: ntfs-3g, like any FUSE file system, gets
// the call as it is and empties the attribute before it runs out of room.
static bool KeepsOldValueOnFailure(const char* path) {
    struct statfs volume {};
    if (osStatfs(path, &volume) != 0) return false;
    switch (static_cast<std::uint32_t>(volume.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
            return true;
        default:
            return false;
    }
}

bool WriteStream(std::u16string_view file, const StreamName& stream, std::string_view bytes) {
    NativeName pathBuffer;
    const char* path = ToNative(file, pathBuffer);
    const char* name = stream.narrow.c_str();
    if (KeepsOldValueOnFailure(path)) return osSetxattr(path, name, bytes.data(), bytes.size(), 0) == 0;
    // Elsewhere the old value is kept here and put back when the write fails.
    StreamBytes old;
    const ssize_t got = ReadAttribute(path, name, old.capacity(), old);
    if (got < 0 && errno != ENODATA) return false;
    if (osSetxattr(path, name, bytes.data(), bytes.size(), 0) == 0) return true;
    if (got < 0) {
        osRemovexattr(path, name);
    } else {
        osSetxattr(path, name, old.data(), static_cast<std::size_t>(got), 0);
    }
    return false;
}

bool DeleteStream(std::u16string_view file, const StreamName& stream) {
    NativeName path;
    return osRemovexattr(ToNative(file, path), stream.narrow.c_str()) == 0;
}

bool IsDirectory(std::u16string_view file) {
    NativeName path;
    struct stat st {};
    return osStat(ToNative(file, path), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CaptureWriteTime(std::u16string_view file, bool, FileTime& time) {
    NativeName path;
    struct stat st {};
    if (osStat(ToNative(file, path), &st) != 0) return false;
    time.value = st.st_mtim.tv_sec;
    time.nanoseconds = st.st_mtim.tv_nsec;
    return true;
}

bool RestoreWriteTime(std::u16string_view file, bool, const FileTime& time) {
    NativeName path;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
    times[1].tv_sec = static_cast<time_t>(time.value);
    times[1].tv_nsec = static_cast<long>(time.nanoseconds);
    return osUtimensat(AT_FDCWD, ToNative(file, path), times, 0) == 0;
}

}  // namespace velkaron::platform
