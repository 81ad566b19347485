#include "config/profile.h"

#include "platform/ascii_blocks.h"
#include "platform/platform.h"
#include "text/encoding.h"

namespace velkaron {
namespace {

// The reader's syntax is all ASCII. No byte below 0x80 is part of another character in UTF-8
// (not even in a malformed sequence) or in a single-byte code page, so their bytes are read as
// their text would be; a double-byte code page may hold such bytes in its characters, so its
// text is decoded first.
template <typename Char>
bool IsBlank(Char c) { return c == ' ' || c == '\t' || c == '\v'; }

template <typename Char>
std::basic_string_view<Char> Trim(std::basic_string_view<Char> s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

template <typename Char>
Char AsciiLower(Char c) { return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c; }

template <typename Char>
bool SameName(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;  // as most writers spell them: a memcmp, not a loop
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

// The coding a byte-order mark names; Utf8 without one, which may yet be Ansi.
Coding MarkedCoding(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    if (at(0) == 0xFF && at(1) == 0xFE) return Coding::Utf16Le;
    if (at(0) == 0xFE && at(1) == 0xFF) return Coding::Utf16Be;
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) return Coding::MarkedUtf8;
    return Coding::Utf8;
}

Coding CodingOf(const std::string& bytes) {
    const Coding coding = MarkedCoding(bytes);
    return coding != Coding::Utf8 || IsValidUtf8(bytes) ? coding : Coding::Ansi;
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

bool IsAscii(std::string_view bytes) {
    unsigned char any = 0;  // no early exit: the compiler makes it an SSE2 loop
    for (const char c : bytes) any |= static_cast<unsigned char>(c);
    return any < 0x80;
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
template <typename Char>
std::basic_string_view<Char> Unquote(std::basic_string_view<Char> value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// One line as the reader takes it: a section's header, a key's entry, or nothing (blank, a
// comment, or no '='). Views into the line; an entry's value as written after the '=', which
// Unquote(Trim(value)) makes the value read.
template <typename Char>
struct Line {
    enum Kind { Nothing, Header, Entry } kind = Nothing;
    std::basic_string_view<Char> name, value;
};

template <typename Char>
Line<Char> ReadLine(std::basic_string_view<Char> rawLine) {
    using View = std::basic_string_view<Char>;
    const View line = Trim(rawLine);
    if (line.empty() || line[0] == ';') return {};
    if (line[0] == '[') {
        // The name ends at the first ']'; a header without one runs to the end of the line.
        const std::size_t close = line.find(Char(']'), 1);
        const std::size_t end = close == View::npos ? line.size() : close;
        return {Line<Char>::Header, Trim(line.substr(1, end - 1)), {}};
    }
    const std::size_t eq = line.find(Char('='));
    if (eq == View::npos) return {};
    return {Line<Char>::Entry, Trim(line.substr(0, eq)), line.substr(eq + 1)};
}

// Where each line of a text ends, at its first CR or LF. Units: two searches for one character,
// which the library does many units at a time; the next LF is searched for again only once it is
// passed, so a text of CR alone stays linear.
template <typename Char>
struct LineEnds {
    std::basic_string_view<Char> text;
    std::size_t lf = 0;
    // Where the line from start ends.
    std::size_t From(std::size_t start) {
        if (lf < start || start == 0) lf = std::min(text.find(Char('\n'), start), text.size());
        return std::min(text.substr(0, lf).find(Char('\r'), start), lf);
    }
};
// Bytes: one search for both, sixteen bytes a step.
template <>
struct LineEnds<char> {
    std::string_view text;
    std::size_t From(std::size_t start) { return start + ascii::LineEnd(text.data() + start, text.size() - start); }
};

// Calls visit(line) for each line of text, as ended by CR, LF or CR LF, until visit answers
// false.
template <typename Char, typename Visit>
void ForEachLine(std::basic_string_view<Char> text, Visit visit) {
    LineEnds<Char> ends{text};
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = ends.From(start);
        if (!visit(ReadLine(text.substr(start, end - start)))) return;
        start = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
    }
}

// The value of key in the first section named section (the only one searched), as a view into
// text; false where it is not there.
template <typename Char>
bool FindValue(std::basic_string_view<Char> text, std::basic_string_view<Char> section,
               std::basic_string_view<Char> key, std::basic_string_view<Char>& value) {
    bool inSection = false, found = false, passed = false;
    ForEachLine(text, [&](const Line<Char>& line) {
        if (line.kind == Line<Char>::Header) {
            passed = inSection;
            inSection = !passed && SameName(line.name, section);
        } else if (line.kind == Line<Char>::Entry && inSection && SameName(line.name, key)) {
            value = Unquote(Trim(line.value));
            found = true;
        }
        return !found && !passed;
    });
    return found;
}

std::u16string CutToBuffer(std::u16string text, std::size_t bufferUnits) {
    if (bufferUnits == 0) return {};
    if (text.size() > bufferUnits - 1) text.resize(bufferUnits - 1);
    return text;
}


}  // namespace

std::u16string DecodeProfile(const std::string& fileBytes) { return DecodeProfileText(fileBytes, CodingOf(fileBytes)); }

ProfileData ParseProfileText(std::u16string_view text) {
    ProfileData data;
    ForEachLine(text, [&](const Line<char16_t>& line) {
        if (line.kind == Line<char16_t>::Header) data.sections.push_back({std::u16string(line.name), {}});
        // Entries before the first header belong to no section a caller can name.
        if (line.kind == Line<char16_t>::Entry && !data.sections.empty()) {
            data.sections.back().entries.emplace_back(line.name, Unquote(Trim(line.value)));
        }
        return true;
    });
    return data;
}

std::size_t FindProfileValue(std::string_view fileBytes, std::string_view section, std::string_view key,
                             char16_t* value) {
    Coding coding = MarkedCoding(fileBytes);
    // Bytes that are no UTF-8 are in the ANSI code page; only a double-byte one must be decoded
    // before its lines can be told.
    if (coding == Coding::Utf8 && !platform::AnsiIsSingleByte() && !IsAscii(fileBytes) && !IsValidUtf8(fileBytes)) {
        coding = Coding::Ansi;
    }
    if (coding == Coding::Utf8 || coding == Coding::MarkedUtf8) {
        std::string_view bytes = fileBytes, found;
        if (coding == Coding::MarkedUtf8) bytes.remove_prefix(3);
        if (!FindValue(bytes.substr(0, bytes.find('\0')), section, key, found)) return kNoProfileValue;
        // ASCII reads alike in every coding; only other bytes need the file's, and so a check of
        // all its bytes.
        if (IsAscii(found)) return static_cast<std::size_t>(std::copy(found.begin(), found.end(), value) - value);
        const bool utf8 = coding == Coding::MarkedUtf8 || IsValidUtf8(fileBytes);
        return (utf8 ? platform::FromUtf8 : platform::FromAnsi)(found, value);
    }
    const std::u16string text = DecodeProfileText(std::string(fileBytes), coding);
    const std::u16string wideSection(section.begin(), section.end()), wideKey(key.begin(), key.end());
    std::u16string_view found;
    if (!FindValue<char16_t>(std::u16string_view(text).substr(0, text.find(u'\0')), wideSection, wideKey, found)) {
        return kNoProfileValue;
    }
    return static_cast<std::size_t>(std::copy(found.begin(), found.end(), value) - value);
}

ProfileData ParseProfile(const std::string& fileBytes) { return ParseProfileText(DecodeProfile(fileBytes)); }

std::u16string LookupProfile(const ProfileData& data, const std::u16string& section,
                             const std::u16string& key, const std::u16string& fallback,
                             std::size_t bufferUnits) {
    for (const ProfileSection& s : data.sections) {
        if (!SameName<char16_t>(s.name, section)) continue;
        for (const auto& [name, value] : s.entries) {
            if (SameName<char16_t>(name, key)) return CutToBuffer(value, bufferUnits);
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
