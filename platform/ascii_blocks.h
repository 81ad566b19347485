// Runs of plain ASCII (the usual content of paths and values) and of two-byte characters,
// converted between bytes and UTF-16 units a block at a time. Where the machine has SSE2 a block
// is a handful of vector instructions; elsewhere the same steps go unit by unit.
//
// Each step writes a whole block, and returns how many of its leading units or bytes belong to
// the run; what it wrote past the run is scratch, which the caller's next step writes over. So a
// caller needs a whole block left to read, and room for a whole block to write.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkaron {

#if defined(__SSE2__)
namespace ascii_detail {
inline __m128i LoadUnaligned(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void StoreUnaligned(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
// How many of the bits of mask, from the lowest, are clear before the first set bit at or past
// `width`.
inline unsigned LeadingClear(unsigned mask, unsigned width) {
    return static_cast<unsigned>(__builtin_ctz(mask | (1u << width)));
}
// How many of the sixteen bits of ascii, from the lowest, are set before the first clear one.
// Where whole blocks are the usual case (a loop that goes on while they are whole), one test
// answers for them.
inline unsigned LeadingSet16(unsigned ascii, bool wholeUsual) {
    return wholeUsual && ascii == 0xFFFF ? 16 : static_cast<unsigned>(__builtin_ctz(~ascii));
}
// One bit per byte, set for a byte that is ASCII other than zero: bytes 01 to 7F are the ones
// above zero when read as signed. Units packed to bytes give the same bits as the units would:
// packing saturates units 0080 to 7FFF to FF, and the rest (8000 and above, read as negative) to
// zero, like the zero unit itself.
inline unsigned AsciiBits(__m128i bytes) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(bytes, _mm_setzero_si128())));
}
}  // namespace ascii_detail
#endif

// in[0, 16) narrowed to out[0, 16); returns how many leading units are ASCII other than zero.
inline unsigned NarrowAscii16(const char16_t* in, char* out) {
#if defined(__SSE2__)
    using namespace ascii_detail;
    const __m128i bytes = _mm_packus_epi16(LoadUnaligned(in), LoadUnaligned(in + 8));
    StoreUnaligned(out, bytes);
    return LeadingSet16(AsciiBits(bytes), true);
#else
    unsigned i = 0;
    for (; i < 16 && in[i] - 1u < 0x7F; ++i) out[i] = static_cast<char>(in[i]);
    return i;
#endif
}

// in[0, 8) narrowed to out[0, 8); returns how many leading units are ASCII other than zero.
inline unsigned NarrowAscii8(const char16_t* in, char* out) {
#if defined(__SSE2__)
    using namespace ascii_detail;
    const __m128i bytes = _mm_packus_epi16(LoadUnaligned(in), LoadUnaligned(in));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    return LeadingClear(~AsciiBits(bytes), 8);
#else
    unsigned i = 0;
    for (; i < 8 && in[i] - 1u < 0x7F; ++i) out[i] = static_cast<char>(in[i]);
    return i;
#endif
}

// in[0, 8) as two-byte UTF-8 forms in out[0, 16); returns how many leading units are
// U+0080 to U+07FF, the characters those forms are right for.
inline unsigned TwoByteUtf8Forms8(const char16_t* in, char* out) {
#if defined(__SSE2__)
    using namespace ascii_detail;
    const __m128i units = LoadUnaligned(in), zero = _mm_setzero_si128();
    // 110xxxxx from the high five bits, then 10xxxxxx from the low six.
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(units, 6), _mm_set1_epi16(0xC0));
    const __m128i trail = _mm_slli_epi16(_mm_and_si128(units, _mm_set1_epi16(0x3F)), 8);
    StoreUnaligned(out, _mm_or_si128(_mm_or_si128(lead, trail), _mm_set1_epi16(static_cast<short>(0x8000))));
    // Two bits a unit: set for a unit in the range (below U+0800 and not ASCII).
    const __m128i ascii =
        _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
    const __m128i small =
        _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xF800))), zero);
    const unsigned inside = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(ascii, small)));
    return LeadingClear(~inside, 16) / 2;
#else
    unsigned i = 0;
    for (; i < 8 && in[i] >= 0x80 && in[i] < 0x800; ++i) {
        out[2 * i] = static_cast<char>(0xC0 | (in[i] >> 6));
        out[2 * i + 1] = static_cast<char>(0x80 | (in[i] & 0x3F));
    }
    return i;
