#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include "tests/support/test_support.h"

namespace testing_support {

long ResidentKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long>(counters.WorkingSetSize / 1024);
}

long ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    long count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

bool IsLoaded(const fs::path& library) { return GetModuleHandleW(library.c_str()) != nullptr; }

void EndProcess(int status) { ExitProcess(static_cast<UINT>(status)); }

fs::path ThisProgram() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

int RunProgram(const fs::path& program, const std::vector<std::string>& args) {
    return RunPrograms(program, {args}).front();
}

std::vector<int> RunPrograms(const fs::path& program, const std::vector<std::vector<std::string>>& argLists) {
    std::vector<HANDLE> processes;
    for (const std::vector<std::string>& args : argLists) {
        // Every argument quoted; the tests' arguments hold no quotes or trailing backslashes.
        std::wstring command = L"\"" + program.wstring() + L"\"";
        for (const std::string& arg : args) command += L" \"" + fs::u8path(arg).wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process)) {
            processes.push_back(nullptr);
            continue;
        }
        CloseHandle(process.hThread);
        processes.push_back(process.hProcess);
    }
    std::vector<int> statuses;
    for (const HANDLE process : processes) {
        DWORD status = static_cast<DWORD>(-1);
        if (process != nullptr) {
            WaitForSingleObject(process, INFINITE);
            GetExitCodeProcess(process, &status);
            CloseHandle(process);
        }
        statuses.push_back(static_cast<int>(status));
    }
    return statuses;
}

}  // namespace testing_support
