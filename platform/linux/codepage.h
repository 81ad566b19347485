// The Linux build's converters, written to give byte for byte what the Windows converters give:
// Windows-1252 (its ANSI code page) and UTF-8. Under Wine the tests compare them with the real
// ones; the Windows builds call the system's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkaron::platform {

// As MultiByteToWideChar(1252, 0): every byte gives one character; the five bytes the code page
// leaves undefined (81 8D 8F 90 9D) give the C1 control of the same value.
std::u16string DecodeWindows1252(std::string_view bytes);

// As WideCharToMultiByte(1252, 0) without best-fit mappings: characters the code page cannot hold,
// lone surrogates and each half of a surrogate pair become '?'.
std::string EncodeWindows1252(std::u16string_view text);

// As MultiByteToWideChar(CP_UTF8, 0): each malformed sequence becomes U+FFFD the way Windows cuts
// it; a byte-order mark is kept as U+FEFF.
std::u16string DecodeUtf8(std::string_view bytes);

// As WideCharToMultiByte(CP_UTF8, 0): a lone surrogate becomes EF BF BD.
std::string EncodeUtf8(std::u16string_view text);

// A Linux file name is bytes, UTF-8 as a rule but not always (old archives, USB sticks). As
// Python's "surrogateescape" has it, a byte that no valid UTF-8 sequence holds travels as the
// lone surrogate U+DC00 + byte (U+DC80 to U+DCFF), and goes back to that byte: every name comes
// back to its own bytes. Valid UTF-8 reads as DecodeUtf8 reads it.
std::u16string DecodePath(std::string_view bytes);
std::string EncodePath(std::u16string_view text);

// The same six conversions into a caller's buffer, which the hot paths keep on the stack. A
// decoder never makes more units than it is given bytes, so out needs room for bytes.size()
// units; an encoder makes at most three bytes a unit, so out needs room for 3 * text.size().
// Each returns how many it wrote.
std::size_t DecodeWindows1252(std::string_view bytes, char16_t* out);
std::size_t EncodeWindows1252(std::u16string_view text, char* out);
std::size_t DecodeUtf8(std::string_view bytes, char16_t* out);
std::size_t EncodeUtf8(std::u16string_view text, char* out);
std::size_t DecodePath(std::string_view bytes, char16_t* out);
std::size_t EncodePath(std::u16string_view text, char* out);

}  // namespace velkaron::platform
