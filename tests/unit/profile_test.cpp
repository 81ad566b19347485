#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "config/profile.h"
#include "platform/linux/codepage.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "tests/unit/profile_fixtures.h"

namespace {

using namespace velkaron;
using namespace velkaron::platform;
namespace fs = std::filesystem;

std::string Show(const std::u16string& s) { return EncodeUtf8(s); }

// Every fixture through this build's own reader: the system's on Windows, the emulation on Linux.
TEST(ProfileReader, AnswersAsTheWindowsReaderDoes) {
    for (const fixtures::ProfileFixture& fixture : fixtures::ProfileFixtures()) {
        SCOPED_TRACE(fixture.name);
        testing_support::TempDir dir;
        const auto file = dir.path() / "test.ini";
        testing_support::WriteFile(file, fixture.bytes);
        const std::u16string path = file.u16string();
        const IniFile profile = OpenIni(path);
        for (const fixtures::Query& q : fixture.queries) {
            EXPECT_EQ(Show(ReadIni(profile, q.section, q.key, q.fallback ? q.fallback : u"", q.buffer)),
                      Show(q.expected))
                << "[" << Show(q.section) << "] " << Show(q.key);
        }
    }
}

TEST(ProfileReader, MissingFileGivesDefaults) {
    testing_support::TempDir dir;
    const IniFile profile = OpenIni((dir.path() / "absent.ini").u16string());
    EXPECT_EQ(ReadIni(profile, u"Options", u"KeepTime", u"0", 2000), u"0");
    EXPECT_EQ(ReadIni(profile, u"Streams", u"0", u"", 2000), u"");
}

// A file as a load opens it, on every build and whichever reader answers: UTF-8 as UTF-8, a NUL
// kept for the check of stream names (the system's reader would cut the value there), and a file
// past 1 MiB as empty.
TEST(ProfileReader, EveryBuildReadsAFileAlike) {
    const std::string head = "[S]\r\nk=v\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string value;
    } cases[] = {
        {"UTF-8 without a mark", "[S]\r\nk=Notiz-\xC3\xBC\r\n", u"Notiz-\u00FC"},
        {"UTF-8 with a mark", "\xEF\xBB\xBF[S]\r\nk=Notiz-\xC3\xBC\r\n", u"Notiz-\u00FC"},
        {"the ANSI code page", "[S]\r\nk=Notiz-\xFC\r\n", u"Notiz-\u00FC"},
        {"a NUL", std::string("[S]\r\nk=Com\0ment\r\n", 17), std::u16string(u"Com\0ment", 8)},
        {"a NUL in UTF-16", std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0a\0\0\0b\0", 20), std::u16string(u"a\0b", 3)},
        {"1 MiB", head + std::string(kMaxProfileBytes - head.size(), ' '), u"v"},
        {"1 MiB and a byte", head + std::string(kMaxProfileBytes - head.size() + 1, ' '), u"-"},
    };
    testing_support::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir.path() / "test.ini";
        testing_support::WriteFile(file, c.bytes);
        EXPECT_EQ(Show(ReadIni(OpenIni(file.u16string()), u"S", u"k", u"-", 100)), Show(c.value));
    }
    // No file at all: a folder, and on Linux a FIFO nobody writes, which is never waited on.
    const auto folder = dir.path() / "folder.ini";
    fs::create_directory(folder);
    EXPECT_EQ(Show(ReadIni(OpenIni(folder.u16string()), u"S", u"k", u"-", 100)), "-");
#if !defined(_WIN32)
    const auto fifo = dir.path() / "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Show(ReadIni(OpenIni(fifo.u16string()), u"S", u"k", u"-", 100)), "-");
#endif
}

// Choices where Windows and Wine differ, or that only the emulation makes: the emulation follows
// Windows, or does the sound thing.
TEST(ProfileEmulation, FollowsWindowsWhereWineDiffers) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string section, key, expected;
    } cases[] = {
        {"section name ends at the first bracket", "[S]x]\nk=v\n", u"S", u"k", u"v"},
        {"header without a closing bracket", "[S\nk=v\n", u"S", u"k", u"v"},
        {"lines before the first header are unreachable", "k=v\n[S]\n", u"", u"k", u"-"},
        {"semicolon lines are comments", "[S]\n;k=v\n", u"S", u";k", u"-"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF[S]\nk=\xC3\xA9\n", u"S", u"k", u"\u00E9"},
        {"UTF-16 big-endian byte-order mark", std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\0v", 16),
         u"S", u"k", u"v"},
        {"queried names are not trimmed", "[S]\nk=v\n", u"S", u"k\t", u"-"},
        // Without a mark: UTF-8 where it is valid, else the ANSI code page.
        {"valid UTF-8 without a mark", "[S]\nk=Notiz-\xC3\xBC\n", u"S", u"k",
         u"Notiz-\u00FC"},
        {"Windows-1252", "[S]\nk=Notiz-\xFC\n", u"S", u"k", u"Notiz-\u00FC"},
        {"an overlong form is not UTF-8", "[S]\nk=\xC3\xBC\xC0\xAF\n", u"S", u"k", u"\u00C3\u00BC\u00C0\u00AF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Show(LookupProfile(ParseProfile(c.bytes), c.section, c.key, u"-", 100)),
                  Show(c.expected));
    }
}

TEST(ProfileEmulation, LargeAndOddFilesParseInOnePass) {
    std::string junk;
    for (int i = 0; i < 200000; ++i) junk += static_cast<char>((i * 7919) % 256);
    std::string many = "[Streams]\n";
    for (int i = 0; i < 10000; ++i) many += std::to_string(i) + "=v" + std::to_string(i) + "\n";
    EXPECT_EQ(LookupProfile(ParseProfile(many), u"Streams", u"9999", u"", 100), u"v9999");
    const ProfileData parsed = ParseProfile(junk);
    (void)LookupProfile(parsed, u"Streams", u"0", u"", 100);
    EXPECT_EQ(LookupProfile(ParseProfile(std::string(1 << 20, '\n')), u"S", u"k", u"d", 10), u"d");
}

TEST(ProfileEmulation, TinyBuffers) {
    const ProfileData data = ParseProfile("[S]\nk=value\n");
    EXPECT_EQ(LookupProfile(data, u"S", u"k", u"-", 0), u"");
    EXPECT_EQ(LookupProfile(data, u"S", u"k", u"-", 1), u"");
    EXPECT_EQ(LookupProfile(data, u"S", u"k", u"-", 2), u"v");
    EXPECT_EQ(LookupProfile(data, u"S", u"none", u"dflt", 1), u"");
}

}  // namespace
