// The Linux build's stand-ins for Windows calls, put side by side with the real calls: the same
// inputs must give the same results. Runs in the Windows builds only.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "config/profile.h"
#include "platform/linux/codepage.h"
#include "tests/support/test_support.h"
#include "tests/unit/codepage_fixtures.h"
#include "tests/unit/profile_fixtures.h"

namespace {

using namespace velkaron;
using namespace velkaron::platform;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string SystemDecode(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return {};
    const int n = static_cast<int>(bytes.size());
    std::u16string out(bytes.size() * 2, u'\0');
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), n,
                                          reinterpret_cast<wchar_t*>(out.data()), n * 2);
    out.resize(static_cast<std::size_t>(units));
    return out;
}

std::string SystemEncode(UINT codePage, DWORD flags, const std::u16string& text) {
    if (text.empty()) return {};
    const int n = static_cast<int>(text.size());
    std::string out(text.size() * 4, '\0');
    const int bytes = WideCharToMultiByte(codePage, flags, W(text), n, out.data(), n * 4, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(bytes));
    return out;
}

TEST(Differential, TheAnsiCodePageIs1252) { ASSERT_EQ(GetACP(), 1252u); }

TEST(Differential, ProfileReader) {
    for (const fixtures::ProfileFixture& fixture : fixtures::ProfileFixtures()) {
        SCOPED_TRACE(fixture.name);
        testing_support::TempDir dir;
        const auto file = dir.path() / "test.ini";
        testing_support::WriteFile(file, fixture.bytes);
        const ProfileData emulated = ParseProfile(fixture.bytes);
        for (const fixtures::Query& q : fixture.queries) {
            std::u16string buffer(q.buffer + 1, u'\0');
            const DWORD length = GetPrivateProfileStringW(
                W(q.section), W(q.key), q.fallback ? reinterpret_cast<const wchar_t*>(q.fallback) : nullptr,
                reinterpret_cast<wchar_t*>(buffer.data()), static_cast<DWORD>(q.buffer),
                file.c_str());
            buffer.resize(length);
            const std::u16string mine =
                LookupProfile(emulated, q.section, q.key, q.fallback ? q.fallback : u"", q.buffer);
            EXPECT_EQ(EncodeUtf8(mine), EncodeUtf8(buffer)) << EncodeUtf8(q.section) << "/" << EncodeUtf8(q.key);
            EXPECT_EQ(EncodeUtf8(buffer), EncodeUtf8(q.expected)) << "the fixture's expectation";
        }
    }
}

TEST(Differential, Utf8DecodingOfFixtures) {
    for (const fixtures::Utf8Case& c : fixtures::Utf8Cases()) {
        EXPECT_EQ(DecodeUtf8(c.bytes), SystemDecode(CP_UTF8, c.bytes)) << testing::PrintToString(c.bytes);
    }
}

TEST(Differential, Utf8DecodingOfRandomBytes) {
    std::mt19937 random(20261207);
    // Bytes biased towards the interesting ranges; every string ends in plain ASCII, since a
    // sequence cut off by the end of the input is one place where Wine and Windows differ.
    const unsigned char pool[] = {0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                  0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4,
                                  0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFE, 0xFF, 0x00};
    for (int i = 0; i < 20000; ++i) {
        std::string bytes;
        const int length = 1 + static_cast<int>(random() % 12);
        for (int k = 0; k < length; ++k) bytes.push_back(static_cast<char>(pool[random() % sizeof pool]));
        bytes += "ABCD";
        ASSERT_EQ(DecodeUtf8(bytes), SystemDecode(CP_UTF8, bytes)) << testing::PrintToString(bytes);
    }
}

TEST(Differential, Windows1252DecodingOfEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(DecodeWindows1252(byte), SystemDecode(1252, byte)) << b;
    }
}

TEST(Differential, Windows1252EncodingOfEveryUnitWithoutBestFit) {
    for (unsigned c = 1; c < 0x10000; ++c) {
        const std::u16string unit(1, static_cast<char16_t>(c));
        ASSERT_EQ(EncodeWindows1252(unit), SystemEncode(1252, WC_NO_BEST_FIT_CHARS, unit)) << std::hex << c;
    }
}

TEST(Differential, Utf8EncodingOfRandomText) {
    std::mt19937 random(7);
    const char16_t pool[] = {u'a', 0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE9};
    for (int i = 0; i < 20000; ++i) {
        std::u16string text;
        const int length = 1 + static_cast<int>(random() % 40);
        for (int k = 0; k < length; ++k) text.push_back(pool[random() % (sizeof pool / sizeof pool[0])]);
        ASSERT_EQ(EncodeUtf8(text), SystemEncode(CP_UTF8, 0, text));
    }
}

}  // namespace
