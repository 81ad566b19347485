#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/test_support.h"

extern char** environ;

namespace testing_support {

long ResidentKiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long ThreadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) return std::stol(line.substr(8));
    }
    return -1;
}

bool IsLoaded(const fs::path& library) {
    void* module = dlopen(library.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (module != nullptr) dlclose(module);
    return module != nullptr;
}

void EndProcess(int status) { std::exit(status); }

fs::path ThisProgram() { return fs::read_symlink("/proc/self/exe"); }
long ProcessId() { return static_cast<long>(getpid()); }

int RunProgram(const fs::path& program, const std::vector<std::string>& args) {
    return RunPrograms(program, {args}).front();
}

std::vector<int> RunPrograms(const fs::path& program, const std::vector<std::vector<std::string>>& argLists) {
    std::vector<std::string> wrapper;
    if (const char* words = std::getenv("VELKARON_CHILD_WRAPPER")) {
        std::istringstream split(words);
        for (std::string word; split >> word;) wrapper.push_back(word);
    }
    std::vector<pid_t> pids;
    for (const std::vector<std::string>& args : argLists) {
        std::vector<std::string> words = wrapper;
        words.push_back(program.string());
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        pids.push_back(posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1);
    }
    std::vector<int> statuses;
    for (const pid_t pid : pids) {
        int status = 0;
        pid_t waited = pid;
        while (pid > 0 && (waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
        statuses.push_back(pid <= 0 || waited < 0 ? -1
                           : WIFEXITED(status) ? WEXITSTATUS(status)
                                               : 128 + WTERMSIG(status));
    }
    return statuses;
}

}  // namespace testing_support
