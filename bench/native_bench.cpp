// The cost of a field against the system-call floor, on the same files in the same run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "tools/hostlib/plugin_loader.h"

namespace fs = std::filesystem;

// Heap allocations made by the process (the plug-in's included: its operator new resolves here).
static std::atomic<long> gAllocations{0};
void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// A scratch folder holding a copy of the library with the given fields, and a data file with a
// 40-byte stream.
struct Setup {
    fs::path dir, library, file;
    host::LoadedPlugin plugin;

    explicit Setup(int fields, const char* options = "KeepTime=0\nWriteUTF8=1\nReadUTF8=1\n") {
        static int count = 0;
        dir = fs::temp_directory_path() /
              ("velkaron-bench-" + std::to_string(::getpid()) + "-" + std::to_string(count++));
        fs::create_directories(dir);
        library = dir / "Velkaron.so";
        fs::copy_file(VELKARON_LIBRARY_FILE, library, fs::copy_options::overwrite_existing);
        std::ofstream ini(dir / "Velkaron.ini");
        ini << "[Options]\n" << options << "[Streams]\n";
        for (int k = 0; k < fields; ++k) ini << k << "=" << (k == 0 ? "Comment" : "Field" + std::to_string(k)) << "\n";
        ini.close();
        file = dir / "file.txt";
        std::ofstream(file) << "data";
        const std::string value(40, 'v');
        setxattr(file.c_str(), "user.Comment", value.data(), value.size(), 0);
        std::string error;
        if (!plugin.Load(library, error)) std::abort();
    }
    ~Setup() {
        plugin.Unload();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

Setup& Shared() {
    static Setup setup(2);
    return setup;
}

// A folder of files as a host shows it, two fields a file: every file has a 40-byte comment,
// every tenth one also a second stream; the others have none, so that asking for it finds nothing.
constexpr int kFolderFiles = 10000;
constexpr const char* kFolderStreams[2] = {"user.Comment", "user.Field1"};

struct Folder {
    std::vector<std::string> paths;
    std::vector<std::u16string> names;
    Folder() {
        const fs::path dir = Shared().dir / "folder";
        fs::create_directories(dir);
        const std::string value(40, 'v');
        for (int i = 0; i < kFolderFiles; ++i) {
            const fs::path file = dir / ("file" + std::to_string(i) + ".txt");
            std::ofstream(file) << "data";
            setxattr(file.c_str(), kFolderStreams[0], value.data(), value.size(), 0);
            if (i % 10 == 0) setxattr(file.c_str(), kFolderStreams[1], value.data(), value.size(), 0);
            paths.push_back(file.string());
            names.push_back(file.u16string());
        }
    }
};

Folder& SharedFolder() {
    static Folder folder;
    return folder;
}

// Resident memory of the process, in KiB.
long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Times the plug-in's calls and the floor's in alternating blocks, swapping which goes first,
// so that whatever the machine does meanwhile weighs on both alike. The benchmark's own time is
// the plug-in's; the counters give both per call and their ratio.
template <typename Plugin, typename Floor>
void Paired(benchmark::State& state, int block, Plugin plugin, Floor floor) {
    using Clock = std::chrono::steady_clock;
    auto timed = [block](auto& calls) {
        const auto start = Clock::now();
        for (int i = 0; i < block; ++i) calls();
        return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    };
    double pluginNs = 0, floorNs = 0;
    bool pluginFirst = true;
    for (auto _ : state) {
        double p, f;
        if (pluginFirst) {
            p = timed(plugin);
            f = timed(floor);
        } else {
            f = timed(floor);
            p = timed(plugin);
        }
        pluginFirst = !pluginFirst;
        pluginNs += p;
        floorNs += f;
        state.SetIterationTime(p / 1e9);
    }
    const double calls = double(state.iterations()) * block;
    state.counters["plugin_ns"] = pluginNs / calls;
    state.counters["floor_ns"] = floorNs / calls;
    state.counters["ratio"] = pluginNs / floorNs;
}

constexpr int kBlock = 200;

void BM_Read(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string();
    char16_t value[1024];
    char bytes[2048];
    const long before = gAllocations;
    Paired(
        state, kBlock,
        [&] { benchmark::DoNotOptimize(s.plugin.api().ContentGetValueW(name.data(), 0, 0, value, sizeof value, 0)); },
        [&] { benchmark::DoNotOptimize(getxattr(s.file.c_str(), "user.Comment", bytes, sizeof bytes)); });
    state.counters["allocs_per_call"] = double(gAllocations - before) / (double(state.iterations()) * kBlock);
}

void BM_Control(benchmark::State& state) {
    Setup& s = Shared();
    char bytes[2048], other[2048];
    std::string path = s.file.string();
    Paired(
        state, kBlock,
        [&] { benchmark::DoNotOptimize(getxattr(path.c_str(), "user.Comment", other, sizeof other)); },
        [&] { benchmark::DoNotOptimize(getxattr(s.file.c_str(), "user.Comment", bytes, sizeof bytes)); });
}

void BM_ReadDeferred(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string();
    char16_t buffer[1024];
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.plugin.api().ContentGetValueW(name.data(), 0, 0, buffer, sizeof buffer, 1));
    }
}

