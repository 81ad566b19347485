// The INI reader: any file parses, and every lookup answers within its buffer; a file's
// Zone.Identifier mark, read through it, gives no address longer than the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    for (const velkaron::OriginPart part : {velkaron::OriginPart::HostUrl, velkaron::OriginPart::ReferrerUrl}) {
        if (velkaron::OriginValue(bytes, part).size() > bytes.size()) std::abort();
    }
    (void)velkaron::OriginValue(bytes, velkaron::OriginPart::Zone);
    return 0;
}
