// Plain ASCII, the usual content of paths and values, converted between bytes and UTF-16 units a
// block at a time. The compiler's vector types make each block a handful of instructions where
// the machine has vector registers, and plain word arithmetic where it has not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

}  // namespace velkaron
