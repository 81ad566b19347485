// Writing fields through the real library; streams are inspected straight through the OS.
#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/xattr.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

const char kStreams[] = "0=Comment\n1=Zone>>>dot<<<Identifier\n";

// A library loaded with the given options and fields, and a scratch file to write to.
struct Writer {
    explicit Writer(const std::string& options, const std::string& streams = kStreams)
        : lib("[Options]\n" + options + "\n[Streams]\n" + streams), plugin(LoadOrFail(lib.library)), file(data.path() / "file.txt") {
        WriteFile(file, "file contents");
    }
    int Set(const fs::path& target, int field, const std::u16string& value) {
        std::u16string name = target.u16string(), text = value;
        return plugin.api().ContentSetValueW(name.data(), field, 0, 11, text.data(), 0);
    }
    std::string Stream(const fs::path& target, const std::string& stream = "Comment") {
        std::string bytes;
        return GetStream(target, stream, bytes) ? bytes : "<absent>";
    }

    Installed lib;
    host::LoadedPlugin plugin;
    TempDir data;
    fs::path file;
};

TEST(Write, StoresExactlyTheEncodedBytes) {
    struct Case {
        const char* options;
        std::u16string value;
        std::string bytes;
    } cases[] = {
        {"WriteUTF8=1", u"abc", "abc"},
        {"WriteUTF8=1", u"\u00E9", "\xC3\xA9"},
        {"WriteUTF8=0", u"\u00E9", "\xE9"},
        {"WriteUTF8=true", u"\u00E9\u20AC", "\xE9\x80"},
        {"WriteUTF8=0", u"\u4E2Dx", "?x"},
        {"WriteUTF8=1", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"WriteUTF8=1\nSubstituteChars=1", u"line1\\nline2", "line1\r\nline2"},
        {"WriteUTF8=1\nSubstituteChars=0", u"line1\\nline2", "line1\\nline2"},
        {"SubstituteChars=1", u"a\\Nb\\n", "a\\Nb\r\n"},
        {"WriteUTF8=1\nKeepTime=1", u"kept", "kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " " + U8(c.value));
        Writer w(c.options);
        EXPECT_EQ(w.Set(w.file, 0, c.value), 0);
        EXPECT_EQ(w.Stream(w.file), c.bytes);
        EXPECT_EQ(ReadFile(w.file), "file contents");
    }
}

TEST(Write, ReplacesAndRemoves) {
    Writer w("WriteUTF8=1");
    PutStream(w.file, "Comment", "abcdef");
    EXPECT_EQ(w.Set(w.file, 0, u"abc"), 0);
    EXPECT_EQ(w.Stream(w.file), "abc");
    EXPECT_EQ(w.Set(w.file, 0, u""), 0);
    EXPECT_EQ(w.Stream(w.file), "<absent>");
    EXPECT_EQ(w.Set(w.file, 0, u""), -2);  // clearing an empty field is a file error
    std::u16string name = w.file.u16string();
    PutStream(w.file, "Comment", "x");
    EXPECT_EQ(w.plugin.api().ContentSetValueW(name.data(), 0, 0, 11, nullptr, 0), 0);  // null: clear
    EXPECT_EQ(w.Stream(w.file), "<absent>");
}

TEST(Write, ADottedStreamNameAndOtherStreamsUntouched) {
    Writer w("SubstituteChars=1\nWriteUTF8=1");
    PutStream(w.file, "Comment", "keep me");
    EXPECT_EQ(w.Set(w.file, 1, u"[ZoneTransfer]\\nZoneId=3"), 0);
    EXPECT_EQ(w.Stream(w.file, "Zone.Identifier"), "[ZoneTransfer]\r\nZoneId=3");
    EXPECT_EQ(w.Stream(w.file), "keep me");
}

TEST(Write, RoundTripsThroughARead) {
    for (const char* options : {"WriteUTF8=1\nReadUTF8=1", "WriteUTF8=0\nReadUTF8=0", "WriteUTF8=0\nReadUTF8=1"}) {
        SCOPED_TRACE(options);
        Writer w(options);
        const std::u16string value = u"Caf\u00E9 \u20AC 100 \u00BD";
        ASSERT_EQ(w.Set(w.file, 0, value), 0);
        const Value back = GetValue(w.plugin.api(), w.file, 0);
        EXPECT_EQ(back.code, 11);
        EXPECT_EQ(U8(back.text), U8(value));
    }
}

TEST(Write, Directories) {
    Writer w("WriteUTF8=1\nKeepTime=1");
    const fs::path folder = w.data.path() / "folder";
    fs::create_directory(folder);
    const Time original{1000000001, 123456700};
    SetWriteTime(folder, original);
    EXPECT_EQ(w.Set(folder, 0, u"a folder"), 0);
    EXPECT_EQ(w.Stream(folder), "a folder");
    EXPECT_EQ(U8(GetValue(w.plugin.api(), folder, 0).text), "a folder");
    EXPECT_EQ(GetWriteTime(folder), original);
    EXPECT_EQ(w.Set(folder, 0, u""), 0);
    EXPECT_EQ(w.Stream(folder), "<absent>");
    EXPECT_EQ(GetWriteTime(folder), original);
}

TEST(Write, KeepTimeKeepsTheTimeExactly) {
    // Times a round trip through the DOS date format would change or could not hold.
    const Time times[] = {{1000000001, 123456700}, {165000001, 0}, {4400000001, 999999900}};
    Writer w("KeepTime=1\nWriteUTF8=1");
    for (const Time& original : times) {
        SCOPED_TRACE(original.seconds);
        SetWriteTime(w.file, original);
        EXPECT_EQ(w.Set(w.file, 0, u"changed"), 0);
        EXPECT_EQ(GetWriteTime(w.file), original);
        EXPECT_EQ(w.Set(w.file, 0, u""), 0);
        EXPECT_EQ(GetWriteTime(w.file), original);
    }
}

TEST(Write, FailuresAreReported) {
    Writer w("WriteUTF8=1\nKeepTime=1");
    for (int index : {-1, 2, 100, INT_MAX, INT_MIN}) EXPECT_EQ(w.Set(w.file, index, u"x"), -1) << index;
    std::u16string value = u"x";
    EXPECT_EQ(w.plugin.api().ContentSetValueW(nullptr, 0, 0, 11, value.data(), 0), -2);
    EXPECT_EQ(w.plugin.api().ContentSetValueW(nullptr, 0, 0, 11, nullptr, 0), -2);
    EXPECT_EQ(w.Set(w.data.path() / "no-such-folder" / "f.txt", 0, u"x"), -2);
}

// Names that could reach more than a named stream of the file (its own contents, another file, a
// folder) are refused: listed under their configured names, read as empty, written and cleared
// as file errors, and nothing on disk changes. The fields after them keep their indexes.
TEST(Write, NamesBeyondANamedStreamAreRefused) {
    // A NUL would cut the name short at the OS call; the host lists the name up to it.
    const std::vector<std::string> refused = {":$DATA", "::$DATA", "a:b", "a\\b", "a/b", "..\\file.txt",
                                              std::string("Com\0ment", 8)};
    std::string streams;
    for (std::size_t k = 0; k < refused.size(); ++k) streams += std::to_string(k) + "=" + refused[k] + "\n";
    const int comment = static_cast<int>(refused.size());
    testing::internal::CaptureStderr();
    Writer w("WriteUTF8=1\nKeepTime=1\nSubstituteChars=1", streams + std::to_string(comment) + "=Comment\n");
    const std::string told = testing::internal::GetCapturedStderr();  // Linux: a line each; Windows: no box
#if defined(_WIN32)
    EXPECT_EQ(told, "");
#endif
    std::vector<std::string> names;
    for (const std::string& name : refused) names.push_back(name.substr(0, name.find('\0')));
    names.push_back("Comment");
    EXPECT_EQ(FieldNames(w.plugin.api()), names);
    const Time original{1000000001, 123456700};
    for (int index = 0; index < comment; ++index) {
        SCOPED_TRACE(refused[static_cast<std::size_t>(index)]);
#if !defined(_WIN32)
        std::string shown;  // a NUL told as \0, and the file named by its full path
        for (const char c : refused[static_cast<std::size_t>(index)]) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        EXPECT_NE(told.find("Velkaron: " + std::to_string(index) + "=" + shown + " in section [Streams] of " +
                            ConfigurationOf(w.lib.library).string() + " is refused"),
                  std::string::npos) << told;
#endif
        EXPECT_EQ(w.plugin.api().ContentGetSupportedFieldFlags(index), 0);  // not editable
        SetWriteTime(w.file, original);
        EXPECT_EQ(w.Set(w.file, index, u"new contents"), -2);
        EXPECT_EQ(w.Set(w.file, index, u""), -2);
        EXPECT_EQ(GetValue(w.plugin.api(), w.file, index).code, -3);
        EXPECT_EQ(ReadFile(w.file), "file contents");
        EXPECT_EQ(GetWriteTime(w.file), original);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(w.data.path()), fs::directory_iterator()), 1);  // no new file
    EXPECT_EQ(w.plugin.api().ContentGetSupportedFieldFlags(comment), 1);
    EXPECT_EQ(w.Set(w.file, comment, u"still works"), 0);
    EXPECT_EQ(w.Stream(w.file), "still works");
}

