#include "text/encoding.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/ascii_blocks.h"
#include "platform/platform.h"

namespace velkaron {

namespace {
// 00-BF: 0 (continuation bytes are never looked up as leads); C0-DF: 1; E0-EF: 2; F0-F7: 3;
// F8-FB: 4; FC-FF: 5.
constexpr std::uint8_t TrailCount(int b) {
    return b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5;
}

}  // namespace

const std::uint8_t Utf8TrailTable[256] = {
#define ROW16(b) TrailCount(b), TrailCount(b + 1), TrailCount(b + 2), TrailCount(b + 3), \
    TrailCount(b + 4), TrailCount(b + 5), TrailCount(b + 6), TrailCount(b + 7), TrailCount(b + 8), \
    TrailCount(b + 9), TrailCount(b + 10), TrailCount(b + 11), TrailCount(b + 12), \
    TrailCount(b + 13), TrailCount(b + 14), TrailCount(b + 15)
    ROW16(0x00), ROW16(0x10), ROW16(0x20), ROW16(0x30), ROW16(0x40), ROW16(0x50), ROW16(0x60),
    ROW16(0x70), ROW16(0x80), ROW16(0x90), ROW16(0xA0), ROW16(0xB0), ROW16(0xC0), ROW16(0xD0),
    ROW16(0xE0), ROW16(0xF0)
#undef ROW16
};

bool IsUtf8Text(std::string_view bytes, bool allowCutTail) {
    int pending = 0;
    bool sawMulti = false;
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (pending == 0 && static_cast<unsigned char>(bytes[i] - 1) < 0x7F) {  // plain ASCII changes nothing here
            i += ascii::Run(bytes.data() + i, n - i);
            if (i == n) break;
        }
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0) break;
        const bool continuation = (b & 0xC0) == 0x80;
        if (pending >= 1) {
            if (!continuation) return false;
            sawMulti = true;
            --pending;
        } else if (continuation) {
            return false;
        } else {
            pending = Utf8TrailTable[b];
        }
    }
    if (!sawMulti) return false;  // plain ASCII is not taken as UTF-8
    return allowCutTail || pending == 0;
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // How many continuation bytes follow, and the range of the first: narrower after E0 and
        // F0 (no overlong forms), ED (no surrogates) and F4 (nothing past U+10FFFF).
        std::size_t trail;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            low = lead == 0xE0 ? 0xA0 : low;
            high = lead == 0xED ? 0x9F : high;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            low = lead == 0xF0 ? 0x90 : low;
            high = lead == 0xF4 ? 0x8F : high;
        } else {
            return false;
        }
        if (bytes.size() - i <= trail) return false;
        for (std::size_t k = 1; k <= trail; ++k, low = 0x80, high = 0xBF) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (next < low || next > high) return false;
        }
        i += trail + 1;
    }
    return true;
}

std::u16string_view HostText(const char16_t* text) {
    if (text == nullptr) return {};
    return {text, ascii::TerminatedLength(text)};
}

// DecodeContents past its leading ASCII run: out of line, so that the plain case stays a leaf.
__attribute__((noinline)) static std::size_t DecodeAfterRun(std::string_view bytes, std::size_t run, bool readUtf8,
                                                            char16_t* out, std::size_t& textUnits) {
    // The rest is converted from where the run stops, a character's start in either form. The run
    // holds no zero byte and no byte that the UTF-8 test weighs, so the test of the rest decides.
    const std::string_view rest = bytes.substr(run);
    const std::size_t count = run + (readUtf8 && IsUtf8Text(rest, true) ? platform::FromUtf8(rest, out + run)
                                                                        : platform::FromAnsi(rest, out + run));
    // Only a zero byte decodes to a zero unit.
    if (bytes[run] == 0) {
        textUnits = run;
    } else if (std::memchr(rest.data(), 0, rest.size()) == nullptr) {
        textUnits = count;
    } else {
        textUnits = static_cast<std::size_t>(std::find(out + run, out + count, u'\0') - out);
    }
    return count;
}

std::size_t DecodeContents(std::string_view bytes, bool readUtf8, char16_t* out, std::size_t& textUnits) {
    // Plain ASCII without a zero byte, the common case, reads the same in UTF-8 and in every ANSI
    // code page: it is widened as it is, without the UTF-8 test or a code-page call.
    const std::size_t run = ascii::WidenRun(bytes.data(), bytes.size(), out);
    if (run < bytes.size()) return DecodeAfterRun(bytes, run, readUtf8, out, textUnits);
    textUnits = run;
    return run;
}

std::size_t DecodeContents(std::string_view bytes, bool readUtf8, char16_t* out) {
    std::size_t textUnits;
    return DecodeContents(bytes, readUtf8, out, textUnits);
}

std::size_t EncodeValue(std::u16string_view value, bool writeUtf8, char* out) {
    // Plain ASCII is the same bytes in UTF-8 and in every ANSI code page: narrowed as it is, and
    // only the rest, from a character's start, goes to a converter.
    const std::size_t run = ascii::NarrowRun(value.data(), value.size(), out);
    if (run == value.size()) return run;
    const std::u16string_view rest = value.substr(run);
    return run + (writeUtf8 ? platform::ToUtf8(rest, out + run) : platform::ToAnsi(rest, out + run));
}

bool HasTypedLineBreak(std::u16string_view value) { return value.find(u"\\n") != value.npos; }

std::u16string SubstituteLineBreaks(std::u16string_view value) {
    std::u16string result;
    result.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size() && value[i + 1] == u'n') {
            result += u"\r\n";
            ++i;
        } else {
            result.push_back(value[i]);
        }
    }
    return result;
}

std::u16string DecodeUtf16Le(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return out;
}

}  // namespace velkaron
