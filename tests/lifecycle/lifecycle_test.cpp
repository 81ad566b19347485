// The library's whole lifetime in a host's process: a host that ends with the library still
// loaded, from the main thread or while other threads are inside an export; two copies of the
// library in one process; a thousand loads and unloads; hosts making the first loads of a fresh
// install at once. Each case runs in a child process of this
// program ("--case NAME LIBRARY FILE [LIBRARY2]") so that the process really ends; the test checks
// how it ended.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <thread>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

// What a case's host ends its process with when all went well: not 0, so that a library that
// ends the process itself, or changes the host's status, shows.
constexpr int kHostStatus = 3;
constexpr int kCycles = 1000;
// Fields large enough that a table left behind by each unload would show in the memory figure:
// about 80 KiB a load.
constexpr int kLargeFields = 20;
constexpr long kResidentSlackKiB = 512;

std::string ConfigurationText(const std::string& ownField) {
    std::string ini = "[Streams]\n0=Comment\n1=" + ownField + "\n";
    for (int k = 2; k < 2 + kLargeFields; ++k) ini += std::to_string(k) + "=" + std::string(1000, 'x') + "\n";
    return ini;
}

// --- The child: one host, ending its process its own way ---------------------------------

[[noreturn]] void Fail(const std::string& what) {
    std::cerr << "host: " << what << std::endl;
    std::_Exit(1);
}

// Loaded and never unloaded: the process ends with the library in it. The host keeps its
// handle to the end (so leak checkers see it held, not lost).
host::PluginApi LoadForGood(const fs::path& library) {
    static host::LoadedPlugin* volatile kept[2];
    static int count = 0;
    host::LoadedPlugin* plugin = kept[count++ % 2] = new host::LoadedPlugin;
    std::string error;
    if (!plugin->Load(library, error)) Fail(error);
    return plugin->api();
}

void ExpectFields(const host::PluginApi& api, const std::string& ownField) {
    const std::vector<std::string> names = FieldNames(api);
    if (names.size() != 2 + kLargeFields || names[0] != "Comment" || names[1] != ownField) {
        Fail("the field list is not that of the library's own configuration (" + ownField + ")");
    }
}

void ExpectComment(const host::PluginApi& api, const fs::path& file) {
    const Value value = GetValue(api, file, 0);
    if (value.code != 11 || value.text != u"kept") {
        Fail("the Comment field answered " + std::to_string(value.code) + " \"" + U8(value.text) + "\"");
    }
}

