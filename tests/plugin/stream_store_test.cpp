// Where the Linux build finds the streams: section [Linux], key StreamStore. In Samba's store the
// stream S of a file is the attribute "user.DosStream.S:$DATA", its bytes followed by one zero
// byte, found by its name in any case. The Windows builds read no such section.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

const std::string kOptions = "[Options]\nWriteUTF8=1\nReadUTF8=1\n";
const std::string kStreams = "[Streams]\n0=Comment\n1=Zone.Identifier:$DATA\n";

struct Store {
    explicit Store(const std::string& store)
        : lib(kOptions + "[Linux]\nStreamStore=" + store + "\n" + kStreams), file(data.path() / "file.txt") {
        WriteFile(file, "file contents");
        testing::internal::CaptureStderr();
        plugin = LoadOrFail(lib.library);
        told = testing::internal::GetCapturedStderr();
    }
    int Set(int field, const std::u16string& value) {
        std::u16string name = file.u16string(), text = value;
        return plugin.api().ContentSetValueW(name.data(), field, 0, 11, text.data(), 0);
    }
    std::string Stream(const std::string& name) {
        std::string bytes;
        return GetStream(file, name, bytes) ? bytes : "<absent>";
    }

    Installed lib;
    TempDir data;
    fs::path file;
    host::LoadedPlugin plugin;
    std::string told;  // what the load wrote to standard error
};

#if defined(_WIN32)

TEST(StreamStore, TheWindowsBuildsReadNoLinuxSection) {
    for (const char* store : {"samba", "unknown"}) {
        Store s(store);
        EXPECT_EQ(s.told, "");
        PutStream(s.file, "Comment", "a value");
        EXPECT_EQ(U8(GetValue(s.plugin.api(), s.file, 0).text), "a value");
        EXPECT_EQ(s.Set(0, u"new"), 0);
        EXPECT_EQ(s.Stream("Comment"), "new");
    }
}

#else

const std::string kComment = "DosStream.Comment:$DATA";

// text and the zero byte Samba keeps after it.
std::string Z(const char* text) { return std::string(text) + '\0'; }

TEST(StreamStore, SambasValuesReadWithoutTheirZeroByte) {
    struct Case {
        const char* what;
        int field;
        std::string attribute, bytes;  // what Samba's clients stored
        int code;
        std::u16string text;
    } cases[] = {
        {"one zero byte", 0, kComment, Z("a\r\nb"), 11, u"a\r\nb"},
        {"no zero byte", 0, kComment, "no zero", 11, u"no zero"},
        {"an empty stream", 0, kComment, Z(""), -3, u""},
        {"another case", 0, "DosStream.COMMENT:$DATA", Z("other case"), 11, u"other case"},
        {"ntfs-3g's attribute is not the stream", 0, "Comment", Z("ntfs-3g"), -3, u""},
        {"a configured type", 1, "DosStream.Zone.Identifier:$DATA", Z("[ZoneTransfer]"), 11,
         u"[ZoneTransfer]"},
    };
    Store s("samba");
    EXPECT_EQ(s.told, "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(s.file, "new file");
        for (const char* name : {"Comment", "DosStream.Comment:$DATA", "DosStream.COMMENT:$DATA"}) RemoveStream(s.file, name);
        PutStream(s.file, c.attribute, c.bytes);
        const Value value = GetValue(s.plugin.api(), s.file, c.field);
        EXPECT_EQ(value.code, c.code);
        EXPECT_EQ(value.text, c.text) << U8(value.text);
    }
}

// A stream a client wrote under another case is the one changed and cleared: no second one.
TEST(StreamStore, SambasValuesAreWrittenWithOneZeroByte) {
    Store s("samba");
    PutStream(s.file, "DosStream.comment:$DATA", Z("old"));
    EXPECT_EQ(s.Set(0, u"new"), 0);
    EXPECT_EQ(s.Stream("DosStream.comment:$DATA"), Z("new"));
    EXPECT_EQ(s.Stream(kComment), "<absent>");
    EXPECT_EQ(s.Set(0, u""), 0);
    EXPECT_EQ(s.Stream("DosStream.comment:$DATA"), "<absent>");
    EXPECT_EQ(s.Set(0, u""), -2);  // nothing left to clear
}

TEST(StreamStore, AnUnknownStoreIsToldOnceAndTheDefaultUsed) {
    struct Case {
        const char* value;
        bool told;
        std::string attribute, bytes;  // where a write of "abc" goes
    } cases[] = {{"ntfs-3g", false, "Comment", "abc"}, {"NTFS-3G", false, "Comment", "abc"},
                 {"", false, "Comment", "abc"},        {"Samba", false, kComment, Z("abc")},
                 {"smb", true, "Comment", "abc"},      {"ntfs3g", true, "Comment", "abc"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Store s(c.value);
        EXPECT_EQ(s.told, c.told ? "Velkaron: StreamStore=" + std::string(c.value) +
                                       " in section [Linux] of Velkaron.ini is not ntfs-3g or samba: using ntfs-3g\n"
                                 : "");
        EXPECT_EQ(s.Set(0, u"abc"), 0);
        EXPECT_EQ(s.Stream(c.attribute), c.bytes);
    }
}

#endif

}  // namespace
