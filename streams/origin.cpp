#include "streams/origin.h"

#include <algorithm>

#include "config/profile.h"
#include "platform/platform.h"

namespace velkaron {

namespace {

bool AllDigits(const std::u16string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// A zone as users know it; a number outside 0 to 4, or anything else, as written.
std::u16string ZoneName(const std::u16string& id) {
    static const char16_t* const kNames[] = {u"Local machine", u"Local intranet", u"Trusted sites", u"Internet",
                                             u"Restricted sites"};
    if (!AllDigits(id)) return id;
    const std::size_t first = std::min(id.find_first_not_of(u'0'), id.size() - 1);  // "03" is 3
    const std::u16string number = id.substr(first);
    return number.size() == 1 && number[0] <= u'4' ? kNames[number[0] - u'0'] : id;
}

}  // namespace

std::u16string OriginValue(const std::string& bytes, OriginPart part) {
    std::u16string text = DecodeProfile(bytes);
    text.resize(std::min(text.find(u'\0'), text.size()));  // older writers end the text with a zero byte
    const ProfileData mark = ParseProfileText(text);
    const char16_t* const key = part == OriginPart::Zone ? u"ZoneId" : part == OriginPart::HostUrl ? u"HostUrl" : u"ReferrerUrl";
    const std::u16string value = LookupProfile(mark, u"ZoneTransfer", key, u"", text.size() + 1);
    return part == OriginPart::Zone ? ZoneName(value) : value;
}

std::u16string OriginText(std::u16string_view file, const TFieldsRec& field) {
    platform::StreamBytes bytes;
    if (!platform::ReadStream(file, field.OsStream, kOriginBytes, bytes) || bytes.size() == 0) return {};
    return OriginValue(std::string(bytes.data(), bytes.size()), field.Origin);
}

}  // namespace velkaron
