// Many host threads at once on one loaded library: eight threads mix reads, writes and clears on
// one shared stream and on streams of their own, with KeepTime on, for a bounded time
// (VELKARON_STRESS_SECONDS, 10 by default).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <set>
#include <thread>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

// A value that shows whether it arrived whole: a header naming its writer and serial number,
// then that header repeated to a length that depends on the serial.
std::u16string MakeValue(int thread, int serial) {
    const std::string head = "<" + std::to_string(thread) + ":" + std::to_string(serial) + ">";
    std::string text;
    for (int i = 0; i <= serial % 40; ++i) text += head;
    return std::u16string(text.begin(), text.end());
}

bool IsWholeValue(const std::u16string& text) {
    const std::size_t end = text.find(u'>');
    if (text.empty() || text[0] != u'<' || end == std::u16string::npos) return false;
    const std::u16string head = text.substr(0, end + 1);
    if (text.size() % head.size() != 0) return false;
    for (std::size_t at = 0; at < text.size(); at += head.size()) {
        if (text.compare(at, head.size(), head) != 0) return false;
    }
    return true;
}

TEST(Stress, EightThreadsOfReadsWritesAndClears) {
    const char* env = std::getenv("VELKARON_STRESS_SECONDS");
    const int seconds = env != nullptr ? std::atoi(env) : 10;
    constexpr int kThreads = 8;

    Installed lib("[Options]\nKeepTime=1\nWriteUTF8=1\nReadUTF8=1\n[Streams]\n0=Comment\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    const host::PluginApi api = plugin.api();
    TempDir data;
    const fs::path shared = data.path() / "shared.txt";
    WriteFile(shared, "shared");

    struct Outcome {
        std::u16string last;  // what this thread's own stream must hold; empty: absent
        long calls = 0, badCodes = 0, wrongOwn = 0, torn = 0;
    };
    std::vector<Outcome> outcomes(kThreads);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::atomic<bool> failed{false};
    auto work = [&](int t) {
        Outcome& out = outcomes[t];
        std::mt19937 random(1234 + t);
        const fs::path own = data.path() / ("own-" + std::to_string(t) + ".txt");
        WriteFile(own, "own");
        std::u16string ownName = own.u16string(), sharedName = shared.u16string();
        for (int serial = 0; std::chrono::steady_clock::now() < deadline && !failed; ++serial) {
            const bool onShared = random() % 2 == 0;
            std::u16string& name = onShared ? sharedName : ownName;
            const int op = static_cast<int>(random() % 5);
            ++out.calls;
            if (op <= 1) {  // read
                const Value v = GetValue(api, onShared ? shared : own, 0, 8192);
                if (v.code != 11 && v.code != -3) ++out.badCodes;
                if (onShared && v.code == 11 && !IsWholeValue(v.text)) ++out.torn;
                if (!onShared && (v.code == 11 ? v.text != out.last : !out.last.empty())) ++out.wrongOwn;
            } else {  // write, or clear
                std::u16string value = op == 4 ? u"" : MakeValue(t, serial);
                const int code = api.ContentSetValueW(name.data(), 0, 0, 11, value.data(), 0);
                if (code != 0 && code != -2) ++out.badCodes;
                if (!onShared) {
                    if (code == 0) {
                        out.last = value;
                    } else if (!(code == -2 && value.empty() && out.last.empty())) {
                        ++out.wrongOwn;  // nothing else touches this stream: only clearing an empty one fails
                    }
                }
            }
            if (out.badCodes + out.wrongOwn + out.torn > 0) failed = true;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
    for (std::thread& thread : threads) thread.join();

    long calls = 0;
    for (int t = 0; t < kThreads; ++t) {
        const Outcome& out = outcomes[t];
        SCOPED_TRACE("thread " + std::to_string(t));
        calls += out.calls;
        EXPECT_EQ(out.badCodes, 0);
        EXPECT_EQ(out.wrongOwn, 0);
        EXPECT_EQ(out.torn, 0);
        std::string bytes;
        const bool present = GetStream(data.path() / ("own-" + std::to_string(t) + ".txt"), "Comment", bytes);
        EXPECT_EQ(present ? std::u16string(bytes.begin(), bytes.end()) : u"", out.last);
    }
    std::string bytes;
    if (GetStream(shared, "Comment", bytes)) {
        EXPECT_TRUE(IsWholeValue(std::u16string(bytes.begin(), bytes.end())));
    }
    EXPECT_GT(calls, kThreads);
    std::printf("%ld calls from %d threads in %d s\n", calls, kThreads, seconds);
}

}  // namespace
