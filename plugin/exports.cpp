// The value exports. The 8-bit entry points answer "empty" and "file error" for everything: the
// plug-in speaks to hosts in UTF-16 only.
#include "plugin/exports.h"

#include "plugin/result_codes.h"
#include "plugin/field_value.h"

extern "C" std::int32_t VELKARON_CALL ContentGetValue(char*, std::int32_t, std::int32_t, void*,
                                                       std::int32_t, std::int32_t) {
    return velkaron::kFieldEmpty;
}

extern "C" std::int32_t VELKARON_CALL ContentSetValue(char*, std::int32_t, std::int32_t,
                                                       std::int32_t, void*, std::int32_t) {
    return velkaron::kFileError;
}

// Every value is slow to get: a call that offers to wait is answered "deferred" at once, without
// looking at anything, and the host asks again without that flag.
extern "C" std::int32_t VELKARON_CALL
ContentGetValueW(char16_t* fileName, std::int32_t fieldIndex, std::int32_t, void* fieldValue, std::int32_t maxLen,
                 std::int32_t flags) {
    using namespace velkaron;
    if (flags & 1) return kValueDeferred;
    try {
        return ReadFieldValue(fileName, fieldIndex, maxLen, fieldValue);
    } catch (...) {
        return kFieldEmpty;
    }
}

// Writes take no lock: the configuration they read never changes after load, and the stream's
// own unshared open keeps a read and a write of it apart.
extern "C" std::int32_t VELKARON_CALL
ContentSetValueW(char16_t* fileName, std::int32_t fieldIndex, std::int32_t, std::int32_t, void* fieldValue,
                 std::int32_t) {
    using namespace velkaron;
    try {
        return WriteFieldValue(fileName, fieldIndex, static_cast<const char16_t*>(fieldValue));
    } catch (...) {
        return kFileError;  // out of memory
    }
}