// ListStreams=1 adds the field Streams after the configured ones: read-only, so a write or a
// clear is a file error that touches nothing. (Wine lists no stream: there it is empty.)
TEST(Write, TheFieldStreamsIsReadOnlyAndThereOnlyWhenAsked) {
    EXPECT_EQ(FieldNames(Writer("ListStreams=0").plugin.api()), (std::vector<std::string>{"Comment", "Zone>>>dot<<<Identifier"}));
    Writer w("ListStreams=1");
    EXPECT_EQ(FieldNames(w.plugin.api()), (std::vector<std::string>{"Comment", "Zone>>>dot<<<Identifier", "Streams"}));
    EXPECT_EQ(w.plugin.api().ContentGetSupportedFieldFlags(2), 0);
    EXPECT_EQ(w.plugin.api().ContentGetSupportedFieldFlags(1), 1);
    PutStream(w.file, "Comment", "hello");
    for (const std::u16string& value : {std::u16string(u"x"), std::u16string()}) EXPECT_EQ(w.Set(w.file, 2, value), -2);
    EXPECT_EQ(w.Stream(w.file), "hello");
    EXPECT_EQ(ReadFile(w.file), "file contents");
    const Value listed = GetValue(w.plugin.api(), w.file, 2);
    EXPECT_TRUE(listed.code == 11 ? listed.text == u"Comment (5)" : listed.code == -3) << U8(listed.text);
}

