// The OS layer for Windows: kernel32 and user32, called directly.
#include <windows.h>

#include <algorithm>
#include <new>

#include "platform/ascii_blocks.h"
#include "platform/platform.h"
#include "platform/syscalls.h"
#include "platform/win32/long_path.h"

namespace velkaron::platform {
namespace {

using CreateFileWFn = decltype(&::CreateFileW);
using ReadFileFn = decltype(&::ReadFile);
using WriteFileFn = decltype(&::WriteFile);
using CloseHandleFn = decltype(&::CloseHandle);
using DeleteFileWFn = decltype(&::DeleteFileW);
using GetFileTimeFn = decltype(&::GetFileTime);
using SetFileTimeFn = decltype(&::SetFileTime);
using GetFileSizeExFn = decltype(&::GetFileSizeEx);
using SetFileInformationByHandleFn = decltype(&::SetFileInformationByHandle);
using FindFirstStreamWFn = decltype(&::FindFirstStreamW);
using FindNextStreamWFn = decltype(&::FindNextStreamW);
using FindCloseFn = decltype(&::FindClose);

// Stream listing came with Vista: looked up, so that the library still loads without it.
SystemCall Kernel32Call(const char* name) {
    return reinterpret_cast<SystemCall>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

SystemCallSlot kSystemCalls[] = {
    {"CreateFileW", AsSystemCall(&::CreateFileW), AsSystemCall(&::CreateFileW)},
    {"ReadFile", AsSystemCall(&::ReadFile), AsSystemCall(&::ReadFile)},
    {"WriteFile", AsSystemCall(&::WriteFile), AsSystemCall(&::WriteFile)},
    {"CloseHandle", AsSystemCall(&::CloseHandle), AsSystemCall(&::CloseHandle)},
    {"DeleteFileW", AsSystemCall(&::DeleteFileW), AsSystemCall(&::DeleteFileW)},
    {"GetFileTime", AsSystemCall(&::GetFileTime), AsSystemCall(&::GetFileTime)},
    {"SetFileTime", AsSystemCall(&::SetFileTime), AsSystemCall(&::SetFileTime)},
    {"GetFileSizeEx", AsSystemCall(&::GetFileSizeEx), AsSystemCall(&::GetFileSizeEx)},
    {"SetFileInformationByHandle", AsSystemCall(&::SetFileInformationByHandle),
     AsSystemCall(&::SetFileInformationByHandle)},
    {"FindFirstStreamW", Kernel32Call("FindFirstStreamW"), Kernel32Call("FindFirstStreamW")},
    {"FindNextStreamW", Kernel32Call("FindNextStreamW"), Kernel32Call("FindNextStreamW")},
    {"FindClose", AsSystemCall(&::FindClose), AsSystemCall(&::FindClose)},
};

#define osCreateFileW (reinterpret_cast<CreateFileWFn>(kSystemCalls[0].current))
#define osReadFile (reinterpret_cast<ReadFileFn>(kSystemCalls[1].current))
#define osWriteFile (reinterpret_cast<WriteFileFn>(kSystemCalls[2].current))
#define osCloseHandle (reinterpret_cast<CloseHandleFn>(kSystemCalls[3].current))
#define osDeleteFileW (reinterpret_cast<DeleteFileWFn>(kSystemCalls[4].current))
#define osGetFileTime (reinterpret_cast<GetFileTimeFn>(kSystemCalls[5].current))
#define osSetFileTime (reinterpret_cast<SetFileTimeFn>(kSystemCalls[6].current))
#define osGetFileSizeEx (reinterpret_cast<GetFileSizeExFn>(kSystemCalls[7].current))
#define osSetFileInformationByHandle (reinterpret_cast<SetFileInformationByHandleFn>(kSystemCalls[8].current))
#define osFindFirstStreamW (reinterpret_cast<FindFirstStreamWFn>(kSystemCalls[9].current))
#define osFindNextStreamW (reinterpret_cast<FindNextStreamWFn>(kSystemCalls[10].current))
#define osFindClose (reinterpret_cast<FindCloseFn>(kSystemCalls[11].current))

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16 units");

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

// Paths of MAX_PATH characters or more reach the file functions only in the "\\?\" form.
std::u16string ForFileCalls(const std::u16string& path) {
    return path.size() < MAX_PATH ? path : ToLongPath(path);
}

class Handle {
public:
    explicit Handle(HANDLE h) noexcept : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) osCloseHandle(h_);
    }
    bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const noexcept { return h_; }

private:
    HANDLE h_;
};

}  // namespace

