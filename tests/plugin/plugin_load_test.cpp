// The real library, copied into a scratch folder with the configuration each case needs and
// loaded the way the host loads it.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

const char kNoFieldsMessage[] = "Velkaron: Plugins doesn't have filled Velkaron.ini file";

// The folder's entries by name, "" for a folder that does not exist.
std::string Listing(const fs::path& folder) {
    std::string names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names += fs::relative(it->path(), folder).generic_u8string() + " ";
    }
    return names;
}

// What lies at a configuration's place: a file's contents, or one of the things below that are no
// configuration. Occupy puts it there.
const std::string kFolder = "(folder)", kDangling = "(dangling link)", kFifo = "(FIFO)", kDevice = "(/dev/zero)";
std::string Held(const fs::path& file) {
    std::error_code error;
    const fs::file_status link = fs::symlink_status(file, error), target = fs::status(file, error);
    if (!fs::exists(link)) return "(none)";
    if (fs::is_directory(target)) return kFolder;
    if (fs::is_symlink(link) && !fs::exists(target)) return kDangling;
    if (fs::is_fifo(target)) return kFifo;
    if (fs::is_character_file(target)) return kDevice;
    return ReadFile(file);
}
void Occupy(const fs::path& place, const std::string& what) {
    fs::create_directories(place.parent_path());
    if (what == kFolder) {
        fs::create_directory(place);
    } else if (what == kDangling) {
        fs::create_symlink(place.parent_path() / "gone", place);
    } else if (what == kDevice) {
        fs::create_symlink("/dev/zero", place);
    } else if (what == kFifo) {
#if !defined(_WIN32)
        ASSERT_EQ(mkfifo(place.c_str(), 0644), 0);
#endif
    } else {
        WriteFile(place, what);
    }
}
// Links, FIFOs and devices are Linux's; a folder is on every build.
bool OnThisBuild(const std::string& what) {
#if defined(_WIN32)
    return what != kDangling && what != kFifo && what != kDevice;
#else
    return !what.empty();
#endif
}