// Origin=1 adds Zone, HostUrl and ReferrerUrl after the configured fields and Streams: each shows
// its part of the mark in Zone.Identifier, cut to the host's buffer like any value; they are
// read-only, and a change is a file error that touches nothing. On Linux in either store, the
// Samba store's mark with its zero byte.
TEST(Write, TheOriginFieldsShowTheMarkAndChangeNothing) {
    const std::string mark =
        "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/downloads/\r\nHostUrl=https://example.org/f.zip\r\n";
#if defined(_WIN32)
    const std::pair<const char*, std::string> stores[] = {{"", "Zone.Identifier"}};
#else
    const std::pair<const char*, std::string> stores[] = {{"ntfs-3g", "Zone.Identifier"},
                                                          {"samba", "DosStream.Zone.Identifier:$DATA"}};
#endif
    for (const auto& [store, attribute] : stores) {
        SCOPED_TRACE(store);
        Writer w(std::string("SubstituteChars=1\nListStreams=1\nOrigin=1\n[Linux]\nStreamStore=") + store);
        EXPECT_EQ(FieldNames(w.plugin.api()), (std::vector<std::string>{"Comment", "Zone>>>dot<<<Identifier", "Streams",
                                                                        "Zone", "HostUrl", "ReferrerUrl"}));
        for (int field = 3; field <= 5; ++field) {
            EXPECT_EQ(w.plugin.api().ContentGetSupportedFieldFlags(field), 0);
            EXPECT_EQ(GetValue(w.plugin.api(), w.file, field).code, -3);  // no mark: empty
        }
        const std::string stored = std::string(store) == "samba" ? mark + '\0' : mark;
        PutStream(w.file, attribute, stored);
        const std::u16string values[] = {u"Internet", u"https://example.org/f.zip", u"https://example.org/downloads/"};
        for (int field = 3; field <= 5; ++field) {
            const Value value = GetValue(w.plugin.api(), w.file, field);
            EXPECT_EQ(value.code, 11);
            EXPECT_EQ(U8(value.text), U8(values[field - 3]));
            EXPECT_EQ(U8(GetValue(w.plugin.api(), w.file, field, 10).text), U8(values[field - 3].substr(0, 3)));
            for (const std::u16string& change : {std::u16string(u"Local machine"), std::u16string()}) {
                EXPECT_EQ(w.Set(w.file, field, change), -2);
            }
        }
        EXPECT_EQ(w.Stream(w.file, attribute), stored);
        EXPECT_EQ(ReadFile(w.file), "file contents");
        EXPECT_EQ(w.Set(w.file, 1, u""), 0);  // the mark is removed by clearing Zone.Identifier
        EXPECT_EQ(GetValue(w.plugin.api(), w.file, 3).code, -3);
    }
}