// The host's two passes over the files: fields first to last of each with the offer to wait
// (each answered "deferred"), then again for real.
void BothPasses(const host::PluginApi& api, std::vector<std::u16string>& names, int first, int last) {
    char16_t value[1024];
    for (int pass : {1, 0}) {
        for (std::u16string& name : names) {
            for (int field = first; field <= last; ++field) {
                benchmark::DoNotOptimize(api.ContentGetValueW(name.data(), field, 0, value, sizeof value, pass));
            }
        }
    }
}

// The host's two passes over a folder: every field of every file with the offer to wait (each
// answered "deferred"), then every field again for real; against one getxattr a field.
void BM_Folder(benchmark::State& state) {
    Setup& s = Shared();
    Folder& folder = SharedFolder();
    char bytes[2048];
    Paired(
        state, 1,
        [&] { BothPasses(s.plugin.api(), folder.names, 0, 1); },
        [&] {
            for (const std::string& path : folder.paths) {
                for (const char* stream : kFolderStreams) {
                    benchmark::DoNotOptimize(getxattr(path.c_str(), stream, bytes, sizeof bytes));
                }
            }
        });
    state.SetItemsProcessed(state.iterations() * kFolderFiles);
}

// The field Streams on every file of the folder, as a host's column shows it, against one
// listxattr a file: the plug-in lists the file's attributes, then measures each stream once.
void BM_FolderStreamList(benchmark::State& state) {
    static Setup lister(1, "KeepTime=0\nListStreams=1\n");
    Folder& folder = SharedFolder();
    char16_t value[1024];
    char names[2048];
    Paired(
        state, 1,
        [&] {
            for (std::u16string& name : folder.names) {
                benchmark::DoNotOptimize(lister.plugin.api().ContentGetValueW(name.data(), 1, 0, value, sizeof value, 0));
            }
        },
        [&] {
            for (const std::string& path : folder.paths) benchmark::DoNotOptimize(listxattr(path.c_str(), names, sizeof names));
        });
    state.SetItemsProcessed(state.iterations() * kFolderFiles);
}

// A browser's mark, as most downloaded files carry it.
constexpr const char kMark[] =
    "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/downloads/\r\n"
    "HostUrl=https://cdn.example.org/releases/tool-1.2.zip\r\n";

// The three fields of Origin=1 on a folder of files, half of them marked, as a host's columns
// show them (both passes), against the same three reads of the raw stream a file.
void BM_FolderOrigin(benchmark::State& state) {
    static Setup origin(1, "KeepTime=0\nOrigin=1\n");
    static const std::vector<std::string> paths = [] {
        const fs::path dir = origin.dir / "marked";
        fs::create_directories(dir);
        std::vector<std::string> made;
        for (int i = 0; i < kFolderFiles; ++i) {
            const fs::path file = dir / ("download" + std::to_string(i) + ".zip");
            std::ofstream(file) << "data";
            if (i % 2 == 0) setxattr(file.c_str(), "user.Zone.Identifier", kMark, sizeof kMark - 1, 0);
            made.push_back(file.string());
        }
        return made;
    }();
    static std::vector<std::u16string> names = [] {
        std::vector<std::u16string> made;
        for (const std::string& path : paths) made.push_back(fs::path(path).u16string());
        return made;
    }();
    char bytes[2048];
    Paired(
        state, 1,
        [&] { BothPasses(origin.plugin.api(), names, 1, 3); },
        [&] {
            for (const std::string& path : paths) {
                for (int field = 1; field <= 3; ++field) {
                    benchmark::DoNotOptimize(getxattr(path.c_str(), "user.Zone.Identifier", bytes, sizeof bytes));
                }
            }
        });
    state.SetItemsProcessed(state.iterations() * kFolderFiles);
}

