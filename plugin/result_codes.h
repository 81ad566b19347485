// What the exports answer the host.
#pragma once

#include <cstdint>

namespace velkaron {

constexpr std::int32_t kFieldWideString = 11;  // field exists / wide string delivered
constexpr std::int32_t kFieldEditable = 1;
constexpr std::int32_t kNoMoreFields = 0;
constexpr std::int32_t kValueDeferred = 0;
constexpr std::int32_t kValueStored = 0;
constexpr std::int32_t kNoSuchField = -1;
constexpr std::int32_t kFileError = -2;
constexpr std::int32_t kFieldEmpty = -3;

}  // namespace velkaron
