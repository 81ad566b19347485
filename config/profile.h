// A private-profile (INI) reader that answers the way the Windows reader does: the Linux build's
// only reader, and the Windows builds' where the system's cannot open the file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkaron {

struct ProfileSection {
    std::u16string name;
    std::vector<std::pair<std::u16string, std::u16string>> entries;  // key, value; file order
};

struct ProfileData {
    std::vector<ProfileSection> sections;  // file order; a name may repeat
};

// A whole file's text. FF FE starts UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8; without a mark,
// bytes that are valid UTF-8 are UTF-8, anything else is in the ANSI code page.
std::u16string DecodeProfile(const std::string& fileBytes);

// The sections and keys of a text: ParseProfile is ParseProfileText(DecodeProfile(bytes)).
ProfileData ParseProfileText(std::u16string_view text);
ProfileData ParseProfile(const std::string& fileBytes);

// What LookupProfile(ParseProfile(fileBytes), section, key, ...) finds with a buffer that holds
// it, the text taken up to its first NUL, decoding only that value: written to value, which has
// room for fileBytes.size() units (always enough). The count of units written, or
// kNoProfileValue where the key is not there.
constexpr std::size_t kNoProfileValue = ~std::size_t{0};
std::size_t FindProfileValue(std::string_view fileBytes, std::string_view section, std::string_view key,
                             char16_t* value);

// The first section named section (ASCII case-insensitively) is the only one searched, and the
// first key named key in it wins. Without one, the result is fallback less its trailing spaces.
// Either way the result is cut to bufferUnits - 1 units (nothing for a buffer of 0).
std::u16string LookupProfile(const ProfileData& data, const std::u16string& section,
                             const std::u16string& key, const std::u16string& fallback,
                             std::size_t bufferUnits);

// The largest configuration read; a larger file, or one that is no regular file, reads as empty.
constexpr std::size_t kMaxProfileBytes = std::size_t{1} << 20;

// An INI file opened for lookups by this build's reader: the system's where it opens the file and
// reads it as the one above does (not UTF-8, no NUL in it), which is then asked key by key; else
// the one above, over the file read once. A missing or unreadable file reads as an empty one.
struct IniFile {
    std::u16string path;
    bool system = false;
    ProfileData parsed;
};
IniFile OpenIni(const std::u16string& path);
std::u16string ReadIni(const IniFile& ini, const std::u16string& section, const std::u16string& key,
                       const std::u16string& fallback, std::size_t bufferUnits);

}  // namespace velkaron