// Four host threads read and write the field until the process ends under them. The writers
// write a file of their own: a write cut short by the end of the process may leave its stream
// empty, and the other cases read file.
[[noreturn]] void EndWhileCalling(const host::PluginApi& api, const fs::path& file) {
    static std::atomic<long> calls{0};
    fs::path written = file;
    written += ".written";
    WriteFile(written, "contents");
    for (int t = 0; t < 4; ++t) {
        std::thread([api, name = (t % 2 == 0 ? file : written).u16string(), t] {
            std::u16string path = name, value = u"kept";
            char16_t buffer[64];
            for (;;) {
                if (t % 2 == 0) {
                    api.ContentGetValueW(path.data(), 0, 0, buffer, sizeof buffer, 0);
                } else {
                    api.ContentSetValueW(path.data(), 0, 0, 8, value.data(), 0);
                }
                ++calls;
            }
        }).detach();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (calls < 400 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EndProcess(kHostStatus);
}

struct Figures {
    long residentKiB, handles, threads;
};
Figures Measure() { return {ResidentKiB(), OpenHandleCount(), ThreadCount()}; }

int LoadAndUnload(const fs::path& library, const fs::path& file) {
    const auto cycle = [&] {
        host::LoadedPlugin plugin;
        std::string error;
        if (!plugin.Load(library, error)) Fail(error);
        ExpectFields(plugin.api(), "One");
        ExpectComment(plugin.api(), file);
        plugin.Unload();
        if (IsLoaded(library)) Fail("the library is still loaded after the host unloaded it");
    };
    for (int i = 0; i < 20; ++i) cycle();  // the loader's and the allocator's own first costs
    // Under valgrind a hundred cycles do: its leak check finds a single table left behind.
    const bool underTool = std::getenv("VELKARON_CHILD_WRAPPER") != nullptr;
    const int cycles = underTool ? kCycles / 10 : kCycles;
    const Figures before = Measure();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < cycles; ++i) cycle();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const Figures after = Measure();
    std::cout << cycles << " loads and unloads in " << ms << " ms: resident " << before.residentKiB
              << " -> " << after.residentKiB << " KiB, handles " << before.handles << " -> "
              << after.handles << ", threads " << before.threads << " -> " << after.threads << std::endl;
    // Under a sanitizer or valgrind the resident figure is the tool's own (its leak check stands
    // in for it), under an emulator the emulator's (its translated code grows with every load).
#if defined(VELKARON_SANITIZED)
    const bool residentCounts = false;
#else
    const bool residentCounts = !underTool && std::getenv("VELKARON_EMULATOR") == nullptr;
#endif
    const bool flat = after.handles == before.handles && after.threads == before.threads &&
                      (!residentCounts || after.residentKiB - before.residentKiB <= kResidentSlackKiB);
    return flat ? 0 : 1;
}

// One of several hosts started at once on a fresh install: each says it is ready (a file named
// after go and its process), waits until go exists, and loads; all must find the sample's fields.
int FirstLoad(const fs::path& library, const fs::path& go) {
    fs::path ready = go;
    ready += "." + std::to_string(ProcessId()) + ".ready";
    WriteFile(ready, "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(go)) {
        if (std::chrono::steady_clock::now() > deadline) Fail("never told to go");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    host::LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(library, error)) Fail(error);
    const std::vector<std::string> names = FieldNames(plugin.api());
    if (names != std::vector<std::string>{"Comment", "Zone>>>dot<<<Identifier"}) {
        Fail("a first load offered " + std::to_string(names.size()) + " fields, not the sample's");
    }
    return kHostStatus;
}

int RunCase(const std::string& name, const std::vector<std::string>& args) {
    if (args.size() < 2) Fail("usage: --case NAME LIBRARY FILE [LIBRARY2]");
    const fs::path library = fs::u8path(args[0]), file = fs::u8path(args[1]);
    if (name == "cycles") return LoadAndUnload(library, file);
    if (name == "first-load") return FirstLoad(library, file);
    const host::PluginApi api = LoadForGood(library);
    ExpectFields(api, "One");
    ExpectComment(api, file);
    if (name == "return") return kHostStatus;
    if (name == "end") EndProcess(kHostStatus);
    if (name == "end-while-calling") EndWhileCalling(api, file);
    if (name == "two-copies" && args.size() == 3) {
        const host::PluginApi second = LoadForGood(fs::u8path(args[2]));
        ExpectFields(second, "Two");
        ExpectComment(second, file);
        ExpectFields(api, "One");
        EndProcess(kHostStatus);
    }
    Fail("unknown case " + name);
}

// --- The tests: each starts a host and checks how its process ended -----------------------

class Lifecycle : public testing::Test {
protected:
    Lifecycle() : lib(ConfigurationText("One")), file(lib.dir.path() / "file.txt") {
        WriteFile(file, "contents");
        PutStream(file, "Comment", "kept");
    }
    int Host(const std::string& name, const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"--case", name, lib.library.u8string(), file.u8string()};
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram(ThisProgram(), args);
    }
    Installed lib;
    fs::path file;
};

TEST_F(Lifecycle, HostsEndWithTheLibraryLoadedAndKeepTheirStatus) {
    // return: from main; end: exit() on Linux, ExitProcess on Windows; end-while-calling: the
    // same while four threads are inside ContentGetValueW and ContentSetValueW; cycles: loads and
    // unloads, with flat figures.
    const struct {
        const char* name;
        int status;
    } cases[] = {{"return", kHostStatus}, {"end", kHostStatus}, {"end-while-calling", kHostStatus},
                 {"cycles", 0}};
    for (const auto& c : cases) EXPECT_EQ(Host(c.name), c.status) << c.name;
}

