#include "plugin/read_lock.h"

#include "platform/platform.h"

namespace velkaron {
namespace {
platform::CriticalSection ReadLock;
}

void CreateReadLock() noexcept { platform::InitCriticalSection(ReadLock); }
void DeleteReadLock() noexcept { platform::DeleteCriticalSection(ReadLock); }

ReadLockGuard::ReadLockGuard() noexcept { platform::EnterCriticalSection(ReadLock); }
ReadLockGuard::~ReadLockGuard() { platform::LeaveCriticalSection(ReadLock); }

}  // namespace velkaron
