// The detect string, exported by the Linux build only: the Linux file manager shows a plug-in's
// fields in its file Properties dialog only when it exports one. Any file or folder may have
// streams, so it matches every file.
#include "plugin/exports.h"
#include "plugin/field_list.h"

extern "C" void VELKARON_CALL ContentGetDetectString(char* detectString, std::int32_t maxLen) {
    velkaron::CopyWholeString("EXT=\"*\"", detectString, maxLen);
}
