// The INI reader: any file parses, and every lookup answers within its buffer; one value looked
// up alone is the one the whole parse gives; a file's Zone.Identifier mark, read through it,
// gives no field longer than its room.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/profile.h"
#include "streams/origin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const velkaron::ProfileData profile = velkaron::ParseProfile(bytes);
    static const char16_t* const sections[] = {u"Options", u"Streams", u"", u"S"};
    static const char16_t* const keys[] = {u"KeepTime", u"0", u"1", u"99", u"k", u""};
    for (const char16_t* section : sections) {
        for (const char16_t* key : keys) {
            for (std::size_t buffer : {0, 1, 2, 5, 2000}) {
                const std::u16string value = velkaron::LookupProfile(profile, section, key, u"dflt  ", buffer);
                if (buffer > 0 ? value.size() >= buffer : !value.empty()) std::abort();
            }
        }
    }
    // One value found without parsing the rest is what the whole parse finds, the text cut at its
    // first NUL; a mark's field never outgrows its room.
    std::u16string text = velkaron::DecodeProfile(bytes);
    const velkaron::ProfileData cut = velkaron::ParseProfileText(std::u16string_view(text).substr(0, text.find(u'\0')));
    std::u16string found(std::max(bytes.size(), velkaron::kOriginRoom), u'\0');
    for (const char* section : {"ZoneTransfer", "S", ""}) {
        for (const char* key : {"ZoneId", "HostUrl", "k", ""}) {
            const std::u16string wideSection(section, section + std::strlen(section)), wideKey(key, key + std::strlen(key));
            const std::size_t count = velkaron::FindProfileValue(bytes, section, key, found.data());
            const std::u16string expected = velkaron::LookupProfile(cut, wideSection, wideKey, u"?", found.size() + 1);
            if (count == velkaron::kNoProfileValue ? expected != u"?" : std::u16string(found.data(), count) != expected) {
                std::abort();
            }
        }
    }
    for (const velkaron::OriginPart part :
         {velkaron::OriginPart::Zone, velkaron::OriginPart::HostUrl, velkaron::OriginPart::ReferrerUrl}) {
        if (velkaron::OriginValue(bytes, part, found.data()) > found.size()) std::abort();
    }
    return 0;
}
