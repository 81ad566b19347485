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

void OnProcessDetach(bool processEnding) noexcept {
    // A process that ends takes the lock and the table with it. Freeing them here could pull them
    // from under a host thread still inside an export (on Linux exit() runs this while the other
    // threads go on; Windows may have stopped one inside the read lock), so they are left alone.
    if (processEnding) return;
    DeleteReadLock();
    ReleaseConfiguration();
}

}  // namespace velkaron
