// Failures of the OS calls behind reading and writing, injected through the platform layer's
// call table, and failures of memory: each gives the result code the host expects, closes what
// it opened, and (where the OS allows) leaves the previous value whole.
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration.h"
#include "platform/syscalls.h"
#include "plugin/exports.h"
#include "plugin/read_lock.h"
#include "tests/support/test_support.h"

// Allocation failure on demand: when armed, the n-th allocation from now on throws.
static std::atomic<long> gFailAllocationIn{0};
void* operator new(std::size_t size) {
    if (gFailAllocationIn.load() > 0 && --gFailAllocationIn == 0) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace testing_support;
using velkaron::platform::SystemCall;

// What the n-th call of a planned stand-in does: the plan's n-th letter ('F' fails, 'S' is short
// by one byte), or '.' (the real call) past its end.
const char* gPlan = "";
int gPlanned = 0;
char NextStep() {
    const int n = gPlanned++;
    return n < static_cast<int>(std::strlen(gPlan)) ? gPlan[n] : '.';
}

// The library's state as the loader would leave it, with one field and the given options.
class Faults : public testing::Test {
protected:
    Faults() : file(data.path() / "file.txt") {
        velkaron::PluginOptions = velkaron::Options{};
        velkaron::PluginOptions.KeepTime = true;
        velkaron::PluginOptions.WriteUTF8 = true;
        UseStore(velkaron::platform::StreamStore::Ntfs3g);
        velkaron::CreateReadLock();
        WriteFile(file, "contents");
        PutStream(file, "Comment", "old value");
        SetWriteTime(file, original);
    }
    ~Faults() override {
        for (const char* name : kCalls) velkaron::platform::SetSystemCall(name, nullptr);
        gFailAllocationIn = 0;
        velkaron::DeleteReadLock();
        velkaron::ReleaseConfiguration();
    }
    // failAllocation: the n-th allocation inside the call fails (0: none does).
    int Set(const std::u16string& value, long failAllocation = 0) {
        std::u16string name = file.u16string(), text = value;
        gFailAllocationIn = failAllocation;
        const int code = ContentSetValueW(name.data(), 0, 0, 11, text.data(), 0);
        allocationFailed = failAllocation > 0 && gFailAllocationIn.exchange(0) == 0;
        return code;
    }
    int Get(long failAllocation = 0) {
        std::u16string name = file.u16string();
        std::vector<char16_t> buffer(readBufferUnits);
        gFailAllocationIn = failAllocation;
        const int code = ContentGetValueW(name.data(), 0, 0, buffer.data(),
                                          static_cast<int>(buffer.size() * sizeof(char16_t)), 0);
        allocationFailed = failAllocation > 0 && gFailAllocationIn.exchange(0) == 0;
        return code;
    }
    std::string Stream() {
        std::string bytes;
        return GetStream(file, attribute, bytes) ? bytes : "<absent>";
    }
    // One field, Comment, in the given store from now on, with today's options.
    void UseStore(velkaron::platform::StreamStore store) {
        velkaron::Configuration config;
        config.fields = {{u"Comment", u"Comment"}};
        config.options = velkaron::PluginOptions;
        config.store = store;
        velkaron::InstallConfiguration(std::move(config));
        attribute = store == velkaron::platform::StreamStore::Samba ? "DosStream.Comment:$DATA" : "Comment";
    }
    // The stream as before says ("<absent>": none), the file's time the original one, a new plan.
    void Prepare(const std::string& before, const char* plan) {
        if (before == "<absent>") {
            RemoveStream(file, attribute);
        } else {
            PutStream(file, attribute, before);
        }
        SetWriteTime(file, original);
        gPlan = plan;
        gPlanned = 0;
    }
    static void Inject(const char* name, SystemCall call) {
        ASSERT_TRUE(velkaron::platform::SetSystemCall(name, call)) << name;
    }

#if defined(_WIN32)
    static constexpr const char* kCalls[] = {"CreateFileW", "ReadFile",    "WriteFile",     "CloseHandle",
                                             "DeleteFileW", "GetFileTime", "SetFileTime",   "GetFileSizeEx",
                                             "SetFileInformationByHandle", "FindFirstStreamW", "FindNextStreamW",
                                             "FindClose"};
#else
    static constexpr const char* kCalls[] = {"stat", "getxattr", "setxattr", "removexattr", "utimensat", "statfs",
                                             "listxattr"};
#endif
    bool allocationFailed = false;
    std::size_t readBufferUnits = 64;
    TempDir data;
    fs::path file;
    std::string attribute = "Comment";  // the field's stream as the test support names it
    const Time original{1000000001, 123456700};
};

TEST_F(Faults, UnknownCallNamesAreRefused) {
    EXPECT_FALSE(velkaron::platform::SetSystemCall("no-such-call", nullptr));
    EXPECT_EQ(velkaron::platform::GetSystemCall("no-such-call"), nullptr);
}

TEST_F(Faults, AnOrdinaryReadOrWriteAllocatesNothing) {
    velkaron::PluginOptions.KeepTime = false;
    EXPECT_EQ(Get(1), 11);
    EXPECT_FALSE(allocationFailed);
    EXPECT_EQ(Set(u"new value", 1), 0);
    EXPECT_FALSE(allocationFailed);
    EXPECT_EQ(Stream(), "new value");
}

TEST_F(Faults, MemoryRunningOutAnywhereGivesADefinedCode) {
    // Names and values too large for the stack buffers, so that the calls do allocate: on Linux a
    // long path, on Windows a long stream read into a large host buffer.
#if defined(_WIN32)
    PutStream(file, "Comment", std::string(10000, 'v'));
    readBufferUnits = 20000;
#else
    fs::path deep = data.path();
    for (int i = 0; i < 12; ++i) deep /= std::string(200, char('a' + i));
    fs::create_directories(deep);
    file = deep / "file.txt";
    WriteFile(file, "contents");
    PutStream(file, "Comment", "old value");
#endif
    velkaron::PluginOptions.SubstituteChars = true;
    // Fail the first allocation of the call, then the second, ... until one runs through.
    long n = 1;
    for (; n < 200; ++n) {
        const int get = Get(n);
        ASSERT_TRUE(get == 11 || (allocationFailed && get == -3)) << n << ": " << get;
        if (!allocationFailed) break;
    }
    EXPECT_GT(n, 1);  // the read does allocate, so some runs failed
    const std::u16string typed = u"new\\nvalue" + std::u16string(2000, u'x');
    const std::string stored = "new\r\nvalue" + std::string(2000, 'x');
    for (n = 1; n < 200; ++n) {
        PutStream(file, "Comment", "old value");
        const int set = Set(typed, n);
        ASSERT_TRUE(set == 0 || (allocationFailed && set == -2)) << n << ": " << set;
        const std::string now = Stream();
        ASSERT_TRUE(now == "old value" || now == stored) << now;
        if (!allocationFailed) break;
    }
    EXPECT_GT(n, 2);  // the line breaks and the long value each take memory
}

#if defined(_WIN32)

std::atomic<int> gOpen{0}, gRestores{0};
HANDLE WINAPI CountingCreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g) {
    const HANDLE h = CreateFileW(a, b, c, d, e, f, g);
    if (h != INVALID_HANDLE_VALUE) ++gOpen;
    return h;
}
BOOL WINAPI CountingCloseHandle(HANDLE h) {
    --gOpen;
    return CloseHandle(h);
}
HANDLE WINAPI FailingCreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}
BOOL WINAPI PlannedWriteFile(HANDLE h, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED o) {
    switch (NextStep()) {
        case 'F':
            *written = 0;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        case 'S':
            return WriteFile(h, data, size > 1 ? size - 1 : size, written, o);
        default:
            return WriteFile(h, data, size, written, o);
    }
}
BOOL WINAPI PlannedSetFileInformationByHandle(HANDLE h, FILE_INFO_BY_HANDLE_CLASS c, LPVOID info, DWORD size) {
    if (NextStep() != 'F') return SetFileInformationByHandle(h, c, info, size);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
BOOL WINAPI FailingGetFileSizeEx(HANDLE, PLARGE_INTEGER) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI FailingReadFile(HANDLE, LPVOID, DWORD, LPDWORD got, LPOVERLAPPED) {
    *got = 0;
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
}
BOOL WINAPI FailingDeleteFileW(LPCWSTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI FailingGetFileTime(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME) { return FALSE; }
// Counts the times set.
BOOL WINAPI CountingSetFileTime(HANDLE h, const FILETIME* a, const FILETIME* b, const FILETIME* c) {
    const BOOL set = SetFileTime(h, a, b, c);
    if (set) ++gRestores;
    return set;
}
BOOL WINAPI FailingSetFileTime(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*) { return FALSE; }

template <typename Fn>
SystemCall Call(Fn fn) {
    return reinterpret_cast<SystemCall>(fn);
}

// A write that fails at any step leaves the stream as it was (or absent, as it was), its file's
// time as it was, and no handle open.
TEST_F(Faults, AFailedWriteLosesNothing) {
    const std::string longer = "a new value longer than the old one";
    struct Case {
        const char* name;
        const char* call;
        SystemCall replacement;
        const char* plan;
        std::string before;  // "<absent>": no stream
        std::string value;
    } cases[] = {
        {"the open", "CreateFileW", Call(FailingCreateFileW), "", "old value", "new value"},
        {"the size", "GetFileSizeEx", Call(FailingGetFileSizeEx), "", "old value", "new value"},
        {"the read of the old value", "ReadFile", Call(FailingReadFile), "", "old value", "new value"},
        {"the extension", "SetFileInformationByHandle", Call(PlannedSetFileInformationByHandle), "F", "old value", longer},
        {"the write", "WriteFile", Call(PlannedWriteFile), "F", "old value", "new value"},
        {"the write of a longer value", "WriteFile", Call(PlannedWriteFile), "F", "old value", longer},
        {"a short write, then none", "WriteFile", Call(PlannedWriteFile), "SF", "old value", longer},
        {"the final length", "SetFileInformationByHandle", Call(PlannedSetFileInformationByHandle), "F", "old value", "new"},
        {"the putting back, short once", "WriteFile", Call(PlannedWriteFile), "FS", "old value", longer},
        {"the putting back fails once", "WriteFile", Call(PlannedWriteFile), "FF", "old value", longer},
        {"the old length fails once", "SetFileInformationByHandle", Call(PlannedSetFileInformationByHandle), "FF",
         "old value", "new"},
        {"an empty stream", "WriteFile", Call(PlannedWriteFile), "F", "", "new value"},
        {"no stream: the write", "WriteFile", Call(PlannedWriteFile), "F", "<absent>", "new value"},
        {"no stream: the extension", "SetFileInformationByHandle", Call(PlannedSetFileInformationByHandle), "F",
         "<absent>", "new value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare(c.before, c.plan);
        gOpen = 0;
        Inject("CloseHandle", Call(CountingCloseHandle));
        if (std::string(c.call) != "CreateFileW") Inject("CreateFileW", Call(CountingCreateFileW));
        Inject(c.call, c.replacement);
        EXPECT_EQ(Set(std::u16string(c.value.begin(), c.value.end())), -2);
        for (const char* name : kCalls) velkaron::platform::SetSystemCall(name, nullptr);
        EXPECT_EQ(gOpen.load(), 0) << "handles left open";
        EXPECT_EQ(Stream(), c.before);
        EXPECT_EQ(GetWriteTime(file), original);
        EXPECT_EQ(Set(std::u16string(c.value.begin(), c.value.end())), 0);  // the same write, unhindered
        EXPECT_EQ(Stream(), c.value);
    }
}

TEST_F(Faults, EachFailureGivesItsCodeAndClosesEveryHandle) {
    struct Case {
        const char* name;
        const char* call;
        SystemCall replacement;
        bool clear;   // a clear instead of a write
        int setCode;  // what the write (or clear) answers
        std::string stream;  // the stream afterwards
    } cases[] = {
        {"delete fails", "DeleteFileW", Call(FailingDeleteFileW), true, -2, "old value"},
        {"time capture fails", "GetFileTime", Call(FailingGetFileTime), false, 0, "new value"},
        {"time restore fails", "SetFileTime", Call(FailingSetFileTime), false, 0, "new value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutStream(file, "Comment", "old value");
        gOpen = 0;
        Inject("CloseHandle", Call(CountingCloseHandle));
        Inject("CreateFileW", Call(CountingCreateFileW));
        Inject(c.call, c.replacement);
        EXPECT_EQ(Set(c.clear ? u"" : u"new value"), c.setCode);
        for (const char* name : kCalls) velkaron::platform::SetSystemCall(name, nullptr);
        EXPECT_EQ(gOpen.load(), 0) << "handles left open";
        EXPECT_EQ(Stream(), c.stream);
    }
}

// KeepTime while another handle holds the file, with write access and read sharing only (as
// editors hold a document) or exclusively: the time steps open it for its attributes alone.
TEST_F(Faults, KeepTimeHoldsWhileTheFileIsOpenElsewhere) {
    for (const auto& [access, share] : {std::pair<DWORD, DWORD>{GENERIC_WRITE, FILE_SHARE_READ},
                                        std::pair<DWORD, DWORD>{GENERIC_READ | GENERIC_WRITE, 0}}) {
        SCOPED_TRACE(share);
        SetWriteTime(file, original);
        const HANDLE holder = CreateFileW(file.wstring().c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        gRestores = 0;
        Inject("SetFileTime", Call(CountingSetFileTime));
        EXPECT_EQ(Set(u"new value"), 0);
        EXPECT_EQ(gRestores.load(), 1);
        CloseHandle(holder);
        EXPECT_EQ(GetWriteTime(file), original);
    }
}

// The stream listing, fed what Windows gives: the file's own "::$DATA" first (a folder has none),
// then ":NAME:$DATA" with sizes, then the end (ERROR_HANDLE_EOF), or a failure.
std::vector<std::pair<std::wstring, LONGLONG>> gListed;
std::size_t gNextListed = 0;
DWORD gListEnd = ERROR_HANDLE_EOF;
std::atomic<int> gSearches{0};
BOOL NextListed(LPVOID data) {
    if (gNextListed >= gListed.size()) {
        SetLastError(gListEnd);
        return FALSE;
    }
    auto* found = static_cast<WIN32_FIND_STREAM_DATA*>(data);
    std::fill(std::begin(found->cStreamName), std::end(found->cStreamName), L'#');  // no terminator past the name
    const std::wstring& name = gListed[gNextListed].first;
    std::copy(name.begin(), name.end(), found->cStreamName);
    if (name.size() < MAX_PATH + 36) found->cStreamName[name.size()] = L'\0';
    found->StreamSize.QuadPart = gListed[gNextListed++].second;
    return TRUE;
}
HANDLE WINAPI ListedFindFirstStreamW(LPCWSTR, STREAM_INFO_LEVELS, LPVOID data, DWORD) {
    gNextListed = 0;
    if (!NextListed(data)) return INVALID_HANDLE_VALUE;
    ++gSearches;
    return reinterpret_cast<HANDLE>(0x5EA4C4);
}
BOOL WINAPI ListedFindNextStreamW(HANDLE, LPVOID data) { return NextListed(data); }
BOOL WINAPI CountingFindClose(HANDLE) {
    --gSearches;
    return TRUE;
}

TEST_F(Faults, TheStreamListingShowsWhatWindowsLists) {
    const std::wstring longest = L":" + std::wstring(255, L'n') + L":$DATA";
    struct Case {
        const char* name;
        std::vector<std::pair<std::wstring, LONGLONG>> listed;
        DWORD end;
        std::u16string text;  // "": the field is empty
    } cases[] = {
        {"a file", {{L"::$DATA", 100}, {L":Zone.Identifier:$DATA", 26}, {L":Comment:$DATA", 5}}, ERROR_HANDLE_EOF,
         u"Comment (5), Zone.Identifier (26)"},
        {"a folder", {{L":Comment:$DATA", 7}}, ERROR_HANDLE_EOF, u"Comment (7)"},
        {"the longest name, over 4 GiB", {{L"::$DATA", 0}, {longest, 4294967301}}, ERROR_HANDLE_EOF,
         std::u16string(255, u'n') + u" (4294967301)"},
        {"names that hold the list's marks, quotes, control characters",
         {{L"::$DATA", 9}, {L":a (1), b:$DATA", 2}, {L":say \"hi\":$DATA", 4}, {L":two\r\nlines\t\\:$DATA", 5},
          {L":my notes:$DATA", 3}},
         ERROR_HANDLE_EOF,
         u"\"a (1), b\" (2), my notes (3), \"say \"\"hi\"\"\" (4), \"two\\x0D\\x0Alines\\x09\\\\\" (5)"},
        {"no named stream", {{L"::$DATA", 3}}, ERROR_HANDLE_EOF, u""},
        {"no stream at all", {}, ERROR_HANDLE_EOF, u""},
        {"cannot be listed", {}, ERROR_ACCESS_DENIED, u""},
        {"a failure in the middle", {{L"::$DATA", 3}, {L":Comment:$DATA", 5}}, ERROR_NOT_ENOUGH_MEMORY, u""},
    };
    velkaron::Configuration config;
    config.fields.resize(1);
    config.fields[0].FieldName = u"Streams";
    config.fields[0].Listing = true;
    velkaron::InstallConfiguration(std::move(config));
    Inject("FindFirstStreamW", Call(ListedFindFirstStreamW));
    Inject("FindNextStreamW", Call(ListedFindNextStreamW));
    Inject("FindClose", Call(CountingFindClose));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gListed = c.listed;
        gListEnd = c.end;
        std::u16string name = file.u16string();
        std::vector<char16_t> buffer(1024, u'#');
        const int code = ContentGetValueW(name.data(), 0, 0, buffer.data(), 2048, 0);
        EXPECT_EQ(code, c.text.empty() ? -3 : 11);
        EXPECT_EQ(code == 11 ? std::u16string(buffer.data()) : u"", c.text);
        EXPECT_EQ(gSearches.load(), 0) << "a search left open";
    }
}

TEST_F(Faults, AFailedCaptureRestoresNothing) {
    gRestores = 0;
    Inject("GetFileTime", Call(FailingGetFileTime));
    Inject("SetFileTime", Call(CountingSetFileTime));
    EXPECT_EQ(Set(u"new value"), 0);
    EXPECT_EQ(gRestores.load(), 0);
}

TEST_F(Faults, AFailedReadIsAnEmptyField) {
    gOpen = 0;
    Inject("CreateFileW", Call(CountingCreateFileW));
    Inject("CloseHandle", Call(CountingCloseHandle));
    Inject("ReadFile", Call(FailingReadFile));
    EXPECT_EQ(Get(), -3);
    velkaron::platform::SetSystemCall("ReadFile", nullptr);
    EXPECT_EQ(Get(), 11);
    EXPECT_EQ(gOpen.load(), 0);
}

#else

std::atomic<int> gRestores{0}, gGrowths{0}, gVanishings{0};
// A 6,000-byte attribute that grows gGrowths more times between being measured and being read,
// and is measured empty gVanishings times (it shrank to nothing, then grew back).
ssize_t GrowingGetxattr(const char*, const char*, void* value, size_t size) {
    static const std::string attribute(6000, 'z');
    if (size == 0) return gVanishings-- > 0 ? 0 : static_cast<ssize_t>(attribute.size());
    if (size < attribute.size() || gGrowths-- > 0) {
        errno = ERANGE;
        return -1;
    }
    std::memcpy(value, attribute.data(), attribute.size());
    return static_cast<ssize_t>(attribute.size());
}
ssize_t FailingGetxattr(const char*, const char*, void*, size_t) {
    errno = EIO;
    return -1;
}
int FailingSetxattr(const char*, const char*, const void*, size_t, int) {
    errno = ENOSPC;
    return -1;
}
// A file system that does not keep the old value: FUSE's magic number in place of the real one,
// and a setxattr that empties the attribute before it runs out of room, as ntfs-3g's does, when
// its plan says 'F'.
int FuseStatfs(const char* path, struct statfs* volume) {
    const int rc = statfs(path, volume);
    volume->f_type = 0x65735546;
    return rc;
}
// A volume of the given type: what an in-kernel NTFS driver, ntfs-3g or ext4 reports. Counted.
std::atomic<int> gStatfsCalls{0};
template <unsigned long Type>
int TypedStatfs(const char* path, struct statfs* volume) {
    ++gStatfsCalls;
    const int rc = statfs(path, volume);
    volume->f_type = static_cast<decltype(volume->f_type)>(Type);
    return rc;
}
constexpr unsigned long kNtfs3 = 0x7366746e, kNtfs = 0x5346544e, kExt4 = 0xef53;
int FailingStatfs(const char*, struct statfs*) {
    errno = EIO;
    return -1;
}
int EmptyingSetxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
    if (NextStep() != 'F') return setxattr(path, name, value, size, flags);
    setxattr(path, name, "", 0, 0);
    errno = ENOSPC;
    return -1;
}
int FailingRemovexattr(const char*, const char*) {
    errno = EIO;
    return -1;
}
int FailingStat(const char*, struct stat*) {
    errno = EIO;
    return -1;
}
int CountingUtimensat(int dir, const char* path, const struct timespec* times, int flags) {
    ++gRestores;
    return utimensat(dir, path, times, flags);
}
int FailingUtimensat(int, const char*, const struct timespec*, int) {
    errno = EPERM;
    return -1;
}

template <typename Fn>
SystemCall Call(Fn fn) {
    return reinterpret_cast<SystemCall>(fn);
}

// A write that fails leaves the attribute as it was (or absent, as it was) and the file's time as
// it was, whether the file system keeps the old value itself or the library has to put it back,
// in either store (Samba's values end in a zero byte).
TEST_F(Faults, AFailedWriteLosesNothing) {
    using velkaron::platform::StreamStore;
    const std::string samba("old value", 10);
    struct Case {
        const char* name;
        SystemCall statfs;  // null: the real one
        const char* call;
        SystemCall replacement;
        const char* plan;
        std::string before;  // "<absent>": no attribute
        StreamStore store;
    } cases[] = {
        {"a file system that keeps the old value", nullptr, "setxattr", Call(FailingSetxattr), "", "old value", StreamStore::Ntfs3g},
        {"the write", Call(FuseStatfs), "setxattr", Call(EmptyingSetxattr), "F", "old value", StreamStore::Ntfs3g},
        {"the write, no attribute before", Call(FuseStatfs), "setxattr", Call(EmptyingSetxattr), "F", "<absent>", StreamStore::Ntfs3g},
        {"the write, unknown file system", Call(FailingStatfs), "setxattr", Call(EmptyingSetxattr), "F", "old value", StreamStore::Ntfs3g},
        {"the read of the old value", Call(FuseStatfs), "getxattr", Call(FailingGetxattr), "", "old value", StreamStore::Ntfs3g},
        {"Samba, the write", Call(FuseStatfs), "setxattr", Call(EmptyingSetxattr), "F", samba, StreamStore::Samba},
        {"Samba, no attribute before", Call(FuseStatfs), "setxattr", Call(EmptyingSetxattr), "F", "<absent>", StreamStore::Samba},
        {"the kernel's ntfs3", nullptr, "statfs", Call(TypedStatfs<kNtfs3>), "", "old value", StreamStore::Ntfs3g},
        {"the kernel's ntfs", nullptr, "statfs", Call(TypedStatfs<kNtfs>), "", "<absent>", StreamStore::Ntfs3g},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UseStore(c.store);
        Prepare(c.before, c.plan);
        if (c.statfs != nullptr) Inject("statfs", c.statfs);
        Inject(c.call, c.replacement);
        const std::string stored = c.store == StreamStore::Samba ? std::string("new value", 10) : "new value";
        EXPECT_EQ(Set(u"new value"), -2);
        EXPECT_EQ(Stream(), c.before);
        EXPECT_EQ(GetWriteTime(file), original);
        velkaron::platform::SetSystemCall(c.call, nullptr);
        EXPECT_EQ(Set(u"new value"), 0);  // the same write, unhindered
        EXPECT_EQ(Stream(), stored);
        velkaron::platform::SetSystemCall("statfs", nullptr);
    }
}

// On a volume of an in-kernel NTFS driver ntfs-3g's store is out of reach: a change is a file
// error that writes nothing and the listing is empty, while a value already there reads as it is,
// with no statfs. The first meeting says so, once, naming the mount point. Samba's store there,
// and ntfs-3g's on any other file system, work as before.
TEST_F(Faults, InKernelNtfsDriversRefuseNtfs3gStreams) {
    using velkaron::platform::StreamStore;
    struct Case {
        const char* name;
        SystemCall statfs;
        StreamStore store;
        bool reachable;
    } cases[] = {
        {"ntfs3", Call(TypedStatfs<kNtfs3>), StreamStore::Ntfs3g, false},
        {"ntfs", Call(TypedStatfs<kNtfs>), StreamStore::Ntfs3g, false},
        {"ntfs3, Samba's store", Call(TypedStatfs<kNtfs3>), StreamStore::Samba, true},
        {"ntfs, Samba's store", Call(TypedStatfs<kNtfs>), StreamStore::Samba, true},
        {"ntfs-3g", Call(FuseStatfs), StreamStore::Ntfs3g, true},
        {"ext4", Call(TypedStatfs<kExt4>), StreamStore::Ntfs3g, true},
    };
    const auto get = [&](int field) {
        std::u16string name = file.u16string();
        char16_t value[64] = {};
        return ContentGetValueW(name.data(), field, 0, value, sizeof value, 0) == 11 ? U8(value) : "<empty>";
    };
    testing::internal::CaptureStderr();  // the note, if this process had not met such a volume before
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        velkaron::Configuration config;
        config.fields = {{u"Comment", u"Comment"}, {u"Streams", u""}};
        config.fields[1].Listing = true;
        config.options = velkaron::PluginOptions;
        config.store = c.store;
        velkaron::InstallConfiguration(std::move(config));
        attribute = c.store == StreamStore::Samba ? "DosStream.Comment:$DATA" : "Comment";
        const bool samba = c.store == StreamStore::Samba;
        const std::string old = samba ? std::string("old value", 10) : "old value";
        const std::string stored = samba ? std::string("new value", 10) : "new value";
        Prepare(old, "");
        Inject("statfs", c.statfs);
        gStatfsCalls = 0;
        EXPECT_EQ(get(0), "old value");
        EXPECT_EQ(gStatfsCalls.load(), 0) << "a read asked statfs";
        EXPECT_EQ(get(1), c.reachable ? "Comment (9)" : "<empty>");
        EXPECT_EQ(Set(u"new value"), c.reachable ? 0 : -2);
        EXPECT_EQ(Stream(), c.reachable ? stored : old);
        EXPECT_EQ(Set(u""), c.reachable ? 0 : -2);
        EXPECT_EQ(Stream(), c.reachable ? "<absent>" : old);
        velkaron::platform::SetSystemCall("statfs", nullptr);
    }
    testing::internal::GetCapturedStderr();
}

// In a process of its own, which has met no such volume yet (re-run, not forked, for a fresh
// one): one line for all the refusals, naming the mount point, the driver and the remedy.
TEST_F(Faults, AnInKernelNtfsDriverIsToldOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    velkaron::Configuration config;
    config.fields = {{u"Comment", u"Comment"}, {u"Streams", u""}};
    config.fields[1].Listing = true;
    velkaron::InstallConfiguration(std::move(config));
    Inject("statfs", Call(TypedStatfs<kNtfs3>));
    EXPECT_EXIT(
        {
            Set(u"new value");
            Set(u"");
            std::u16string name = file.u16string();
            char16_t value[64];
            ContentGetValueW(name.data(), 1, 0, value, sizeof value, 0);
            std::exit(0);
        },
        testing::ExitedWithCode(0),
        "^Velkaron: /[^\n]* is mounted with the kernel's ntfs3 driver[^\n]*; mount it with ntfs-3g[^\n]*\n$");
}

TEST_F(Faults, EachFailureGivesItsCodeAndLeavesThePreviousValueWhole) {
    struct Case {
        const char* name;
        const char* call;
        SystemCall replacement;
        bool clear;
        int setCode;
        std::string stream;
    } cases[] = {
        {"delete fails", "removexattr", Call(FailingRemovexattr), true, -2, "old value"},
        {"time capture fails", "stat", Call(FailingStat), false, 0, "new value"},
        {"time restore fails", "utimensat", Call(FailingUtimensat), false, 0, "new value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutStream(file, "Comment", "old value");
        Inject(c.call, c.replacement);
        EXPECT_EQ(Set(c.clear ? u"" : u"new value"), c.setCode);
        velkaron::platform::SetSystemCall(c.call, nullptr);
        EXPECT_EQ(Stream(), c.stream);
    }
}

TEST_F(Faults, AFailedCaptureRestoresNothing) {
    gRestores = 0;
    Inject("stat", Call(FailingStat));
    Inject("utimensat", Call(CountingUtimensat));
    EXPECT_EQ(Set(u"new value"), 0);
    EXPECT_EQ(gRestores.load(), 0);
    velkaron::platform::SetSystemCall("stat", nullptr);
    EXPECT_EQ(Set(u"again"), 0);
    EXPECT_EQ(gRestores.load(), 1);
    EXPECT_EQ(GetWriteTime(file), original);
}

TEST_F(Faults, AFailedReadIsAnEmptyField) {
    Inject("getxattr", Call(FailingGetxattr));
    EXPECT_EQ(Get(), -3);
    velkaron::platform::SetSystemCall("getxattr", nullptr);
    EXPECT_EQ(Get(), 11);
}

// Larger than the first offer: measured and read whole, measured again while it keeps growing,
// given up after four tries. Measured empty, it is empty: a call that only measures is no read.
TEST_F(Faults, ALargeAttributeIsMeasuredAndReadWhole) {
    Inject("getxattr", Call(GrowingGetxattr));
    for (int growths : {0, 3}) {
        gGrowths = growths;
        EXPECT_EQ(Get(), 11) << growths;
    }
    gGrowths = 4;
    EXPECT_EQ(Get(), -3);
    gGrowths = 0;
    gVanishings = 1;
    EXPECT_EQ(Get(), -3);
}

// The stream listing on a FUSE file system (ntfs-3g), fed values of any size for the attributes
// the file has: a size query answers at most 65536, a read into less room than the value fails
// with ERANGE, into 65536 bytes (the most getxattr returns) with E2BIG. Values are 'v's, with a
// zero byte at the end when asked.
struct FuseValue {
    std::string name;
    unsigned long long size;
    bool zeroEnd;
};
std::vector<FuseValue> gFuseValues;
ssize_t FuseGetxattr(const char*, const char* name, void* value, size_t size) {
    for (const FuseValue& v : gFuseValues) {
        if ("user." + v.name != name) continue;
        if (size == 0) return static_cast<ssize_t>(std::min<unsigned long long>(v.size, 65536));
        if (size < v.size) return errno = size >= 65536 ? E2BIG : ERANGE, -1;
        std::memset(value, 'v', v.size);
        if (v.zeroEnd) static_cast<char*>(value)[v.size - 1] = '\0';
        return static_cast<ssize_t>(v.size);
    }
    return errno = ENODATA, -1;
}

TEST_F(Faults, TheStreamListingShowsWhatFuseMeasuresAsALowerBound) {
    using velkaron::platform::StreamStore;
    struct Case {
        StreamStore store;
        std::vector<FuseValue> values;
        std::u16string text;
    } cases[] = {
        {StreamStore::Ntfs3g,
         {{"big", 100000, false}, {"huge", 5368709120, false}, {"exact", 65536, false}, {"less", 65535, false},
          {"small", 5, true}},
         u"big (65536+), exact (65536), huge (65536+), less (65535), small (5)"},
        {StreamStore::Samba,
         {{"DosStream.big:$DATA", 100000, true}, {"DosStream.over:$DATA", 65537, true},
          {"DosStream.full:$DATA", 65536, false}, {"DosStream.mid:$DATA", 6000, true},
          {"DosStream.raw:$DATA", 6000, false}, {"DosStream.small:$DATA", 5, true}},
         u"big (65536+), full (65536), mid (5999), over (65536+), raw (6000), small (4)"},
    };
    Inject("getxattr", Call(FuseGetxattr));
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.text));
        velkaron::Configuration config;
        config.fields = {{u"Streams", u""}};
        config.fields[0].Listing = true;
        config.store = c.store;
        velkaron::InstallConfiguration(std::move(config));
        WriteFile(file, "new file");
        gFuseValues = c.values;
        for (const FuseValue& value : c.values) PutStream(file, value.name, "");  // for listxattr to list
        std::u16string name = file.u16string();
        std::vector<char16_t> buffer(1024, u'#');
        EXPECT_EQ(ContentGetValueW(name.data(), 0, 0, buffer.data(), 2048, 0), 11);
        EXPECT_EQ(U8(buffer.data()), U8(c.text));
    }
}

