// Where a file came from: the mark that browsers, mail programs and archivers leave in a file's
// Zone.Identifier stream, read as Windows reads it, for the fields Zone, HostUrl and ReferrerUrl.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/configuration.h"

namespace velkaron {

// The most of a mark that is read, whatever the host's buffer: writers leave a few hundred
// bytes; an address is at most a few KiB. Keys past this are not found.
constexpr std::size_t kOriginBytes = 64 * 1024;

// part of the mark held by bytes, an INI text (section "ZoneTransfer", keys ZoneId, HostUrl and
// ReferrerUrl, matched without regard to case, the first of a name winning) in UTF-16 or UTF-8
// with a byte-order mark, UTF-8 or the ANSI code page; the text ends at its first zero
// character. Zone is the zone's name for ZoneId 0 to 4 ("Local machine", "Local intranet",
// "Trusted sites", "Internet", "Restricted sites"), else the value as written; the addresses are
// as written. Empty when the key is missing or empty.
std::u16string OriginValue(const std::string& bytes, OriginPart part);

// OriginValue of the field's part of file's Zone.Identifier stream; empty when there is none.
std::u16string OriginText(std::u16string_view file, const TFieldsRec& field);

}  // namespace velkaron
