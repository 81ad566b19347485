// Stream contents are bytes, UTF-8 or the ANSI code page; values are UTF-16. Pure conversions,
// but for the system's ANSI and UTF-8 converters.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>

namespace velkaron {

// How many continuation bytes a lead byte announces, after the early six-byte form of UTF-8.
extern const std::uint8_t Utf8TrailTable[256];

// A zero-terminated text from the host; null reads as empty.
std::u16string_view HostText(const char16_t* text);

// Whether bytes (up to the first zero byte) look like UTF-8: no misplaced continuation byte and
// at least one multi-byte sequence. allowCutTail accepts a sequence cut off by the end.
bool IsUtf8Text(std::string_view bytes, bool allowCutTail);

// Whether bytes are UTF-8 as RFC 3629 has it: every sequence complete, no overlong form, no
// surrogate, nothing past U+10FFFF. Plain ASCII is.
bool IsValidUtf8(std::string_view bytes);

// bytes as UTF-8 when readUtf8 is on and they pass the test, else in the ANSI code page, written
// to out (room for bytes.size() units); returns the units written. textUnits gets how many come
// before the first zero unit: all of them when there is none.
std::size_t DecodeContents(std::string_view bytes, bool readUtf8, char16_t* out, std::size_t& textUnits);
std::size_t DecodeContents(std::string_view bytes, bool readUtf8, char16_t* out);

// value as UTF-8 or in the ANSI code page (its default character for what it cannot hold), no
// byte-order mark, written to out (room for 3 * value.size() bytes); returns the bytes written.
std::size_t EncodeValue(std::u16string_view value, bool writeUtf8, char* out);

// Whether value holds a backslash-n pair for SubstituteLineBreaks to replace.
bool HasTypedLineBreak(std::u16string_view value);

// Every backslash-n pair typed in a value becomes CR LF.
std::u16string SubstituteLineBreaks(std::u16string_view value);

// UTF-16LE bytes (an odd last byte is dropped) to text.
std::u16string DecodeUtf16Le(const std::string& bytes);

}  // namespace velkaron
