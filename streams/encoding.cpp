#include "streams/encoding.h"

#include "platform/ascii_blocks.h"
#include "platform/platform.h"

namespace velkaron {

namespace {
// 00-BF: 0 (continuation bytes are never looked up as leads); C0-DF: 1; E0-EF: 2; F0-F7: 3;
// F8-FB: 4; FC-FF: 5.
constexpr std::uint8_t TrailCount(int b) {
    return b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF8 ? 3 : b < 0xFC ? 4 : 5;
}

// in[0, end) decoded as UTF-8 into out, if every sequence in it is well formed (no overlong form,
// no surrogate, nothing past U+10FFFF) and no byte is zero: the end of what was written, else null.
char16_t* DecodeWellFormedUtf8(const unsigned char* in, const unsigned char* end, char16_t* out) {
    // A continuation byte's six bits, or 0x40 and more for any other byte (those below 0x80 wrap).
    const auto continuation = [](unsigned char b) -> std::uint32_t { return b - 0x80u; };
    // The character of a two-byte sequence at p, or zero where the sequence is not well formed.
    const auto twoByte = [&](const unsigned char* p) -> std::uint32_t {
        if (p[0] - 0xC2u > 0xDF - 0xC2 || continuation(p[1]) >= 0x40) return 0;
        return ((p[0] & 0x1Fu) << 6) | continuation(p[1]);
    };
    // The character of a three-byte sequence at p, or zero where the sequence is not well formed.
    const auto threeByte = [&](const unsigned char* p) -> std::uint32_t {
        if (p[0] - 0xE0u > 0xEF - 0xE0 || (continuation(p[1]) | continuation(p[2])) >= 0x40) return 0;
        const std::uint32_t cp = ((p[0] & 0x0Fu) << 12) | (continuation(p[1]) << 6) | continuation(p[2]);
        return cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : cp;
    };
    // While in is before this, a block of sixteen bytes is left to read.
    const unsigned char* const blocksEnd = end - in >= 16 ? end - 15 : in;
    while (in < end) {
        // While a block is left to read: runs of ASCII a block at a time, and two- and three-byte
        // characters (the usual ones in text of the Latin, Greek and Cyrillic scripts, and of the
        // East Asian ones) on the spot. Units never outnumber the bytes read, so a block's units
        // stay inside out's room.
        while (in < blocksEnd) {
            if (*in - 1u < 0x7F) {
                // ASCII other than zero: a run of one byte at least, mostly of a few.
                const std::size_t run = WidenAscii16(reinterpret_cast<const char*>(in), out, false);
                in += run;
                out += run;
                continue;
            }
            std::uint32_t cp = twoByte(in);
            if (cp != 0) {
                *out++ = static_cast<char16_t>(cp);
                in += 2;
                continue;
            }
            cp = threeByte(in);
            if (cp == 0) break;
            *out++ = static_cast<char16_t>(cp);
            in += 3;
        }
        if (in == end) break;
        const std::uint32_t lead = *in;
        const std::size_t left = static_cast<std::size_t>(end - in);
        if (lead - 1 < 0x7F) {
            // A run of ASCII in the last few bytes.
            do *out++ = *in++;
            while (in < end && *in - 1u < 0x7F);
        } else if (const std::uint32_t two = left >= 2 ? twoByte(in) : 0; two != 0) {
            *out++ = static_cast<char16_t>(two);
            in += 2;
        } else if (lead >= 0xE0 && lead <= 0xEF && left >= 3) {
            const std::uint32_t cp = threeByte(in);
            if (cp == 0) return nullptr;
            *out++ = static_cast<char16_t>(cp);
            in += 3;
        } else if (lead >= 0xF0 && lead <= 0xF4 && left >= 4 &&
                   (continuation(in[1]) | continuation(in[2]) | continuation(in[3])) < 0x40) {
            const std::uint32_t cp = ((lead & 0x07) << 18) | (continuation(in[1]) << 12) |
                                     (continuation(in[2]) << 6) | continuation(in[3]);
            if (cp < 0x10000 || cp > 0x10FFFF) return nullptr;
            *out++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            in += 4;
        } else {
            return nullptr;
        }
    }
    return out;
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
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
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

std::u16string_view HostText(const char16_t* text) {
    if (text == nullptr) return {};
    return {text, UnitsBeforeZero(text)};
}

// DecodeContents past its leading ASCII: the first `ascii` units are already in out.
static std::size_t DecodeBeyondAscii(std::string_view bytes, std::size_t ascii, bool readUtf8,
                                                       char16_t* out, bool* mayHoldZero) {
    if (readUtf8 && bytes[ascii] != 0) {
        // Well-formed UTF-8 from here to the end, without a zero byte, passes the UTF-8 test (its
        // first byte past the ASCII starts a sequence) and decodes to what the decoder would
        // make: one pass does both. Anything else takes the careful way below.
        const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
        char16_t* const end = DecodeWellFormedUtf8(in + ascii, in + bytes.size(), out + ascii);
        if (end != nullptr) {
            if (mayHoldZero != nullptr) *mayHoldZero = false;
            return static_cast<std::size_t>(end - out);
        }
    }
    if (mayHoldZero != nullptr) *mayHoldZero = true;
    if (readUtf8 && IsUtf8Text(bytes, true)) return platform::FromUtf8(bytes, out);
    return platform::FromAnsi(bytes, out);
}

std::size_t DecodeContents(std::string_view bytes, bool readUtf8, char16_t* out, bool* mayHoldZero) {
    // Plain ASCII without a zero byte, the common case, reads the same in UTF-8 and in every
    // ANSI code page: it is widened in one pass, a block at a time, without the UTF-8 test or a
    // code-page call.
    const std::size_t n = bytes.size();
    const std::size_t ascii = WidenAsciiRun(bytes.data(), n, out);
    if (ascii < n) return DecodeBeyondAscii(bytes, ascii, readUtf8, out, mayHoldZero);
    if (mayHoldZero != nullptr) *mayHoldZero = false;
    return ascii;
}

std::size_t EncodeValue(std::u16string_view value, bool writeUtf8, char* out) {
    return writeUtf8 ? platform::ToUtf8(value, out) : platform::ToAnsi(value, out);
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

}  // namespace velkaron
