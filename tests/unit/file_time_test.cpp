// The platform layer's capture and restore of the last-write time, called directly: writing a
// stream leaves the time alone under Wine and on Linux, so only here does a restore that never
// happened, or an inexact one, show.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
using velkaron::platform::FileTime;

TEST(WriteTime, CaptureAndRestoreAreExact) {
    TempDir dir;
    const fs::path file = dir.path() / "file.txt";
    const fs::path folder = dir.path() / "folder";
    WriteFile(file, "x");
    fs::create_directory(folder);
    const Time times[] = {
        {1000000001, 123456700},  // odd seconds and a fraction: what the DOS format would lose
        {165000000, 500000000},   // 1975: before the DOS format's first year
        {4400000000, 100},        // 2109: after its last
        {1, 0},
    };
    for (const fs::path& target : {file, folder}) {
        const bool isDirectory = target == folder;
        for (const Time& original : times) {
            SCOPED_TRACE(target.u8string() + " at " + std::to_string(original.seconds));
            SetWriteTime(target, original);
            FileTime saved;
            ASSERT_TRUE(velkaron::platform::CaptureWriteTime(target.u16string(), isDirectory, saved));
            SetWriteTime(target, {1700000000, 0});
            ASSERT_TRUE(velkaron::platform::RestoreWriteTime(target.u16string(), isDirectory, saved));
            EXPECT_EQ(GetWriteTime(target), original);
        }
    }
}

TEST(WriteTime, MissingTargetsFailWithoutHarm) {
    TempDir dir;
    const std::u16string missing = (dir.path() / "missing").u16string();
    FileTime saved;
    EXPECT_FALSE(velkaron::platform::CaptureWriteTime(missing, false, saved));
    EXPECT_FALSE(velkaron::platform::RestoreWriteTime(missing, false, saved));
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST(WriteTime, IsDirectoryFollowsTheName) {
    TempDir dir;
    WriteFile(dir.path() / "f", "x");
    EXPECT_TRUE(velkaron::platform::IsDirectory(dir.path().u16string()));
    EXPECT_FALSE(velkaron::platform::IsDirectory((dir.path() / "f").u16string()));
    EXPECT_FALSE(velkaron::platform::IsDirectory((dir.path() / "missing").u16string()));
}

}  // namespace
