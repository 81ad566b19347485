// Reading fields through the real library: streams are set up through the OS, read through the
// plug-in the way the host asks for them.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

const char kIni[] =
    "[Options]\nReadUTF8=1\nSubstituteChars=1\n"
    "[Streams]\n0=Comment\n1=Zone>>>dot<<<Identifier\n2=Missing\n";

class ReadTest : public testing::Test {
protected:
    ReadTest() : lib(kIni), plugin(LoadOrFail(lib.library)), file(data.path() / "file.txt") {
        WriteFile(file, "file contents");
    }
    const host::PluginApi& api() const { return plugin.api(); }

    Installed lib;
    host::LoadedPlugin plugin;
    TempDir data;
    fs::path file;
};

TEST_F(ReadTest, OfferToWaitIsAnsweredDeferredWithoutLooking) {
    PutStream(file, "Comment", "abc");
    char16_t buffer[16] = u"untouched";
    std::u16string name = file.u16string();
    for (int index : {0, 1, -1, 3, INT_MAX, INT_MIN}) {
        EXPECT_EQ(api().ContentGetValueW(name.data(), index, 0, buffer, sizeof buffer, 1), 0) << index;
        EXPECT_EQ(api().ContentGetValueW(nullptr, index, 0, nullptr, -1, 3), 0) << index;
    }
    EXPECT_EQ(std::u16string(buffer), u"untouched");
    const Value value = GetValue(api(), file, 0, 64, 2);  // bit 0 clear: a real read
    EXPECT_EQ(value.code, 11);
    EXPECT_EQ(U8(value.text), "abc");
}

TEST_F(ReadTest, FieldIndexesOutsideTheTable) {
    for (int index : {-1, 3, 100, INT_MAX, INT_MIN}) EXPECT_EQ(GetValue(api(), file, index).code, -1) << index;
}

TEST_F(ReadTest, ContentsAreDecodedAsUtf8OrAnsi) {
    struct Case {
        const char* name;
        std::string bytes;
        int code;
        std::u16string text;
    } cases[] = {
        {"ascii", "abc", 11, u"abc"},
        {"utf-8", "\xC3\xA9t\xC3\xA9", 11, u"\u00E9t\u00E9"},
        {"byte-order mark kept", "\xEF\xBB\xBFx", 11, u"\uFEFFx"},
        {"no complete sequence: ANSI", "A\xC3", 11, u"A\u00C3"},
        {"ANSI", "Caf\xE9 \x80", 11, u"Caf\u00E9 \u20AC"},
        {"line breaks", "one\r\ntwo", 11, u"one\r\ntwo"},
        {"zero byte first", std::string("\0abc", 4), 11, u""},
        {"stops at a zero", std::string("ab\0cd", 5), 11, u"ab"},
        {"stops at a zero past a block", std::string(20, 'x') + std::string("\0y\xC3\xA9", 4), 11,
         std::u16string(20, u'x')},
        {"utf-8 after a zero: ANSI", std::string("ab\0\xC3\xA9", 5), 11, u"ab"},
        {"empty stream", "", -3, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutStream(file, "Comment", c.bytes);
        const Value value = GetValue(api(), file, 0);
        EXPECT_EQ(value.code, c.code);
        EXPECT_EQ(U8(value.text), U8(c.text));
    }
}

TEST_F(ReadTest, Utf8ReadingCanBeSwitchedOff) {
    for (const char* setting : {"0", "true", ""}) {
        Installed off(std::string("[Options]\nReadUTF8=") + setting + "\n[Streams]\n0=Comment\n");
        host::LoadedPlugin ansi = LoadOrFail(off.library);
        PutStream(file, "Comment", "\xC3\xA9\xEF\xBB\xBF");
        EXPECT_EQ(U8(GetValue(ansi.api(), file, 0).text), U8(u"\u00C3\u00A9\u00EF\u00BB\u00BF")) << setting;
    }
}

TEST_F(ReadTest, AbsentStreamsAndFilesReadAsEmpty) {
    EXPECT_EQ(GetValue(api(), file, 2).code, -3);
    EXPECT_EQ(GetValue(api(), data.path() / "no-such-file", 0).code, -3);
    EXPECT_EQ(GetValue(api(), data.path() / "no-such-folder" / "f", 0).code, -3);
    char16_t buffer[8];
    EXPECT_EQ(api().ContentGetValueW(nullptr, 0, 0, buffer, sizeof buffer, 0), -3);
    PutStream(file, "Comment", "abc");
    std::u16string name = file.u16string();
    EXPECT_EQ(api().ContentGetValueW(name.data(), 0, 0, nullptr, 64, 0), -3);  // no buffer
}

TEST_F(ReadTest, TheValueIsCutToTheBufferAndNeverWrittenPastIt) {
    PutStream(file, "Comment", "abc");
    std::u16string name = file.u16string();
    struct Case {
        int size;
        int code;
        std::u16string text;
    } cases[] = {{10, 11, u"abc"}, {8, 11, u"ab"}, {7, 11, u"a"}, {4, 11, u""}, {3, 11, u""},
                 {2, 11, u""},     {1, -3, u""},   {0, -3, u""},  {-1, -3, u""}, {INT_MIN, -3, u""}};
    for (const Case& c : cases) {
        alignas(char16_t) unsigned char buffer[64];
        std::memset(buffer, 0xAB, sizeof buffer);
        EXPECT_EQ(api().ContentGetValueW(name.data(), 0, 0, buffer, c.size, 0), c.code) << c.size;
        const std::size_t room = c.size > 0 ? static_cast<std::size_t>(c.size) : 0;
        for (std::size_t i = room; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], 0xAB) << "size " << c.size << ", byte " << i;
        }
        if (c.code == 11) {
            EXPECT_EQ(U8(reinterpret_cast<const char16_t*>(buffer)), U8(c.text)) << c.size;
        }
    }
    // A host that claims a huge buffer: the read is sized by the stream, the copy by the text.
    alignas(char16_t) unsigned char buffer[64];
    std::memset(buffer, 0xAB, sizeof buffer);
    PutStream(file, "Comment", "0123456789");
    EXPECT_EQ(api().ContentGetValueW(name.data(), 0, 0, buffer, INT_MAX, 0), 11);
    EXPECT_EQ(U8(reinterpret_cast<const char16_t*>(buffer)), "0123456789");
    EXPECT_EQ(buffer[22], 0xAB);
}

