// Byte strings with what MultiByteToWideChar(CP_UTF8, 0) makes of them on Windows. Shared by the
// emulation's unit test and, on Windows builds, the comparison with the system converter.
#pragma once

#include <string>
#include <vector>

namespace fixtures {

struct Utf8Case {
    std::string bytes;
    std::u16string text;
};

inline std::vector<Utf8Case> Utf8Cases() {
    const char16_t R = 0xFFFD;
    auto r = [&](int n) { return std::u16string(static_cast<std::size_t>(n), R); };
    return {
        {"A\x80" "B", u"A" + r(1) + u"B"},
        {"A\x80\x80\x80" "B", u"A" + r(3) + u"B"},
        {"A\xC0\xAF" "B", u"A" + r(2) + u"B"},
        {"A\xE0\x80\xAF" "B", u"A" + r(2) + u"B"},
        {"A\xED\xA0\x80" "B", u"A" + r(2) + u"B"},
        {"A\xE2\x82" "B", u"A" + r(1) + u"B"},
        {"A\xF4\x90\x80\x80" "B", u"A" + r(3) + u"B"},
        {"A\xF5\x80\x80\x80" "B", u"A" + r(4) + u"B"},
        {"A\xF8\x88\x80\x80\x80" "B", u"A" + r(5) + u"B"},
        {"A\xFE\xFF" "B", u"A" + r(2) + u"B"},
        {"\xEF\xBB\xBF" "x", u"\uFEFFx"},
        {"\xC3\xA9", u"\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"a\xC3", u"a" + r(1)},
        {"a\xE2\x82", u"a" + r(1)},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"", u""},
    };
}

}  // namespace fixtures