TEST_F(Lifecycle, TwoCopiesEachReadTheirOwnConfiguration) {
    const fs::path second = lib.dir.path() / ("VelkaronTwo" + lib.library.extension().u8string());
    fs::copy_file(lib.library, second);
    WriteFile(ConfigurationOf(second), ConfigurationText("Two"));
    EXPECT_EQ(Host("two-copies", {second.u8string()}), kHostStatus);
}

// Hosts that load a fresh install at once, each the first load after it (a file manager with
// several windows, or several users): every one reads a whole configuration, whether the sample
// is copied beside the library or, where the install is read-only, into the user's folder; none
// shows the error box, and no copy's temporary file stays. A sample of about 600 KiB makes a
// copy slow enough for another load to meet it half-made, if it could.
TEST(FirstLoads, HostsLoadingAFreshInstallAtOnceAllOfferTheFields) {
    std::string sample = ReadFile(SampleConfiguration());
    for (int line = 0; line < 20000; ++line) sample += "; and room for what the user may want to note\r\n";
    std::string whyNot;
    const bool readOnly = Scratch::ReadOnlyAvailable(whyNot);
    // Each round starts a process per host: under Wine, an emulator or valgrind that takes seconds.
    const bool slow = std::getenv("VELKARON_EMULATOR") != nullptr || std::getenv("VELKARON_CHILD_WRAPPER") != nullptr;
#if defined(_WIN32)
    const int rounds = slow ? 2 : 10;
#else
    const int rounds = slow ? 4 : 60;
#endif
    constexpr int kHosts = 3;
    for (int round = 0; round < rounds; ++round) {
        const bool usersFolder = readOnly && round % 2 == 1;
        SCOPED_TRACE(std::string(usersFolder ? "the user's folder" : "beside the library") + ", round " +
                     std::to_string(round));
        Scratch folder(usersFolder), user;
        TempDir signals;
        const fs::path library = InstallLibrary(folder.path()), go = signals.path() / "go";
        WriteFile(folder.path() / "Velkaron.sample.ini", sample);
        SetUserFolder(user.path());
        const std::vector<std::string> host{"--case", "first-load", (folder.seen() / library.filename()).u8string(),
                                            go.u8string()};
        // Released together once all are ready.
        std::thread starter([&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
            while (std::distance(fs::directory_iterator(signals.path()), fs::directory_iterator()) < kHosts &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            WriteFile(go, "");
        });
        const std::vector<int> statuses = RunPrograms(ThisProgram(), std::vector<std::vector<std::string>>(kHosts, host));
        starter.join();
        EXPECT_EQ(statuses, std::vector<int>(kHosts, kHostStatus));
        const fs::path made = usersFolder ? UserConfigurationIn(user.path()) : ConfigurationOf(library);
        EXPECT_EQ(ReadFile(made), sample);
        const fs::path copies[] = {folder.path(), made.parent_path()};
        for (const fs::path& place : copies) {
            for (const fs::directory_entry& entry : fs::directory_iterator(place)) {
                EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
            }
        }
    }
    if (!readOnly) std::cout << "the user's folder's rounds did not run: " << whyNot << std::endl;
}

#if !defined(_WIN32) && !defined(VELKARON_SANITIZED)
// A host that never unloads anything: Python's ctypes.
TEST_F(Lifecycle, PythonCtypesReadsAFieldAndExits) {
    if (std::getenv("VELKARON_CHILD_WRAPPER") != nullptr) GTEST_SKIP() << "not under a tool";
    const char* script =
        "import ctypes, sys\n"
        "lib = ctypes.CDLL(sys.argv[1])\n"
        "name = ctypes.create_string_buffer(sys.argv[2].encode('utf-16-le') + b'\\0\\0')\n"
        "value = ctypes.create_string_buffer(256)\n"
        "code = lib.ContentGetValueW(name, 0, 0, value, 256, 0)\n"
        "text = value.raw.decode('utf-16-le').split('\\0')[0]\n"
        "sys.exit(0 if (code, text) == (11, 'kept') else 1)\n";
    EXPECT_EQ(RunProgram("/usr/bin/python3", {"-c", script, lib.library.string(), file.string()}), 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--case") == 0) {
        return RunCase(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
