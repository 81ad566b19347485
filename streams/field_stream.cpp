#include "streams/field_stream.h"

#include "platform/small_buffer.h"
#include "text/encoding.h"

namespace velkaron {

bool ReadFieldStream(std::u16string_view file, const TFieldsRec& field, std::size_t maxBytes,
                     platform::StreamBytes& bytes) {
    return platform::ReadStream(file, field.OsStream, maxBytes, bytes);
}

bool StoreFieldText(std::u16string_view file, const TFieldsRec& field, std::u16string_view text) {
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
        stored = platform::DeleteStream(file, field.OsStream);
    } else {
        SmallBuffer<char, 4096> bytes;
        const std::size_t size = EncodeValue(text, PluginOptions.WriteUTF8, bytes.Reserve(3 * text.size()));
        stored = platform::WriteStream(file, field.OsStream, {bytes.data(), size});
    }
    // A failed change may have moved the time too (the stream was extended and put back).
    if (captured) platform::RestoreWriteTime(file, isDirectory, saved);
    return stored;
}

}  // namespace velkaron