#endif
}

// in[0, 16) widened to out[0, 16); returns how many leading bytes are ASCII other than zero.
// wholeUsual: see LeadingSet16.
inline unsigned WidenAscii16(const char* in, char16_t* out, [[maybe_unused]] bool wholeUsual = true) {
#if defined(__SSE2__)
    using namespace ascii_detail;
    const __m128i bytes = LoadUnaligned(in), zero = _mm_setzero_si128();
    StoreUnaligned(out, _mm_unpacklo_epi8(bytes, zero));
    StoreUnaligned(out + 8, _mm_unpackhi_epi8(bytes, zero));
    return LeadingSet16(AsciiBits(bytes), wholeUsual);
#else
    unsigned i = 0;
    for (; i < 16 && static_cast<unsigned char>(in[i] - 1) < 0x7F; ++i) out[i] = static_cast<unsigned char>(in[i]);
    return i;
#endif
}

// The leading ASCII units of in[0, count), up to a zero unit, narrowed to out; returns how many
// there are.
inline std::size_t NarrowAsciiRun(const char16_t* in, std::size_t count, char* out) {
    std::size_t i = 0;
    if (count < 16) {
        for (; i < count && in[i] - 1u < 0x7F; ++i) out[i] = static_cast<char>(in[i]);
        return i;
    }
    for (; count - i > 16; i += 16) {
        const unsigned run = NarrowAscii16(in + i, out + i);
        if (run < 16) return i + run;
    }
    // The last block ends at count, going again over units already done.
    return count - 16 + NarrowAscii16(in + count - 16, out + count - 16);
}

// The leading ASCII bytes of in[0, count), up to a zero byte, widened to out; returns how many
// there are.
inline std::size_t WidenAsciiRun(const char* in, std::size_t count, char16_t* out) {
    std::size_t i = 0;
    if (count < 16) {
        for (; i < count && static_cast<unsigned char>(in[i] - 1) < 0x7F; ++i) {
            out[i] = static_cast<unsigned char>(in[i]);
        }
        return i;
    }
    for (; count - i > 16; i += 16) {
        const unsigned run = WidenAscii16(in + i, out + i);
        if (run < 16) return i + run;
    }
    return count - 16 + WidenAscii16(in + count - 16, out + count - 16);
}

#if defined(__SSE2__)
namespace ascii_detail {
// One bit per byte of the aligned 16-byte block, set for both bytes of each zero unit.
__attribute__((no_sanitize("address", "thread"))) inline unsigned ZeroUnitBits(const char* block) {
    const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_setzero_si128())));
}
}  // namespace ascii_detail
#endif

// How many units of text come before its first zero unit. Where the machine compares eight units
// at once, text is read in aligned blocks of 16 bytes, and the last block may reach past the
// zero: an aligned block never straddles two pages, so it is as readable as the zero unit inside
// it, and nothing past that unit is used. The address and thread checkers are told so.
__attribute__((no_sanitize("address", "thread"))) inline std::size_t UnitsBeforeZero(const char16_t* text) {
#if defined(__SSE2__)
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    if (address % sizeof(char16_t) == 0) {
        using ascii_detail::ZeroUnitBits;
        const char* block = reinterpret_cast<const char*>(address & ~std::uintptr_t{15});
        asm("" : "+r"(block));  // the compiler need not know which object the block lies in
        unsigned bits = ZeroUnitBits(block) >> (address % 16);  // no unit before text counts
        if (bits != 0) return static_cast<std::size_t>(__builtin_ctz(bits)) / 2;
        do {
            block += 16;
            bits = ZeroUnitBits(block);
        } while (bits == 0);
        return static_cast<std::size_t>(block + __builtin_ctz(bits) - reinterpret_cast<const char*>(text)) / 2;
    }
#endif
    // Four units a round: the same test as a plain loop, with a quarter of its jumps.
    std::size_t n = 0;
    for (;; n += 4) {
        if (text[n] == 0) return n;
        if (text[n + 1] == 0) return n + 1;
        if (text[n + 2] == 0) return n + 2;
        if (text[n + 3] == 0) return n + 3;
    }
}

}  // namespace velkaron
