// Runs of plain ASCII and the end of a zero-terminated text, found sixteen bytes or eight UTF-16
// units at a time: the block steps under the converters of both layers (the text module's
// decoding, the Linux layer's code pages and paths), which a file name or a value of ordinary
// size crosses in a few blocks. SSE2 where the compiler targets it (every x86-64); elsewhere,
// such as the 32-bit build, the plain loops below give the same answers one unit at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkaron::ascii {

#if defined(__SSE2__)
namespace detail {
// A set bit for each of the sixteen bytes that is zero or has its high bit set.
inline unsigned Stops(__m128i bytes) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(bytes, _mm_cmpeq_epi8(bytes, _mm_setzero_si128()))));
}
// The run over blocks of sixteen: step(at) converts the block at at and returns its Stops. The
// last block overlaps the one before it rather than leaving a short tail; n is at least 16.
template <typename Step>
inline std::size_t BlockRun(std::size_t n, Step step) {
    std::size_t at = 0;
    for (; at + 16 <= n; at += 16) {
        if (const unsigned stops = step(at)) return at + static_cast<unsigned>(__builtin_ctz(stops));
    }
    if (at == n) return n;
    at = n - 16;
    const unsigned stops = step(at);
    return stops != 0 ? at + static_cast<unsigned>(__builtin_ctz(stops)) : n;
}
}  // namespace detail
#endif

// The length of the run of bytes 01-7F at the start of in[0, n). out, with room for n units,
// gets the run widened to UTF-16; units after the run, up to n, may be overwritten too.
inline std::size_t WidenRun(const char* in, std::size_t n, char16_t* out) {
#if defined(__SSE2__)
    if (n >= 16) {
        return detail::BlockRun(n, [&](std::size_t at) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)), zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 8), _mm_unpackhi_epi8(v, zero));
            return detail::Stops(v);
        });
    }
#endif
    std::size_t i = 0;
    for (; i < n; ++i) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b == 0 || b >= 0x80) break;
        out[i] = b;
    }
    return i;
}

// The length of the run of bytes 01-7F at the start of in[0, n).
inline std::size_t Run(const char* in, std::size_t n) {
#if defined(__SSE2__)
    if (n >= 16) {
        return detail::BlockRun(n, [&](std::size_t at) {
            return detail::Stops(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)));
        });
    }
#endif
    std::size_t i = 0;
    while (i < n && static_cast<unsigned char>(in[i] - 1) < 0x7F) ++i;
    return i;
}

// The length of the run of units 0001-007F at the start of in[0, n). out, with room for n
// bytes, gets the run narrowed to bytes; bytes after the run, up to n, may be overwritten too.
inline std::size_t NarrowRun(const char16_t* in, std::size_t n, char* out) {
#if defined(__SSE2__)
    if (n >= 16) {
        return detail::BlockRun(n, [&](std::size_t at) {
            // Packing with unsigned saturation keeps 0001-007F, makes 0080-7FFF a byte with its high
            // bit set and 8000-FFFF (negative to the instruction) zero: each stops the run.
            const __m128i bytes = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)),
                                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at + 8)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), bytes);
            return detail::Stops(bytes);
        });
    }
#endif
    std::size_t i = 0;
    for (; i < n; ++i) {
        const char16_t c = in[i];
        if (c == 0 || c >= 0x80) break;
        out[i] = static_cast<char>(c);
    }
    return i;
}

// The units before the first zero unit of text. The vector loop reads whole aligned blocks,
// which never cross into another page, so it may read past the terminator within its block;
// the address and thread checkers are told so, since no unit past it is used.
#if defined(__SSE2__)
__attribute__((no_sanitize("address", "thread")))
inline std::size_t TerminatedLength(const char16_t* text) {
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    if (address % 2 != 0) {  // units that straddle the blocks: one at a time
        std::size_t n = 0;
        while (text[n] != 0) ++n;
        return n;
    }
    const __m128i zero = _mm_setzero_si128();
    const char* block = reinterpret_cast<const char*>(address & ~std::uintptr_t{15});
    const unsigned skip = static_cast<unsigned>(address & 15);
    const auto at = [&](const char* stop, unsigned bit) {
        return static_cast<std::size_t>(stop - reinterpret_cast<const char*>(text)) / 2 + bit;
    };
    unsigned found = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero))) >> skip;
    if (found != 0) return static_cast<unsigned>(__builtin_ctz(found)) / 2;
    block += 16;
    if (reinterpret_cast<std::uintptr_t>(block) & 16) {  // to a 32-byte boundary, so a pair shares a page
        found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero)));
        if (found != 0) return at(block, static_cast<unsigned>(__builtin_ctz(found)) / 2);
        block += 16;
    }
    // Sixteen units a step: the two blocks' comparisons packed to one byte a unit.
    for (;; block += 32) {
        const __m128i low = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block)), zero);
        const __m128i high = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block + 16)), zero);
        found = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        if (found != 0) return at(block, static_cast<unsigned>(__builtin_ctz(found)));
    }
}
#else
inline std::size_t TerminatedLength(const char16_t* text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}
#endif

}  // namespace velkaron::ascii
