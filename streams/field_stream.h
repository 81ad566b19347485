// A field's stream: read, and replaced or removed with the file's last-write time kept when asked.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/configuration.h"
#include "platform/platform.h"

namespace velkaron {

// The listing field's text for file (or folder), ListingText of its named streams. Empty when it
// has none or the OS cannot list them.
std::u16string StreamListText(std::u16string_view file, const TFieldsRec& field);

// entries as the listing field shows them, sorted here: "NAME (SIZE)" each, in ordinal order of
// the names' UTF-16 units, joined by ", ". SIZE is decimal bytes, followed by "+" when it is a
// lower bound. A name holding ',', '(', ')', '"' or a character below U+0020 is written in
// double quotes, inside which '"' is doubled, '\' doubled and U+0000 to U+001F written as
// "\xHH" (two upper-case hex digits), so that the list reads back as the streams it names.
std::u16string ListingText(std::vector<platform::StreamEntry>& entries);

// Reads at most maxBytes of the field's stream of file, the host's zero-terminated name. False
// when it cannot be read.
bool ReadFieldStream(const char16_t* file, const TFieldsRec& field, std::size_t maxBytes,
                     platform::StreamBytes& bytes);

// text (UTF-16) as the field's stream of file, encoded as the options say; an empty text removes
// the stream. With KeepTime the last-write time is put back, after a failed change too. False
// when the change failed, which then left the stream as it was.
bool StoreFieldText(std::u16string_view file, const TFieldsRec& field, std::u16string_view text);

}  // namespace velkaron
