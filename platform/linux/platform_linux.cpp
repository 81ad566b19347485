// The OS layer for Linux. Paths travel as UTF-16 and meet the OS as the bytes they came from; the ANSI code page is
// Windows-1252; there is no system INI reader.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/ascii_blocks.h"
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
using ListxattrFn = ssize_t (*)(const char*, char*, size_t);

SystemCallSlot kSystemCalls[] = {
    {"stat", AsSystemCall<StatFn>(::stat), AsSystemCall<StatFn>(::stat)},
    {"getxattr", AsSystemCall<GetxattrFn>(::getxattr), AsSystemCall<GetxattrFn>(::getxattr)},
    {"setxattr", AsSystemCall<SetxattrFn>(::setxattr), AsSystemCall<SetxattrFn>(::setxattr)},
    {"removexattr", AsSystemCall<RemovexattrFn>(::removexattr), AsSystemCall<RemovexattrFn>(::removexattr)},
    {"utimensat", AsSystemCall<UtimensatFn>(::utimensat), AsSystemCall<UtimensatFn>(::utimensat)},
    {"statfs", AsSystemCall<StatfsFn>(::statfs), AsSystemCall<StatfsFn>(::statfs)},
    {"listxattr", AsSystemCall<ListxattrFn>(::listxattr), AsSystemCall<ListxattrFn>(::listxattr)},
};

#define osStat (reinterpret_cast<StatFn>(kSystemCalls[0].current))
#define osGetxattr (reinterpret_cast<GetxattrFn>(kSystemCalls[1].current))
#define osSetxattr (reinterpret_cast<SetxattrFn>(kSystemCalls[2].current))
#define osRemovexattr (reinterpret_cast<RemovexattrFn>(kSystemCalls[3].current))
#define osUtimensat (reinterpret_cast<UtimensatFn>(kSystemCalls[4].current))
#define osStatfs (reinterpret_cast<StatfsFn>(kSystemCalls[5].current))
#define osListxattr (reinterpret_cast<ListxattrFn>(kSystemCalls[6].current))

}  // namespace

SystemCallSlot* SystemCallTable(std::size_t& count) {
    count = sizeof kSystemCalls / sizeof kSystemCalls[0];
    return kSystemCalls;
}

// A path as the OS takes it: its own bytes (see DecodePath), zero-terminated; on the stack unless
// it is long.
using NativeName = SmallBuffer<char, 2048>;

static const char* ToNative(std::u16string_view text, NativeName& out) {
    char* name = out.Reserve(3 * text.size() + 1);
    name[EncodePath(text, name)] = '\0';
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
    return DecodePath(path);
}

bool FileExists(const std::u16string& path) {
    struct stat st {};
    NativeName name;
    return stat(ToNative(path, name), &st) == 0 && S_ISREG(st.st_mode);
}

// Opens path for reading when it is a regular file; never waits for a FIFO's writer.
static Fd OpenRegularFile(const char* path, struct stat& st) {
    Fd fd(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.valid() && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) return Fd(-1);
    return fd;
}

// Copies everything from in to out; false on a read or write error.
static bool CopyAll(int in, int out) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || !WriteAll(out, buffer, static_cast<std::size_t>(got))) return false;
    }
}

// Gives the file at from the name to, which must be free. Every local file system here has
// renameat2's RENAME_NOREPLACE; some FUSE ones answer EINVAL and have link instead.
static CopyOutcome Publish(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return CopyOutcome::Copied;
    if (errno == EEXIST) return CopyOutcome::NameTaken;
    if (errno != EINVAL && errno != ENOSYS) return CopyOutcome::Failed;
    if (link(from, to) == 0) return CopyOutcome::Copied;
    return errno == EEXIST ? CopyOutcome::NameTaken : CopyOutcome::Failed;
}

