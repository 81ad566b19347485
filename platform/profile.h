// A private-profile (INI) reader that answers the way the Windows reader does. Pure functions,
// no OS calls: the Linux build reads the file's bytes and hands them here.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage.h"

namespace velkaron::platform {

struct ProfileSection {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> entries;  // key, value; file order
};

struct ProfileData {
    std::vector<ProfileSection> sections;  // file order; a name may repeat
};

// Parses a whole file. FF FE starts UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8; anything else is
// in the ANSI code page, decoded by decodeAnsi.
using AnsiDecoder = std::u16string (*)(std::string_view);
ProfileData ParseProfile(const std::string& fileBytes, AnsiDecoder decodeAnsi = DecodeWindows1252);

// The first section named section (ASCII case-insensitively) is the only one searched, and the
// first key named key in it wins. Without one, the result is fallback less its trailing spaces.
// Either way the result is cut to bufferUnits - 1 units (nothing for a buffer of 0).
std::u16string LookupProfile(const ProfileData& data, const std::u16string& section,
                             const std::u16string& key, const std::u16string& fallback,
                             std::size_t bufferUnits);

}  // namespace velkaron::platform
