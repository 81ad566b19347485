#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/ascii_blocks.h"
#include "platform/linux/codepage.h"
#include "platform/win32/long_path.h"
#include "plugin/field_value.h"
#include "streams/field_stream.h"
#include "streams/origin.h"
#include "text/encoding.h"

namespace {

using namespace velkaron;
using namespace velkaron::platform;

std::string U8(const std::u16string& s) { return platform::EncodeUtf8(s); }

std::u16string StreamPath(const std::u16string& file, const std::u16string& stream) {
    WideName out;
    return BuildStreamPath(file, stream, out);
}
std::u16string Decoded(const std::string& bytes, bool readUtf8) {
    std::u16string text(bytes.size(), u'\0');
    text.resize(DecodeContents(bytes, readUtf8, text.data()));
    return text;
}
std::string Encoded(const std::u16string& value, bool writeUtf8) {
    std::string bytes(3 * value.size(), '\0');
    bytes.resize(EncodeValue(value, writeUtf8, bytes.data()));
    return bytes;
}

TEST(Addressing, LongPathAndStreamName) {
    struct Case {
        std::u16string file, path;
    } cases[] = {
        {u"C:\\a\\b.txt", u"\\\\?\\C:\\a\\b.txt:Comment"},
        {u"\\\\srv\\share\\b.txt", u"\\\\?\\UNC\\srv\\share\\b.txt:Comment"},
        {u"\\\\?\\C:\\a\\b.txt", u"\\\\?\\C:\\a\\b.txt:Comment"},
        {u"\\\\?\\UNC\\srv\\s\\f", u"\\\\?\\UNC\\srv\\s\\f:Comment"},
        {u"C:\\dir", u"\\\\?\\C:\\dir:Comment"},
        {u"", u"\\\\?\\:Comment"},
        {u"rel\\..\\f/x\\", u"\\\\?\\rel\\..\\f/x\\:Comment"},
        {u"\\\\", u"\\\\?\\UNC\\:Comment"},
        {u"\\\\?", u"\\\\?\\UNC\\?:Comment"},
        {u"//srv/share", u"\\\\?\\//srv/share:Comment"},
        // Longer than the name buffer's stack part.
        {u"C:\\" + std::u16string(3000, u'd'), u"\\\\?\\C:\\" + std::u16string(3000, u'd') + u":Comment"},
        {u"\\\\s\\" + std::u16string(1020, u'd'), u"\\\\?\\UNC\\s\\" + std::u16string(1020, u'd') + u":Comment"},
    };
    for (const Case& c : cases) EXPECT_EQ(U8(StreamPath(c.file, u"Comment")), U8(c.path)) << U8(c.file);
    EXPECT_EQ(ToLongPath(u"C:\\x"), u"\\\\?\\C:\\x");
}

TEST(Utf8Test, TrailTableFollowsTheSixByteForm) {
    EXPECT_EQ(Utf8TrailTable[0x41], 0);
    EXPECT_EQ(Utf8TrailTable[0xBF], 0);
    EXPECT_EQ(Utf8TrailTable[0xC0], 1);
    EXPECT_EQ(Utf8TrailTable[0xDF], 1);
    EXPECT_EQ(Utf8TrailTable[0xE0], 2);
    EXPECT_EQ(Utf8TrailTable[0xF7], 3);
    EXPECT_EQ(Utf8TrailTable[0xF8], 4);
    EXPECT_EQ(Utf8TrailTable[0xFB], 4);
    EXPECT_EQ(Utf8TrailTable[0xFC], 5);
    EXPECT_EQ(Utf8TrailTable[0xFF], 5);
}

TEST(Utf8Test, PlausibilityOfBytes) {
    struct Case {
        std::string bytes;
        bool cutTailAllowed, strict;
    } cases[] = {
        {"plain ascii", false, false},
        {"", false, false},
        {"\xC3\xA9", true, true},
        {"\xC3\xA9" "A\xC3", true, false},
        {"A\xC3", false, false},
        {"\x80" "abc", false, false},
        {"\xC3\xA9\xBF", false, false},
        {"\xC3" "A", false, false},
        {"\xEF\xBB\xBF" "abc", true, true},
        {"\xC0\xAF", true, true},
        {"\xED\xA0\x80", true, true},
        {"\xFC\x80\x80\x80\x80\x80", true, true},
        {"\xF0\x9F\x98", true, false},
        {std::string("abc\0\xC3\xA9", 6), false, false},
        {std::string("\xC3\xA9\0\x80", 4), true, true},
        {std::string("\xC3\0\xA9", 3), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsUtf8Text(c.bytes, true), c.cutTailAllowed) << testing::PrintToString(c.bytes);
        EXPECT_EQ(IsUtf8Text(c.bytes, false), c.strict) << testing::PrintToString(c.bytes);
    }
}

TEST(Utf8Test, ValidUtf8AsRfc3629HasIt) {
    for (const char* valid : {"", "abc", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBB\xBF",
                              "\xED\x9F\xBF", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(IsValidUtf8(valid)) << valid;
    }
    for (const char* invalid : {"\x80", "\xC3", "a\xE2\x82", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF",
                                "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                                "\xFF", "\xC3\xA9\xA9"}) {
        EXPECT_FALSE(IsValidUtf8(invalid)) << invalid;
    }
}

TEST(DecodeContents, ChoosesUtf8OrAnsi) {
    struct Case {
        std::string bytes;
        bool readUtf8;
        std::u16string text;
    } cases[] = {
        {"abc", true, u"abc"},
        {"abc", false, u"abc"},
        {"\xC3\xA9", true, u"\u00E9"},
        {"\xC3\xA9", false, u"\u00C3\u00A9"},
        {"A\xC3", true, u"A\u00C3"},
        {"\xC3\xA9" "A\xC3", true, u"\u00E9A\uFFFD"},
        {"\xEF\xBB\xBF" "x", true, u"\uFEFFx"},
        {"\xEF\xBB\xBF" "x", false, u"\u00EF\u00BB\u00BFx"},
        {"\x80\x9F", true, u"\u20AC\u0178"},
        {std::string("\xC3\xA9\0\xC3\xA9", 5), true, std::u16string(u"\u00E9\0\u00E9", 3)},
        {std::string("\0ab", 3), true, std::u16string(u"\0ab", 3)},
        {"x\xF0\x9F\x98\x80", true, u"x\U0001F600"},
        {"\xC0\x80", true, u"\uFFFD\uFFFD"},      // overlong: looks like UTF-8, decodes as malformed
        {"\xED\xA0\x80", true, u"\uFFFD\uFFFD"},  // an encoded surrogate, likewise
        {"\xC3\xA9\xFF", true, u"\u00E9\uFFFD"},
        {"", true, u""},
    };
    for (const Case& c : cases) {
        const std::u16string got = Decoded(c.bytes, c.readUtf8);
        EXPECT_EQ(got, c.text) << testing::PrintToString(c.bytes) << " -> " << U8(got);
    }
}

// The block steps of the conversions: runs of one kind of character, broken by another kind at
// every place and every length, against the conversions put together character by character.
TEST(AsciiBlocks, EveryLengthAndEveryStop) {
    struct Char {
        std::u16string units;
        std::string utf8;
    };
    const Char a{u"a", "a"}, e{u"\u00E9", "\xC3\xA9"}, zh{u"\u4E2D", "\xE4\xB8\xAD"},
        face{u"\U0001F600", "\xF0\x9F\x98\x80"}, lone{u"\xD800", "\xEF\xBF\xBD"},
        nul{std::u16string(1, u'\0'), std::string(1, '\0')}, del{u"\x7F", "\x7F"};
    const std::pair<Char, Char> runs[] = {{a, e}, {a, zh}, {e, a}, {e, zh}, {e, face}, {zh, lone},
                                          {a, nul}, {a, del}, {zh, nul}, {a, face}};
    for (const auto& [base, stop] : runs) {
        for (std::size_t length = 0; length <= 40; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {  // at == length: nothing stops them
                std::u16string text;
                std::string utf8;
                for (std::size_t i = 0; i < length; ++i) {
                    text += (i == at ? stop : base).units;
                    utf8 += (i == at ? stop : base).utf8;
                }
                EXPECT_EQ(U8(text), utf8) << length << " " << at;
                EXPECT_EQ(EncodePath(text), utf8) << length << " " << at;
                EXPECT_EQ(Encoded(text, true), utf8) << length << " " << at;
                EXPECT_EQ(Encoded(text, false), EncodeWindows1252(text)) << length << " " << at;
                // Up to the first zero the text is valid UTF-8: it reads as such when it holds more than ASCII.
                const std::string_view head(utf8.c_str());
                const bool wide = std::any_of(head.begin(), head.end(), [](char b) { return b & 0x80; });
                EXPECT_EQ(IsUtf8Text(utf8, false), wide) << length << " " << at;
                if (stop.units != lone.units) {
                    EXPECT_EQ(DecodePath(utf8), text) << length << " " << at;
                    std::u16string decoded(utf8.size(), u'\xFFFF');
                    std::size_t textUnits = 0;
                    decoded.resize(DecodeContents(utf8, true, decoded.data(), textUnits));
                    if (wide || base.units == a.units) {
                        EXPECT_EQ(decoded, text) << length << " " << at;
                    }
                    EXPECT_EQ(textUnits, std::u16string(decoded.c_str()).size()) << length << " " << at;
                }
                EXPECT_EQ(HostText(text.c_str()).size(), std::u16string(text.c_str()).size()) << length << " " << at;
                // The one-pass form of a name, from every start (every alignment) and with room
                // just enough or one short.
                for (std::size_t from = 0; from <= text.size(); ++from) {
                    const std::u16string name(text.c_str() + from);
                    const bool ascii = std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; });
                    for (const std::size_t room : {name.size() + 16, name.size() + 1, name.size()}) {
                        char out[8 + 64] = {};  // seven bytes before the name may be written
                        std::size_t length = 0;
                        const bool narrowed = ascii::NarrowTerminated(text.c_str() + from, out + 8, room, length);
                        if (narrowed) {
                            EXPECT_EQ(std::string(out + 8, length), U8(name)) << length << " " << at << " " << from;
                        }
                        // It may decline a room short of a whole step past the end, never accept wrongly.
                        EXPECT_TRUE(!narrowed || (ascii && room > name.size())) << length << " " << at << " " << from;
                        EXPECT_TRUE(narrowed || !ascii || room < name.size() + 16) << at << " " << from;
                    }
                }
                if (stop.units == nul.units) continue;
                EXPECT_EQ(HostText(text.c_str() + at).size(), text.size() - at);
                if (base.units != a.units) continue;
                for (char byte : {'\0', '\xE9', '\x7F', '\x8D', '\x8A', '\r', '\n'}) {
                    std::string bytes(length, 'a');
                    if (at < length) bytes[at] = byte;
                    EXPECT_EQ(U8(Decoded(bytes, true)), U8(platform::DecodeWindows1252(bytes))) << length << " " << at;
                    // A line ends at a CR or an LF only, not at a byte of the same low bits.
                    const bool ends = at < length && (byte == '\r' || byte == '\n');
                    EXPECT_EQ(ascii::LineEnd(bytes.data(), length), ends ? at : length) << length << " " << at;
                }
            }
        }
    }
    EXPECT_EQ(HostText(nullptr).size(), 0u);
    EXPECT_EQ(HostText(u"ab\0cd").size(), 2u);
}

TEST(EncodeValue, Utf8OrAnsiWithoutByteOrderMark) {
    EXPECT_EQ(Encoded(u"abc", true), "abc");
    EXPECT_EQ(Encoded(u"\u00E9", true), "\xC3\xA9");
    EXPECT_EQ(Encoded(u"\u00E9", false), "\xE9");
    EXPECT_EQ(Encoded(u"\u20AC", false), "\x80");
    EXPECT_EQ(Encoded(u"\u4E2D", false), "?");
    EXPECT_EQ(Encoded(std::u16string(1, char16_t(0xD800)), true), "\xEF\xBF\xBD");
    EXPECT_EQ(Encoded(u"", true), "");
}

TEST(SubstituteLineBreaks, TypedBackslashNBecomesCrLf) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"line1\\nline2", u"line1\r\nline2"},
        {u"\\n\\n", u"\r\n\r\n"},
        {u"a\\N", u"a\\N"},
        {u"\\\\n", u"\\\r\n"},
        {u"end\\", u"end\\"},
        {u"n\\", u"n\\"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SubstituteLineBreaks(c.in), c.out) << U8(c.in);
        EXPECT_EQ(HasTypedLineBreak(c.in), c.in != c.out) << U8(c.in);
    }
}