CopyOutcome CopyFileNoOverwrite(const std::u16string& source, const std::u16string& target) {
    NativeName fromName, toName;
    const char *from = ToNative(source, fromName), *to = ToNative(target, toName);
    struct stat st {};
    const Fd in = OpenRegularFile(from, st);
    if (!in.valid()) return CopyOutcome::Failed;
    // A name of this process's own beside the target, taken with O_EXCL.
    std::string temporary;
    Fd out(-1);
    for (unsigned attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
        temporary = std::string(to) + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
        out = Fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, (st.st_mode & 0777) | S_IWUSR));
        if (!out.valid() && errno != EEXIST) return CopyOutcome::Failed;
    }
    if (!out.valid()) return CopyOutcome::Failed;
    // Written and on the disk before it has its name: a crash cannot leave an empty configuration.
    const bool written = CopyAll(in.get(), out.get()) && fsync(out.get()) == 0;
    const CopyOutcome outcome = out.close() && written ? Publish(temporary.c_str(), to) : CopyOutcome::Failed;
    unlink(temporary.c_str());  // gone already after a rename; after a link, or a failure, it goes now
    return outcome;
}

static bool IsFolder(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFoldersBelow(const std::u16string& base, const std::u16string& path) {
    NativeName baseName, pathName;
    const char* under = ToNative(base, baseName);
    ToNative(path, pathName);
    char* name = pathName.data();
    const std::size_t baseLength = std::strlen(under), length = std::strlen(name);
    if (baseLength == 0 || length <= baseLength || std::memcmp(name, under, baseLength) != 0 ||
        (name[baseLength] != '/' && under[baseLength - 1] != '/') || !IsFolder(under)) {
        return false;
    }
    // Each folder after base in turn, cut from the path in place.
    for (std::size_t end = baseLength + 1; end <= length; ++end) {
        if ((end < length && name[end] != '/') || name[end - 1] == '/') continue;
        const char kept = name[end];
        name[end] = '\0';
        const bool made = mkdir(name, 0700) == 0 || (errno == EEXIST && IsFolder(name));
        name[end] = kept;
        if (!made) return false;
    }
    return true;
}

std::u16string UserConfigurationFolder(std::u16string& base) {
    // XDG's base directories: only an absolute path counts.
    const char* config = getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = DecodePath(config);
        return base + u"/velkaron";
    }
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        base = DecodePath(home);
        return base + u"/.config/velkaron";
    }
    base.clear();
    return {};
}

std::u16string SameNameIn(const std::u16string& folder, const std::u16string& path) {
    const std::size_t slash = path.rfind(u'/');
    return folder + u'/' + path.substr(slash == std::u16string::npos ? 0 : slash + 1);
}

bool ReadWholeFile(const std::u16string& path, std::size_t maxBytes, std::string& bytes) {
    NativeName name;
    struct stat st {};
    const Fd fd = OpenRegularFile(ToNative(path, name), st);
    bytes.clear();
    if (!fd.valid() || static_cast<unsigned long long>(st.st_size) > maxBytes) return false;
    // Read to its end, but never past maxBytes: the file may grow while it is read.
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (total > maxBytes) return false;
            bytes.resize(maxBytes + 1);
        }
        const ssize_t got = read(fd.get(), bytes.data() + total, bytes.size() - total);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        total += static_cast<std::size_t>(got);
    }
    bytes.resize(total);
    return true;
}

// No system reader: the caller parses INI files itself.
bool SystemProfileReaderOpens(const std::u16string&) { return false; }
std::u16string ReadSystemProfileString(const std::u16string&, const std::u16string&, const std::u16string&,
                                       const std::u16string&, std::size_t) {
    return {};
}

void ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
    // A path in the text is shown as its own bytes.
    const std::string line = EncodePath(caption) + ": " + EncodePath(text) + "\n";
    WriteAll(STDERR_FILENO, line.data(), line.size());
}

void ShowLoadNote(const std::u16string& text) { ShowErrorBox(text, u"Velkaron"); }

std::size_t ToAnsi(std::u16string_view text, char* out) { return EncodeWindows1252(text, out); }
std::size_t FromAnsi(std::string_view bytes, char16_t* out) { return DecodeWindows1252(bytes, out); }
bool AnsiIsSingleByte() { return true; }
std::size_t ToUtf8(std::u16string_view text, char* out) { return EncodeUtf8(text, out); }
std::size_t FromUtf8(std::string_view bytes, char16_t* out) { return DecodeUtf8(bytes, out); }