#if defined(_WIN32)
TEST(Write, AStreamOpenElsewhereIsAFileErrorAndKeepsItsContents) {
    Writer w("WriteUTF8=1");
    PutStream(w.file, "Comment", "old");
    const std::wstring path = w.file.wstring() + L":Comment";
    const HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(w.Set(w.file, 0, u"new"), -2);
    EXPECT_EQ(w.Set(w.file, 0, u""), -2);
    CloseHandle(holder);
    EXPECT_EQ(w.Stream(w.file), "old");
}
#else
TEST(Write, AValueTooLargeForTheFileSystemLosesNothing) {
    Writer w("WriteUTF8=1");
    PutStream(w.file, "Comment", "old");
    EXPECT_EQ(w.Set(w.file, 0, std::u16string(100000, u'x')), -2);
    EXPECT_EQ(w.Stream(w.file), "old");
}

TEST(Write, FileNamesWithColons) {
    Writer w("WriteUTF8=1");
    const fs::path odd = w.data.path() / "a:b";
    WriteFile(odd, "");
    EXPECT_EQ(w.Set(odd, 0, u"colons"), 0);
    EXPECT_EQ(w.Stream(odd), "colons");
}
#endif

// Where the Linux build finds the streams: section [Linux], key StreamStore. In Samba's store the
// stream S of a file is the attribute "user.DosStream.S:$DATA", its bytes followed by one zero
// byte, found by its name in any case. The Windows builds read no such section.
std::string StoreOptions(const std::string& store) {
    return "WriteUTF8=1\nReadUTF8=1\n[Linux]\nStreamStore=" + store;
}
const char kStoreStreams[] = "0=Comment\n1=Zone.Identifier:$DATA\n";

#if defined(_WIN32)
TEST(StreamStore, TheWindowsBuildsReadNoLinuxSection) {
    for (const char* store : {"samba", "unknown"}) {
        testing::internal::CaptureStderr();
        Writer w(StoreOptions(store), kStoreStreams);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        PutStream(w.file, "Comment", "a value");
        EXPECT_EQ(U8(GetValue(w.plugin.api(), w.file, 0).text), "a value");
        EXPECT_EQ(w.Set(w.file, 0, u"new"), 0);
        EXPECT_EQ(w.Stream(w.file), "new");
    }
}
#else
const std::string kSambaComment = "DosStream.Comment:$DATA";

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
        {"one zero byte", 0, kSambaComment, Z("a\r\nb"), 11, u"a\r\nb"},
        {"no zero byte", 0, kSambaComment, "no zero", 11, u"no zero"},
        {"an empty stream", 0, kSambaComment, Z(""), -3, u""},
        {"another case", 0, "DosStream.COMMENT:$DATA", Z("other case"), 11, u"other case"},
        {"ntfs-3g's attribute is not the stream", 0, "Comment", Z("ntfs-3g"), -3, u""},
        {"the prefix in another case is not the stream", 0, "dosstream.Comment:$DATA", Z("x"), -3, u""},
        {"the type in another case is not the stream", 0, "DosStream.Comment:$data", Z("x"), -3, u""},
        {"a configured type", 1, "DosStream.Zone.Identifier:$DATA", Z("[ZoneTransfer]"), 11,
         u"[ZoneTransfer]"},
    };
    Writer w(StoreOptions("samba"), kStoreStreams);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(w.file, "new file");
        for (const Case& other : cases) RemoveStream(w.file, other.attribute);
        PutStream(w.file, c.attribute, c.bytes);
        const Value value = GetValue(w.plugin.api(), w.file, c.field);
        EXPECT_EQ(value.code, c.code);
        EXPECT_EQ(value.text, c.text) << U8(value.text);
    }
}