std::u16string OwnModulePath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnModulePath), &self)) {
        return {};
    }
    // A cut path would name the wrong file: grow the buffer until the whole path fits.
    for (DWORD size = MAX_PATH + 1; size <= 0x10000; size *= 2) {
        std::u16string path(size, u'\0');
        const DWORD length = GetModuleFileNameW(self, reinterpret_cast<wchar_t*>(path.data()), size);
        if (length == 0) return {};
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return {};
}

bool FileExists(const std::u16string& path) {
    const std::u16string name = ForFileCalls(path);
    const DWORD attributes = GetFileAttributesW(W(name));
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        // A link exists as a file only when its target does.
        Handle target(CreateFileW(W(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  0, nullptr));
        return target.valid() || GetLastError() == ERROR_SHARING_VIOLATION;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME) {
        return false;
    }
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(W(name), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether a failed call's error says the name is taken.
static bool NameTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

CopyOutcome CopyFileNoOverwrite(const std::u16string& source, const std::u16string& target) {
    const std::u16string from = ForFileCalls(source), to = ForFileCalls(target);
    // A name of this process's own beside the target; CopyFileW fails when another has it.
    std::u16string temporary;
    bool copied = false;
    for (unsigned attempt = 0; attempt < 100 && !copied; ++attempt) {
        const std::string suffix = "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp";
        temporary = ForFileCalls(target + std::u16string(suffix.begin(), suffix.end()));
        copied = CopyFileW(W(from), W(temporary), TRUE) != FALSE;
        if (!copied && !NameTaken(GetLastError())) {
            DeleteFileW(W(temporary));  // in case a copy cut short left some of it
            return CopyOutcome::Failed;
        }
    }
    if (!copied) return CopyOutcome::Failed;
    // The copy takes the source's attributes; a configuration copied to be edited must not be
    // read-only.
    const DWORD attributes = GetFileAttributesW(W(temporary));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(W(temporary), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    if (MoveFileExW(W(temporary), W(to), MOVEFILE_WRITE_THROUGH)) return CopyOutcome::Copied;
    const DWORD error = GetLastError();
    DeleteFileW(W(temporary));
    return NameTaken(error) ? CopyOutcome::NameTaken : CopyOutcome::Failed;
}

bool MakeFoldersBelow(const std::u16string& base, const std::u16string& path) {
    // CreateDirectoryW takes at most MAX_PATH - 12 characters unless the name is in long form.
    auto longForm = [](const std::u16string& folder) {
        return folder.size() < MAX_PATH - 12 ? folder : ToLongPath(folder);
    };
    auto isFolder = [](const std::u16string& name) {
        const DWORD attributes = GetFileAttributesW(W(name));
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    };
    auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (base.empty() || path.size() <= base.size() || path.compare(0, base.size(), base) != 0 ||
        !(separator(path[base.size()]) || separator(base.back())) || !isFolder(longForm(base))) {
        return false;
    }
    // Each folder after base in turn.
    for (std::size_t end = base.size() + 1; end <= path.size(); ++end) {
        if ((end < path.size() && !separator(path[end])) || separator(path[end - 1])) continue;
        const std::u16string name = longForm(path.substr(0, end));
        if (!CreateDirectoryW(W(name), nullptr) && !isFolder(name)) return false;
    }
    return true;
}

std::u16string UserConfigurationFolder(std::u16string& base) {
    std::u16string folder;
    for (DWORD size = MAX_PATH;;) {
        folder.assign(size, u'\0');
        const DWORD length = GetEnvironmentVariableW(L"APPDATA", reinterpret_cast<wchar_t*>(folder.data()), size);
        if (length < size) {
            folder.resize(length);  // 0: unset or empty
            break;
        }
        size = length;  // too small: length is the size it needs
    }
    // Only an absolute path counts: "X:\..." or "\\server\share...".
    const bool drive = folder.size() >= 3 && folder[1] == u':' && (folder[2] == u'\\' || folder[2] == u'/');
    const bool unc = folder.size() >= 2 && folder[0] == u'\\' && folder[1] == u'\\';
    base.clear();
    if (!drive && !unc) return {};
    while (folder.size() > 3 && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
    base = folder;
    return (folder.back() == u'\\' || folder.back() == u'/' ? folder : folder + u'\\') + u"Velkaron";
}

std::u16string SameNameIn(const std::u16string& folder, const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return folder + u'\\' + path.substr(slash == std::u16string::npos ? 0 : slash + 1);
}

bool ReadWholeFile(const std::u16string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    Handle file(CreateFileW(W(ForFileCalls(path)), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    // A disk file only: a pipe or a device has no size to trust and may never end.
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        return false;
    }
    // Read to its end, but never past maxBytes: the file may grow while it is read.
    bytes.assign(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
    std::size_t total = 0;
    for (DWORD got = 1; got > 0; total += got) {
        if (total == bytes.size()) {
            if (total > maxBytes) return false;
            bytes.resize(maxBytes + 1);
        }
        if (!ReadFile(file.get(), bytes.data() + total, static_cast<DWORD>(bytes.size() - total), &got, nullptr)) {
            return false;
        }
    }
    bytes.resize(total);
    return true;
}

bool SystemProfileReaderOpens(const std::u16string& path) { return path.size() < MAX_PATH; }

std::u16string ReadSystemProfileString(const std::u16string& path, const std::u16string& section,
                                       const std::u16string& key, const std::u16string& fallback,
                                       std::size_t bufferUnits) {
    if (bufferUnits == 0) return {};
    std::u16string buffer(bufferUnits, u'\0');
    const DWORD length = GetPrivateProfileStringW(W(section), W(key), W(fallback),
                                                  reinterpret_cast<wchar_t*>(buffer.data()),
                                                  static_cast<DWORD>(bufferUnits), W(path));
    buffer.resize(length < bufferUnits ? length : bufferUnits - 1);
    return buffer.substr(0, buffer.find(u'\0'));
}

void ShowLoadNote(const std::u16string&) {}

void ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
    MessageBoxW(nullptr, W(text), W(caption), MB_TASKMODAL | MB_ICONERROR);
}

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSection::storage));
static_assert(alignof(CRITICAL_SECTION) <= alignof(CriticalSection));

static CRITICAL_SECTION* AsNative(CriticalSection& section) {
    return reinterpret_cast<CRITICAL_SECTION*>(section.storage);
}

void InitCriticalSection(CriticalSection& section) noexcept {
    ::InitializeCriticalSection(new (section.storage) CRITICAL_SECTION);
}
void EnterCriticalSection(CriticalSection& section) noexcept { ::EnterCriticalSection(AsNative(section)); }
void LeaveCriticalSection(CriticalSection& section) noexcept { ::LeaveCriticalSection(AsNative(section)); }
void DeleteCriticalSection(CriticalSection& section) noexcept { ::DeleteCriticalSection(AsNative(section)); }

static std::size_t Encode(UINT codePage, std::u16string_view text, char* out) {
    if (text.empty() || text.size() > 0x7FFFFFFF / 3) return 0;
    const int units = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(text.data()), units,
                                         out, units * 3, nullptr, nullptr);
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

static std::size_t Decode(UINT codePage, std::string_view bytes, char16_t* out) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return 0;
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out), size);
    return units > 0 ? static_cast<std::size_t>(units) : 0;
}

