// The six functions the host calls. Wide strings are UTF-16 (wchar_t on Windows, which has the
// same layout as char16_t); 8-bit strings are in the system ANSI code page.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VELKARON_CALL __stdcall
#else
#define VELKARON_CALL
#endif

#if defined(_WIN32)
#define VELKARON_EXPORT  // the export list is the .def file
#else
#define VELKARON_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

VELKARON_EXPORT std::int32_t VELKARON_CALL ContentGetSupportedField(std::int32_t fieldIndex,
                                                                     char* fieldName, char* units,
                                                                     std::int32_t maxLen);
VELKARON_EXPORT std::int32_t VELKARON_CALL ContentGetSupportedFieldFlags(std::int32_t fieldIndex);
VELKARON_EXPORT std::int32_t VELKARON_CALL ContentGetValue(char* fileName, std::int32_t fieldIndex,
                                                            std::int32_t unitIndex, void* fieldValue,
                                                            std::int32_t maxLen, std::int32_t flags);
VELKARON_EXPORT std::int32_t VELKARON_CALL ContentGetValueW(char16_t* fileName,
                                                             std::int32_t fieldIndex,
                                                             std::int32_t unitIndex, void* fieldValue,
                                                             std::int32_t maxLen, std::int32_t flags);
VELKARON_EXPORT std::int32_t VELKARON_CALL ContentSetValue(char* fileName, std::int32_t fieldIndex,
                                                            std::int32_t unitIndex,
                                                            std::int32_t fieldType, void* fieldValue,
                                                            std::int32_t flags);
VELKARON_EXPORT std::int32_t VELKARON_CALL ContentSetValueW(char16_t* fileName,
                                                             std::int32_t fieldIndex,
                                                             std::int32_t unitIndex,
                                                             std::int32_t fieldType,
                                                             void* fieldValue, std::int32_t flags);
// The Linux build's seventh export; the Windows builds export the six above only.
VELKARON_EXPORT void VELKARON_CALL ContentGetDetectString(char* detectString, std::int32_t maxLen);
}