// A stream a client wrote under another case is the one changed and cleared: no second one.
// Attributes whose layout differs in case are not streams for Samba, and stay as they are.
TEST(StreamStore, SambasValuesAreWrittenWithOneZeroByte) {
    Writer w(StoreOptions("samba"), kStoreStreams);
    const std::string other = "DosStream.comment:$DATA";
    PutStream(w.file, other, Z("old"));
    for (const char* odd : {"dosstream.Comment:$DATA", "DosStream.Comment:$data"}) PutStream(w.file, odd, "odd");
    EXPECT_EQ(w.Set(w.file, 0, u"new"), 0);
    EXPECT_EQ(w.Stream(w.file, other), Z("new"));
    EXPECT_EQ(w.Stream(w.file, kSambaComment), "<absent>");
    EXPECT_EQ(w.Set(w.file, 0, u""), 0);
    EXPECT_EQ(w.Stream(w.file, other), "<absent>");
    EXPECT_EQ(w.Set(w.file, 0, u""), -2);  // nothing left to clear
    for (const char* odd : {"dosstream.Comment:$DATA", "DosStream.Comment:$data"}) EXPECT_EQ(w.Stream(w.file, odd), "odd");
}

// Also where the field Zone.Identifier:$DATA goes: the stream Zone.Identifier in either store.
// The field Streams in either store, for a file and a folder: the store's streams with the sizes
// their fields read, in ordinal order; no other attribute and no other namespace. Names that
// would read as other streams or lines are quoted. Rows of 64 KiB values, the most the kernel
// takes, need a file system that holds them: the scratch folder's, else tmpfs (ext4 with 4 KB
// blocks holds about 4,000 bytes).
TEST(StreamStore, TheFieldStreamsListsTheStoresStreams) {
    using Attributes = std::vector<std::pair<std::string, std::string>>;  // names without "user."
    const std::string largest(65536, 'v');
    struct Case {
        const char* store;
        Attributes attributes;
        std::u16string list;  // "": the field is empty
        bool large = false;
    } cases[] = {
        {"ntfs-3g", {{"Zone.Identifier", std::string(26, 'z')}, {"Comment", "hello"}},
         u"Comment (5), Zone.Identifier (26)"},
        {"ntfs-3g", {{"\xC3\xA9t\xC3\xA9", "x"}, {"empty", ""}, {"Z", "yy"}}, u"Z (2), empty (0), \u00E9t\u00E9 (1)"},
        {"ntfs-3g", {}, u""},
        {"ntfs-3g", {{"a (1), b", "xy"}, {"say \"hi\"", "abcd"}, {"my notes", "abc"}, {" lead", "x"}},
         u" lead (1), \"a (1), b\" (2), my notes (3), \"say \"\"hi\"\"\" (4)"},
        {"ntfs-3g",
         {{"two\nlines", "12345"}, {"tab\there", "123456"}, {"back\\slash,", "1234567"}, {"back\\slash", "12"},
          {"(x)", ""}},
         u"\"(x)\" (0), back\\slash (2), \"back\\\\slash,\" (7), \"tab\\x09here\" (6), \"two\\x0Alines\" (5)"},
        {"ntfs-3g", {{"big", largest}, {"less", largest.substr(1)}}, u"big (65536), less (65535)", true},
        {"samba", {{"DosStream.Zone.Identifier:$DATA", Z("zone")}, {"DosStream.Comment:$DATA", Z("hello")},
                   {"DosStream.empty:$DATA", Z("")}, {"Comment", "not a stream"}, {"DOSATTRIB", "x"},
                   {"dosstream.odd:$DATA", Z("x")}, {"DosStream.odd:$data", Z("x")}},
         u"Comment (5), Zone.Identifier (4), empty (0)"},
        {"samba", {{"Comment", "not a stream"}}, u""},
        {"samba",
         {{"DosStream.Comment:$DATA", "abc"}, {"DosStream.two zeros:$DATA", Z("ab") + '\0'},
          {"DosStream.a,b:$DATA", Z("x")}},
         u"Comment (3), \"a,b\" (1), two zeros (3)"},
        {"samba", {{"DosStream.big:$DATA", largest.substr(1) + '\0'}, {"DosStream.raw:$DATA", largest}},
         u"big (65535), raw (65536)", true},
    };
    auto large = std::make_unique<TempDir>();
    const auto holdsLargest = [&] {
        return setxattr(large->path().c_str(), "user.velkaron", largest.data(), largest.size(), 0) == 0;
    };
    if (!holdsLargest()) large = std::make_unique<TempDir>("/dev/shm");
    const bool largeRows = holdsLargest();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.store + (" " + U8(c.list)));
        if (c.large && !largeRows) continue;
        Writer w("ListStreams=1\n" + StoreOptions(c.store), kStoreStreams);
        const fs::path root = c.large ? large->path() : w.data.path();
        const fs::path file = root / "file.txt", folder = root / "folder";
        fs::remove(file);
        fs::remove_all(folder);
        WriteFile(file, "file contents");
        fs::create_directory(folder);
        for (const fs::path& target : {file, folder}) {
            for (const auto& [name, bytes] : c.attributes) PutStream(target, name, bytes);
            setxattr(target.c_str(), "trusted.velkaron", "t", 1, 0);  // root's namespace: never listed
            const Value listed = GetValue(w.plugin.api(), target, 2);
            EXPECT_EQ(listed.code, c.list.empty() ? -3 : 11);
            EXPECT_EQ(listed.text, c.list) << U8(listed.text);
        }
    }
    if (!largeRows) GTEST_SKIP() << "the 64 KiB rows did not run: neither the scratch folder nor /dev/shm holds them";
}

