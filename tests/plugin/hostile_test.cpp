// Odd and hostile arguments through every export of the real library: each call answers one of
// the defined result codes, writes nothing outside the buffers it is given, and leaves every
// other stream as it was.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>

#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

class Hostile : public testing::Test {
protected:
    Hostile()
        : lib("[Options]\nKeepTime=1\nWriteUTF8=1\nReadUTF8=1\nSubstituteChars=1\n[Streams]\n0=Comment\n"
              "1=Zone>>>dot<<<Identifier\n2=bad/name\n3=" + std::string(300, 'n') + "\n"),
          plugin(LoadOrFail(lib.library)),
          file(data.path() / "file.txt"),
          witness(data.path() / "witness.txt") {
        WriteFile(file, "contents");
        WriteFile(witness, "contents");
        PutStream(witness, "Comment", "witness comment");
        PutStream(witness, "Zone.Identifier", "witness zone");
    }
    ~Hostile() override {
        std::string bytes;
        EXPECT_TRUE(GetStream(witness, "Comment", bytes));
        EXPECT_EQ(bytes, "witness comment");
        EXPECT_TRUE(GetStream(witness, "Zone.Identifier", bytes));
        EXPECT_EQ(bytes, "witness zone");
        EXPECT_EQ(ReadFile(witness), "contents");
    }
    const host::PluginApi& api() const { return plugin.api(); }

    // File names a host might pass, from sensible to absurd.
    std::vector<std::u16string> Names() const {
        std::u16string slashes = file.u16string();
        for (char16_t& c : slashes) {
            if (c == u'\\') c = u'/';
        }
        return {
            file.u16string(),
            u"",
            u"file.txt",
            u"relative/../file.txt",
            slashes,
            data.path().u16string() + u"/",
            data.path().u16string() + u"\\",
            data.path().u16string(),
            (data.path() / "missing" / "deeper" / "f.txt").u16string(),
            std::u16string(40000, u'a'),
            data.path().u16string() + u"/" + std::u16string(300, u'b'),
#if defined(_WIN32)
            u"NUL", u"CON", u"\\\\.\\NUL", u"C:\\con\\x", u"\\\\?\\", u"\\\\", u"\\\\server-that-is-not-there\\share\\f",
#else
            u"/dev/null", u"/proc/self/status", u"/nonexistent-root-entry/x",
#endif
            std::u16string(1, char16_t(0xD800)) + u".txt",
        };
    }

    Installed lib;
    host::LoadedPlugin plugin;
    TempDir data;
    fs::path file, witness;
};

const std::set<int> kGetCodes = {0, 11, -1, -3};
const std::set<int> kSetCodes = {0, -1, -2};

TEST_F(Hostile, GetValueWithOddNamesIndexesAndBuffers) {
    PutStream(file, "Comment", "abc");
    const int indexes[] = {0, 1, 2, 3, -1, 4, 100, INT_MIN, INT_MAX};
    const int sizes[] = {INT_MIN, -1, 0, 1, 2, 3, 4, 5, 64, INT_MAX};
    for (std::u16string name : Names()) {
        for (int index : indexes) {
            for (int size : sizes) {
                for (int flags : {0, 1, 2, -1, INT_MIN}) {
                    alignas(char16_t) unsigned char buffer[96];
                    std::memset(buffer, 0xAB, sizeof buffer);
                    const int room = size < 0 ? 0 : size > 64 ? 64 : size;
                    const int code = api().ContentGetValueW(name.data(), index, 0, buffer, size, flags);
                    ASSERT_TRUE(kGetCodes.count(code)) << code;
                    for (int i = (size == INT_MAX ? 12 : room); i < static_cast<int>(sizeof buffer); ++i) {
                        ASSERT_EQ(buffer[i], 0xAB) << "size " << size << " byte " << i;
                    }
                    ASSERT_EQ(api().ContentGetValueW(nullptr, index, 0, nullptr, size, flags) == 0, (flags & 1) != 0);
                }
            }
        }
    }
    // Indexes whose offset into the field table wraps round in 32 bits (an entry is 144 bytes on
    // some builds) name no field either.
    for (int index : {1 << 28, (1 << 28) + 1, 1 << 30}) {
        alignas(char16_t) unsigned char buffer[96];
        std::u16string name = file.u16string();
        EXPECT_EQ(api().ContentGetValueW(name.data(), index, 0, buffer, sizeof buffer, 0), -1) << index;
    }
}

