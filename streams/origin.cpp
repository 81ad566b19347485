#include "streams/origin.h"

#include <algorithm>

#include "config/profile.h"
#include "platform/platform.h"

namespace velkaron {

namespace {

// A zone as users know it, in place of its number in value[0, count): 0 to 4, with leading zeros
// or not; another number, or anything else, as written. The new count.
std::size_t NameZone(char16_t* value, std::size_t count) {
    static const std::u16string_view kNames[] = {u"Local machine", u"Local intranet", u"Trusted sites", u"Internet",
                                                 u"Restricted sites"};
    const std::u16string_view id(value, count);
    if (id.empty() || !std::all_of(id.begin(), id.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
        return count;
    }
    const std::u16string_view number = id.substr(std::min(id.find_first_not_of(u'0'), id.size() - 1));  // "03" is 3
    if (number.size() != 1 || number[0] > u'4') return count;
    const std::u16string_view name = kNames[number[0] - u'0'];
    std::copy(name.begin(), name.end(), value);
    return name.size();
}

}  // namespace

std::size_t OriginValue(std::string_view bytes, OriginPart part, char16_t* out) {
    const char* const key = part == OriginPart::Zone ? "ZoneId" : part == OriginPart::HostUrl ? "HostUrl" : "ReferrerUrl";
    const std::size_t count = FindProfileValue(bytes, "ZoneTransfer", key, out);
    if (count == kNoProfileValue) return 0;
    return part == OriginPart::Zone ? NameZone(out, count) : count;
}

std::u16string_view OriginText(const char16_t* file, const TFieldsRec& field, OriginUnits& text) {
    platform::StreamBytes bytes;
    if (!platform::ReadStream(file, field.OsStream, kOriginBytes, bytes) || bytes.size() == 0) return {};
    char16_t* const out = text.Reserve(std::max(bytes.size(), kOriginRoom));
    return {out, OriginValue({bytes.data(), bytes.size()}, field.Origin, out)};
}

}  // namespace velkaron
