// Stream contents are bytes, UTF-8 or the ANSI code page; values are UTF-16.
#pragma once

#include <cstdint>
#include <string>

namespace velkaron {

// How many continuation bytes a lead byte announces, after the early six-byte form of UTF-8.
extern const std::uint8_t Utf8TrailTable[256];

// Whether bytes (up to the first zero byte) look like UTF-8: no misplaced continuation byte and
// at least one multi-byte sequence. allowCutTail accepts a sequence cut off by the end.
bool IsUtf8Text(const std::string& bytes, bool allowCutTail);

// bytes as UTF-8 when readUtf8 is on and they pass the test, else in the ANSI code page.
std::u16string DecodeContents(const std::string& bytes, bool readUtf8);

// value as UTF-8 or in the ANSI code page (its default character for what it cannot hold); no
// byte-order mark.
std::string EncodeValue(const std::u16string& value, bool writeUtf8);

// Every backslash-n pair typed in a value becomes CR LF.
std::u16string SubstituteLineBreaks(const std::u16string& value);

}  // namespace velkaron