// Names and values in the configuration and in Samba's attributes compare as Samba and Windows
// compare stream names: without regard to the case of ASCII letters.
static bool SameIgnoringCase(std::string_view a, std::string_view b) {
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return fold(x) == fold(y);
           });
}

StreamStore ReadStreamStore(const SettingLookup& lookup, const std::u16string& file, std::u16string& problem) {
    const std::u16string value = lookup(u"Linux", u"StreamStore", u"");
    const std::string text = EncodeUtf8(value);
    if (SameIgnoringCase(text, "samba")) return StreamStore::Samba;
    if (!text.empty() && !SameIgnoringCase(text, "ntfs-3g")) {
        problem = u"StreamStore=" + value +
                  u" in section [Linux] of " + file + u" is not ntfs-3g or samba: using ntfs-3g";
    }
    return StreamStore::Ntfs3g;
}

// Samba's layout around a stream's name: only the name is matched without regard to case.
constexpr std::string_view kSambaPrefix = "user.DosStream.", kSambaType = ":$DATA";

// ntfs-3g: stream S is the attribute "user.S". Samba: "user.DosStream.S:$DATA", the type always
// written so. A configured name's trailing ":$DATA" (any case) is the type, not part of S.
StreamName MakeStreamName(std::u16string_view stream, StreamStore store) {
    std::string name = EncodeUtf8(stream);
    if (name.size() > kSambaType.size() &&
        SameIgnoringCase(std::string_view(name).substr(name.size() - kSambaType.size()), kSambaType)) {
        name.resize(name.size() - kSambaType.size());
    }
    if (store == StreamStore::Ntfs3g) return {{}, "user." + name, store};
    return {{}, std::string(kSambaPrefix) + name + std::string(kSambaType), store};
}

// The stream's name inside an attribute's name, when the attribute holds a stream in store's
// layout ("user.S", or "user.DosStream.S:$DATA" to the letter); else empty.
static std::string_view StreamPart(std::string_view attribute, StreamStore store) {
    const bool samba = store == StreamStore::Samba;
    const std::string_view prefix = samba ? kSambaPrefix : "user.", type = samba ? kSambaType : "";
    if (attribute.size() <= prefix.size() + type.size() || attribute.substr(0, prefix.size()) != prefix ||
        attribute.substr(attribute.size() - type.size()) != type) {
        return {};
    }
    return attribute.substr(prefix.size(), attribute.size() - prefix.size() - type.size());
}

// Runs call(buffer, size) on buffer's stack part, cut to offer; when the result is larger, it is
// measured (call(nullptr, 0)) and read into a buffer of its size. It may shrink after it was
// measured (fine) or grow (ERANGE again: measure again). The size read, or -1 with errno set. A
// call with size 0 only measures and copies nothing, so none is ever taken for a read: the first
// offers at least one byte, and a value measured empty is empty.
template <typename Call, typename Buffer>
__attribute__((noinline)) static ssize_t ReadRemeasured(Call call, Buffer& buffer) {
    ssize_t got = -1;
    for (int attempt = 0; attempt < 4 && (attempt == 0 || (got < 0 && errno == ERANGE)); ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size <= 0) return size;
        got = call(buffer.Reserve(static_cast<std::size_t>(size)), static_cast<std::size_t>(size));
    }
    return got;
}
// The first call inline, where a read ends as a rule; measuring again out of line.
template <typename Call, typename Buffer>
static ssize_t ReadMeasured(Call call, std::size_t offer, Buffer& buffer) {
    const ssize_t got = call(buffer.data(), std::clamp<std::size_t>(offer, 1, buffer.capacity()));
    return got < 0 && errno == ERANGE ? ReadRemeasured(call, buffer) : got;
}

// An attribute, read whole into bytes (see ReadMeasured).
static ssize_t ReadAttribute(const char* path, const char* name, std::size_t offer, StreamBytes& bytes) {
    // The call captures its arguments by value, so that the usual read keeps them in registers.
    const auto call = [path, name](void* value, std::size_t size) { return osGetxattr(path, name, value, size); };
    return ReadMeasured(call, offer, bytes);
}

