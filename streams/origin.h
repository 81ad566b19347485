// Where a file came from: the mark that browsers, mail programs and archivers leave in a file's
// Zone.Identifier stream, read as Windows reads it, for the fields Zone, HostUrl and ReferrerUrl.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "platform/small_buffer.h"

namespace velkaron {

// The most of a mark that is read, whatever the host's buffer: writers leave a few hundred
// bytes; an address is at most a few KiB. Keys past this are not found.
constexpr std::size_t kOriginBytes = 64 * 1024;

// The least room OriginValue is given: the longest zone name.
constexpr std::size_t kOriginRoom = 16;

// part of the mark held by bytes, an INI text (section "ZoneTransfer", keys ZoneId, HostUrl and
// ReferrerUrl, matched without regard to case, the first of a name winning) in UTF-16 or UTF-8
// with a byte-order mark, UTF-8 or the ANSI code page; the text ends at its first zero
// character. Zone is the zone's name for ZoneId 0 to 4 ("Local machine", "Local intranet",
// "Trusted sites", "Internet", "Restricted sites"), else the value as written; the addresses are
// as written. Written to out, which has room for bytes.size() units and at least kOriginRoom; the
// count of units, 0 when the key is missing or empty.
std::size_t OriginValue(std::string_view bytes, OriginPart part, char16_t* out);

// The field's part of the Zone.Identifier stream of file (the host's zero-terminated name), held
// in text; empty when there is none.
using OriginUnits = SmallBuffer<char16_t, 2048>;
std::u16string_view OriginText(const char16_t* file, const TFieldsRec& field, OriginUnits& text);

}  // namespace velkaron
