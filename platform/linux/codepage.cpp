#include "platform/linux/codepage.h"

#include <cstdint>

#include "platform/ascii_blocks.h"

namespace velkaron::platform {
namespace {

// Windows-1252 bytes 80 to 9F; the rest of the code page is the identity.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char Encode1252Char(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (unsigned i = 0; i < 32; ++i) {
        if (kHigh1252[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Writes cp as one or two UTF-16 units; returns the position after them.
char16_t* PutCodePoint(char16_t* out, std::uint32_t cp) {
    if (cp < 0x10000) {
        *out++ = static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
    return out;
}

// The string form of a conversion into a buffer: room for the most it can make, then cut.
template <typename Out, typename In>
Out Converted(In in, std::size_t room, std::size_t (*convert)(In, typename Out::value_type*)) {
    Out out(room, typename Out::value_type());
    out.resize(convert(in, out.data()));
    return out;
}

}  // namespace

std::size_t DecodeWindows1252(std::string_view bytes, char16_t* out) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : static_cast<char16_t>(b);
    }
    return bytes.size();
}

std::size_t EncodeWindows1252(std::u16string_view text, char* out) {
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = Encode1252Char(text[i]);
    return text.size();
}

// Escape: a byte that no valid sequence holds becomes U+DC00 + byte, one unit a byte, in place of
// Windows' one U+FFFD a malformed sequence.
template <bool Escape>
std::size_t DecodeUtf8As(std::string_view bytes, char16_t* const start) {
    constexpr char16_t kReplacement = 0xFFFD;
    char16_t* out = start;
    const std::size_t n = bytes.size();
    // Plain ASCII, most of a value or a name: the leading run a block at a time.
    std::size_t i = ascii::WidenRun(bytes.data(), n, out);
    out += i;
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            const std::size_t run = ascii::WidenRun(bytes.data() + i, n - i, out);
            if (run == 0) *out = 0;  // a zero byte
            out += run + (run == 0);
            i += run + (run == 0);
            continue;
        }
        if (lead - 0xC2u <= 0xDF - 0xC2 && i + 1 < n && IsContinuation(static_cast<unsigned char>(bytes[i + 1]))) {
            // A whole two-byte sequence, the most common kind, without the general steps below.
            *out++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F));
            i += 2;
            continue;
        }
        int trail;
        std::uint32_t cp;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            cp = lead & 0x07;
        } else {  // a stray continuation byte, C0, C1 or F5 to FF
            *out++ = Escape ? static_cast<char16_t>(0xDC00 | lead) : kReplacement;
            ++i;
            continue;
        }
        // The second byte has a narrower range after E0, ED, F0 and F4. A continuation byte
        // outside that range is still taken into the bad sequence before it is rejected.
        unsigned char low = 0x80, high = 0xBF;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < trail; ++k, ++j) {
            if (j >= n || !IsContinuation(static_cast<unsigned char>(bytes[j]))) {
                ok = false;
                break;
            }
            const auto b = static_cast<unsigned char>(bytes[j]);
            if (k == 0 && (b < low || b > high)) {
                ++j;
                ok = false;
                break;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        // A good sequence of n bytes gives at most n / 2 units, a bad one of n bytes gives one
        // (escaped: its lead alone, the rest read afresh).
        if (ok) {
            out = PutCodePoint(out, cp);
        } else if (Escape) {
            *out++ = static_cast<char16_t>(0xDC00 | lead);
            j = i + 1;
        } else {
            *out++ = kReplacement;
        }
        i = j;
    }
    return static_cast<std::size_t>(out - start);
}

// Escape: a lone U+DC80 to U+DCFF is the byte it carries, in place of U+FFFD.
template <bool Escape>
std::size_t EncodeUtf8As(std::u16string_view text, char* const start) {
    const char16_t* const in = text.data();
    const std::size_t n = text.size();
    // Plain ASCII, most of a path or a value: the leading run a block at a time.
    std::size_t i = ascii::NarrowRun(in, n, start);
    char* out = start + i;
    for (; i < n; ++i) {
        std::uint32_t c = in[i];
        if (c < 0x80) {  // a later run, likewise
            const std::size_t run = ascii::NarrowRun(in + i, n - i, out);
            if (run == 0) *out = 0;  // a zero unit
            out += run + (run == 0);
            i += run + (run == 0) - 1;
            continue;
        }
        if (c < 0x800) {
            out[0] = static_cast<char>(0xC0 | (c >> 6));
            out[1] = static_cast<char>(0x80 | (c & 0x3F));
            out += 2;
            continue;
        }
        if (c - 0xD800 < 0x800) {
            // A surrogate pair is one character; a lone surrogate becomes U+FFFD.
            if (c <= 0xDBFF && i + 1 < n && in[i + 1] - 0xDC00u < 0x400) {
                c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00u);
            } else if (Escape && c - 0xDC80 < 0x80) {
                *out++ = static_cast<char>(c & 0xFF);
                continue;
            } else {
                c = 0xFFFD;
            }
        }
        // The lead byte, then six bits a continuation byte, the highest first.
        const int trail = c < 0x10000 ? 2 : 3;
        *out++ = static_cast<char>((trail == 2 ? 0xE0 : 0xF0) | (c >> (6 * trail)));
        for (int k = trail - 1; k >= 0; --k) *out++ = static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t DecodeUtf8(std::string_view bytes, char16_t* out) { return DecodeUtf8As<false>(bytes, out); }
std::size_t EncodeUtf8(std::u16string_view text, char* out) { return EncodeUtf8As<false>(text, out); }
std::size_t DecodePath(std::string_view bytes, char16_t* out) { return DecodeUtf8As<true>(bytes, out); }
std::size_t EncodePath(std::u16string_view text, char* out) { return EncodeUtf8As<true>(text, out); }

std::u16string DecodeWindows1252(std::string_view bytes) {
    return Converted<std::u16string, std::string_view>(bytes, bytes.size(), DecodeWindows1252);
}
std::string EncodeWindows1252(std::u16string_view text) {
    return Converted<std::string, std::u16string_view>(text, text.size(), EncodeWindows1252);
}
std::u16string DecodeUtf8(std::string_view bytes) {
    return Converted<std::u16string, std::string_view>(bytes, bytes.size(), DecodeUtf8);
}
std::string EncodeUtf8(std::u16string_view text) {
    return Converted<std::string, std::u16string_view>(text, text.size() * 3, EncodeUtf8);
}
std::u16string DecodePath(std::string_view bytes) {
    return Converted<std::u16string, std::string_view>(bytes, bytes.size(), DecodePath);
}
std::string EncodePath(std::u16string_view text) {
    return Converted<std::string, std::u16string_view>(text, text.size() * 3, EncodePath);
}

}  // namespace velkaron::platform
