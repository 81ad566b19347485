#include <gtest/gtest.h>

#include <map>

#include "config/configuration.h"
#include "platform/linux/codepage.h"
#include "tests/support/test_support.h"

namespace {

using namespace velkaron;

TEST(ChangeExtension, ReplacesOnlyTheFileNamesExtension) {
    struct Case {
        std::u16string path, ini, sample;
    } cases[] = {
        {u"D:\\plugins\\Velkaron.wdx", u"D:\\plugins\\Velkaron.ini", u"D:\\plugins\\Velkaron.sample.ini"},
        {u"D:\\plugins\\Velkaron.w64", u"D:\\plugins\\Velkaron.ini", u"D:\\plugins\\Velkaron.sample.ini"},
        {u"/usr/lib/host/Velkaron.so", u"/usr/lib/host/Velkaron.ini", u"/usr/lib/host/Velkaron.sample.ini"},
        {u"D:\\dir.d\\plugin", u"D:\\dir.d\\plugin.ini", u"D:\\dir.d\\plugin.sample.ini"},
        {u"/dir.d/plugin", u"/dir.d/plugin.ini", u"/dir.d/plugin.sample.ini"},
        {u"C:plugin", u"C:plugin.ini", u"C:plugin.sample.ini"},
        {u"a.b.c", u"a.b.ini", u"a.b.sample.ini"},
        {u"\\\\?\\C:\\p\\V.wdx", u"\\\\?\\C:\\p\\V.ini", u"\\\\?\\C:\\p\\V.sample.ini"},
        {u"", u".ini", u".sample.ini"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChangeExtension(c.path, u".ini"), c.ini);
        EXPECT_EQ(ChangeExtension(c.path, u".sample.ini"), c.sample);
    }
}

TEST(ReplaceDotPlaceholder, ReplacesEveryExactOccurrence) {
    struct Case {
        std::u16string in, out;
    } cases[] = {
        {u"Zone>>>dot<<<Identifier", u"Zone.Identifier"},
        {u"a>>>dot<<<b>>>dot<<<c", u"a.b.c"},
        {u">>>dot<<<", u"."},
        {u">>>dot<<<>>>dot<<<", u".."},
        {u"a>>>DOT<<<b", u"a>>>DOT<<<b"},
        {u">>>>dot<<<<", u">.<"},
        {u">>dot<<", u">>dot<<"},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(ReplaceDotPlaceholder(c.in), c.out);
}

// A configuration given as a map, read the way the INI reader would answer.
Configuration Read(const std::map<std::u16string, std::u16string>& keys) {
    return ReadConfiguration([&](const std::u16string& section, const std::u16string& key,
                                 const std::u16string& fallback) {
        const auto it = keys.find(section + u"/" + key);
        return it == keys.end() ? fallback : it->second;
    }, u"Velkaron.ini");
}

TEST(ReadConfiguration, OptionsAreOnOnlyForExactlyOne) {
    struct Case {
        std::u16string value;
        bool on;
    } cases[] = {{u"1", true}, {u"0", false}, {u"01", false}, {u"true", false},
                 {u"yes", false}, {u"2", false}, {u"", false}, {u"1 ", false}, {u"１", false}};
    for (const char16_t* key : {u"KeepTime", u"WriteUTF8", u"ReadUTF8", u"SubstituteChars", u"ListStreams", u"Origin"}) {
        for (const Case& c : cases) {
            const Options o = Read({{std::u16string(u"Options/") + key, c.value}}).options;
            const int on = o.KeepTime + o.WriteUTF8 + o.ReadUTF8 + o.SubstituteChars + o.ListStreams + o.Origin;
            EXPECT_EQ(on, c.on ? 1 : 0) << velkaron::platform::EncodeUtf8(key) << "="
                                        << velkaron::platform::EncodeUtf8(c.value);
        }
    }
    const Options none = Read({}).options;
    EXPECT_FALSE(none.KeepTime || none.WriteUTF8 || none.ReadUTF8 || none.SubstituteChars || none.ListStreams ||
                 none.Origin);
}

TEST(ReadConfiguration, KeysWithGapsGiveDenseFields) {
    const Configuration c = Read({{u"Streams/0", u"A"}, {u"Streams/5", u"B"}, {u"Streams/99", u"C"},
                                  {u"Streams/100", u"D"}, {u"Streams/05", u"E"}, {u"Options/0", u"F"}});
    ASSERT_EQ(c.fields.size(), 3u);
    EXPECT_EQ(c.fields[0].FieldName, u"A");
    EXPECT_EQ(c.fields[1].FieldName, u"B");
    EXPECT_EQ(c.fields[2].FieldName, u"C");
}

TEST(ReadConfiguration, DotPlaceholderOnlyInStreamNamesAndOnlyWhenAsked) {
    for (bool substitute : {false, true}) {
        const Configuration c = Read({{u"Options/SubstituteChars", substitute ? u"1" : u"0"},
                                      {u"Streams/0", u"Zone>>>dot<<<Identifier"}});
        ASSERT_EQ(c.fields.size(), 1u);
        EXPECT_EQ(c.fields[0].FieldName, u"Zone>>>dot<<<Identifier");
        EXPECT_EQ(c.fields[0].RealStream, substitute ? u"Zone.Identifier" : u"Zone>>>dot<<<Identifier");
    }
}

TEST(ReadConfiguration, AtMostAHundredFields) {
    std::map<std::u16string, std::u16string> keys;
    for (int k = 0; k < 150; ++k) {
        const std::string d = std::to_string(k);
        keys[u"Streams/" + std::u16string(d.begin(), d.end())] = u"S";
    }
    EXPECT_EQ(Read(keys).fields.size(), 100u);
    // ListStreams adds the read-only field Streams after them, and Origin the three read-only
    // parts of Zone.Identifier after that, in either store.
    keys[u"Options/ListStreams"] = u"1";
    keys[u"Options/Origin"] = u"1";
    for (platform::StreamStore store : {platform::StreamStore::Ntfs3g, platform::StreamStore::Samba}) {
        Configuration config = Read(keys);
        config.store = store;
        ASSERT_EQ(config.fields.size(), 104u);
        InstallConfiguration(std::move(config));
        EXPECT_EQ(FieldAt(100)->FieldName, u"Streams");
        EXPECT_TRUE(FieldAt(100)->Listing && !FieldAt(100)->Refused && !FieldAt(99)->Listing);
        EXPECT_EQ(FieldAt(100)->OsStream.store, store);
        const std::pair<const char16_t*, OriginPart> origin[] = {
            {u"Zone", OriginPart::Zone}, {u"HostUrl", OriginPart::HostUrl}, {u"ReferrerUrl", OriginPart::ReferrerUrl}};
        for (int i = 0; i < 3; ++i) {
            const TFieldsRec* field = FieldAt(101 + i);
            EXPECT_EQ(field->FieldName, origin[i].first);
            EXPECT_EQ(field->Origin, origin[i].second);
            EXPECT_TRUE(!Editable(*field) && !field->Refused && !field->Listing);
            const platform::StreamName zone = platform::MakeStreamName(u"Zone.Identifier", store);
            EXPECT_TRUE(field->OsStream.narrow == zone.narrow && field->OsStream.wide == zone.wide);
        }
        EXPECT_TRUE(Editable(*FieldAt(99)) && FieldAt(99)->Origin == OriginPart::None);
        ReleaseConfiguration();
    }
}

// Only names that reach a named stream of the file are opened: nothing that could reach the
// file's own contents, another file or a folder. A refused field keeps its place in the table.
TEST(NamesOwnStream, RefusesWhatCouldReachMoreThanANamedStream) {
    struct Case {
        std::u16string name;
        bool accepted;
    } cases[] = {
        {u"Comment", true},       {u"Zone.Identifier", true}, {u".", true},
        {u"Comment:$DATA", true}, {u"Comment:$data", true},   {u"a b", true},
        {u"", false},             {u":$DATA", false},         {u"::$DATA", false},
        {u"a:b", false},          {u"a\\b", false},          {u"a/b", false},
        {u"a:", false},           {u"a:$DATA:$DATA", false},  {u"a:$DAT", false},
        {u"..\\x", false},      {std::u16string(u"Comment\0x", 9), false},
        {std::u16string(u"\0", 1), false},
    };
    for (const Case& c : cases) EXPECT_EQ(NamesOwnStream(c.name), c.accepted) << testing_support::U8(c.name);

    for (platform::StreamStore store : {platform::StreamStore::Ntfs3g, platform::StreamStore::Samba}) {
        Configuration config;
        const std::u16string nul(u"Comment\0x", 9);
        config.fields = {{u"::$DATA", u"::$DATA"}, {u"Comment", u"Comment"}, {nul, nul}};
        config.store = store;
        InstallConfiguration(std::move(config));
        ASSERT_NE(FieldAt(1), nullptr);
        EXPECT_TRUE(FieldAt(0)->Refused);
        EXPECT_FALSE(FieldAt(1)->Refused);
        EXPECT_TRUE(FieldAt(2)->Refused);
        ReleaseConfiguration();
    }
}

}  // namespace
