// timing_host: the cost of a field against the Win32 calls it cannot avoid, under the real loader,
// on the same files in the same run. Usage: timing_host64 PLUGIN (timing_host32 for a .wdx).
// Prints one JSON object on stdout and its progress on stderr. VELKARON_BENCH_FILES sets the size
// of the folder, VELKARON_BENCH_CALLS the number of reads between the two memory readings.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/hostlib/plugin_loader.h"

namespace {

namespace fs = std::filesystem;

// Rounds per figure; each figure is the median of its rounds. Many short rounds, so that the
// median shrugs off the machine's occasional stalls; the read and write ratios, the figures with
// goals, take more and shorter ones than the rest.
constexpr int kRounds = 40, kRatioRounds = 200;
constexpr int kDefaultFiles = 10000;
constexpr long kDefaultCalls = 1000000;
constexpr int kWarmUpReads = 10000;
constexpr int kBufferBytes = 2048;  // the host's value buffer
constexpr int kWideString = 11;
constexpr int kDeferred = 0, kStored = 0, kEmpty = -3;
const std::string kValue(40, 'v');
const std::u16string kNewValue(40, u'w');
const char kOptions[] = "KeepTime=0\nWriteUTF8=1\nReadUTF8=1\n";

// A Win32 handle, closed when this goes away.
struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (ok()) CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

// The scratch folder, removed with everything in it when this goes away.
struct Scratch {
    fs::path dir;
    Scratch() {
        wchar_t temp[MAX_PATH + 1];
        const DWORD size = GetTempPathW(MAX_PATH + 1, temp);
        if (size == 0 || size > MAX_PATH) throw std::runtime_error("GetTempPathW failed");
        dir = fs::path(temp) / (L"velkaron-timing-" + std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(dir);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

// The "\\?\" form of file's stream, as the floor opens it.
std::wstring StreamPath(const fs::path& file, const wchar_t* stream) {
    return L"\\\\?\\" + file.wstring() + L":" + stream;
}

// Writes bytes to path (a file or a stream); false when the open or the write fails.
bool Put(const std::wstring& path, const std::string& bytes, DWORD disposition = CREATE_ALWAYS, DWORD access = GENERIC_WRITE) {
    Handle handle(CreateFileW(path.c_str(), access, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return handle.ok() &&
           WriteFile(handle.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Writes bytes over path (a stream) as a write that loses nothing when it fails must, at the
// least: opens it for reading and writing, creating it if need be; when it was there, reads the
// old bytes the new ones will cover (kept to put back, up to kBufferBytes); sets the new end
// before writing when the value grows, after when it shrinks (neither when the lengths match);
// writes from the start (its offset given with the write). False when a call fails.
bool SafePut(const std::wstring& path, const std::string& bytes) {
    Handle handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.ok()) return false;
    LARGE_INTEGER oldSize{};
    char old[kBufferBytes];
    DWORD read = 0, written = 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!GetFileSizeEx(handle.h, &oldSize)) return false;
        const auto covered = std::min<LONGLONG>({oldSize.QuadPart, static_cast<LONGLONG>(bytes.size()), kBufferBytes});
        if (!ReadFile(handle.h, old, static_cast<DWORD>(covered), &read, nullptr)) return false;
    }
    const auto setEnd = [&] {
        FILE_END_OF_FILE_INFO end;
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(bytes.size());
        return SetFileInformationByHandle(handle.h, FileEndOfFileInfo, &end, sizeof end) != FALSE;
    };
    OVERLAPPED start{};
    const auto size = static_cast<LONGLONG>(bytes.size());
    return (size <= oldSize.QuadPart || setEnd()) &&
           WriteFile(handle.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &start) &&
           written == bytes.size() && (size >= oldSize.QuadPart || setEnd());
}

// Reads up to kBufferBytes of a stream: the bytes read, or -1 when it cannot be opened or read.
long Get(const std::wstring& path, char* buffer) {
    Handle handle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD read = 0;
    if (!handle.ok() || !ReadFile(handle.h, buffer, kBufferBytes, &read, nullptr)) return -1;
    return static_cast<long>(read);
}

// A data file with a 40-byte Comment stream and, when asked, a 40-byte Zone.Identifier stream.
void MakeFile(const fs::path& file, bool zone) {
    if (!Put(file.wstring(), "data", CREATE_NEW) || !Put(StreamPath(file, L"Comment"), kValue) ||
        (zone && !Put(StreamPath(file, L"Zone.Identifier"), kValue))) {
        throw std::runtime_error("cannot create " + file.u8string() + " and its streams");
    }
}

// A folder with a copy of the library and its Velkaron.ini listing `fields` fields.
fs::path MakeLibrary(const fs::path& dir, const fs::path& source, const char* options, int fields) {
    fs::create_directories(dir);
    const fs::path library = dir / source.filename();
    fs::copy_file(source, library, fs::copy_options::overwrite_existing);
    std::ofstream ini(dir / "Velkaron.ini");
    ini << "[Options]\n" << options << "[Streams]\n";
    for (int k = 0; k < fields; ++k) {
        ini << k << "=" << (k == 0 ? "Comment" : k == 1 && fields == 2 ? "Zone.Identifier"
                                                                        : "Field" + std::to_string(k))
            << "\n";
    }
    if (!ini.flush()) throw std::runtime_error("cannot write " + (dir / "Velkaron.ini").u8string());
    return library;
}

host::LoadedPlugin Load(const fs::path& library) {
    host::LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(library, error)) throw std::runtime_error(error);
    if (plugin.api().ContentGetValueW == nullptr || plugin.api().ContentSetValueW == nullptr) {
        throw std::runtime_error(library.u8string() + " lacks ContentGetValueW or ContentSetValueW");
    }
    return plugin;
}

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Seconds that `calls` calls of fn take.
template <typename Fn>
double Batch(long calls, Fn& fn) {
    const double start = Now();
    for (long i = 0; i < calls; ++i) fn();
    return Now() - start;
}

// The medians of interleaved batches, in ns per call, and the median of each round's ratio of
// the first to the second: a round's two batches ran moments apart, so their ratio is spared
// most of what drifts between rounds.
template <std::size_t N>
struct Timings {
    std::array<double, N> median{};
    double ratio = 0;
    double operator[](std::size_t k) const { return median[k]; }
};

// Runs a batch of each fn in turn, round after round, each round in its own shuffled order (the
// same from run to run), so that neither drift nor a batch's place in the round (which other
// batch it follows) favours any of them: a fixed rotation would have each batch always follow
// the same other one.
template <typename... Fn>
Timings<sizeof...(Fn)> Interleaved(int rounds, long calls, Fn... fns) {
    constexpr std::size_t n = sizeof...(Fn);
    std::array<std::vector<double>, n> samples;
    const std::array<std::function<double()>, n> batches{
        [calls, fn = fns]() mutable { return Batch(calls, fn) * 1e9 / static_cast<double>(calls); }...};
    std::array<std::size_t, n> order;
    for (std::size_t k = 0; k < n; ++k) order[k] = k;
    std::mt19937 shuffler(2026);
    for (int round = 0; round < rounds; ++round) {
        std::shuffle(order.begin(), order.end(), shuffler);
        for (std::size_t which : order) samples[which].push_back(batches[which]());
    }
    Timings<n> timings;
    for (std::size_t k = 0; k < n; ++k) timings.median[k] = Median(samples[k]);
    if constexpr (n >= 2) {
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) ratios.push_back(samples[0][round] / samples[1][round]);
        timings.ratio = Median(ratios);
    }
    return timings;
}

long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0) throw std::runtime_error(std::string(name) + " is not a positive number");
    return value;
}

void Expect(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

// The value a read delivered, for a message (ASCII; anything else shows as "?").
std::string Text(const char16_t* value) {
    std::string text;
    for (; *value != u'\0' && text.size() < 80; ++value) text += *value < 128 ? char(*value) : '?';
    return text;
}

std::array<double, 2> MemoryKiB() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(),
                                 reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        throw std::runtime_error("K32GetProcessMemoryInfo failed");
    }
    return {counters.WorkingSetSize / 1024.0, counters.PrivateUsage / 1024.0};
}

