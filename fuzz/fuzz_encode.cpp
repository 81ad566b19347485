// Values to stream bytes: the line-break substitution and both encodings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/codepage.h"
#include "text/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkaron;
    std::u16string value(size / 2, u'\0');
    if (!value.empty()) std::memcpy(value.data(), data, value.size() * 2);
    const std::u16string substituted = SubstituteLineBreaks(value);
    if (substituted.size() != value.size()) std::abort();  // "\n" (2 units) becomes CR LF (2 units)
    if (HasTypedLineBreak(value) != (substituted != value)) std::abort();
    std::string ansi(3 * substituted.size(), '\0'), utf8 = ansi;
    ansi.resize(EncodeValue(substituted, false, ansi.data()));
    if (ansi.size() != substituted.size()) std::abort();  // one byte per unit in Windows-1252
    utf8.resize(EncodeValue(substituted, true, utf8.data()));
    if (utf8.size() > substituted.size() * 3) std::abort();
    const std::u16string back = platform::DecodeUtf8(utf8);
    if (back.size() != substituted.size()) std::abort();  // a lone surrogate becomes one U+FFFD
    for (std::size_t i = 0; i < back.size(); ++i) {
        const char16_t c = substituted[i];
        const bool lone = c >= 0xD800 && c <= 0xDFFF &&
                          !((c <= 0xDBFF && i + 1 < back.size() && substituted[i + 1] >= 0xDC00 &&
                             substituted[i + 1] <= 0xDFFF) ||
                            (c >= 0xDC00 && i > 0 && substituted[i - 1] >= 0xD800 && substituted[i - 1] <= 0xDBFF));
        if (back[i] != (lone ? u'\uFFFD' : c)) std::abort();
    }
    return 0;
}