// The attribute names of a file, each zero-terminated.
using NameList = SmallBuffer<char, 1024>;

// Reads the attribute names of path into list (measured, and read again when the list grows in
// between) and calls visit(name) for each, zero-terminated there, until visit answers false.
// False when the names cannot be read.
template <typename Visit>
static bool ForEachAttribute(const char* path, NameList& list, Visit visit) {
    const ssize_t got = ReadMeasured([&](void* names, std::size_t size) {
        return osListxattr(path, static_cast<char*>(names), size);
    }, list.capacity(), list);
    if (got < 0) return false;
    const std::size_t end = static_cast<std::size_t>(got);
    for (std::size_t at = 0; at < end;) {
        const std::string_view name(list.data() + at, strnlen(list.data() + at, end - at));
        at += name.size() + 1;
        if (at <= end && !visit(name)) break;  // an unterminated last name is no name
    }
    return true;
}

// The attribute that holds stream: its own name, except that Samba finds a stream by its name in
// any case, so a Windows client's "comment" is the field "Comment". In the Samba store, the
// exact name when the file has it, else the first listed name that differs only in the case of
// the stream's name, else the exact name (a new stream). Points into list or into stream.
__attribute__((noinline)) static const char* SambaStoredName(const char* path, const StreamName& stream,
                                                            NameList& list) {
    const char* exact = stream.narrow.c_str();
    const std::string_view wanted = StreamPart(stream.narrow, StreamStore::Samba);
    const char* found = exact;
    ForEachAttribute(path, list, [&](std::string_view name) {
        if (name == stream.narrow) {
            found = exact;
            return false;
        }
        if (found == exact && SameIgnoringCase(StreamPart(name, StreamStore::Samba), wanted)) found = name.data();
        return true;
    });
    return found;
}
// See SambaStoredName; every other store keeps the exact name.
static const char* StoredName(const char* path, const StreamName& stream, NameList& list) {
    return stream.store == StreamStore::Samba ? SambaStoredName(path, stream, list) : stream.narrow.c_str();
}

// Whether a failed setxattr on a file system of this type keeps the attribute's old value.
// ext2/3/4, XFS, Btrfs and tmpfs build the new value aside and fail before touching the old one
// (measured with ENOSPC, E2BIG and EDQUOT). Anything else may not: ntfs-3g, like any FUSE file
// system, gets the call as it is and empties the attribute before it runs out of room.
static bool KeepsOldValueOnFailure(std::uint32_t type) {
    switch (type) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
            return true;
        default:
            return false;
    }
}

// statfs's f_type for path's file system, 0 when it cannot be told.
static std::uint32_t VolumeType(const char* path) {
    struct statfs volume;  // filled by a call that succeeds; zeroing it costs more than the check
    return osStatfs(path, &volume) == 0 ? static_cast<std::uint32_t>(volume.f_type) : 0;
}

// The in-kernel NTFS drivers keep a "user.S" attribute as an NTFS extended attribute ($EA), not as
// the named stream S, and offer no way to reach a named stream: what Windows wrote is not there,
// and what is written there Windows never shows. ntfs3 reports 0x7366746e; the old ntfs driver
// and the ntfs driver that descends from it report NTFS_SB_MAGIC (gone from newer linux/magic.h).
constexpr std::uint32_t kNtfs3Magic = 0x7366746e, kNtfsMagic = 0x5346544e;

static const char* InKernelNtfsDriver(std::uint32_t type) {
    if (type == kNtfs3Magic) return "ntfs3";
    return type == kNtfsMagic ? "ntfs" : nullptr;
}

// One field of a mountinfo line, its octal escapes (\040 for a space) undone.
static std::string Unescaped(std::string_view field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            text.push_back(static_cast<char>((field[i + 1] - '0') << 6 | (field[i + 2] - '0') << 3 | (field[i + 3] - '0')));
            i += 3;
        } else {
            text.push_back(field[i]);
        }
    }
    return text;
}

