#include "platform/codepage.h"

#include <cstdint>

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

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::u16string DecodeWindows1252(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

std::string EncodeWindows1252(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(Encode1252Char(c));
    return out;
}

std::u16string DecodeUtf8(const std::string& bytes) {
    constexpr char16_t kReplacement = 0xFFFD;
    std::u16string out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
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
            out.push_back(kReplacement);
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
        if (ok) {
            AppendCodePoint(out, cp);
        } else {
            out.push_back(kReplacement);
        }
        i = j;
    }
    return out;
}

std::string EncodeUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((std::uint32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
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

}  // namespace velkaron::platform