TEST(CopyToHostBuffer, CutsToHalfTheSizeLessTwoAndStaysInside) {
    struct Case {
        int size;
        std::u16string text;
        bool written;
        std::u16string delivered;
    } cases[] = {
        {10, u"abc", true, u"abc"},
        {8, u"abc", true, u"ab"},
        {9, u"abc", true, u"ab"},
        {4, u"abc", true, u""},
        {3, u"abc", true, u""},
        {2, u"abc", true, u""},
        {1, u"abc", false, u""},
        {0, u"abc", false, u""},
        {-4, u"abc", false, u""},
        {INT_MIN, u"abc", false, u""},
        {100, std::u16string(u"a\0b", 3), true, u"a"},
    };
    for (const Case& c : cases) {
        alignas(char16_t) unsigned char buffer[128];
        std::memset(buffer, 0xAB, sizeof buffer);
        ASSERT_EQ(CopyToHostBuffer(c.text, buffer, c.size), c.written) << c.size;
        const std::size_t room = c.size > 0 ? static_cast<std::size_t>(c.size) : 0;
        for (std::size_t i = room; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], 0xAB) << "size " << c.size << ", byte " << i;
        }
        if (c.written) {
            std::u16string got(reinterpret_cast<const char16_t*>(buffer));
            EXPECT_EQ(got, c.delivered) << c.size;
        } else {
            EXPECT_EQ(buffer[0], 0xAB) << c.size;
        }
    }
    EXPECT_FALSE(CopyToHostBuffer(u"abc", nullptr, 100));
}