std::size_t ToAnsi(std::u16string_view text, char* out) { return Encode(CP_ACP, text, out); }
std::size_t FromAnsi(std::string_view bytes, char16_t* out) { return Decode(CP_ACP, bytes, out); }
bool AnsiIsSingleByte() {
    static const bool single = [] {
        CPINFO info{};
        return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    }();
    return single;
}
std::size_t ToUtf8(std::u16string_view text, char* out) { return Encode(CP_UTF8, text, out); }
std::size_t FromUtf8(std::string_view bytes, char16_t* out) { return Decode(CP_UTF8, bytes, out); }

// Streams are the files' own: no setting chooses where they are.
StreamStore ReadStreamStore(const SettingLookup&, const std::u16string&, std::u16string&) { return StreamStore::Ntfs3g; }

// The streams' buffers are small and on the stack: most streams are read with one ReadFile and
// no allocation; a stream larger than the stack part is measured and read into a buffer of its
// size (capped by the host's limit). No one else can write while the stream is open unshared.
StreamName MakeStreamName(std::u16string_view stream, StreamStore) { return {std::u16string(stream), {}, {}}; }

bool ReadStream(std::u16string_view file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes) {
    bytes.Reserve(0);
    WideName path;
    Handle handle(osCreateFileW(W(BuildStreamPath(file, stream.wide, path)), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) return false;
    const DWORD first = static_cast<DWORD>(std::min(maxBytes, bytes.capacity()));
    DWORD got = 0;
    if (first > 0 && !osReadFile(handle.get(), bytes.data(), first, &got, nullptr)) return false;
    std::size_t total = got;
    if (got == bytes.capacity() && maxBytes > got) {
        LARGE_INTEGER size;
        if (!osGetFileSizeEx(handle.get(), &size)) return false;
        // Sizes stay in 64 bits until cut to what is wanted: a 32-bit size_t would wrap at 4 GiB.
        const std::size_t want = static_cast<std::size_t>(
            std::min<unsigned long long>({static_cast<unsigned long long>(std::max<LONGLONG>(size.QuadPart, 0)),
                                          maxBytes, 0x7FFFFFFF}));
        if (want > total) {
            bytes.SetSize(total);
            char* whole = bytes.Grow(want);
            while (total < want) {
                if (!osReadFile(handle.get(), whole + total, static_cast<DWORD>(want - total), &got, nullptr)) {
                    bytes.SetSize(0);
                    return false;
                }
                if (got == 0) break;
                total += got;
            }
        }
    }
    bytes.SetSize(total);
    return true;
}

bool ReadStream(const char16_t* file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes) {
    return ReadStream(std::u16string_view(file, ascii::TerminatedLength(file)), stream, maxBytes, bytes);
}

// Writes all of data from the stream's start; a short write is tried again with the rest, and one
// that writes nothing ends it (a full volume). The offsets travel with each call, so no file
// pointer has to be moved first.
static bool WriteFromStart(HANDLE handle, std::string_view data) {
    for (std::size_t done = 0; done < data.size();) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done);
        at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(done) >> 32);
        DWORD written = 0;
        if (!osWriteFile(handle, data.data() + done, static_cast<DWORD>(data.size() - done), &written, &at) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

static bool SetLength(HANDLE handle, unsigned long long length) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return osSetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end) != FALSE;
}

