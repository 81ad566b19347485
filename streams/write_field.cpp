#include "config/configuration.h"
#include "platform/platform.h"
#include "platform/small_buffer.h"
#include "plugin/result_codes.h"
#include "streams/encoding.h"
#include "streams/field_value.h"

namespace velkaron {

namespace {

// text stored as the stream's contents (an empty text removes the stream), keeping the last-write
// time when asked.
std::int32_t StoreText(std::u16string_view file, const platform::StreamName& stream, std::u16string_view text) {
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
    // A failed change may have moved the time too (the stream was extended and put back).
    if (captured) platform::RestoreWriteTime(file, isDirectory, saved);
    return stored ? kValueStored : kFileError;
}

// A text with typed line breaks, stored with CR LF in their place. Kept out of line, so that an
// ordinary write carries no string of its own.
[[gnu::noinline]] std::int32_t StoreSubstituted(std::u16string_view file, const platform::StreamName& stream,
                                                std::u16string_view text) {
    return StoreText(file, stream, SubstituteLineBreaks(text));
}

}  // namespace

std::int32_t WriteFieldValue(const char16_t* fileName, std::int32_t fieldIndex, const char16_t* value) {
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoSuchField;
    if (field->Refused) return kFileError;
    const std::u16string_view file = HostText(fileName), text = HostText(value);
    if (PluginOptions.SubstituteChars && HasTypedLineBreak(text)) return StoreSubstituted(file, field->OsStream, text);
    return StoreText(file, field->OsStream, text);
}

}  // namespace velkaron
