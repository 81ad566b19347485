#include "config/profile.h"

#include "platform/platform.h"
#include "text/encoding.h"

namespace velkaron {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v'; }

std::u16string Trim(const std::u16string& s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// bytes through one of the system's decoders.
std::u16string Decoded(std::string_view bytes, std::size_t (*decode)(std::string_view, char16_t*)) {
    std::u16string text(bytes.size(), u'\0');
    text.resize(decode(bytes, text.data()));
    return text;
}

// How a file's bytes are taken: a byte-order mark decides; without one, UTF-8 where the bytes are
// valid UTF-8 (as editors save them today), else the ANSI code page. Plain ASCII reads the same
// either way.
enum class Coding { Utf16Le, Utf16Be, MarkedUtf8, Utf8, Ansi };

Coding CodingOf(const std::string& bytes) {
    auto starts = [&](const char* bom, std::size_t n) { return bytes.compare(0, n, bom, n) == 0; };
    if (starts("\xFF\xFE", 2)) return Coding::Utf16Le;
    if (starts("\xFE\xFF", 2)) return Coding::Utf16Be;
    if (starts("\xEF\xBB\xBF", 3)) return Coding::MarkedUtf8;
    return IsValidUtf8(bytes) ? Coding::Utf8 : Coding::Ansi;
}

std::u16string DecodeProfileText(const std::string& bytes, Coding coding) {
    switch (coding) {
        case Coding::Utf16Le:
            return DecodeUtf16Le(bytes.substr(2));
        case Coding::Utf16Be: {
            std::string swapped = bytes.substr(2);
            for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
            return DecodeUtf16Le(swapped);
        }
        case Coding::MarkedUtf8:
            return Decoded(std::string_view(bytes).substr(3), platform::FromUtf8);
        case Coding::Utf8:
            return Decoded(bytes, platform::FromUtf8);
        case Coding::Ansi:
            break;
    }
    return Decoded(bytes, platform::FromAnsi);
}

bool IsAscii(const std::string& bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Whether the system's reader gives what this one gives: it reads UTF-16LE with its mark and the
// ANSI code page, but not UTF-8, and cuts a value at a NUL, which would hide it from the check of
// the stream names.
bool SystemReaderAgrees(const std::string& bytes, Coding coding, const std::u16string& text) {
    const bool itsCoding = coding == Coding::Utf16Le || coding == Coding::Ansi ||
                           (coding == Coding::Utf8 && IsAscii(bytes));
    return itsCoding && text.find(u'\0') == std::u16string::npos;
}

// One pair of matching outer quotes, single or double, is removed.
std::u16string Unquote(const std::u16string& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

void ParseLine(const std::u16string& rawLine, ProfileData& data) {
    const std::u16string line = Trim(rawLine);
    if (line.empty() || line[0] == u';') return;
    if (line[0] == u'[') {
        // The name ends at the first ']'; a header without one runs to the end of the line.
        const std::size_t close = line.find(u']', 1);
        const std::size_t end = close == std::u16string::npos ? line.size() : close;
        data.sections.push_back({Trim(line.substr(1, end - 1)), {}});
        return;
    }
    const std::size_t eq = line.find(u'=');
    // Lines before the first header belong to no section a caller can name; lines without '='
    // hold no value.
    if (data.sections.empty() || eq == std::u16string::npos) return;
    data.sections.back().entries.emplace_back(Trim(line.substr(0, eq)),
                                              Unquote(Trim(line.substr(eq + 1))));
}

std::u16string CutToBuffer(std::u16string text, std::size_t bufferUnits) {
    if (bufferUnits == 0) return {};
    if (text.size() > bufferUnits - 1) text.resize(bufferUnits - 1);
    return text;
}


}  // namespace

std::u16string DecodeProfile(const std::string& fileBytes) { return DecodeProfileText(fileBytes, CodingOf(fileBytes)); }

ProfileData ParseProfileText(const std::u16string& text) {
    ProfileData data;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        ParseLine(text.substr(start, end - start), data);
        if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') {
            ++end;
        }
        start = end + 1;
    }
    return data;
}

ProfileData ParseProfile(const std::string& fileBytes) { return ParseProfileText(DecodeProfile(fileBytes)); }

std::u16string LookupProfile(const ProfileData& data, const std::u16string& section,
                             const std::u16string& key, const std::u16string& fallback,
                             std::size_t bufferUnits) {
    for (const ProfileSection& s : data.sections) {
        if (!SameName(s.name, section)) continue;
        for (const auto& [name, value] : s.entries) {
            if (SameName(name, key)) return CutToBuffer(value, bufferUnits);
        }
        break;  // only the first section of a name is searched
    }
    std::size_t end = fallback.size();
    while (end > 0 && fallback[end - 1] == u' ') --end;
    return CutToBuffer(fallback.substr(0, end), bufferUnits);
}

IniFile OpenIni(const std::u16string& path) {
    IniFile ini{path, false, {}};
    std::string bytes;
    if (!platform::ReadWholeFile(path, kMaxProfileBytes, bytes)) return ini;
    const Coding coding = CodingOf(bytes);
    std::u16string text = DecodeProfileText(bytes, coding);
    ini.system = platform::SystemProfileReaderOpens(path) && SystemReaderAgrees(bytes, coding, text);
    if (!ini.system) ini.parsed = ParseProfileText(text);
    return ini;
}

std::u16string ReadIni(const IniFile& ini, const std::u16string& section, const std::u16string& key,
                       const std::u16string& fallback, std::size_t bufferUnits) {
    return ini.system ? platform::ReadSystemProfileString(ini.path, section, key, fallback, bufferUnits)
                      : LookupProfile(ini.parsed, section, key, fallback, bufferUnits);
}

}  // namespace velkaron