// bytes in place of the open stream's contents, in an order that a full volume cannot cut short
// unnoticed: a longer stream is extended first (NTFS reserves the room or fails with "disk full"
// before any data changes), then written from the start, then cut to length. The bytes about to
// be overwritten are kept first; when any step fails, the old length is put back where it was
// touched (cutting never needs room), then the old bytes (into room the stream held): twice,
// should the first try fail.
// Lengths are 64-bit in both builds: a stream may hold 4 GiB and more.
static bool Replace(HANDLE handle, bool existed, std::string_view bytes) {
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (existed && !osGetFileSizeEx(handle, &size)) return false;
    const unsigned long long oldLength = static_cast<unsigned long long>(std::max<LONGLONG>(size.QuadPart, 0));
    const std::size_t kept = static_cast<std::size_t>(std::min<unsigned long long>(oldLength, bytes.size()));
    StreamBytes old;
    DWORD got = 0;
    if (kept > 0 && (!osReadFile(handle, old.Reserve(kept), static_cast<DWORD>(kept), &got, nullptr) || got != kept)) {
        return false;
    }
    bool lengthSet = false;  // once tried, the old length is put back too
    const auto setLength = [&] {
        lengthSet = true;
        return SetLength(handle, bytes.size());
    };
    const bool replaced = (bytes.size() <= oldLength || setLength()) && WriteFromStart(handle, bytes) &&
                          (bytes.size() >= oldLength || setLength());
    for (int attempt = 0; !replaced && existed && attempt < 2; ++attempt) {
        if ((!lengthSet || SetLength(handle, oldLength)) && WriteFromStart(handle, {old.data(), kept})) break;
    }
    return replaced;
}

