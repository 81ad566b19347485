// The loader's entry point of the Windows builds.
#include <windows.h>

#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) velkaron::OnProcessAttach();
    if (reason == DLL_PROCESS_DETACH) velkaron::OnProcessDetach();
    return TRUE;
}