// The mount point of path's volume: of the mounts of its device in /proc/self/mountinfo, the
// longest that holds its real path. path itself when none does.
static std::string MountPointOf(const char* path) {
    struct stat st {};
    char real[PATH_MAX];
    std::string mounts;
    if (stat(path, &st) != 0 || realpath(path, real) == nullptr ||
        !ReadWholeFile(u"/proc/self/mountinfo", 1 << 22, mounts)) {
        return path;
    }
    const std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    const std::string_view inside = real;
    std::string best;
    for (std::size_t at = 0; at < mounts.size();) {
        const std::size_t end = std::min(mounts.find('\n', at), mounts.size());
        // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT ...
        std::string_view fields[5];
        std::size_t n = 0;
        for (std::size_t from = at; n < 5 && from < end; ++n) {
            const std::size_t space = std::min(mounts.find(' ', from), end);
            fields[n] = std::string_view(mounts).substr(from, space - from);
            from = space + 1;
        }
        at = end + 1;
        if (n < 5 || fields[2] != device) continue;
        const std::string point = Unescaped(fields[4]);
        const bool holds = inside.substr(0, point.size()) == point &&
                           (point == "/" || inside.size() == point.size() || inside[point.size()] == '/');
        if (holds && point.size() > best.size()) best = point;
    }
    return best.empty() ? std::string(path) : best;
}

// The first time a process meets a volume where the streams cannot be reached, one line says
// where, why, and what to do. Out of line, so that the usual write carries none of it.
__attribute__((noinline)) static void TellStreamsUnreachable(const char* path, const char* driver) {
    static std::atomic<bool> told{false};
    if (told.exchange(true)) return;
    const std::string point = MountPointOf(path);
    ShowLoadNote(DecodePath(point) + u" is mounted with the kernel's " + DecodePath(driver) +
                 u" driver, through which the streams Windows sees cannot be reached: no field is stored "
                 u"there and Streams lists nothing; mount it with ntfs-3g to reach them (mount -t ntfs-3g "
                 u"DEVICE " + DecodePath(point) + u")");
}

// Whether store's streams can be reached on path's volume, of this type, telling once where they
// cannot. Samba's store can: a Samba server sharing such a volume keeps its streams in those very
// attributes.
static inline bool StreamsReachable(const char* path, std::uint32_t type, StreamStore store) {
    const char* driver = InKernelNtfsDriver(type);
    if (driver == nullptr || store == StreamStore::Samba) return true;
    TellStreamsUnreachable(path, driver);
    return false;
}

// The most getxattr returns (XATTR_SIZE_MAX). FUSE caps its answer to a size query there too,
// so from ntfs-3g a 5 GiB stream and a 100,000-byte one both measure this.
constexpr std::size_t kLargestValue = 65536;

// Measures the attribute name of path as store's stream, the size its field reads: ntfs-3g's by a
// size query, Samba's by reading it, less the zero byte only when the value ends in one, as
// ReadStream drops it. A value measured at kLargestValue or more is read into that much room,
// the only way to tell it from a larger one, which then counts as at least kLargestValue. False
// when it is gone or cannot be measured. value is scratch room, kept for the next attribute.
static bool MeasureStream(const char* path, const char* name, StreamStore store, StreamBytes& value,
                          StreamEntry& entry) {
    const bool samba = store == StreamStore::Samba;
    // Samba's value is read into the room at hand: the stack part, or what a larger one took.
    ssize_t got = samba ? osGetxattr(path, name, value.data(), value.capacity()) : osGetxattr(path, name, nullptr, 0);
    bool largest = samba && value.capacity() >= kLargestValue;  // got is from a read of the most there is
    const bool again = samba ? got < 0 && errno == ERANGE : got >= static_cast<ssize_t>(kLargestValue);
    if (again && !largest) {
        got = osGetxattr(path, name, value.Reserve(kLargestValue), kLargestValue);
        largest = true;
    }
    if (got < 0) {
        if (!largest || (errno != ERANGE && errno != E2BIG)) return false;
        entry.size = kLargestValue;  // more than getxattr returns
        entry.atLeast = true;
        return true;
    }
    const auto size = static_cast<std::size_t>(got);
    entry.size = size - (samba && size > 0 && value.data()[size - 1] == '\0');
    entry.atLeast = false;
    return true;
}

