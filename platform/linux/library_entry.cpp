// The loader's hooks of the shared-object build: run by dlopen, and by dlclose or exit().
#include <cxxabi.h>

#include "platform/platform.h"

// This library's own handle for exit handlers, as its static objects' destructors use it.
extern "C" void* __dso_handle;

namespace {

// Set by an exit handler that the library registers when it loads. exit() runs the exit handlers
// before the loader's finalisers, so the destructor hook below then finds it set. dlclose runs
// the library's destructor hooks before the C++ runtime's finalisation calls this library's exit
// handlers, so there it is still clear. The handler is registered under this library's handle
// (not with atexit, which a sanitizer's runtime may keep in a list of its own past dlclose), so
// it goes away with the library.
bool ProcessEnding = false;

void MarkProcessEnding(void*) { ProcessEnding = true; }

}  // namespace

__attribute__((constructor)) static void LibraryLoaded() {
    abi::__cxa_atexit(MarkProcessEnding, nullptr, &__dso_handle);
    velkaron::OnProcessAttach();
}
__attribute__((destructor)) static void LibraryUnloaded() { velkaron::OnProcessDetach(ProcessEnding); }
