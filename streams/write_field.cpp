#include "config/configuration.h"
#include "platform/platform.h"
#include "platform/small_buffer.h"
#include "plugin/result_codes.h"
#include "streams/encoding.h"
#include "streams/field_value.h"

namespace velkaron {

std::int32_t WriteFieldValue(const char16_t* fileName, std::int32_t fieldIndex, const char16_t* value) {
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoSuchField;
    const std::u16string_view file = HostText(fileName);
    const platform::StreamName& stream = field->OsStream;
    std::u16string_view text = HostText(value);
    std::u16string substituted;
    if (PluginOptions.SubstituteChars && HasTypedLineBreak(text)) {
        substituted = SubstituteLineBreaks(text);
        text = substituted;
    }

    // The exact last-write time, taken before the change and put back after it. Where it cannot
    // be taken, the time stays as the change leaves it. A write without KeepTime does none of it.
    bool isDirectory = false, captured = false;
    platform::FileTime saved;
    if (PluginOptions.KeepTime) {
        isDirectory = platform::IsDirectory(file);
        captured = platform::CaptureWriteTime(file, isDirectory, saved);
    }

    bool stored;
    if (text.empty()) {
        stored = platform::DeleteStream(file, stream);
    } else {
        SmallBuffer<char, 4096> bytes;
        const std::size_t size = EncodeValue(text, PluginOptions.WriteUTF8, bytes.Reserve(3 * text.size()));
        stored = platform::WriteStream(file, stream, {bytes.data(), size});
    }
    if (!stored) return kFileError;

    if (captured) platform::RestoreWriteTime(file, isDirectory, saved);
    return kValueStored;
}

}  // namespace velkaron
