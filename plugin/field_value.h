// A field's value as the host gets and sets it: the work behind ContentGetValueW and
// ContentSetValueW, with the host's result codes and buffer rules.
#pragma once

#include <cstdint>
#include <string_view>

namespace velkaron {

// The field's stream of fileName, decoded and copied into the host's value buffer of bufferSize
// bytes. Returns 11 (delivered), -1 (no such field) or -3 (empty). Holds the read lock throughout,
// taken here so that the export stays a bare call. Throws nothing: running out of memory reads as
// empty.
std::int32_t ReadFieldValue(const char16_t* fileName, std::int32_t fieldIndex,
                            std::int32_t bufferSize, void* valueBuffer) noexcept;

// Stores value (UTF-16, zero-terminated; null or empty removes the stream) in the field's stream
// of fileName. Returns 0 (stored), -1 (no such field) or -2 (file error).
std::int32_t WriteFieldValue(const char16_t* fileName, std::int32_t fieldIndex, const char16_t* value);

// Copies text into a host buffer of bufferSize bytes as zero-terminated UTF-16: at most
// bufferSize / 2 - 2 characters, stopping at the first zero character. Never writes past the
// buffer; false when it has no room even for the terminator.
bool CopyToHostBuffer(std::u16string_view text, void* buffer, std::int32_t bufferSize) noexcept;

}  // namespace velkaron
