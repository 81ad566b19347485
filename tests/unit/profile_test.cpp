#include <gtest/gtest.h>

#include "config/profile.h"
#include "platform/linux/codepage.h"
#include "platform/platform.h"
#include "tests/support/test_support.h"
#include "tests/unit/profile_fixtures.h"

namespace {

using namespace velkaron;
using namespace velkaron::platform;

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
