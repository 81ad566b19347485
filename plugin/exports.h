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

// The value exports built twice on x86-64 Linux: for any such processor, and for those of about
// the last ten years (AVX2 and the newer bit instructions, level v3), where the same code takes
// fewer instructions. The loader binds each export to the build the processor runs. Not in the
// thread checker's builds: its runtime is not up yet when the loader makes that choice.
#if defined(__x86_64__) && defined(__ELF__) && !defined(__SANITIZE_THREAD__)
#define VELKARON_BUILT_PER_MACHINE __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define VELKARON_BUILT_PER_MACHINE
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
}