TEST(StreamStore, AnUnknownStoreIsToldOnceAndTheDefaultUsed) {
    const std::string zone = "Zone.Identifier", sambaZone = "DosStream.Zone.Identifier:$DATA";
    struct Case {
        const char* value;
        bool told;
        std::string attribute, zone, bytes;  // where a write of "abc" goes
    } cases[] = {{"ntfs-3g", false, "Comment", zone, "abc"}, {"NTFS-3G", false, "Comment", zone, "abc"},
                 {"", false, "Comment", zone, "abc"},        {"Samba", false, kSambaComment, sambaZone, Z("abc")},
                 {"samba", false, kSambaComment, sambaZone, Z("abc")},
                 {"smb", true, "Comment", zone, "abc"},      {"ntfs3g", true, "Comment", zone, "abc"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        testing::internal::CaptureStderr();
        Writer w(StoreOptions(c.value), kStoreStreams);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  c.told ? "Velkaron: StreamStore=" + std::string(c.value) + " in section [Linux] of " +
                               ConfigurationOf(w.lib.library).string() + " is not ntfs-3g or samba: using ntfs-3g\n"
                         : "");
        EXPECT_EQ(w.Set(w.file, 0, u"abc"), 0);
        EXPECT_EQ(w.Stream(w.file, c.attribute), c.bytes);
        EXPECT_EQ(w.Set(w.file, 1, u"abc"), 0);
        EXPECT_EQ(w.Stream(w.file, c.zone), c.bytes);
    }
}
#endif

}  // namespace
