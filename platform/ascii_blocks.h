// Plain ASCII, the usual content of paths and values, converted between bytes and UTF-16 units a
// block at a time. The compiler's vector types make each block a handful of instructions where
// the machine has vector registers, and plain word arithmetic where it has not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkaron {

namespace ascii_detail {
typedef std::uint16_t Units8 __attribute__((vector_size(16)));
typedef std::uint8_t Bytes16 __attribute__((vector_size(16)));

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a unit's low byte comes first");

inline bool AnyBitSet(Bytes16 v) {
    std::uint64_t words[2];
    std::memcpy(words, &v, sizeof words);
    return (words[0] | words[1]) != 0;
}
}  // namespace ascii_detail

// Narrows the leading ASCII units of in[0, count) to bytes in out, in blocks of sixteen or eight,
// up to the first block that holds anything else; returns how many units it narrowed (a multiple
// of 8).
inline std::size_t NarrowAsciiBlocks(const char16_t* in, std::size_t count, char* out) {
    using namespace ascii_detail;
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        Units8 low, high;
        std::memcpy(&low, in + i, sizeof low);
        std::memcpy(&high, in + i + 8, sizeof high);
        if (AnyBitSet((Bytes16)((low | high) & 0xFF80))) return i;
        const Bytes16 bytes = __builtin_shufflevector((Bytes16)low, (Bytes16)high,
                                                      0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        std::memcpy(out + i, &bytes, sizeof bytes);
    }
    if (i + 8 <= count) {
        Units8 units;
        std::memcpy(&units, in + i, sizeof units);
        if (AnyBitSet((Bytes16)(units & 0xFF80))) return i;
        const Bytes16 bytes = __builtin_shufflevector((Bytes16)units, Bytes16{},
                                                      0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        std::memcpy(out + i, &bytes, 8);
        i += 8;
    }
    return i;
}

// Widens the leading ASCII bytes of in[0, count) to units in out, in blocks of sixteen or eight,
// up to the first block that holds anything else or a zero byte; returns how many bytes it
// widened.
inline std::size_t WidenAsciiBlocks(const char* in, std::size_t count, char16_t* out) {
    using namespace ascii_detail;
    const Bytes16 zero = {};
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        Bytes16 bytes;
        std::memcpy(&bytes, in + i, sizeof bytes);
        if (AnyBitSet(((bytes - 1) | bytes) & 0x80)) return i;  // a zero byte wraps to FF
        const Bytes16 low =
            __builtin_shufflevector(bytes, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const Bytes16 high =
            __builtin_shufflevector(bytes, zero, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        std::memcpy(out + i, &low, sizeof low);
        std::memcpy(out + i + 8, &high, sizeof high);
    }
    if (i + 8 <= count) {
        std::uint64_t word;
        std::memcpy(&word, in + i, sizeof word);
        // As above; a borrow only ever runs on from a zero byte, which stops the block anyway.
        if (((word - 0x0101010101010101u) | word) & 0x8080808080808080u) return i;
        Bytes16 bytes = zero;
        std::memcpy(&bytes, &word, sizeof word);
        const Bytes16 units =
            __builtin_shufflevector(bytes, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        std::memcpy(out + i, &units, sizeof units);
        i += 8;
    }
    return i;
}

// How many units of text come before its first zero unit. Where the machine compares eight units
// at once, text is read in aligned blocks of 16 bytes, and the last block may reach past the
// zero: an aligned block never straddles two pages, so it is as readable as the zero unit inside
// it, and nothing past that unit is used. The address checker is told so.
__attribute__((no_sanitize("address"))) inline std::size_t UnitsBeforeZero(const char16_t* text) {
#if defined(__SSE2__)
    const auto address = reinterpret_cast<std::uintptr_t>(text);
    if (address % sizeof(char16_t) == 0) {
        // One bit per byte of a block, set for both bytes of each zero unit.
        const auto zeroBits = [](const char* block) {
            const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_setzero_si128())));
        };
        const char* block = reinterpret_cast<const char*>(address & ~std::uintptr_t{15});
        asm("" : "+r"(block));  // the compiler need not know which object the block lies in
        unsigned bits = zeroBits(block) >> (address % 16);  // no unit before text counts
        if (bits != 0) return static_cast<std::size_t>(__builtin_ctz(bits)) / 2;
        do {
            block += 16;
            bits = zeroBits(block);
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
