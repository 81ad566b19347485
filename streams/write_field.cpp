#include "config/configuration.h"
#include "platform/platform.h"
#include "plugin/result_codes.h"
#include "streams/encoding.h"
#include "streams/field_value.h"

namespace velkaron {

std::int32_t WriteFieldValue(const char16_t* fileName, std::int32_t fieldIndex, const char16_t* value) {
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoSuchField;
    const std::u16string file = fileName != nullptr ? fileName : u"";
    const std::u16string& stream = field->RealStream;
    std::u16string text = value != nullptr ? value : u"";
    if (PluginOptions.SubstituteChars) text = SubstituteLineBreaks(text);

    // The exact last-write time, taken before the change and put back after it. Where it cannot
    // be taken, the time stays as the change leaves it.
    bool isDirectory = false, captured = false;
    platform::FileTime saved;
    if (PluginOptions.KeepTime) {
        isDirectory = platform::IsDirectory(file);
        captured = platform::CaptureWriteTime(file, isDirectory, saved);
    }

    const bool stored = text.empty()
                            ? platform::DeleteStream(file, stream)
                            : platform::WriteStream(file, stream, EncodeValue(text, PluginOptions.WriteUTF8));
    if (!stored) return kFileError;

    if (captured) platform::RestoreWriteTime(file, isDirectory, saved);
    return kValueStored;
}

}  // namespace velkaron
