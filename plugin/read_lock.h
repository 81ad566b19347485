// The process-wide lock that serialises stream reads.
#pragma once

namespace velkaron {

void CreateReadLock() noexcept;
void DeleteReadLock() noexcept;

// Holds the read lock for its scope.
class ReadLockGuard {
public:
    ReadLockGuard() noexcept;
    ~ReadLockGuard();
    ReadLockGuard(const ReadLockGuard&) = delete;
    ReadLockGuard& operator=(const ReadLockGuard&) = delete;
};

}  // namespace velkaron
