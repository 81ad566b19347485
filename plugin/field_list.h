#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkaron {

// Copies name into a host buffer of size bytes the way a bounded string copy with a count of
// size - 1 does (at most size - 2 characters, then a zero byte), but never writes for a null
// buffer or a size below 2.
void CopyFieldName(const std::string& name, char* buffer, std::int32_t size) noexcept;

// Copies text with its zero byte into a host buffer of size bytes when it fits; else writes an
// empty string, since a cut expression would mean something else. Never writes for a null
// buffer or a size below 1.
void CopyWholeString(const char* text, char* buffer, std::int32_t size) noexcept;

}  // namespace velkaron
