// The cost of a field against the system-call floor, on the same files in the same run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "tools/hostlib/plugin_loader.h"

namespace fs = std::filesystem;

// Heap allocations made by the process (the plug-in's included: its operator new resolves here).
static std::atomic<long> gAllocations{0};
void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

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

void BM_ReadPlugin(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string();
    char16_t buffer[1024];
    const long before = gAllocations;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.plugin.api().ContentGetValueW(name.data(), 0, 0, buffer, sizeof buffer, 0));
    }
    state.counters["allocs_per_call"] = double(gAllocations - before) / double(state.iterations());
}

void BM_ReadFloor(benchmark::State& state) {
    Setup& s = Shared();
    char buffer[2048];
    for (auto _ : state) {
        benchmark::DoNotOptimize(getxattr(s.file.c_str(), "user.Comment", buffer, sizeof buffer));
    }
}

void BM_ReadDeferred(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string();
    char16_t buffer[1024];
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.plugin.api().ContentGetValueW(name.data(), 0, 0, buffer, sizeof buffer, 1));
    }
}

void BM_WritePlugin(benchmark::State& state) {
    Setup& s = Shared();
    std::u16string name = s.file.u16string(), value(40, u'w');
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.plugin.api().ContentSetValueW(name.data(), 1, 0, 11, value.data(), 0));
    }
}

void BM_WriteFloor(benchmark::State& state) {
    Setup& s = Shared();
    const std::string value(40, 'w');
    for (auto _ : state) {
        benchmark::DoNotOptimize(setxattr(s.file.c_str(), "user.Field1", value.data(), value.size(), 0));
    }
}

void BM_WriteKeepTime(benchmark::State& state) {
    static Setup keep(2, "KeepTime=1\nWriteUTF8=1\nReadUTF8=1\n");
    std::u16string name = keep.file.u16string(), value(40, u'w');
    for (auto _ : state) {
        benchmark::DoNotOptimize(keep.plugin.api().ContentSetValueW(name.data(), 1, 0, 11, value.data(), 0));
    }
}

void BM_Load(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    s.plugin.Unload();
    for (auto _ : state) {
        host::LoadedPlugin plugin;
        std::string error;
        if (!plugin.Load(s.library, error)) state.SkipWithError(error.c_str());
    }
}

}  // namespace

BENCHMARK(BM_ReadPlugin);
BENCHMARK(BM_ReadFloor);
BENCHMARK(BM_ReadDeferred);
BENCHMARK(BM_WritePlugin);
BENCHMARK(BM_WriteFloor);
BENCHMARK(BM_WriteKeepTime);
BENCHMARK(BM_Load)->Arg(1)->Arg(100);
BENCHMARK_MAIN();