bool WriteStream(std::u16string_view file, const StreamName& stream, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return false;
    WideName path;
    const wchar_t* name = W(BuildStreamPath(file, stream.wide, path));
    bool existed;
    {
        // Opened as it is, not emptied: the old contents stay until the new ones are in place.
        Handle handle(osCreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) return false;
        existed = GetLastError() == ERROR_ALREADY_EXISTS;
        if (Replace(handle.get(), existed, bytes)) return true;
    }
    if (!existed) osDeleteFileW(name);  // the stream this write created goes again
    return false;
}

bool ListStreams(std::u16string_view file, StreamStore, std::vector<StreamEntry>& entries) {
    entries.clear();
    if (osFindFirstStreamW == nullptr) return false;
    WIN32_FIND_STREAM_DATA found;
    const HANDLE search = osFindFirstStreamW(W(ToLongPath(file)), FindStreamInfoStandard, &found, 0);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_HANDLE_EOF;  // no stream at all
    struct Search {
        HANDLE handle;
        ~Search() { osFindClose(handle); }
    } closed{search};
    DWORD error;
    do {
        // ":NAME:$DATA"; "::$DATA" is the file's own data.
        const std::u16string_view name(reinterpret_cast<const char16_t*>(found.cStreamName),
                                       wcsnlen(found.cStreamName, sizeof found.cStreamName / sizeof(WCHAR)));
        const std::size_t type = name.rfind(u':');
        if (name.size() > 1 && name[0] == u':' && type != std::u16string_view::npos && type > 1) {
            entries.push_back({std::u16string(name.substr(1, type - 1)),
                               static_cast<unsigned long long>(std::max<LONGLONG>(found.StreamSize.QuadPart, 0))});
        }
        error = osFindNextStreamW(search, &found) ? ERROR_SUCCESS : GetLastError();
    } while (error == ERROR_SUCCESS);
    if (error == ERROR_HANDLE_EOF) return true;
    entries.clear();  // a list cut short would pass for the whole list
    return false;
}

bool DeleteStream(std::u16string_view file, const StreamName& stream) {
    WideName path;
    return osDeleteFileW(W(BuildStreamPath(file, stream.wide, path))) != FALSE;
}

bool IsDirectory(std::u16string_view file) {
    const std::u16string target = ToLongPath(file);
    const DWORD attributes = GetFileAttributesW(W(target));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return !(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                 error == ERROR_BAD_NETPATH || error == ERROR_INVALID_NAME);
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A link: what counts is whether its target can be opened.
    Handle linked(osCreateFileW(W(target), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return linked.valid() && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// How the time steps open their target: for its attributes only, which takes no part in share
// checks, so the time is kept whoever holds the file open; a directory needs backup semantics.
static HANDLE OpenForTime(std::u16string_view file, bool isDirectory, DWORD access) {
    const std::u16string target = ToLongPath(file);
    return osCreateFileW(W(target), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, isDirectory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CaptureWriteTime(std::u16string_view file, bool isDirectory, FileTime& time) {
    Handle handle(OpenForTime(file, isDirectory, FILE_READ_ATTRIBUTES));
    FILETIME written;
    if (!handle.valid() || !osGetFileTime(handle.get(), nullptr, nullptr, &written)) return false;
    time.value = static_cast<long long>((static_cast<unsigned long long>(written.dwHighDateTime) << 32) |
                                          written.dwLowDateTime);
    time.nanoseconds = 0;
    return true;
}

bool RestoreWriteTime(std::u16string_view file, bool isDirectory, const FileTime& time) {
    Handle handle(OpenForTime(file, isDirectory, FILE_WRITE_ATTRIBUTES));
    FILETIME written;
    written.dwLowDateTime = static_cast<DWORD>(static_cast<unsigned long long>(time.value));
    written.dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(time.value) >> 32);
    return handle.valid() && osSetFileTime(handle.get(), nullptr, nullptr, &written);
}

SystemCallSlot* SystemCallTable(std::size_t& count) {
    count = sizeof kSystemCalls / sizeof kSystemCalls[0];
    return kSystemCalls;
}

}  // namespace velkaron::platform