// The field Streams: names that could read as other streams, sizes or lines are quoted; the
// order is that of the names themselves, not of their quoted form.
TEST(ListingText, QuotesWhatWouldReadAsOtherStreams) {
    struct Case {
        std::vector<StreamEntry> entries;
        std::u16string text;
    } cases[] = {
        {{{u"Zone.Identifier", 26}, {u"Comment", 5}}, u"Comment (5), Zone.Identifier (26)"},
        {{{u"my notes", 3}, {u" x ", 1}, {u"a\\b", 2}, {u"\x7F", 0}}, u" x  (1), a\\b (2), my notes (3), \x7F (0)"},
        {{{u"a (1), b", 2}}, u"\"a (1), b\" (2)"},
        {{{u"(", 1}, {u")", 2}, {u",", 3}}, u"\"(\" (1), \")\" (2), \",\" (3)"},
        {{{u"say \"hi\"", 4}}, u"\"say \"\"hi\"\"\" (4)"},
        {{{u"two\nlines\r", 5}, {u"tab\there", 6}}, u"\"tab\\x09here\" (6), \"two\\x0Alines\\x0D\" (5)"},
        {{{std::u16string(1, u'\0'), 0}, {u"\x1F \x20", 1}}, u"\"\\x00\" (0), \"\\x1F  \" (1)"},
        {{{u"C:\\dir,x", 7}}, u"\"C:\\\\dir,x\" (7)"},
        {{{u"(b", 2}, {u"#a", 1}}, u"#a (1), \"(b\" (2)"},
        {{{u"big", 65536, true}, {u"exact", 65536}}, u"big (65536+), exact (65536)"},
        {{{u"\uFF5E", 1}, {u"\U0001F600", 2}}, u"\U0001F600 (2), \uFF5E (1)"},
        {{}, u""},
    };
    for (Case& c : cases) EXPECT_EQ(U8(ListingText(c.entries)), U8(c.text));
}

