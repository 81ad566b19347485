// How a host file name and a stream name become the name the Windows file functions open: pure
// string rules, built into the tests and the fuzzer of every build too.
#pragma once

#include <string>
#include <string_view>

#include "platform/small_buffer.h"

namespace velkaron::platform {

// A name for the Windows file functions: zero-terminated UTF-16, on the stack unless it is long.
using WideName = SmallBuffer<char16_t, 1024>;

// The file name in the long-path form: "\\?\" names are kept, "\\server\share" becomes
// "\\?\UNC\server\share", anything else gets "\\?\" in front. Nothing else is normalised.
std::u16string ToLongPath(std::u16string_view fileName);

// ToLongPath(fileName) + ":" + stream, zero-terminated, built in out; returns its first unit.
const char16_t* BuildStreamPath(std::u16string_view fileName, std::u16string_view stream, WideName& out);

}  // namespace velkaron::platform