TEST_F(Hostile, SetValueWithOddNamesAndValues) {
    std::u16string values[] = {
        u"plain",
        std::u16string(1, char16_t(0xD800)) + u"lone" + std::u16string(1, char16_t(0xDFFF)),
        u"line\r\nbreaks\nand\\n",
        std::u16string(100000, u'x'),
        std::u16string(u"embedded\0zero", 13),
        u"",
    };
    for (std::u16string name : Names()) {
        for (int index : {0, 1, 2, 3, -1, 4, INT_MIN, INT_MAX}) {
            for (std::u16string& value : values) {
                const int code = api().ContentSetValueW(name.data(), index, 0, 11, value.data(), 0);
                ASSERT_TRUE(kSetCodes.count(code)) << code;
                ASSERT_TRUE(kSetCodes.count(api().ContentSetValueW(name.data(), index, INT_MIN, INT_MAX, nullptr, -1)));
            }
        }
    }
    EXPECT_EQ(api().ContentSetValueW(nullptr, 0, 0, 0, nullptr, 0), -2);
}

TEST_F(Hostile, RefusedStreamNamesGiveTheDefinedCodes) {
    for (int index : {2, 3}) {
        std::u16string name = file.u16string(), value = u"x";
        const int set = api().ContentSetValueW(name.data(), index, 0, 11, value.data(), 0);
        EXPECT_TRUE(set == 0 || set == -2) << index;
        const Value got = GetValue(api(), file, index);
        EXPECT_EQ(got.code, set == 0 ? 11 : -3) << index;  // what was stored reads back
    }
}

TEST_F(Hostile, FieldListWithOddIndexesAndBuffers) {
    for (int index : {0, 3, 4, -1, INT_MIN, INT_MAX}) {
        for (int size : {INT_MIN, -1, 0, 1, 2, 3, 64}) {
            char name[96], units[96];
            std::memset(name, '#', sizeof name);
            std::memset(units, '#', sizeof units);
            const int code = api().ContentGetSupportedField(index, name, units, size);
            ASSERT_TRUE(code == 0 || code == 11);
            const int room = size < 0 ? 0 : size;
            for (int i = room; i < 96; ++i) ASSERT_TRUE(name[i] == '#' && units[i] == '#') << size;
            ASSERT_TRUE(api().ContentGetSupportedField(index, nullptr, nullptr, size) == code);
            ASSERT_EQ(api().ContentGetSupportedFieldFlags(index), 1);
        }
    }
}

}  // namespace

namespace {

TEST_F(Hostile, TenThousandCallsLeaveNoHandleOpen) {
    const fs::path missing = data.path() / "missing" / "f.txt";
    // Warm up first: the C++ runtime and the OS keep a few handles of their own on first use.
    for (int i = 0; i < 10; ++i) {
        GetValue(api(), file, 0);
        std::u16string name = file.u16string(), value = u"x";
        api().ContentSetValueW(name.data(), 0, 0, 11, value.data(), 0);
    }
    const long before = OpenHandleCount();
    for (int i = 0; i < 10000; ++i) {
        const fs::path& target = (i % 7 == 0) ? missing : file;
        std::u16string name = target.u16string();
        std::u16string value = (i % 3 == 0) ? u"" : u"value " + std::u16string(1, char16_t(u'a' + i % 26));
        switch (i % 4) {
            case 0:
            case 1:
                api().ContentSetValueW(name.data(), i % 2, 0, 11, value.data(), 0);
                break;
            case 2:
                GetValue(api(), target, i % 3);
                break;
            default:
                GetValue(api(), target, 0, 2);
                break;
        }
    }
    EXPECT_EQ(OpenHandleCount(), before);
}

}  // namespace
