#include "platform/mixed_blocks.h"

#include <array>
#include <cstdint>

#include "platform/utf8_form.h"

#if defined(__SSE2__)
#include <cpuid.h>
#include <smmintrin.h>
#endif

namespace velkaron {

#if defined(__SSE2__)

namespace {

// What the processor reports: the byte shuffle, the byte blend and the bit count the steps use,
// and whether the system saves the vector registers' wider state, which the three-operand forms
// need.
MixedBlocks MachineMixedBlocks() {
    unsigned a, b, c, d;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0 || (c & bit_SSE4_1) == 0 || (c & bit_POPCNT) == 0) {
        return MixedBlocks::None;
    }
    if ((c & bit_AVX) == 0 || (c & bit_OSXSAVE) == 0) return MixedBlocks::Shuffle;
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & 6) == 6 ? MixedBlocks::ThreeOperand : MixedBlocks::Shuffle;
}

#define VELKARON_MIXED __attribute__((target("sse4.1,popcnt")))

// A shuffle: where each of sixteen output bytes comes from, or 0x80 for a zero byte.
struct alignas(16) Shuffle {
    std::uint8_t from[16];
};

// By the two-byte lanes of eight UTF-8 forms (one bit a lane): the forms' bytes packed, the first
// byte of each lane and the second of the two-byte ones.
constexpr std::array<Shuffle, 256> FormPacking() {
    std::array<Shuffle, 256> table{};
    for (unsigned twoByte = 0; twoByte < 256; ++twoByte) {
        unsigned j = 0;
        for (unsigned lane = 0; lane < 8; ++lane) {
            table[twoByte].from[j++] = static_cast<std::uint8_t>(2 * lane);
            if ((twoByte >> lane) & 1) table[twoByte].from[j++] = static_cast<std::uint8_t>(2 * lane + 1);
        }
        while (j < 16) table[twoByte].from[j++] = 0x80;
    }
    return table;
}

constexpr std::array<Shuffle, 256> kFormPacking = FormPacking();

// Sixteen bytes from here at offset 16 - n move the last n bytes of a block to its front, with
// zero bytes after them.
alignas(16) constexpr std::uint8_t kLastBytes[32] = {
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

VELKARON_MIXED inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
VELKARON_MIXED inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// The steps' constants, eight lanes of each, read from memory where they are used: the compiler
// would otherwise build each in registers at every call, with a handful of instructions apiece.
struct alignas(16) Lanes {
    std::uint16_t lane[8];
};
enum StepConstant { kToTop, kAsciiTop, kLowSix, kLeadMarks };  // in the order of kStepConstants
constexpr Lanes kStepConstants[] = {{{0x7800, 0x7800, 0x7800, 0x7800, 0x7800, 0x7800, 0x7800, 0x7800}},
                                    {{0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F}},
                                    {{0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F}},
                                    {{0x80C0, 0x80C0, 0x80C0, 0x80C0, 0x80C0, 0x80C0, 0x80C0, 0x80C0}}};
VELKARON_MIXED inline __m128i Constant(StepConstant which) {
    const Lanes* table = kStepConstants;
    asm("" : "+r"(table));  // its contents unknown to the compiler, so it cannot build them instead
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table[which].lane));
}
// Eight forms packed, by their two-byte lanes.
VELKARON_MIXED inline __m128i Packed(__m128i forms, unsigned twoByte) {
    return _mm_shuffle_epi8(forms, _mm_load_si128(reinterpret_cast<const __m128i*>(kFormPacking[twoByte].from)));
}
// The last `count` (at most 16) bytes before end, then zero bytes; the 16 bytes before end are read.
VELKARON_MIXED inline __m128i LoadLast(const void* end, std::size_t count) {
    return _mm_shuffle_epi8(Load(static_cast<const char*>(end) - 16), Load(kLastBytes + 16 - count));
}
// Bits below the nth.
inline unsigned Below(unsigned n) { return (1u << n) - 1; }
// How many bits of bits are set.
VELKARON_MIXED inline unsigned Ones(unsigned bits) { return static_cast<unsigned>(__builtin_popcount(bits)); }

// The UTF-8 forms of eight units below U+0800, two bytes a lane where twoByte is set, one elsewhere.
VELKARON_MIXED inline __m128i Utf8Forms(__m128i units, __m128i twoByte) {
    // 110xxxxx from the high five bits, then 10xxxxxx from the low six.
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(units, 6), Constant(kLeadMarks));
    const __m128i trail = _mm_slli_epi16(_mm_and_si128(units, Constant(kLowSix)), 8);
    return _mm_blendv_epi8(units, _mm_or_si128(lead, trail), twoByte);
}

// What a step did: how many leading units it took, and which of the sixteen have two-byte forms
// (one bit a unit, in order).
struct Step {
    unsigned run;
    unsigned twoByte;
};

