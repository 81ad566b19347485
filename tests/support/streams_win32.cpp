#include <windows.h>

#include <gtest/gtest.h>

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

}  // namespace testing_support
