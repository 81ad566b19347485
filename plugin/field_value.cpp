#include "plugin/field_value.h"

#include <algorithm>
#include <cstring>

#include "config/configuration.h"
#include "platform/small_buffer.h"
#include "plugin/read_lock.h"
#include "plugin/result_codes.h"
#include "streams/field_stream.h"
#include "streams/origin.h"
#include "text/encoding.h"

namespace velkaron {

namespace {

// How many units of text a buffer of bufferSize bytes takes: one short of its capacity, as the
// host expects (buffers of 2 and 3 bytes hold just the terminator).
std::size_t Room(std::int32_t bufferSize) { return static_cast<std::size_t>(std::max(bufferSize / 2 - 2, 0)); }

// How many units the host gets of a text of count units: as many as there is room for, and never
// past the text's first zero unit.
std::size_t DeliveredUnits(const char16_t* text, std::size_t count, std::int32_t bufferSize) {
    const std::size_t limit = std::min(Room(bufferSize), count);
    return static_cast<std::size_t>(std::find(text, text + limit, u'\0') - text);
}

// Contents that may decode to more than the host's buffer holds, or a buffer that is not aligned
// for UTF-16: decoded into a buffer of their own, then copied. Out of line, as is the text of the
// fields that are not a stream's contents, so that the usual read carries neither's frame.
__attribute__((noinline)) std::int32_t DeliverDecodedAside(std::string_view contents, std::int32_t bufferSize, void* valueBuffer) {
    SmallBuffer<char16_t, 4096> decoded;
    const std::size_t count = DecodeContents(contents, PluginOptions.ReadUTF8, decoded.Reserve(contents.size()));
    if (count == 0) return kFieldEmpty;
    return CopyToHostBuffer({decoded.data(), count}, valueBuffer, bufferSize) ? kFieldWideString : kFieldEmpty;
}

// A field whose text is made from the file rather than read: its streams listed, or its origin.
__attribute__((noinline)) std::int32_t DeliverMadeText(const char16_t* fileName, const TFieldsRec& field,
                                                       std::int32_t bufferSize, void* valueBuffer) {
    if (field.Listing) {
        const std::u16string text = StreamListText(HostText(fileName), field);
        return !text.empty() && CopyToHostBuffer(text, valueBuffer, bufferSize) ? kFieldWideString : kFieldEmpty;
    }
    OriginUnits units;
    const std::u16string_view text = OriginText(fileName != nullptr ? fileName : u"", field, units);
    return !text.empty() && CopyToHostBuffer(text, valueBuffer, bufferSize) ? kFieldWideString : kFieldEmpty;
}

}  // namespace

bool CopyToHostBuffer(std::u16string_view text, void* buffer, std::int32_t bufferSize) noexcept {
    if (buffer == nullptr || bufferSize < 2) return false;
    const std::size_t count = DeliveredUnits(text.data(), text.size(), bufferSize);
    char* out = static_cast<char*>(buffer);
    std::memcpy(out, text.data(), count * sizeof(char16_t));
    const char16_t terminator = 0;
    std::memcpy(out + count * sizeof(char16_t), &terminator, sizeof terminator);
    return true;
}

std::int32_t ReadFieldValue(const char16_t* fileName, std::int32_t fieldIndex,
                            std::int32_t bufferSize, void* valueBuffer) noexcept {
    ReadLockGuard lock;
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoSuchField;
    if (field->Refused || valueBuffer == nullptr || bufferSize < 2) return kFieldEmpty;
    try {
        if (field->Listing || field->Origin != OriginPart::None) {
            return DeliverMadeText(fileName, *field, bufferSize, valueBuffer);
        }
        platform::StreamBytes bytes;
        if (!ReadFieldStream(fileName != nullptr ? fileName : u"", *field, static_cast<std::size_t>(bufferSize), bytes) ||
            bytes.size() == 0) {
            return kFieldEmpty;
        }
        const std::string_view contents(bytes.data(), bytes.size());
        // Decoding never makes more units than there are bytes. When they all fit the host's
        // buffer with the terminator, the text is decoded straight into it and cut in place.
        const std::size_t hostUnits = static_cast<std::size_t>(bufferSize) / sizeof(char16_t);
        if (contents.size() < hostUnits &&
            reinterpret_cast<std::uintptr_t>(valueBuffer) % alignof(char16_t) == 0) {
            auto* text = static_cast<char16_t*>(valueBuffer);
            std::size_t textUnits;
            if (DecodeContents(contents, PluginOptions.ReadUTF8, text, textUnits) == 0) return kFieldEmpty;
            text[std::min(Room(bufferSize), textUnits)] = u'\0';
            return kFieldWideString;
        }
        return DeliverDecodedAside(contents, bufferSize, valueBuffer);
    } catch (...) {
        return kFieldEmpty;  // out of memory: the field reads as empty
    }
}

std::int32_t WriteFieldValue(const char16_t* fileName, std::int32_t fieldIndex, const char16_t* value) {
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoSuchField;
    if (!Editable(*field)) return kFileError;
    const std::u16string_view file = HostText(fileName), text = HostText(value);
    const bool stored = PluginOptions.SubstituteChars && HasTypedLineBreak(text)
                            ? StoreFieldText(file, *field, SubstituteLineBreaks(text))
                            : StoreFieldText(file, *field, text);
    return stored ? kValueStored : kFileError;
}

}  // namespace velkaron
