// Start-up and shutdown, driven by the OS layer's loader hook.
#include "config/configuration.h"
#include "platform/platform.h"
#include "plugin/read_lock.h"

namespace velkaron {

void OnProcessAttach() noexcept {
    CreateReadLock();
    try {
        LoadConfiguration();
    } catch (...) {
        // Out of memory while loading: the library stays loaded with no fields.
        ReleaseConfiguration();
    }
}

void OnProcessDetach() noexcept {
    DeleteReadLock();
    ReleaseConfiguration();
}

}  // namespace velkaron
