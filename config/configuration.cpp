#include "config/configuration.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "config/profile.h"
#include "platform/platform.h"

namespace velkaron {

// Both are constant-initialised, so they are ready before any loader hook runs, and neither is
// destroyed by the C++ runtime at exit: the table lives on the heap until an unload frees it.
const std::vector<TFieldsRec>* FieldTable = nullptr;
Options PluginOptions;

std::u16string ChangeExtension(const std::u16string& path, const std::u16string& extension) {
    // The separators of the Windows builds, and '/' for the Linux one.
    const std::size_t last = path.find_last_of(u".\\:/");
    std::u16string result =
        (last != std::u16string::npos && path[last] == u'.') ? path.substr(0, last) : path;
    return result + extension;
}

std::u16string ReplaceDotPlaceholder(const std::u16string& name) {
    constexpr std::u16string_view placeholder = u">>>dot<<<";
    std::u16string result;
    std::size_t from = 0;
    for (std::size_t at; (at = name.find(placeholder, from)) != std::u16string::npos;
         from = at + placeholder.size()) {
        result.append(name, from, at - from).push_back(u'.');
    }
    return result.append(name, from, std::u16string::npos);
}

bool NamesOwnStream(std::u16string_view stream) {
    // Stream types are matched without regard to case, as NTFS does.
    constexpr std::u16string_view type = u":$DATA";
    if (stream.size() > type.size()) {
        const std::u16string_view tail = stream.substr(stream.size() - type.size());
        if (std::equal(tail.begin(), tail.end(), type.begin(),
                       [](char16_t a, char16_t b) { return (a >= u'a' && a <= u'z' ? a - 32 : a) == b; })) {
            stream.remove_suffix(type.size());
        }
    }
    // A NUL would cut the name short at the OS call: "Comment<NUL>x" would reach "Comment".
    constexpr std::u16string_view reserved(u"\\/:\0", 4);
    return !stream.empty() && stream.find_first_of(reserved) == std::u16string_view::npos;
}

Configuration ReadConfiguration(const IniLookup& lookup, const std::u16string& file) {
    Configuration config;
    auto isOn = [&](const char16_t* key) { return lookup(u"Options", key, u"0") == u"1"; };
    config.options.KeepTime = isOn(u"KeepTime");
    config.options.WriteUTF8 = isOn(u"WriteUTF8");
    config.options.ReadUTF8 = isOn(u"ReadUTF8");
    config.options.SubstituteChars = isOn(u"SubstituteChars");
    config.options.ListStreams = isOn(u"ListStreams");
    config.options.Origin = isOn(u"Origin");
    std::u16string storeProblem;
    config.store = platform::ReadStreamStore(lookup, file, storeProblem);
    if (!storeProblem.empty()) config.notes.push_back(storeProblem);

    for (int key = 0; key < kMaxFields; ++key) {
        const std::string digits = std::to_string(key);
        std::u16string value = lookup(u"Streams", std::u16string(digits.begin(), digits.end()), u"");
        if (value.empty()) continue;
        std::u16string stream =
            config.options.SubstituteChars ? ReplaceDotPlaceholder(value) : value;
        if (!NamesOwnStream(stream)) {
            std::u16string shown;  // a NUL shown as \0, so that the line stays one line of text
            for (char16_t c : value) {
                if (c == u'\0') {
                    shown += u"\\0";
                } else {
                    shown += c;
                }
            }
            config.notes.push_back(std::u16string(digits.begin(), digits.end()) + u"=" + shown +
                                   u" in section [Streams] of " + file +
                                   u" is refused: a stream name holds no \\, / or"
                                   u" NUL, and : only in a trailing :$DATA; the field stays empty and read-only");
        }
        config.fields.push_back({std::move(value), std::move(stream)});
    }
    if (config.options.ListStreams) {
        TFieldsRec listing;
        listing.FieldName = u"Streams";
        listing.Listing = true;
        config.fields.push_back(std::move(listing));
    }
    if (config.options.Origin) {
        const std::pair<const char16_t*, OriginPart> parts[] = {
            {u"Zone", OriginPart::Zone}, {u"HostUrl", OriginPart::HostUrl}, {u"ReferrerUrl", OriginPart::ReferrerUrl}};
        for (const auto& [name, part] : parts) {
            TFieldsRec origin;
            origin.FieldName = name;
            origin.RealStream = u"Zone.Identifier";
            origin.Origin = part;
            config.fields.push_back(std::move(origin));
        }
    }
    return config;
}

namespace {

// Whether target holds a whole copy of the sample now: made here, or by another load meanwhile.
bool CopiedTo(const std::u16string& sample, const std::u16string& target, platform::CopyOutcome& outcome) {
    outcome = platform::CopyFileNoOverwrite(sample, target);
    return outcome == platform::CopyOutcome::Copied || platform::FileExists(target);
}

}  // namespace

std::u16string ChooseConfiguration(const std::u16string& library) {
    const std::u16string beside = ChangeExtension(library, u".ini");
    const std::u16string sample = ChangeExtension(library, u".sample.ini");
    if (platform::FileExists(beside)) return beside;
    // Only a sample that can be read is copied, and only for one are folders made.
    std::string sampleBytes;
    const bool haveSample = platform::ReadWholeFile(sample, kMaxProfileBytes, sampleBytes);
    platform::CopyOutcome outcome = platform::CopyOutcome::Failed;
    if (haveSample && CopiedTo(sample, beside, outcome)) return beside;
    // A folder that takes files, with something else under the configuration's name (a folder, a
    // dangling link, a FIFO): the install reads its own sample, never the user's file.
    if (outcome == platform::CopyOutcome::NameTaken) return sample;
    // The library's folder takes no configuration: the user's own place.
    std::u16string base;
    const std::u16string folder = platform::UserConfigurationFolder(base);
    if (!folder.empty()) {
        const std::u16string own = platform::SameNameIn(folder, beside);
        if (platform::FileExists(own)) return own;
        if (haveSample && platform::MakeFoldersBelow(base, folder) && CopiedTo(sample, own, outcome)) return own;
    }
    return haveSample ? sample : beside;
}

void LoadConfiguration() {
    const std::u16string library = platform::OwnModulePath();
    Configuration config;
    if (!library.empty()) {
        const IniFile ini = OpenIni(ChooseConfiguration(library));
        config = ReadConfiguration(
            [&](const std::u16string& section, const std::u16string& key, const std::u16string& fallback) {
                return ReadIni(ini, section, key, fallback, kIniValueUnits);
            },
            ini.path);
    }
    const bool noFields = config.fields.empty();
    const std::vector<std::u16string> notes = std::move(config.notes);
    InstallConfiguration(std::move(config));
    for (const std::u16string& note : notes) platform::ShowLoadNote(note);
    if (noFields) {
        platform::ShowErrorBox(u"Plugins doesn't have filled Velkaron.ini file", u"Velkaron");
    }
}

void InstallConfiguration(Configuration config) {
    auto table = std::make_unique<std::vector<TFieldsRec>>(std::move(config.fields));
    for (TFieldsRec& field : *table) {
        if (field.Listing) {
            field.OsStream.store = config.store;  // a listing opens no stream of its own
            continue;
        }
        field.Refused = !NamesOwnStream(field.RealStream);
        if (!field.Refused) field.OsStream = platform::MakeStreamName(field.RealStream, config.store);
    }
    ReleaseConfiguration();
    FieldTable = table.release();
    PluginOptions = config.options;
}

void ReleaseConfiguration() noexcept {
    delete FieldTable;
    FieldTable = nullptr;
}

}  // namespace velkaron
