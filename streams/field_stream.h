// A field's stream: read, and replaced or removed with the file's last-write time kept when asked.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "platform/platform.h"

namespace velkaron {

// The listing field's text for file (or folder): every named stream as "NAME (SIZE)", SIZE its
// bytes in decimal followed by "+" when it is a lower bound, in ordinal order of the names' UTF-16 units, joined by ", ". Empty when it has
// none or the OS cannot list them.
std::u16string StreamListText(std::u16string_view file, const TFieldsRec& field);

// Reads at most maxBytes of the field's stream of file. False when it cannot be read.
bool ReadFieldStream(std::u16string_view file, const TFieldsRec& field, std::size_t maxBytes,
                     platform::StreamBytes& bytes);

// text (UTF-16) as the field's stream of file, encoded as the options say; an empty text removes
// the stream. With KeepTime the last-write time is put back, after a failed change too. False
// when the change failed, which then left the stream as it was.
bool StoreFieldText(std::u16string_view file, const TFieldsRec& field, std::u16string_view text);

}  // namespace velkaron
