// With no configuration and no sample, loading the library shows one modal error box and the
// library then answers with an empty field list. Runs under Wine on a virtual display.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

struct Watcher {
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    std::set<HWND> boxes;
    std::wstring text;
    std::wstring caption;

    // Finds boxes captioned "Velkaron", reads their text and dismisses them.
    void Run() {
        const DWORD deadline = GetTickCount() + 60000;
        while (!stop.load() && GetTickCount() < deadline) {
            running = true;
            HWND box = FindWindowW(nullptr, L"Velkaron");
            if (box != nullptr && boxes.insert(box).second) {
                wchar_t buffer[512] = {};
                GetDlgItemTextW(box, 0xFFFF, buffer, 512);
                text = buffer;
                GetWindowTextW(box, buffer, 512);
                caption = buffer;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(20);
        }
    }
};

TEST(ErrorBox, ShownOnceWhenNoFieldIsConfigured) {
    TempDir dir;
    const fs::path library = InstallLibrary(dir.path());

    Watcher watcher;
    std::thread thread([&] { watcher.Run(); });
    // A thread that is still starting up when the library's start-up holds the loader lock would
    // wait for it, and so for the box it is meant to close.
    while (!watcher.running) Sleep(1);
    host::LoadedPlugin plugin = LoadOrFail(library);  // returns once the box is dismissed
    Sleep(500);  // a second box, if there were one, would show up by now
    watcher.stop = true;
    thread.join();

    EXPECT_EQ(watcher.boxes.size(), 1u);
    EXPECT_EQ(watcher.caption, L"Velkaron");
    EXPECT_EQ(watcher.text, L"Plugins doesn't have filled Velkaron.ini file");
    ASSERT_TRUE(plugin.loaded());
    EXPECT_TRUE(FieldNames(plugin.api()).empty());
    char name[16] = "untouched";
    EXPECT_EQ(plugin.api().ContentGetSupportedField(0, name, name, sizeof name), 0);
}

}  // namespace
