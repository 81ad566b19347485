// The lock that serialises reads: a plain mutex. Nothing here runs at process exit, so a host
// thread still inside a read when the process ends finds the lock as it was.
#include <pthread.h>

#include <new>

#include "platform/platform.h"

namespace velkaron::platform {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CriticalSection::storage));
static_assert(alignof(pthread_mutex_t) <= alignof(CriticalSection));

static pthread_mutex_t* AsMutex(CriticalSection& section) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(section.storage));
}

void InitCriticalSection(CriticalSection& section) noexcept {
    new (section.storage) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER);
}
void EnterCriticalSection(CriticalSection& section) noexcept { pthread_mutex_lock(AsMutex(section)); }
void LeaveCriticalSection(CriticalSection& section) noexcept { pthread_mutex_unlock(AsMutex(section)); }
void DeleteCriticalSection(CriticalSection& section) noexcept { pthread_mutex_destroy(AsMutex(section)); }

}  // namespace velkaron::platform