// Sixteen units (low, then high) as UTF-8 at out: takes the leading units below U+0800, up to
// limit of them. The forms of low go to out[0, 16); those of high after them, highBytes of them:
// 16, or 8 (enough for four units), or none. A zero unit's form is a zero byte, as any other
// ASCII unit's.
VELKARON_MIXED inline Step Utf8Step(__m128i low, __m128i high, char* out, unsigned highBytes, unsigned limit) {
    // U+0800 and above are the units that a saturating addition of 7800 takes to 8000 and above:
    // negative when read as signed, so packed to bytes with their top bit set.
    const __m128i toTop = Constant(kToTop), ascii = Constant(kAsciiTop);
    const __m128i beyond = _mm_packs_epi16(_mm_adds_epu16(low, toTop), _mm_adds_epu16(high, toTop));
    const unsigned outside = static_cast<unsigned>(_mm_movemask_epi8(beyond));
    const __m128i twoLow = _mm_cmpgt_epi16(low, ascii), twoHigh = _mm_cmpgt_epi16(high, ascii);
    const unsigned twoByte = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(twoLow, twoHigh)));
    Store(out, Packed(Utf8Forms(low, twoLow), twoByte & 0xFF));
    char* const second = out + 8 + Ones(twoByte & 0xFF);
    const __m128i formsHigh = Packed(Utf8Forms(high, twoHigh), twoByte >> 8);
    if (highBytes == 16) {
        Store(second, formsHigh);
    } else if (highBytes == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(second), formsHigh);
    }
    return {static_cast<unsigned>(__builtin_ctz(outside | 1u << limit)), twoByte};
}

// The encoder's run, built once for each instruction form below.
VELKARON_MIXED __attribute__((always_inline)) inline MixedProgress MixedRun(const char16_t* begin, const char16_t* from,
                                                                          const char16_t* end, char* to) {
    for (;;) {
        const std::size_t left = static_cast<std::size_t>(end - from);
        Step step;
        if (left >= 16) {
            step = Utf8Step(Load(from), Load(from + 8), to, 16, 16);
            if (step.run == 16) {
                from += 16;
                to += 16 + Ones(step.twoByte);
                const auto rest = static_cast<unsigned>(end - from);
                if (rest == 0 || rest >= 16) continue;
                // Fewer than sixteen left: the last step starts sixteen before the end, over units
                // this one took, whose forms' length it tells.
                from = end - 16;
                to -= 16 - rest + Ones(step.twoByte >> rest);
                step = Utf8Step(Load(from), Load(from + 8), to, 16, 16);
                if (step.run == 16) return {end, to + 16 + Ones(step.twoByte)};
            }
        } else if (left >= 6 && end - begin >= 8) {
            // The last six to fifteen units, moved to the front of their blocks. The stores stay
            // inside three bytes a unit.
            const auto limit = static_cast<unsigned>(left);
            step = left <= 8 ? Utf8Step(LoadLast(end, 2 * left), _mm_setzero_si128(), to, 0, limit)
                             : Utf8Step(Load(from), LoadLast(end, 2 * (left - 8)), to, left > 12 ? 16 : 8, limit);
        } else {
            break;
        }
        from += step.run;
        to += step.run + Ones(step.twoByte & Below(step.run));
        if (from == end) return {from, to};
        // The step stopped at a character of three bytes or at a surrogate.
        const std::uint32_t c = *from;
        if (c - 0xD800 < 0x800) return {from, to};
        to = PutUtf8(to, c);
        ++from;
    }
    // The last few units of the text, or all of a short one, one at a time, ASCII first.
    for (; from != end; ++from) {
        const std::uint32_t c = *from;
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
        } else if (c - 0xD800 < 0x800) {
            break;
        } else {
            to = PutUtf8(to, c);
        }
    }
    return {from, to};
}

}  // namespace

MixedBlocks UseMixedBlocks = MachineMixedBlocks();

VELKARON_MIXED MixedProgress MixedRunByShuffle(const char16_t* begin, const char16_t* in, const char16_t* end, char* out) {
    return MixedRun(begin, in, end, out);
}

__attribute__((target("avx,popcnt"))) MixedProgress MixedRunByThreeOperands(const char16_t* begin, const char16_t* in,
                                                                           const char16_t* end, char* out) {
    return MixedRun(begin, in, end, out);
}

#else

MixedBlocks UseMixedBlocks = MixedBlocks::None;
MixedProgress MixedRunByShuffle(const char16_t*, const char16_t* in, const char16_t*, char* out) { return {in, out}; }
MixedProgress MixedRunByThreeOperands(const char16_t*, const char16_t* in, const char16_t*, char* out) {
    return {in, out};
}

#endif

}  // namespace velkaron