bool ListStreams(std::u16string_view file, StreamStore store, std::vector<StreamEntry>& entries) {
    entries.clear();
    NativeName pathBuffer;
    const char* path = ToNative(file, pathBuffer);
    // On an in-kernel NTFS driver's volume what listxattr gives are extended attributes, no
    // streams. Asked at the first name that looks like a stream: a file with none costs no more.
    bool asked = store == StreamStore::Samba, reachable = true;
    NameList list;
    StreamBytes value;
    StreamEntry measured{};
    const bool listed = ForEachAttribute(path, list, [&](std::string_view name) {
        const std::string_view stream = StreamPart(name, store);
        if (stream.empty()) return true;
        if (!asked) {
            asked = true;
            reachable = StreamsReachable(path, VolumeType(path), store);
            if (!reachable) return false;
        }
        if (MeasureStream(path, name.data(), store, value, measured)) {  // still there
            entries.push_back({DecodeUtf8(stream), measured.size, measured.atLeast});
        }
        return true;
    });
    return listed && reachable;
}

// ReadStream once the path is in the OS's form.
static bool ReadStreamAt(const char* path, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes) {
    // An attribute is read whole or not at all. Most are small and fit the buffer's stack part,
    // offered no larger than the host's limit (the kernel clears as much as it is offered); a
    // larger one is measured and read into a buffer of its size (the kernel caps values at
    // 64 KiB). The host's limit cuts what is kept, not what is read. Samba's values carry one
    // zero byte more, dropped here.
    const bool samba = stream.store == StreamStore::Samba;
    ssize_t got = ReadAttribute(path, stream.narrow.c_str(), maxBytes + samba, bytes);
    if (got < 0 && errno == ENODATA && samba) {
        NameList list;
        const char* name = StoredName(path, stream, list);
        if (name != stream.narrow.c_str()) got = ReadAttribute(path, name, maxBytes + 1, bytes);
    }
    if (got < 0) {
        bytes.SetSize(0);
        return false;
    }
    std::size_t size = static_cast<std::size_t>(got);
    if (samba && size > 0 && bytes.data()[size - 1] == '\0') --size;
    bytes.SetSize(std::min(size, maxBytes));
    return true;
}

bool ReadStream(std::u16string_view file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes) {
    NativeName path;
    return ReadStreamAt(ToNative(file, path), stream, maxBytes, bytes);
}

bool ReadStream(const char16_t* file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes) {
    NativeName path;
    // A plain ASCII name, the usual one, is its own bytes: found and narrowed in one pass, after
    // the seven bytes of room NarrowTerminated may write before it.
    std::size_t length;
    char* const name = path.data() + 8;
    if (ascii::NarrowTerminated(file, name, path.capacity() - 8, length)) {
        name[length] = '\0';
        return ReadStreamAt(name, stream, maxBytes, bytes);
    }
    return ReadStream(std::u16string_view(file, ascii::TerminatedLength(file)), stream, maxBytes, bytes);
}

bool WriteStream(std::u16string_view file, const StreamName& stream, std::string_view bytes) {
    NativeName pathBuffer;
    const char* path = ToNative(file, pathBuffer);
    const std::uint32_t type = VolumeType(path);
    if (!StreamsReachable(path, type, stream.store)) return false;
    NameList list;
    const char* name = StoredName(path, stream, list);
    StreamBytes terminated;
    if (stream.store == StreamStore::Samba) {
        char* value = terminated.Reserve(bytes.size() + 1);
        std::copy(bytes.begin(), bytes.end(), value);
        value[bytes.size()] = '\0';
        bytes = {value, bytes.size() + 1};
    }
    if (KeepsOldValueOnFailure(type)) return osSetxattr(path, name, bytes.data(), bytes.size(), 0) == 0;
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
    NativeName pathBuffer;
    const char* path = ToNative(file, pathBuffer);
    if (stream.store == StreamStore::Ntfs3g && !StreamsReachable(path, VolumeType(path), stream.store)) return false;
    NameList list;
    return osRemovexattr(path, StoredName(path, stream, list)) == 0;
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
