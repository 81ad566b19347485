// The loader's entry point of the Windows builds.
#include <windows.h>

#include "platform/platform.h"

// The compiler runtime is linked into the DLL, so each load of the DLL has a copy of its own,
// and an unload has to hand back what that copy took from the process:
// - the C++ runtime's reserve for exceptions thrown when memory runs out, taken from the process
//   heap at load (about 70 KiB);
// - the threads library's record of the loading thread, holding a duplicate of its handle and an
//   event (the 32-bit build's exception tables are registered under a lock that makes one). The
//   library drops such a record when its thread ends, through the TLS callback below; for the
//   thread that unloads the DLL that never happens while the DLL is still there.
namespace __gnu_cxx {
void __freeres();
}
extern "C" const PIMAGE_TLS_CALLBACK __xl_f;

// reserved is null for FreeLibrary and non-null when the process is ending.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) velkaron::OnProcessAttach();
    if (reason == DLL_PROCESS_DETACH) {
        velkaron::OnProcessDetach(reserved != nullptr);
        if (reserved == nullptr) {
            __gnu_cxx::__freeres();
            __xl_f(instance, DLL_THREAD_DETACH, nullptr);
        }
    }
    return TRUE;
}
