#include <algorithm>
#include <cstring>

#include "config/configuration.h"
#include "platform/platform.h"
#include "plugin/result_codes.h"
#include "streams/encoding.h"
#include "streams/field_value.h"

namespace velkaron {

bool CopyToHostBuffer(const std::u16string& text, void* buffer, std::int32_t bufferSize) noexcept {
    if (buffer == nullptr || bufferSize < 2) return false;
    // One unit short of the buffer's capacity, as the host expects; buffers of 2 and 3 bytes
    // hold just the terminator.
    const std::size_t room = static_cast<std::size_t>(std::max(bufferSize / 2 - 2, 0));
    std::size_t count = 0;
    while (count < room && count < text.size() && text[count] != u'\0') ++count;
    char* out = static_cast<char*>(buffer);
    std::memcpy(out, text.data(), count * sizeof(char16_t));
    const char16_t terminator = 0;
    std::memcpy(out + count * sizeof(char16_t), &terminator, sizeof terminator);
    return true;
}

std::int32_t ReadFieldValue(const char16_t* fileName, std::int32_t fieldIndex,
                            std::int32_t bufferSize, void* valueBuffer) {
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoSuchField;
    std::u16string text;
    try {
        std::string contents;
        if (bufferSize > 0 &&
            platform::ReadStream(fileName != nullptr ? fileName : u"", field->RealStream,
                                 static_cast<std::size_t>(bufferSize), contents)) {
            text = DecodeContents(contents, PluginOptions.ReadUTF8);
        }
    } catch (...) {
        text.clear();  // out of memory: the field reads as empty
    }
    if (text.empty()) return kFieldEmpty;
    return CopyToHostBuffer(text, valueBuffer, bufferSize) ? kFieldWideString : kFieldEmpty;
}

}  // namespace velkaron
