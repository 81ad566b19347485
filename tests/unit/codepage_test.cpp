#include <gtest/gtest.h>


#include "platform/linux/codepage.h"
#include "tests/unit/codepage_fixtures.h"
#include "text/encoding.h"

namespace {

using namespace velkaron;
using namespace velkaron::platform;

std::string Hex(const std::u16string& s) {
    std::string out;
    char unit[8];
    for (char16_t c : s) {
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

TEST(Utf8, DecodesLikeTheWindowsConverter) {
    for (const fixtures::Utf8Case& c : fixtures::Utf8Cases()) {
        EXPECT_EQ(Hex(DecodeUtf8(c.bytes)), Hex(c.text)) << "bytes: " << testing::PrintToString(c.bytes);
    }
}

TEST(Utf8, EncodesLoneSurrogatesAsReplacement) {
    struct Case {
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {u"abc", "abc"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
        {std::u16string(1, char16_t(0xDC00)) + u"x", "\xEF\xBF\xBDx"},
        {std::u16string{char16_t(0xDC00), char16_t(0xD800)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) EXPECT_EQ(EncodeUtf8(c.text), c.bytes) << Hex(c.text);
}

// A Linux file name's bytes, valid UTF-8 or not, come back from their UTF-16 form unchanged; a
// byte no valid sequence holds is the lone surrogate U+DC00 + byte, valid UTF-8 reads as usual.
TEST(Path, EveryNameComesBackToItsOwnBytes) {
    const std::u16string e9(1, char16_t(0xDCE9)), c3(1, char16_t(0xDCC3)), ed(1, char16_t(0xDCED));
    const std::u16string a0(1, char16_t(0xDCA0)), x80(1, char16_t(0xDC80)), ff(1, char16_t(0xDCFF));
    struct Case {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"plain/a.txt", u"plain/a.txt"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"caf\xE9", u"caf" + e9},                            // Latin-1, as old archives name files
        {"\xC3(", c3 + u"("},                                 // a lead without its continuation
        {"\xED\xA0\x80", ed + a0 + x80},                      // an encoded surrogate is no character
        {"\xF0\x9F\x98\x80\xFF", u"\U0001F600" + ff},
        {"\xE2\x82", std::u16string{char16_t(0xDCE2), char16_t(0xDC82)}},  // cut off at the end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Hex(DecodePath(c.bytes)), Hex(c.text)) << testing::PrintToString(c.bytes);
        EXPECT_EQ(EncodePath(c.text), c.bytes) << Hex(c.text);
    }
    // Other lone surrogates carry no byte, and are encoded as DecodeUtf8's reader expects.
    EXPECT_EQ(EncodePath(std::u16string{char16_t(0xDC7F), char16_t(0xD800)}), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Windows1252, RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::u16string text = DecodeWindows1252(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x9F], u'\u0178');
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(text[b], b);  // undefined: C1 controls
    EXPECT_EQ(text[0xE9], u'\u00E9');
    EXPECT_EQ(EncodeWindows1252(text), all);
}

TEST(Windows1252, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(EncodeWindows1252(u"\u0394\u4E2D\U0001F600x"), "????x");  // a pair gives two
    EXPECT_EQ(EncodeWindows1252(std::u16string(1, char16_t(0xD800))), "?");
}

TEST(Utf16Le, DropsAnOddLastByte) {
    EXPECT_EQ(DecodeUtf16Le(std::string("a\0\xE9\0\x94\x03z", 7)), u"a\u00E9\u0394");
}

}  // namespace
