// Code-page conversions written to give, byte for byte, what the Windows converters give:
// Windows-1252 (the ANSI code page of the Linux build) and UTF-8. Pure functions, no OS calls;
// the Linux build uses them in place of the system converters.
#pragma once

#include <string>

namespace velkaron::platform {

// As MultiByteToWideChar(1252, 0): every byte gives one character; the five bytes the code page
// leaves undefined (81 8D 8F 90 9D) give the C1 control of the same value.
std::u16string DecodeWindows1252(const std::string& bytes);

// As WideCharToMultiByte(1252, 0) without best-fit mappings: characters the code page cannot hold,
// lone surrogates and each half of a surrogate pair become '?'.
std::string EncodeWindows1252(const std::u16string& text);

// As MultiByteToWideChar(CP_UTF8, 0): each malformed sequence becomes U+FFFD the way Windows cuts
// it; a byte-order mark is kept as U+FEFF.
std::u16string DecodeUtf8(const std::string& bytes);

// As WideCharToMultiByte(CP_UTF8, 0): a lone surrogate becomes EF BF BD.
std::string EncodeUtf8(const std::u16string& text);

// UTF-16LE bytes (an odd last byte is dropped) to text, and back.
std::u16string DecodeUtf16Le(const std::string& bytes);

}  // namespace velkaron::platform
