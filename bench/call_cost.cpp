// The plug-in's own instructions per call, the system calls left out: run under callgrind
// (`make bench` does), this program loads the real library and stands in for getxattr,
// setxattr and statfs itself, so the library's calls land in the stand-ins below. Each case
// times CALLS calls of an export, then CALLS calls of the stand-ins alone with the same
// arguments; callgrind dumps the count of each loop, and the difference is the plug-in's.
//
// call_cost LIBRARY_DIR: LIBRARY_DIR holds Velkaron.so and its Velkaron.ini (one field,
// "Comment", ReadUTF8 and WriteUTF8 on, KeepTime off).
#include <linux/magic.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tools/hostlib/plugin_loader.h"

namespace {

constexpr int kCalls = 10000;

// What the stand-in for getxattr delivers, set by each case.
std::string gValue;

}  // namespace

// The stand-ins the library calls in place of the system's (this program exports them).
extern "C" ssize_t getxattr(const char*, const char*, void* value, size_t size) {
    const size_t count = gValue.size() < size ? gValue.size() : size;
    std::memcpy(value, gValue.data(), count);
    return static_cast<ssize_t>(count);
}
extern "C" int setxattr(const char*, const char*, const void*, size_t, int) { return 0; }
// A write asks first what file system holds the file: ext4, as the benchmark's files are on.
extern "C" int statfs(const char*, struct statfs* info) {
    *info = {};
    info->f_type = EXT4_SUPER_MAGIC;
    return 0;
}

namespace {

using Getxattr = ssize_t (*)(const char*, const char*, void*, size_t);
using Setxattr = int (*)(const char*, const char*, const void*, size_t, int);
using Statfs = int (*)(const char*, struct statfs*);
// Through volatile pointers, so the stand-in loops make real calls as the library does.
Getxattr volatile gGet = getxattr;
Setxattr volatile gSet = setxattr;
Statfs volatile gStatfs = statfs;

// Counts body's loop under the name callgrind gives the dump.
template <typename Body>
void Counted(const char* name, Body body) {
    body();  // the first call binds symbols and warms caches: not counted
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < kCalls; ++i) body();
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT(name);
}

struct Case {
    const char* name;
    std::u16string path;      // 40 characters
    std::string utf8Value;    // 40 bytes
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: call_cost LIBRARY_DIR\n");
        return 2;
    }
    host::LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(std::filesystem::path(argv[1]) / "Velkaron.so", error)) {
        std::fprintf(stderr, "call_cost: %s\n", error.c_str());
        return 1;
    }
    const host::PluginApi& api = plugin.api();
    const Case cases[] = {
        {"ascii", u"/home/user/Documents/reports/q3-2026.txt",
         "Checked by the night shift, all in order"},
        {"nonascii", u"/home/usuário/Документы/отчёты/año-ß.txt", "Größe 12µm, Prüfung bestanden ✓ ok"},
    };
    for (const Case& c : cases) {
        if (c.path.size() != 40 || c.utf8Value.size() != 40) {
            std::fprintf(stderr, "call_cost: case %s is not 40 units and 40 bytes\n", c.name);
            return 2;
        }
        gValue = c.utf8Value;
        std::u16string path = c.path;
        char16_t buffer[1024];
        char bytes[2048];
        const std::string narrowPath = "/home/user/a path of forty characters...";
        Counted((std::string("read-") + c.name).c_str(),
                [&] { api.ContentGetValueW(path.data(), 0, 0, buffer, sizeof buffer, 0); });
        Counted((std::string("getxattr-") + c.name).c_str(),
                [&] { gGet(narrowPath.c_str(), "user.Comment", bytes, sizeof bytes); });
        // The value written is the one just read, as a host's edit box would hand it back.
        std::u16string value(buffer);
        Counted((std::string("write-") + c.name).c_str(),
                [&] { api.ContentSetValueW(path.data(), 0, 0, 8, value.data(), 0); });
        struct statfs info;
        Counted((std::string("statfs+setxattr-") + c.name).c_str(), [&] {
            gStatfs(narrowPath.c_str(), &info);
            gSet(narrowPath.c_str(), "user.Comment", c.utf8Value.data(), c.utf8Value.size(), 0);
        });
    }
    std::printf("%d\n", kCalls);
    return 0;
}