TEST_F(ReadTest, OnlyTheBufferSizeInBytesIsRead) {
    PutStream(file, "Comment", std::string(3000, 'x'));
    EXPECT_EQ(GetValue(api(), file, 0, 100).text, std::u16string(48, u'x'));
    EXPECT_EQ(GetValue(api(), file, 0, 8192).text, std::u16string(3000, u'x'));
    // A UTF-8 sequence cut by the read still counts as UTF-8.
    std::string accents;
    for (int i = 0; i < 1000; ++i) accents += "\xC3\xA9";
    PutStream(file, "Comment", accents);
    EXPECT_EQ(U8(GetValue(api(), file, 0, 101).text), U8(std::u16string(48, u'\u00E9')));
#if defined(_WIN32)
    // Streams beyond the read's stack buffer (Linux file systems cap attributes near 4 KB).
    PutStream(file, "Comment", std::string(20000, 'y'));
    EXPECT_EQ(GetValue(api(), file, 0, 65536).text, std::u16string(20000, u'y'));
    EXPECT_EQ(GetValue(api(), file, 0, 30000).text, std::u16string(14998, u'y'));
#endif
}

TEST_F(ReadTest, DotPlaceholderAddressesTheRealStream) {
    PutStream(file, "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
    const Value value = GetValue(api(), file, 1);
    EXPECT_EQ(value.code, 11);
    EXPECT_EQ(U8(value.text), "[ZoneTransfer]\r\nZoneId=3\r\n");
}

TEST_F(ReadTest, DirectoriesHaveStreamsToo) {
    const fs::path dir = data.path() / "folder";
    fs::create_directory(dir);
    PutStream(dir, "Comment", "a folder");
    EXPECT_EQ(U8(GetValue(api(), dir, 0).text), "a folder");
}

#if defined(_WIN32)
TEST_F(ReadTest, AStreamOpenElsewhereReadsAsEmpty) {
    PutStream(file, "Comment", "abc");
    const std::wstring path = file.wstring() + L":Comment";
    const HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetValue(api(), file, 0).code, -3);  // the plug-in opens without sharing
    CloseHandle(holder);
    EXPECT_EQ(GetValue(api(), file, 0).code, 11);
}
#else
TEST_F(ReadTest, FileNamesWithColonsWork) {
    const fs::path odd = data.path() / "a:b:Comment";
    WriteFile(odd, "");
    PutStream(odd, "Comment", "colons");
    EXPECT_EQ(U8(GetValue(api(), odd, 0).text), "colons");
    EXPECT_EQ(GetValue(api(), data.path() / "a", 0).code, -3);
}

TEST_F(ReadTest, StreamNamesTheFileSystemRefusesReadAsEmpty) {
    Installed refused("[Streams]\n0=" + std::string(300, 'n') + "\n");
    host::LoadedPlugin loaded = LoadOrFail(refused.library);
    EXPECT_EQ(GetValue(loaded.api(), file, 0).code, -3);
}
#endif

}  // namespace
