// INI files with the answers the Windows private-profile reader gives for them. The Linux reader
// must give the same; on Windows builds the same table is put to the system reader itself.
#pragma once

#include <string>
#include <vector>

namespace fixtures {

struct Query {
    std::u16string section, key;
    const char16_t* fallback;  // nullptr: no default
    std::size_t buffer;        // in UTF-16 units
    std::u16string expected;
};

struct ProfileFixture {
    const char* name;
    std::string bytes;  // the file as it lies on disk
    std::vector<Query> queries;
};

inline std::string Utf16Le(const std::u16string& text, bool bom = true) {
    std::string out = bom ? "\xFF\xFE" : "";
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

inline std::vector<ProfileFixture> ProfileFixtures() {
    const std::u16string longValue(2500, u'x');
    return {
        {"line ends",
         "[S]\r\na=1\nb=2\rc=3\r\n\r\n\nd=4",
         {{u"S", u"a", u"-", 100, u"1"}, {u"S", u"b", u"-", 100, u"2"},
          {u"S", u"c", u"-", 100, u"3"}, {u"S", u"d", u"-", 100, u"4"}}},
        {"white space around names and values",
         "  [S]  \n \t k \t= \t v w \t\v\n\vx=\v y \n",
         {{u"S", u"k", u"-", 100, u"v w"}, {u"S", u"x", u"-", 100, u"y"}}},
        {"first equals sign splits",
         "[S]\na=b=c\n",
         {{u"S", u"a", u"-", 100, u"b=c"}}},
        {"lines without a value",
         "[S]\nlonely\nempty=\n",
         {{u"S", u"lonely", u"dflt", 100, u"dflt"}, {u"S", u"empty", u"dflt", 100, u""}}},
        {"quotes",
         "[S]\nd=\"  q  \"\ns=' q '\nm='x\"\ne=\"\"\ni=a\"b\"c\none=\"\nt=  \" t \"  \n",
         {{u"S", u"d", u"-", 100, u"  q  "}, {u"S", u"s", u"-", 100, u" q "},
          {u"S", u"m", u"-", 100, u"'x\""}, {u"S", u"e", u"-", 100, u""},
          {u"S", u"i", u"-", 100, u"a\"b\"c"}, {u"S", u"one", u"-", 100, u"\""},
          {u"S", u"t", u"-", 100, u" t "}}},
        {"comments and hash keys",
         "[S]\n; c=1\n#h=2\nv=x ; not a comment\n",
         {{u"S", u"#h", u"-", 100, u"2"}, {u"S", u"v", u"-", 100, u"x ; not a comment"}}},
        {"names compare without case",
         "[Options]\nKeepTime=1\n",
         {{u"OPTIONS", u"keeptime", u"-", 100, u"1"}, {u"options", u"KEEPTIME", u"-", 100, u"1"}}},
        {"first section and first key win",
         "[S]\nk=first\nk=second\n[T]\nu=1\n[s]\nk=third\nj=later\n",
         {{u"S", u"k", u"-", 100, u"first"}, {u"S", u"j", u"dflt", 100, u"dflt"},
          {u"T", u"u", u"-", 100, u"1"}}},
        {"defaults",
         "[S]\nk=v\n",
         {{u"S", u"missing", u"dflt  ", 100, u"dflt"}, {u"S", u"missing", u"  lead", 100, u"  lead"},
          {u"S", u"missing", nullptr, 100, u""}, {u"Nope", u"k", u"d", 100, u"d"},
          {u"S", u"missing", u"long default", 5, u"long"}}},
        {"values cut to the buffer",
         "[S]\nk=" + std::string(2500, 'x') + "\nshort=abc\n",
         {{u"S", u"k", u"-", 2000, longValue.substr(0, 1999)}, {u"S", u"short", u"-", 3, u"ab"},
          {u"S", u"short", u"-", 4, u"abc"}}},
        {"ANSI file",
         "[S]\nk=Caf\xE9 \x80\x81\x9F\n",
         {{u"S", u"k", u"-", 100, u"Caf\u00E9 \u20AC\u0081\u0178"}}},
        {"UTF-16 file with a byte-order mark",
         Utf16Le(u"[S]\r\nk=\u0394\u00E9\U0001F600\r\n[\u00C4]\r\nx=1\r\n"),
         {{u"S", u"k", u"-", 100, u"\u0394\u00E9\U0001F600"}, {u"\u00C4", u"x", u"-", 100, u"1"}}},
        {"UTF-16 file without a byte-order mark is not understood",
         Utf16Le(u"[S]\r\nk=v\r\n", false),
         {{u"S", u"k", u"dflt", 100, u"dflt"}}},
        {"empty file", "", {{u"S", u"k", u"dflt", 100, u"dflt"}}},
        {"the configuration the plug-in reads",
         "[Options]\r\nKeepTime=1\r\nWriteUTF8=true\r\nReadUTF8=01\r\n[Streams]\r\n0=Comment\r\n"
         "5=Zone>>>dot<<<Identifier\r\n",
         {{u"Options", u"KeepTime", u"0", 2000, u"1"}, {u"Options", u"WriteUTF8", u"0", 2000, u"true"},
          {u"Options", u"ReadUTF8", u"0", 2000, u"01"}, {u"Options", u"SubstituteChars", u"0", 2000, u"0"},
          {u"Streams", u"0", u"", 2000, u"Comment"}, {u"Streams", u"1", u"", 2000, u""},
          {u"Streams", u"5", u"", 2000, u"Zone>>>dot<<<Identifier"}}},
    };
}

}  // namespace fixtures