#endif

// Reads never overlap. One thread reads alone first, long enough for the read lock to settle on
// it; then three other threads start reading while that thread is inside a read (which waits
// there a while for them), and all four go on. The OS read in the middle of each read counts how
// many are in it at once, and gives way to the other threads while it is.
std::atomic<int> gReadsInside{0}, gMostInside{0};
std::atomic<bool> gHoldNextRead{false}, gOthersGo{false};
void CountOverlap(int delta) {
    const int now = gReadsInside += delta;
    for (int most = gMostInside.load(); now > most && !gMostInside.compare_exchange_weak(most, now);) {}
    if (delta > 0 && gHoldNextRead.exchange(false)) {
        gOthersGo = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::yield();
}
#if defined(_WIN32)
BOOL WINAPI OverlapCountingReadFile(HANDLE h, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED o) {
    CountOverlap(1);
    const BOOL ok = ReadFile(h, data, size, got, o);
    CountOverlap(-1);
    return ok;
}
constexpr const char* kReadCall = "ReadFile";
const SystemCall kOverlapCountingRead = Call(OverlapCountingReadFile);
#else
ssize_t OverlapCountingGetxattr(const char* path, const char* name, void* value, size_t size) {
    CountOverlap(1);
    const ssize_t got = getxattr(path, name, value, size);
    CountOverlap(-1);
    return got;
}
constexpr const char* kReadCall = "getxattr";
const SystemCall kOverlapCountingRead = Call(OverlapCountingGetxattr);
#endif

TEST_F(Faults, ReadsNeverOverlap) {
    gReadsInside = 0;
    gMostInside = 0;
    gOthersGo = false;
    Inject(kReadCall, kOverlapCountingRead);
    const std::u16string name = file.u16string();
    std::atomic<int> wrong{0};
    const auto read = [&](int times) {
        for (int i = 0; i < times; ++i) {
            char16_t value[64];
            std::u16string path = name;
            if (ContentGetValueW(path.data(), 0, 0, value, sizeof value, 0) != 11 ||
                std::u16string(value) != u"old value") {
                ++wrong;
            }
        }
    };
    read(200);
    std::vector<std::thread> others;
    for (int t = 0; t < 3; ++t) {
        others.emplace_back([&] {
            while (!gOthersGo) std::this_thread::yield();
            read(300);
        });
    }
    gHoldNextRead = true;
    read(300);
    for (std::thread& t : others) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(gMostInside.load(), 1);
}

}  // namespace
