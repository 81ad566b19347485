// The configuration read once at load: which streams are offered as fields, and the options.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace velkaron {

// Which part of a file's Zone.Identifier stream, the mark that browsers, mail programs and
// archivers leave on what they save, a field of the option Origin shows.
enum class OriginPart : unsigned char { None, Zone, HostUrl, ReferrerUrl };

// One configured field.
struct TFieldsRec {
    std::u16string FieldName;   // what the host shows: the configured value as read
    std::u16string RealStream;  // the stream that holds the value on disk
    platform::StreamName OsStream = {};  // RealStream for the OS calls, made when the table is installed
    bool Refused = false;  // RealStream could reach more than a named stream: never opened
    bool Listing = false;  // the field "Streams": every named stream of the file, read-only
    OriginPart Origin = OriginPart::None;  // a part of the stream Zone.Identifier, read-only
};

// Whether the host may change the field: a stream of its own, not refused.
inline bool Editable(const TFieldsRec& field) {
    return !field.Refused && !field.Listing && field.Origin == OriginPart::None;
}

struct Options {
    bool KeepTime = false;
    bool WriteUTF8 = false;
    bool ReadUTF8 = false;
    bool SubstituteChars = false;
    bool ListStreams = false;  // one more field, "Streams", after the configured ones
    bool Origin = false;       // three more, "Zone", "HostUrl" and "ReferrerUrl", after those
};

constexpr int kMaxFields = 100;          // keys 0 to 99 of section "Streams"
constexpr std::size_t kIniValueUnits = 2000;  // the reader's buffer, terminator included

// Set once while the library loads, read-only afterwards: no lock needed to read them. Neither
// has a destructor for the C++ runtime to run: when the process ends, a host thread may still be
// inside an export, reading them. FieldTable is null until the load has built it and after an
// unload has released it.
extern const std::vector<TFieldsRec>* FieldTable;
extern Options PluginOptions;

// The entry at a host's field index, or null when FieldTable holds no such index.
inline const TFieldsRec* FieldAt(std::int32_t index) {
    const std::vector<TFieldsRec>* table = FieldTable;
    if (table == nullptr) return nullptr;
    // A negative index turns into one far past any table. The offset is compared with the table's
    // extent in bytes, which spares the division a count of entries takes.
    // In 64 bits on every build, so that no index wraps round to a small offset.
    const std::uint64_t offset = std::uint64_t{static_cast<std::uint32_t>(index)} * sizeof(TFieldsRec);
    const auto* begin = reinterpret_cast<const char*>(table->data());
    const auto* end = reinterpret_cast<const char*>(table->data() + table->size());
    return offset < static_cast<std::uint64_t>(end - begin)
               ? reinterpret_cast<const TFieldsRec*>(begin + static_cast<std::size_t>(offset))
               : nullptr;
}

// Reads the configuration ChooseConfiguration picks into FieldTable and PluginOptions, and shows
// the error box when it offers no field.
void LoadConfiguration();
// Frees FieldTable; only an unload of the library does this.
void ReleaseConfiguration() noexcept;

// --- The pieces LoadConfiguration is made of ---------------------------------------------

// path with its extension replaced: everything from the last '.' is dropped when no '\', '/' or
// ':' follows it, then extension is appended.
std::u16string ChangeExtension(const std::u16string& path, const std::u16string& extension);

// The configuration file of the library at path library: the first of these that exists as a
// regular file or can be made, making at most one copy of the sample.
//   1. the library's name with ".ini", beside it;
//   2. the sample (".sample.ini" beside it), copied to 1 where that folder takes the copy; where
//      it takes files but something else has the name of 1, the sample itself;
//   3. a file of the name of 1 in the user's own folder (platform::UserConfigurationFolder);
//   4. the sample, copied to 3, its folders made below the one the environment names;
//   5. the sample itself.
// With none of them, 1, which reads as an empty file. A library whose folder holds its
// configuration, or the sample and takes files, thus never reads the user's file. Only a sample
// that can be read is copied, and a copy is whole before it has its name (see
// platform::CopyFileNoOverwrite): hosts loading at once read the same whole file.
std::u16string ChooseConfiguration(const std::u16string& library);

// Every ">>>dot<<<" replaced by ".", left to right, case-sensitively.
std::u16string ReplaceDotPlaceholder(const std::u16string& name);

// Whether stream can only name a named stream of a file: it is not empty, holds no '\', '/' or
// NUL, and no ':' but the one of a trailing ":$DATA" after a non-empty name. Anything else could reach
// the file's own contents ("::$DATA"), another file or a folder.
bool NamesOwnStream(std::u16string_view stream);

// (section, key, fallback) -> the value as the private-profile reader gives it.
using IniLookup = platform::SettingLookup;

struct Configuration {
    std::vector<TFieldsRec> fields;
    Options options;
    platform::StreamStore store = platform::StreamStore::Ntfs3g;  // where the OS keeps the streams
    std::vector<std::u16string> notes;  // settings not taken as written, each told once at load
};

// The options, the stream store and the dense field list that lookup describes; the notes name
// the configuration as file.
Configuration ReadConfiguration(const IniLookup& lookup, const std::u16string& file);

// Makes config the library's FieldTable and PluginOptions, releasing any earlier table. A field
// whose stream name is refused stays in the table, so that later fields keep their indexes.
void InstallConfiguration(Configuration config);

}  // namespace velkaron