// Resident memory before and after a million reads: it must stay flat.
void BM_ResidentMemory(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string();
    char16_t buffer[1024];
    for (int i = 0; i < 10000; ++i) s.plugin.api().ContentGetValueW(name.data(), 0, 0, buffer, sizeof buffer, 0);
    const long before = ResidentKiB();
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.plugin.api().ContentGetValueW(name.data(), 0, 0, buffer, sizeof buffer, 0));
    }
    state.counters["rss_before_kib"] = double(before);
    state.counters["rss_after_kib"] = double(ResidentKiB());
}

// The least a write that loses nothing when it fails must do: a statfs to learn the file system,
// then, on ext4, XFS, Btrfs and tmpfs (the benchmark's /tmp is ext4), one setxattr, which
// leaves the old value whole when it fails.
int SafeSetxattr(const char* path, const char* stream, const std::string& bytes) {
    struct statfs info;
    benchmark::DoNotOptimize(statfs(path, &info));
    return setxattr(path, stream, bytes.data(), bytes.size(), 0);
}

// A write with KeepTime off against a statfs and a setxattr of the same bytes.
void BM_Write(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string(), value(40, u'w');
    const std::string bytes(40, 'w');
    Paired(
        state, kBlock,
        [&] { benchmark::DoNotOptimize(s.plugin.api().ContentSetValueW(name.data(), 1, 0, 11, value.data(), 0)); },
        [&] { benchmark::DoNotOptimize(SafeSetxattr(s.file.c_str(), "user.Field1", bytes)); });
}

// What keeping the old value costs: the write's floor against one setxattr.
void BM_WriteSafety(benchmark::State& state) {
    Setup& s = Shared();
    const std::string bytes(40, 'w');
    Paired(
        state, kBlock, [&] { benchmark::DoNotOptimize(SafeSetxattr(s.file.c_str(), "user.Field1", bytes)); },
        [&] { benchmark::DoNotOptimize(setxattr(s.file.c_str(), "user.Field1", bytes.data(), bytes.size(), 0)); });
}

// What KeepTime adds: a write with it on against the same write with it off.
void BM_WriteKeepTime(benchmark::State& state) {
    static Setup keep(2, "KeepTime=1\nWriteUTF8=1\nReadUTF8=1\n");
    Setup& s = Shared();
    std::u16string kept = keep.file.u16string(), plain = s.file.u16string(), value(40, u'w');
    Paired(
        state, kBlock,
        [&] { benchmark::DoNotOptimize(keep.plugin.api().ContentSetValueW(kept.data(), 1, 0, 11, value.data(), 0)); },
        [&] { benchmark::DoNotOptimize(s.plugin.api().ContentSetValueW(plain.data(), 1, 0, 11, value.data(), 0)); });
}

// Loading the library with 100 configured fields against loading it with one.
void BM_Load(benchmark::State& state) {
    Setup many(100), one(1);
    many.plugin.Unload();
    one.plugin.Unload();
    auto load = [](const fs::path& library) {
        host::LoadedPlugin plugin;
        std::string error;
        if (!plugin.Load(library, error)) std::abort();
    };
    Paired(state, 10, [&] { load(many.library); }, [&] { load(one.library); });
}

}  // namespace

BENCHMARK(BM_Read)->UseManualTime();
BENCHMARK(BM_ReadDeferred);
BENCHMARK(BM_Control)->UseManualTime();
BENCHMARK(BM_Folder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_FolderStreamList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_FolderOrigin)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Write)->UseManualTime();
BENCHMARK(BM_WriteSafety)->UseManualTime();
BENCHMARK(BM_WriteKeepTime)->UseManualTime();
BENCHMARK(BM_Load)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResidentMemory)->Iterations(1000000)->Repetitions(1);
BENCHMARK_MAIN();