// Runs the plug-in's block and the floor's, swapping which goes first from block to block, so
// that whatever the machine does meanwhile weighs on both alike.
template <typename Plugin, typename Floor>
void InTurn(std::size_t block, Plugin plugin, Floor floor) {
    if (block % 2 == 0) {
        plugin();
        floor();
    } else {
        floor();
        plugin();
    }
}

int Run(const fs::path& source) {
    const double began = Now();
    const int files = static_cast<int>(EnvNumber("VELKARON_BENCH_FILES", kDefaultFiles));
    const long calls = EnvNumber("VELKARON_BENCH_CALLS", kDefaultCalls);
    Scratch scratch;  // declared before the plug-ins, so that it outlives them
    const fs::path library = MakeLibrary(scratch.dir / "main", source, kOptions, 2);
    const fs::path keepLibrary =
        MakeLibrary(scratch.dir / "keep", source, "KeepTime=1\nWriteUTF8=1\nReadUTF8=1\n", 2);
    const fs::path load1 = MakeLibrary(scratch.dir / "load1", source, kOptions, 1);
    const fs::path load100 = MakeLibrary(scratch.dir / "load100", source, kOptions, 100);
    const fs::path file = scratch.dir / "main" / "file.txt", keepFile = scratch.dir / "keep" / "file.txt";
    MakeFile(file, false);
    MakeFile(keepFile, false);
    host::LoadedPlugin plugin = Load(library), keep = Load(keepLibrary);
    const host::PluginApi &api = plugin.api(), &keepApi = keep.api();

    std::u16string name = file.u16string(), keepName = keepFile.u16string(), value = kNewValue;
    const std::string newBytes(kNewValue.begin(), kNewValue.end());
    const std::wstring comment = StreamPath(file, L"Comment"), zone = StreamPath(file, L"Zone.Identifier");
    char16_t buffer[kBufferBytes / 2] = {};
    char bytes[kBufferBytes];

    // First calls of each kind: a broken build stops here instead of yielding figures.
    int code = api.ContentGetValueW(name.data(), 0, 0, buffer, kBufferBytes, 0);
    Expect(code == kWideString && Text(buffer) == kValue, "read answered " + std::to_string(code) + " \"" +
                                                              Text(buffer) + "\", expected 11 \"" + kValue + "\"");
    code = api.ContentGetValueW(name.data(), 0, 0, buffer, kBufferBytes, 1);
    Expect(code == kDeferred, "a read offering to wait answered " + std::to_string(code) + ", expected 0");
    const auto checkWrite = [&](const host::PluginApi& a, std::u16string& target, const fs::path& written) {
        code = a.ContentSetValueW(target.data(), 1, 0, kWideString, value.data(), 0);
        const long size = Get(StreamPath(written, L"Zone.Identifier"), bytes);
        Expect(code == kStored && std::string(bytes, size > 0 ? size : 0) == newBytes,
               "write answered " + std::to_string(code) + ", expected 0 and 40 'w' in Zone.Identifier");
    };
    checkWrite(api, name, file);
    checkWrite(keepApi, keepName, keepFile);
    Expect(SafePut(zone, newBytes), "the write's floor failed on Zone.Identifier");

    std::fprintf(stderr, "read...\n");
    const auto read = Interleaved(
        kRatioRounds, 40, [&] { api.ContentGetValueW(name.data(), 0, 0, buffer, kBufferBytes, 0); },
        [&] { Get(comment, bytes); });
    std::fprintf(stderr, "  plug-in %.0f ns, floor %.0f ns\ndeferred...\n", read[0], read[1]);
    const auto deferred =
        Interleaved(kRounds, 200000, [&] { api.ContentGetValueW(name.data(), 0, 0, buffer, kBufferBytes, 1); });
    std::fprintf(stderr, "  %.1f ns\nwrite...\n", deferred[0]);
    // The floor writes as the plug-in must to lose nothing when it fails; what that costs over
    // a plain overwrite (created anew, the old bytes gone at once) is measured beside it.
    const auto write = Interleaved(
        kRatioRounds, 20, [&] { api.ContentSetValueW(name.data(), 1, 0, kWideString, value.data(), 0); },
        [&] { SafePut(zone, newBytes); },
        [&] { keepApi.ContentSetValueW(keepName.data(), 1, 0, kWideString, value.data(), 0); },
        [&] { Put(zone, newBytes, CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE); });
    std::fprintf(stderr, "  plug-in %.0f ns, floor %.0f ns (plain overwrite %.0f ns), KeepTime %.0f ns (+%.0f ns)\nload...\n",
                 write[0], write[1], write[3], write[2], write[2] - write[0]);
    const auto load = Interleaved(kRounds, 4, [&] { Load(load1); }, [&] { Load(load100); });
    std::fprintf(stderr, "  1 field %.0f ns, 100 fields %.0f ns\nmemory...\n", load[0], load[1]);
    for (int i = 0; i < kWarmUpReads; ++i) api.ContentGetValueW(name.data(), 0, 0, buffer, kBufferBytes, 0);
    const auto before = MemoryKiB();
    for (long i = 0; i < calls; ++i) api.ContentGetValueW(name.data(), 0, 0, buffer, kBufferBytes, 0);
    const auto after = MemoryKiB();
    std::fprintf(stderr, "  working set %.0f -> %.0f KiB, private %.0f -> %.0f KiB after %ld reads\n",
                 before[0], after[0], before[1], after[1], calls);

    // The folder: every file has a Comment, every 10th a Zone.Identifier too.
    std::fprintf(stderr, "folder of %d files: creating...\n", files);
    const fs::path folder = scratch.dir / "folder";
    fs::create_directories(folder);
    std::vector<std::u16string> names;
    std::vector<std::array<std::wstring, 2>> streams;
    const double start = Now();
    for (int i = 0; i < files; ++i) {
        wchar_t leaf[32];
        std::swprintf(leaf, 32, L"f%06d.txt", i);
        MakeFile(folder / leaf, i % 10 == 0);
        names.push_back((folder / leaf).u16string());
        streams.push_back({StreamPath(folder / leaf, L"Comment"), StreamPath(folder / leaf, L"Zone.Identifier")});
    }
    std::fprintf(stderr, "  created in %.1f s\n", Now() - start);
    // The host's first pass offers to wait for every column of every file and is answered at
    // once; its second pass reads them. The floor's opens are interleaved with the second pass
    // block by block, in alternating order, so that drift over the long walk weighs on both alike.
    // The answers are counted, so that a wrong one fails the run.
    const int present = files + (files + 9) / 10, absent = 2 * files - present;
    int deferredAnswers = 0, found = 0, empty = 0, floorFound = 0;
    double readingPass = 0, folderFloor = 0;
    const double deferredStart = Now();
    for (std::u16string& n : names) {
        for (int field = 0; field < 2; ++field) {
            deferredAnswers += api.ContentGetValueW(n.data(), field, 0, buffer, kBufferBytes, 1) == kDeferred;
        }
    }
    const double deferredPass = Now() - deferredStart;
    constexpr std::size_t kBlockFiles = 250;
    for (std::size_t first = 0, block = 0; first < names.size(); first += kBlockFiles, ++block) {
        const std::size_t last = std::min(first + kBlockFiles, names.size());
        const auto reading = [&] {
            const double begin = Now();
            for (std::size_t i = first; i < last; ++i) {
                for (int field = 0; field < 2; ++field) {
                    code = api.ContentGetValueW(names[i].data(), field, 0, buffer, kBufferBytes, 0);
                    found += code == kWideString;
                    empty += code == kEmpty;
                }
            }
            readingPass += Now() - begin;
        };
        const auto floor = [&] {
            const double begin = Now();
            for (std::size_t i = first; i < last; ++i) {
                for (const std::wstring& stream : streams[i]) floorFound += Get(stream, bytes) == 40;
            }
            folderFloor += Now() - begin;
        };
        InTurn(block, reading, floor);
    }
    Expect(deferredAnswers == 2 * files && found == present && empty == absent && floorFound == present,
           "the folder walk answered " + std::to_string(deferredAnswers) + " deferred, " + std::to_string(found) +
               " read, " + std::to_string(empty) + " empty and the floor found " + std::to_string(floorFound) +
               "; expected " + std::to_string(2 * files) + ", " + std::to_string(present) + ", " +
               std::to_string(absent) + " and " + std::to_string(present));
    const double folderPlugin = deferredPass + readingPass;
    std::fprintf(stderr, "  plug-in %.2f s (deferred pass %.4f s, reading pass %.2f s), floor %.2f s\n",
                 folderPlugin, deferredPass, readingPass, folderFloor);
    std::fprintf(stderr, "  plug-in %.0f files/s, floor %.0f files/s\n", files / folderPlugin, files / folderFloor);

    // Where files came from: the three fields of Origin=1 on a folder of downloads, half of them
    // marked, both of the host's passes, against the same three reads of the raw stream a file,
    // in alternating blocks as above.
    std::fprintf(stderr, "origin fields on %d files: creating...\n", files);
    const std::string mark =
        "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/downloads/\r\n"
        "HostUrl=https://cdn.example.org/releases/tool-1.2.zip\r\n";
    const fs::path originLibrary = MakeLibrary(scratch.dir / "origin", source, "KeepTime=0\nOrigin=1\n", 1);
    host::LoadedPlugin originPlugin = Load(originLibrary);
    const host::PluginApi& originApi = originPlugin.api();
    const fs::path downloads = scratch.dir / "downloads";
    fs::create_directories(downloads);
    std::vector<std::u16string> downloadNames;
    std::vector<std::wstring> marks;
    for (int i = 0; i < files; ++i) {
        wchar_t leaf[32];
        std::swprintf(leaf, 32, L"d%06d.zip", i);
        Expect(Put((downloads / leaf).wstring(), "data", CREATE_NEW) &&
                   (i % 2 != 0 || Put(StreamPath(downloads / leaf, L"Zone.Identifier"), mark)),
               "cannot create " + (downloads / leaf).u8string());
        downloadNames.push_back((downloads / leaf).u16string());
        marks.push_back(StreamPath(downloads / leaf, L"Zone.Identifier"));
    }
    int originFound = 0, originFloorFound = 0;
    double originPlugin_s = 0, originFloor_s = 0;
    for (std::size_t first = 0, block = 0; first < downloadNames.size(); first += kBlockFiles, ++block) {
        const std::size_t last = std::min(first + kBlockFiles, downloadNames.size());
        const auto reading = [&] {
            const double begin = Now();
            for (int pass : {1, 0}) {
                for (std::size_t i = first; i < last; ++i) {
                    for (int field = 1; field <= 3; ++field) {
                        code = originApi.ContentGetValueW(downloadNames[i].data(), field, 0, buffer, kBufferBytes, pass);
                        originFound += pass == 0 && code == kWideString;
                    }
                }
            }
            originPlugin_s += Now() - begin;
        };
        const auto floor = [&] {
            const double begin = Now();
            for (std::size_t i = first; i < last; ++i) {
                for (int field = 1; field <= 3; ++field) originFloorFound += Get(marks[i], bytes) > 0;
            }
            originFloor_s += Now() - begin;
        };
        InTurn(block, reading, floor);
    }
    const int marked = 3 * ((files + 1) / 2);
    Expect(originFound == marked && originFloorFound == marked,
           "the origin fields gave " + std::to_string(originFound) + " values and the floor found " +
               std::to_string(originFloorFound) + " marks; expected " + std::to_string(marked));
    std::fprintf(stderr, "  plug-in %.2f s, floor %.2f s\ndone in %.0f s\n", originPlugin_s, originFloor_s,
                 Now() - began);

    std::printf(
        "{\"bits\": %d, \"read_plugin_ns\": %.0f, \"read_floor_ns\": %.0f, \"read_ratio\": %.4f, \"deferred_ns\": %.2f, "
        "\"folder_files\": %d, \"folder_plugin_s\": %.3f, \"folder_floor_s\": %.3f, "
        "\"origin_plugin_s\": %.3f, \"origin_floor_s\": %.3f, "
        "\"write_plugin_ns\": %.0f, \"write_floor_ns\": %.0f, \"write_ratio\": %.4f, \"write_keeptime_ns\": %.0f, "
        "\"write_floor_unsafe_ns\": %.0f, "
        "\"load_1_ns\": %.0f, \"load_100_ns\": %.0f, \"rss_calls\": %ld, \"rss_before_kib\": %.0f, "
        "\"rss_after_kib\": %.0f, \"private_before_kib\": %.0f, \"private_after_kib\": %.0f}\n",
        static_cast<int>(sizeof(void*) * 8), read[0], read[1], read.ratio, deferred[0], files, folderPlugin,
        folderFloor, originPlugin_s, originFloor_s, write[0], write[1], write.ratio, write[2], write[3], load[0], load[1], calls, before[0], after[0], before[1], after[1]);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: timing_host PLUGIN\n");
        return 2;
    }
    try {
        return Run(fs::absolute(argv[1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "timing_host: %s\n", e.what());
        return 1;
    }
}
