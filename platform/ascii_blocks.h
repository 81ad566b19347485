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
// One step of NarrowTerminated over the aligned block at block, narrowed to out: the stops among
// the units kept (keep: a bit a unit; keepBytes: two bits a unit). A function of its own, not a
// lambda, since the checkers' exemption does not reach into a lambda.
__attribute__((no_sanitize("address", "thread")))
inline unsigned NarrowStep(const char16_t* block, char* out, unsigned keep, unsigned keepBytes) {
    const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    const bool ends = (_mm_movemask_epi8(_mm_cmpeq_epi16(first, _mm_setzero_si128())) & keepBytes) != 0;
    const __m128i second = ends ? first : _mm_load_si128(reinterpret_cast<const __m128i*>(block + 8));
    const __m128i bytes = _mm_packus_epi16(first, second);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    return Stops(bytes) & keep;
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

// Where the first CR or LF of in[0, n) is; n when there is none. A line of an INI text ends
// there.
inline std::size_t LineEnd(const char* in, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (const unsigned ends = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))))) {
            return i + static_cast<unsigned>(__builtin_ctz(ends));
        }
    }
#endif
    while (i < n && in[i] != '\r' && in[i] != '\n') ++i;
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

// Whether the zero-terminated text is plain ASCII (units 0001-007F) and shorter than room: then
// length gets its units, narrowed into out (room bytes, and seven before out that may be
// overwritten, as may bytes after the text within room). One pass that finds the end and
// converts; false leaves the general way to the caller. Like TerminatedLength it reads aligned
// blocks, the last of them past the terminator.
#if defined(__SSE2__)
__attribute__((no_sanitize("address", "thread")))
inline bool NarrowTerminated(const char16_t* text, char* out, std::size_t room, std::size_t& length) {
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    if (address % 2 != 0) return false;
    const char16_t* block = reinterpret_cast<const char16_t*>(address & ~std::uintptr_t{15});
    // Sixteen units a step from the aligned block that holds text's start, whose units before
    // text are masked off; the second block of a step is loaded only when the first holds no
    // zero, so that no load lies wholly past the terminator. See NarrowRun for the packing,
    // which keeps 0001-007F and turns every other unit into a stop.
    const unsigned skip = static_cast<unsigned>(text - block);
    const auto step = [&](std::ptrdiff_t at, unsigned keep, unsigned keepBytes) {
        return detail::NarrowStep(block, out + at, keep, keepBytes);
    };
    const auto stopAt = [&](std::ptrdiff_t at, unsigned stops) {
        length = static_cast<std::size_t>(at + static_cast<unsigned>(__builtin_ctz(stops)));
        return text[length] == 0;
    };
    std::ptrdiff_t at = -static_cast<std::ptrdiff_t>(skip);
    if (room < 16) return false;
    if (const unsigned stops = step(at, ~0u << skip, ~0u << 2 * skip)) return stopAt(at, stops);
    for (at += 16, block += 16; at + 16 <= static_cast<std::ptrdiff_t>(room); at += 16, block += 16) {
        if (const unsigned stops = step(at, ~0u, ~0u)) return stopAt(at, stops);
    }
    return false;
}
#else
inline bool NarrowTerminated(const char16_t* text, char* out, std::size_t room, std::size_t& length) {
    for (std::size_t i = 0; i < room; ++i) {
        if (text[i] == 0) {
            length = i;
            return true;
        }
        if (text[i] >= 0x80) return false;
        out[i] = static_cast<char>(text[i]);
    }
    return false;
}
#endif

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
    __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero))) >> skip;
    if (found != 0) return static_cast<unsigned>(__builtin_ctz(found)) / 2;
    // One aligned block at a time, never one wholly past the terminator's (memory checkers allow
    // a load that is partly outside its block, not one that is wholly so).
    for (;;) {
        block += 16;
        v = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
        found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)));
        if (found != 0) {
            return static_cast<std::size_t>(block - reinterpret_cast<const char*>(text) + __builtin_ctz(found)) / 2;
        }
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
