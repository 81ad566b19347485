// The loader's hooks of the shared-object build: run by dlopen and dlclose (or at exit).
#include "platform/platform.h"

__attribute__((constructor)) static void LibraryLoaded() { velkaron::OnProcessAttach(); }
__attribute__((destructor)) static void LibraryUnloaded() { velkaron::OnProcessDetach(); }