// Where a load takes its configuration from: beside the library, as long as that folder holds it
// or takes the sample's copy; otherwise the user's own folder, where the sample (read-only here)
// is copied once, for the user to edit; otherwise the sample where it lies. "ro": on a read-only
// mount. Only a regular file of at most 1 MiB is a configuration: a folder, a FIFO (never waited
// on), a device or a dangling link is none, and where one takes the name in a folder that takes
// files the sample is read in place. A sample that cannot be read is none either.
TEST(Configuration, ComesFromBesideTheLibraryElseFromTheUsersOwnFolder) {
    const std::string sample = ReadFile(SampleConfiguration());
    const std::vector<std::string> sampleFields{"Comment", "Zone>>>dot<<<Identifier"};
    const std::string mine = "[Streams]\r\n0=Mine\r\n", theirs = "[Streams]\r\n0=Theirs\r\n";
    const std::string noField = "[Streams]\r\n", none = "(none)";
    const std::string big = "[Streams]\r\n0=Big\r\n" + std::string(1 << 20, ' ');  // past 1 MiB
    const bool rw = false, ro = true;
    struct Case {
        const char* name;
        bool libraryReadOnly;
        std::string beside;  // Velkaron.ini beside the library before the load, or none
        bool sample;         // Velkaron.sample.ini beside it
        bool userReadOnly;
        std::string own;     // the user's own Velkaron.ini before the load, or none
        std::vector<std::string> fields;
        std::string besideAfter, ownAfter;
    } cases[] = {
        {"sample copied beside", rw, none, true, rw, none, sampleFields, sample, none},
        {"a user's file changes nothing", rw, none, true, rw, mine, sampleFields, sample, mine},
        {"never overwritten", rw, theirs, true, rw, mine, {"Theirs"}, theirs, mine},
        {"nothing at all", rw, none, false, rw, none, {}, none, none},
        {"no sample: the user's file", rw, none, false, rw, mine, {"Mine"}, none, mine},
        {"ro: sample copied to the user's folder", ro, none, true, rw, none, sampleFields, none, sample},
        {"ro: the user's file", ro, none, true, rw, mine, {"Mine"}, none, mine},
        {"ro: the file beside still first", ro, theirs, true, rw, mine, {"Theirs"}, theirs, mine},
        {"ro: the user's file offers no field", ro, none, true, rw, noField, {}, none, noField},
        {"ro: nothing at all", ro, none, false, rw, none, {}, none, none},
        {"ro, user's folder ro: the sample in place", ro, none, true, ro, none, sampleFields, none, none},
        {"ro, user's folder ro: the user's file", ro, none, true, ro, mine, {"Mine"}, none, mine},
        {"a folder beside: the sample in place", rw, kFolder, true, rw, mine, sampleFields, kFolder, mine},
        {"a dangling link beside: the sample in place", rw, kDangling, true, rw, mine, sampleFields, kDangling, mine},
        {"a FIFO beside: the sample in place", rw, kFifo, true, rw, mine, sampleFields, kFifo, mine},
        {"a file past 1 MiB beside reads as empty", rw, big, true, rw, mine, {}, big, mine},
        {"ro: the user's file a FIFO", ro, none, true, rw, kFifo, sampleFields, none, kFifo},
        {"ro: the user's file /dev/zero", ro, none, true, rw, kDevice, sampleFields, none, kDevice},
        {"ro: the user's file a folder", ro, none, true, rw, kFolder, sampleFields, none, kFolder},
    };
    std::string whyNot;
    const bool readOnly = Scratch::ReadOnlyAvailable(whyNot);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (((c.libraryReadOnly || c.userReadOnly) && !readOnly) || !OnThisBuild(c.beside) || !OnThisBuild(c.own)) {
            continue;
        }
        Scratch folder(c.libraryReadOnly), user(c.userReadOnly);
        const fs::path library = InstallLibrary(folder.path()), sampleFile = folder.path() / "Velkaron.sample.ini";
        if (c.beside != none) Occupy(ConfigurationOf(library), c.beside);
        if (c.sample) {
            fs::copy_file(SampleConfiguration(), sampleFile);
            fs::permissions(sampleFile, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
        const fs::path own = UserConfigurationIn(user.path());
        if (c.own != none) Occupy(own, c.own);
        const std::string userBefore = Listing(user.path());
        SetUserFolder(user.seen());

        testing::internal::CaptureStderr();
        host::LoadedPlugin plugin = LoadOrFail(folder.seen() / library.filename());
        const std::string stderrText = testing::internal::GetCapturedStderr();
        EXPECT_EQ(FieldNames(plugin.api()), c.fields);
#if !defined(_WIN32)
        // The error box's line, when the configuration chosen offers no field; nothing else.
        EXPECT_EQ(stderrText, c.fields.empty() ? std::string(kNoFieldsMessage) + "\n" : "");
#endif
        EXPECT_EQ(Held(ConfigurationOf(library)), c.besideAfter);
        EXPECT_EQ(Held(own), c.ownAfter);
        // No copy's temporary file is left behind.
        EXPECT_EQ(Listing(folder.path()).find(".tmp"), std::string::npos) << Listing(folder.path());
        if (c.ownAfter == c.own) {
            // Nothing else is made in the user's folder, not even a folder.
            EXPECT_EQ(Listing(user.path()), userBefore);
        } else {
            // The user's copy is theirs to edit, and the next load reads the edit.
            EXPECT_NE(fs::status(own).permissions() & fs::perms::owner_write, fs::perms::none);
            WriteFile(own, "[Streams]\n0=Edited\n");
            plugin.Unload();
            plugin = LoadOrFail(folder.seen() / library.filename());
            EXPECT_EQ(FieldNames(plugin.api()), std::vector<std::string>{"Edited"});
        }
        if (c.sample) fs::permissions(sampleFile, fs::perms::owner_all);  // so that the folder can go
    }
    if (!readOnly) GTEST_SKIP() << "the read-only cases did not run: " << whyNot;
}

// Where the environment puts the user's own folder; without one, the sample is read in place.
TEST(Configuration, TheUsersOwnFolderIsWhereTheEnvironmentSays) {
    std::string whyNot;
    if (!Scratch::ReadOnlyAvailable(whyNot)) GTEST_SKIP() << whyNot;
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
#if defined(_WIN32)
    const char* const fallback = "";  // only APPDATA names the user's folder
#else
    const char* const fallback = "~/home/.config";
#endif
    // Folders are made only below the folder the environment names, and only when it exists: a
    // process run for another user must not make that user's home.
    const bool there = true, gone = false;
    struct Case {
        const char* name;
        const char *value, *home;  // of the user's folder's variable, and HOME; nullptr: unset
        bool exist;                // whether the folders they name exist
        const char* copiedTo;      // the user's folder the sample's copy is made in, or ""
    } cases[] = {
        {"absolute", "~/user", "~/home", there, "~/user"},
        {"long, any script", "~/@", "~/home", there, "~/@"},
        {"unset", nullptr, "~/home", there, fallback},
        {"empty", "", "~/home", there, fallback},
        {"not absolute", "user", "~/home", there, fallback},
        {"no HOME either", nullptr, nullptr, there, ""},
        {"a folder that does not exist", "~/user", "~/home", gone, ""},
        {"a HOME that does not exist", nullptr, "~/home", gone, ""},
#if !defined(_WIN32)
        {"not UTF-8", "~/caf\xE9", "~/home", there, "~/caf\xE9"},  // the same folder, no stray one beside it
        {"HOME not UTF-8", nullptr, "~/caf\xE9", there, "~/caf\xE9/.config"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir scratch;
        // "~" stands for the scratch folder, "@" for a path of over 300 characters, not all Latin.
        auto expand = [&](std::string text) {
            if (text.rfind("~", 0) == 0) text = scratch.path().u8string() + text.substr(1);
            if (const std::size_t at = text.find('@'); at != std::string::npos) {
                std::string deep = "\xC3\x9C" "ber \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\x81";  // Über 日本 📁
                while (deep.size() < 300) deep += "/a-long-folder-name";
                text.replace(at, 1, deep);
            }
            return fs::u8path(text).make_preferred();
        };
        Scratch folder(true);
        const fs::path library = InstallLibrary(folder.path());
        fs::copy_file(SampleConfiguration(), folder.path() / "Velkaron.sample.ini");
        for (const char* named : {c.value, c.home}) {
            if (c.exist && named != nullptr && *named == '~') fs::create_directories(expand(named));
        }
        const std::string before = Listing(scratch.path());
        SetEnv(kUserFolderVariable, c.value != nullptr ? expand(c.value).u8string().c_str() : nullptr);
        SetEnv("HOME", c.home != nullptr ? expand(c.home).u8string().c_str() : nullptr);
        host::LoadedPlugin plugin = LoadOrFail(folder.seen() / library.filename());
        EXPECT_EQ(FieldNames(plugin.api()), (std::vector<std::string>{"Comment", "Zone>>>dot<<<Identifier"}));
        if (*c.copiedTo == '\0') {
            EXPECT_EQ(Listing(scratch.path()), before);
        } else {
            fs::path copy = UserConfigurationIn(expand(c.copiedTo));
#if defined(_WIN32)
            copy = fs::path(L"\\\\?\\" + copy.wstring());  // the form Windows needs past 260 characters
#endif
            EXPECT_EQ(Held(copy), ReadFile(SampleConfiguration()));
            EXPECT_EQ(Listing(scratch.path()).find("\xEF\xBF\xBD"), std::string::npos);  // no U+FFFD twin
        }
    }
    SetEnv("HOME", home != nullptr ? savedHome.c_str() : nullptr);
}

TEST(Configuration, FieldsAreDenseInKeyOrderWhateverTheGaps) {
    struct Case {
        const char* name;
        std::string ini;
        std::vector<std::string> fields;
    } cases[] = {
        {"gaps", "[Streams]\n5=Five\n0=Zero\n99=Last\n", {"Zero", "Five", "Last"}},
        {"out of range and odd keys ignored",
         "[Streams]\n100=Hundred\n-1=Minus\n007=Padded\nx=Letter\n3=Three\n", {"Three"}},
        {"empty values skipped", "[Streams]\n0=\n1=One\n2=\"\"\n", {"One"}},
        {"duplicates kept", "[Streams]\n0=Comment\n1=Comment\n", {"Comment", "Comment"}},
        {"no dot substitution in names",
         "[Options]\nSubstituteChars=1\n[Streams]\n0=a>>>dot<<<b\n", {"a>>>dot<<<b"}},
        {"other sections ignored", "[Other]\n0=No\n[streams]\n1=Yes\n", {"Yes"}},
        {"Windows-1252", "[Streams]\n0=Notiz-\xFC\n", {"Notiz-\xC3\xBC"}},
        // As editors save them today: read as UTF-8 by every build, the system's reader or not.
        {"UTF-8 without a mark", "[Streams]\r\n0=Notiz-\xC3\xBC\r\n", {"Notiz-\xC3\xBC"}},
        {"UTF-8 with a mark", "\xEF\xBB\xBF[Streams]\r\n0=Notiz-\xC3\xBC\r\n", {"Notiz-\xC3\xBC"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installed lib(c.ini);
        host::LoadedPlugin plugin = LoadOrFail(lib.library);
        EXPECT_EQ(FieldNames(plugin.api()), c.fields);
    }
}

TEST(Configuration, HundredKeysGiveHundredFields) {
    std::string ini = "[Streams]\n";
    for (int k = 0; k <= 100; ++k) ini += std::to_string(k) + "=S" + std::to_string(k) + "\n";
    Installed lib(ini);
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    const std::vector<std::string> names = FieldNames(plugin.api());
    ASSERT_EQ(names.size(), 100u);
    EXPECT_EQ(names.front(), "S0");
    EXPECT_EQ(names.back(), "S99");
}

TEST(Configuration, IsReadOncePerLoad) {
    Installed lib("[Streams]\n0=Before\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    WriteFile(ConfigurationOf(lib.library), "[Streams]\n0=After\n");
    EXPECT_EQ(FieldNames(plugin.api()), std::vector<std::string>{"Before"});
    plugin.Unload();
    plugin = LoadOrFail(lib.library);
    EXPECT_EQ(FieldNames(plugin.api()), std::vector<std::string>{"After"});
}

// Found beside a library wherever it lies: past 260 characters, or (Linux) in a folder whose name
// is not UTF-8, as on old archives and USB sticks; the sample's copy is made there too.
TEST(Configuration, FoundBesideALibraryWhereverItLies) {
    TempDir dir;
    fs::path deep = dir.path();
    for (int i = 0; deep.native().size() < 400; ++i) deep /= "a-rather-long-folder-name-" + std::to_string(i);
#if defined(_WIN32)
    deep = fs::path(L"\\\\?\\" + deep.wstring());  // the form Windows needs past 260 characters
    const fs::path places[] = {deep};
#else
    const fs::path places[] = {deep, dir.path() / "caf\xE9 \xFF"};
#endif
    for (const fs::path& place : places) {
        SCOPED_TRACE(place.native().size());
        for (const bool sampleOnly : {false, true}) {
            const fs::path folder = place / (sampleOnly ? "sample" : "ini");
            fs::create_directories(folder);
            const fs::path library = InstallLibrary(folder);
            if (sampleOnly) {
                fs::copy_file(SampleConfiguration(), folder / "Velkaron.sample.ini");
            } else {
                WriteFile(ConfigurationOf(library), "[Streams]\n0=Deep\n");
            }
            host::LoadedPlugin plugin = LoadOrFail(library);
            const std::vector<std::string> fields =
                sampleOnly ? std::vector<std::string>{"Comment", "Zone>>>dot<<<Identifier"} : std::vector<std::string>{"Deep"};
            EXPECT_EQ(FieldNames(plugin.api()), fields);
            EXPECT_EQ(Held(ConfigurationOf(library)), sampleOnly ? ReadFile(SampleConfiguration()) : "[Streams]\n0=Deep\n");
        }
    }
}

TEST(Configuration, OddFilesLoadQuicklyWithWhateverFieldsTheyHold) {
    std::string junk;
    for (int i = 0; i < 1 << 20; ++i) junk += static_cast<char>((i * 2654435761u) >> 24);
    std::string huge = "[Streams]\n0=First\n";
    while (huge.size() < (1u << 20) - 100) huge += "; padding line of a very large configuration file\n";
    huge += "1=Last\n";
    std::string manyKeys = "[Streams]\n";
    for (int k = 0; k < 10000; ++k) manyKeys += "k" + std::to_string(k) + "=v\n";
    manyKeys += "7=Seven\n";
    std::string utf16NoMark;
    for (char c : std::string("[Streams]\r\n0=Wide\r\n")) utf16NoMark += std::string{c, '\0'};
    struct Case {
        const char* name;
        std::string ini;
        std::vector<std::string> fields;
    } cases[] = {
        {"binary junk", junk, {}},
        {"just under 1 MiB, the most read", huge, {"First", "Last"}},
        {"10,000 keys", manyKeys, {"Seven"}},
        {"UTF-16 without a byte-order mark", utf16NoMark, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installed lib(c.ini);
        const auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();  // the Linux build reports an empty list there
        host::LoadedPlugin plugin = LoadOrFail(lib.library);
        testing::internal::GetCapturedStderr();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        if (c.fields.empty()) {
            EXPECT_LE(FieldNames(plugin.api()).size(), 100u);
        } else {
            EXPECT_EQ(FieldNames(plugin.api()), c.fields);
        }
    }
}

TEST(FieldList, NamesAreCutToTheBufferAndNeverWrittenPastIt) {
    Installed lib("[Streams]\n0=ABCDEFGHIJ\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    const auto getField = plugin.api().ContentGetSupportedField;
    struct Case {
        int size;
        const char* name;  // nullptr: nothing written
    } cases[] = {{64, "ABCDEFGHIJ"}, {12, "ABCDEFGHIJ"}, {11, "ABCDEFGHI"}, {8, "ABCDEF"},
                 {2, ""},           {1, nullptr},     {0, nullptr},       {-1, nullptr},
                 {INT_MIN, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char name[80], units[80];
        std::memset(name, '#', sizeof name);
        std::memset(units, '#', sizeof units);
        EXPECT_EQ(getField(0, name, units, c.size), 11);
        const std::size_t room = c.size > 0 ? static_cast<std::size_t>(c.size) : 0;
        if (c.name == nullptr) {
            EXPECT_EQ(name[0], '#');
        } else {
            EXPECT_STREQ(name, c.name);
        }
        for (std::size_t i = room; i < sizeof name; ++i) {
            ASSERT_EQ(name[i], '#') << "name byte " << i;
        }
        for (std::size_t i = room; i < sizeof units; ++i) {
            ASSERT_EQ(units[i], '#') << "units byte " << i;
        }
        if (room >= 1) {
            EXPECT_EQ(units[0], '\0');
        }
    }
    EXPECT_EQ(getField(0, nullptr, nullptr, 64), 11);
}

TEST(FieldList, IndexesOutsideTheTableEndTheList) {
    Installed lib("[Streams]\n0=A\n1=B\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    for (int index : {2, 3, 100, -1, INT_MIN, INT_MAX}) {
        char name[16] = "untouched";
        EXPECT_EQ(plugin.api().ContentGetSupportedField(index, name, name, sizeof name), 0) << index;
        EXPECT_STREQ(name, "untouched");
    }
}

TEST(FieldList, EveryIndexIsEditable) {
    Installed lib("[Streams]\n0=A\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    for (int index : {0, 1, -1, 100, INT_MIN, INT_MAX}) {
        EXPECT_EQ(plugin.api().ContentGetSupportedFieldFlags(index), 1) << index;
    }
}

// The Linux file manager shows a plug-in in its Properties dialog only with a detect string; a
// cut one would be another expression, so a buffer too small for it gets an empty one.
TEST(DetectString, LinuxMatchesEveryFileWholeOrNotAtAllWindowsHasNone) {
    Installed lib("[Streams]\n0=A\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
#if defined(_WIN32)
    EXPECT_EQ(plugin.api().ContentGetDetectString, nullptr);
#else
    ASSERT_NE(plugin.api().ContentGetDetectString, nullptr);
    const struct {
        int size;
        const char* expected;  // nullptr: nothing written
    } cases[] = {{260, "EXT=\"*\""}, {8, "EXT=\"*\""}, {7, ""}, {1, ""}, {0, nullptr}, {-1, nullptr}};
    for (const auto& c : cases) {
        char buffer[300];
        std::memset(buffer, '#', sizeof buffer);
        plugin.api().ContentGetDetectString(buffer, c.size);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buffer, c.expected) << c.size;
        } else {
            EXPECT_EQ(buffer[0], '#') << c.size;
        }
        for (int i = c.size > 0 ? c.size : 0; i < static_cast<int>(sizeof buffer); ++i) {
            ASSERT_EQ(buffer[i], '#') << c.size << " at " << i;
        }
    }
    plugin.api().ContentGetDetectString(nullptr, 64);  // must not crash
#endif
}

TEST(FieldList, NamesLeaveInTheAnsiCodePage) {
    // A UTF-16 configuration: e-acute is one byte in the ANSI code page; a Greek capital delta
    // has no place there and becomes the default character.
    std::string ini = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Streams]\r\n0=Caf\u00E9\r\n1=\u0394x\r\n")) {
        ini.push_back(static_cast<char>(c & 0xFF));
        ini.push_back(static_cast<char>(c >> 8));
    }
    Installed lib(ini);
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    char name[32] = {};
    ASSERT_EQ(plugin.api().ContentGetSupportedField(0, name, name + 16, 16), 11);
    EXPECT_STREQ(name, "Caf\xE9");
    ASSERT_EQ(plugin.api().ContentGetSupportedField(1, name, name + 16, 16), 11);
    EXPECT_STREQ(name, "?x");
}

TEST(AnsiEntryPoints, AnswerEmptyAndFileErrorForAnything) {
    Installed lib("[Streams]\n0=Comment\n");
    host::LoadedPlugin plugin = LoadOrFail(lib.library);
    char file[] = "C:\\missing.txt";
    char value[16] = "untouched";
    const auto getValue = plugin.api().ContentGetValue;
    const auto setValue = plugin.api().ContentSetValue;
    EXPECT_EQ(getValue(nullptr, 0, 0, nullptr, 0, 0), -3);
    EXPECT_EQ(getValue(file, 0, 0, value, sizeof value, 0), -3);
    EXPECT_EQ(getValue(file, -1, 0, value, sizeof value, 1), -3);
    EXPECT_EQ(getValue(file, INT_MAX, INT_MIN, value, INT_MIN, INT_MAX), -3);
    EXPECT_EQ(setValue(nullptr, 0, 0, 0, nullptr, 0), -2);
    EXPECT_EQ(setValue(file, 0, 0, 8, value, 0), -2);
    EXPECT_EQ(setValue(file, -1, INT_MAX, INT_MIN, value, INT_MAX), -2);
    EXPECT_STREQ(value, "untouched");
}

}  // namespace
