#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/test_support.h"

namespace testing_support {

static std::wstring StreamPath(const fs::path& file, const std::string& stream) {
    return file.wstring() + L":" + fs::u8path(stream).wstring();
}

void PutStream(const fs::path& file, const std::string& stream, const std::string& bytes) {
    const HANDLE h = CreateFileW(StreamPath(file, stream).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << file.u8string() << ":" << stream << ", error " << GetLastError();
        return;
    }
    DWORD written = 0;
    if (!bytes.empty() && (!::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size())) {
        ADD_FAILURE() << "cannot write " << file.u8string() << ":" << stream;
    }
    CloseHandle(h);
}

bool GetStream(const fs::path& file, const std::string& stream, std::string& bytes) {
    bytes.clear();
    const HANDLE h = CreateFileW(StreamPath(file, stream).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return true;
}

void RemoveStream(const fs::path& file, const std::string& stream) {
    DeleteFileW(StreamPath(file, stream).c_str());
}

}  // namespace testing_support

namespace testing_support {

namespace {
constexpr long long kUnixEpochIn100ns = 116444736000000000LL;

HANDLE OpenForTimes(const fs::path& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}
}  // namespace

void SetWriteTime(const fs::path& path, Time time) {
    const long long ticks = kUnixEpochIn100ns + time.seconds * 10000000LL + time.nanoseconds / 100;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    const HANDLE h = OpenForTimes(path, GENERIC_WRITE);
    if (h == INVALID_HANDLE_VALUE || !SetFileTime(h, nullptr, nullptr, &ft)) {
        ADD_FAILURE() << "cannot set the time of " << path.u8string();
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

Time GetWriteTime(const fs::path& path) {
    FILETIME ft{};
    const HANDLE h = OpenForTimes(path, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE || !GetFileTime(h, nullptr, nullptr, &ft)) {
        ADD_FAILURE() << "cannot read the time of " << path.u8string();
    }
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    const long long ticks = ((static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - kUnixEpochIn100ns;
    long long seconds = ticks / 10000000LL, rest = ticks % 10000000LL;
    if (rest < 0) {
        rest += 10000000LL;
        --seconds;
    }
    return {seconds, static_cast<long>(rest * 100)};
}

}  // namespace testing_support

namespace testing_support {

// The system's handle list, counted for this process.
static long HandlesInSystemList() {
    struct Entry {
        ULONG process;
        UCHAR type, flags;
        USHORT handle;
        void* object;
        ULONG access;
    };
    struct List {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr int kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 20);
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
           kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return -1;
    const auto* list = reinterpret_cast<const List*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < list->count; ++i) count += list->entries[i].process == GetCurrentProcessId();
    return count;
}

long OpenHandleCount() {
    // Wine answers GetProcessHandleCount with 0 whatever the process holds; its system handle
    // list is exact.
    DWORD count = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &count)) ADD_FAILURE() << "GetProcessHandleCount";
    return count != 0 ? static_cast<long>(count) : HandlesInSystemList();
}

}  // namespace testing_support