// UTF-16LE with its byte-order mark, as some writers save the mark.
std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) out += std::string{c, '\0'};
    return out;
}

// A file's mark as writers leave it, byte for byte, read as Windows reads it: the zone's name,
// the address the file came from and the page or archive it came through, as written.
TEST(OriginValue, ReadsTheMarkAsWindowsDoes) {
    const char* const browser =
        "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/downloads/\r\n"
        "HostUrl=https://cdn.example.org/tool-1.2.zip\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        std::u16string zone, host, referrer;
    } cases[] = {
        {"a browser's, both addresses", browser, u"Internet", u"https://cdn.example.org/tool-1.2.zip",
         u"https://example.org/downloads/"},
        {"a browser's without an address", "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=about:internet\r\n", u"Internet",
         u"about:internet", u""},
        {"UTF-8 addresses", "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/caf\xC3\xA9/\r\n"
                            "HostUrl=https://example.org/\xE6\x97\xA5.zip\r\n",
         u"Internet", u"https://example.org/\u65E5.zip", u"https://example.org/caf\u00E9/"},
        {"a mail attachment's: the zone alone", "[ZoneTransfer]\r\nZoneId=3\r\n", u"Internet", u"", u""},
        {"an archiver's: the archive's local path",
         "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=C:\\Users\\me\\Downloads\\tools.zip\r\n", u"Internet", u"",
         u"C:\\Users\\me\\Downloads\\tools.zip"},
        {"other keys, another case and order",
         "[zonetransfer]\r\nLastWriterPackageFamilyName=App_1\r\nhosturl=h\r\nAppDefinedZoneId=1\r\nZONEID=2\r\n",
         u"Trusted sites", u"h", u""},
        {"spaces around the names and values", "[ ZoneTransfer ]\r\n  ZoneId  =  4  \r\n HostUrl = h \r\n",
         u"Restricted sites", u"h", u""},
        {"LF only, ending in a zero byte", std::string("[ZoneTransfer]\nZoneId=1\nHostUrl=h\n\0", 35),
         u"Local intranet", u"h", u""},
        {"a zero byte ends the text", std::string("[ZoneTransfer]\nZoneId=0\0\nHostUrl=h\n", 35), u"Local machine",
         u"", u""},
        {"UTF-16 with a byte-order mark", Utf16("[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=h\r\n"), u"Internet", u"h", u""},
        {"another section first", "[Other]\r\nZoneId=4\r\nHostUrl=no\r\n[ZoneTransfer]\r\nZoneId=1\r\n",
         u"Local intranet", u"", u""},
        {"a key repeated: the first wins", "[ZoneTransfer]\r\nZoneId=3\r\nZoneId=4\r\nHostUrl=a\r\nHostUrl=b\r\n",
         u"Internet", u"a", u""},
        {"a zone past 4", "[ZoneTransfer]\r\nZoneId=7\r\n", u"7", u"", u""},
        {"leading zeros", "[ZoneTransfer]\r\nZoneId=003\r\n", u"Internet", u"", u""},
        {"a zone that is no number", "[ZoneTransfer]\r\nZoneId=-1\r\n", u"-1", u"", u""},
        {"%xx is shown as written", "[ZoneTransfer]\r\nHostUrl=https://e.org/a%20b\r\n", u"", u"https://e.org/a%20b", u""},
        {"ANSI: a file that is no UTF-8", "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://e.org/caf\xE9\r\n", u"Internet",
         u"https://e.org/caf\u00E9", u""},
        {"UTF-8 in a value of a file that is not", "[ZoneTransfer]\r\nHostUrl=https://e.org/\xC3\xA9\r\nReferrerUrl=\xE9\r\n",
         u"", u"https://e.org/\u00C3\u00A9", u"\u00E9"},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF[ZoneTransfer]\r\nZoneId=2\r\nHostUrl=https://e.org/\xC3\xA9\r\n",
         u"Trusted sites", u"https://e.org/\u00E9", u""},
        {"CR alone ends a line, quotes are taken off", "[ZoneTransfer]\rZoneId=4\rHostUrl=\"h q\"\rReferrerUrl='r'\r",
         u"Restricted sites", u"h q", u"r"},
        {"no INI text at all", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), u"", u"", u""},
        {"empty", "", u"", u"", u""},
    };
    const auto value = [](const std::string& bytes, OriginPart part) {
        std::u16string out(std::max(bytes.size(), kOriginRoom), u'\0');
        out.resize(OriginValue(bytes, part, out.data()));
        return U8(out);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(value(c.bytes, OriginPart::Zone), U8(c.zone));
        EXPECT_EQ(value(c.bytes, OriginPart::HostUrl), U8(c.host));
        EXPECT_EQ(value(c.bytes, OriginPart::ReferrerUrl), U8(c.referrer));
    }
}

}  // namespace
