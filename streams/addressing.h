// How a host file name and a stream name become the name Windows opens. Pure string rules: the
// Windows OS layer uses them, and they are tested on every build.
#pragma once

#include <string>

namespace velkaron {

// The file name in the long-path form: "\\?\" names are kept, "\\server\share" becomes
// "\\?\UNC\server\share", anything else gets "\\?\" in front. Nothing else is normalised.
std::u16string ToLongPath(const std::u16string& fileName);

// ToLongPath(fileName) + ":" + stream.
std::u16string BuildStreamPath(const std::u16string& fileName, const std::u16string& stream);

}  // namespace velkaron
