// Text that mixes ASCII with two-byte characters (accented Latin, Greek, Cyrillic, Hebrew,
// Arabic...) encoded from UTF-16 to UTF-8 sixteen units a step. A step packs the one- and two-byte
// forms of a block together with a byte shuffle, and picks each unit's form with a byte blend;
// x86 machines have had both for about eighteen years, though not all of them: where the machine
// lacks them, or is not x86, the callers keep to their plain steps. Where the machine has the
// three-operand forms of the same instructions, which spare the copies between registers the
// older forms need, the steps use those.
#pragma once

namespace velkaron {

// How the machine runs the steps: not at all, with the byte shuffle, or with the three-operand
// forms too.
enum class MixedBlocks { None, Shuffle, ThreeOperand };

// Found once at load, from what the processor and the system report. Tests set it to run each way.
extern MixedBlocks UseMixedBlocks;

// How far MixedRunToUtf8 got: the first unit it left, and the end of what it wrote.
struct MixedProgress {
    const char16_t* in;
    char* out;
};

// The units from in written to out as UTF-8, up to end or the first surrogate. The text starts at
// begin. out needs room for three bytes a unit left to read, as an encoder's output does. Only
// while UseMixedBlocks is not None.
MixedProgress MixedRunByShuffle(const char16_t* begin, const char16_t* in, const char16_t* end, char* out);
MixedProgress MixedRunByThreeOperands(const char16_t* begin, const char16_t* in, const char16_t* end, char* out);
inline MixedProgress MixedRunToUtf8(const char16_t* begin, const char16_t* in, const char16_t* end, char* out) {
    return UseMixedBlocks == MixedBlocks::ThreeOperand ? MixedRunByThreeOperands(begin, in, end, out)
                                                       : MixedRunByShuffle(begin, in, end, out);
}

}  // namespace velkaron
