// The lock that serialises reads, taken around every one of them.
//
// Underneath is one word, 0 free, 1 held, 2 held with threads asleep on it: a free word costs one
// atomic step to take and one to release, and only a contended one calls the kernel (a futex: a
// waiter sleeps while the word is 2, and the thread that leaves a 2 behind wakes one).
//
// Hosts read from one thread of theirs nearly always, and next to a fast system call those two
// atomic steps are a good part of a read. So once one thread has taken the word kLeanAfter times
// in a row, with no other thread in between, the lock leans toward it: that thread enters and
// leaves with plain stores and loads. It marks itself inside, then looks whether the lock still
// leans its way. Another thread that wants in takes the word, turns the lock upright for good,
// makes every thread of the process pass a full memory barrier (membarrier) and waits until the
// leaning thread is outside. Either the leaning thread sees the lock upright or the other sees
// it inside, never neither: the barrier the other forces stands in for the one the leaning
// thread leaves out. Upright, every thread takes the word. Where the kernel has no membarrier
// the lock never leans.
#include <linux/futex.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/platform.h"

namespace velkaron::platform {

namespace {

constexpr int kLeanAfter = 64;

// The calling thread, told apart from every other live thread by its thread pointer.
std::uintptr_t Self() {
#if defined(__x86_64__) || defined(__aarch64__)
    return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
#else
    static thread_local char marker;
    return reinterpret_cast<std::uintptr_t>(&marker);
#endif
}

// What the lock leans toward: no thread yet, a thread, or no thread ever again.
constexpr std::uintptr_t kNoThread = 0, kUpright = 1;

struct Lock {
    std::atomic<int> word{0};
    // The leaning thread while it is inside on its own path, else 0; written by that thread, and
    // waited on (its first four bytes as a futex word) by a thread waiting for it to leave.
    std::atomic<std::uintptr_t> inside{0};
    std::atomic<std::uintptr_t> leaning{kNoThread};  // changed only by a thread holding the word
    bool canLean = false;
    // Who took the word last, and how many times in a row; both guarded by the word.
    std::uintptr_t lastTaker = kNoThread;
    int streak = 0;
};
static_assert(sizeof(Lock) <= sizeof(CriticalSection::storage));

Lock& AsLock(CriticalSection& section) { return *std::launder(reinterpret_cast<Lock*>(section.storage)); }

long Futex(void* word, int op, int value) {
    return syscall(SYS_futex, word, op | FUTEX_PRIVATE_FLAG, value, nullptr, nullptr, 0);
}

// Keeps the compiler from moving memory accesses across it; the processor may still let a later
// load pass an earlier store, which the process-wide barrier of a thread turning the lock
// upright makes up for.
inline void CompilerBarrier() { asm volatile("" ::: "memory"); }

void TakeWord(Lock& lock) {
    int expected = 0;
    if (lock.word.compare_exchange_strong(expected, 1, std::memory_order_acquire)) return;
    // Taken: mark it as having sleepers and sleep until it is free.
    while (lock.word.exchange(2, std::memory_order_acquire) != 0) Futex(&lock.word, FUTEX_WAIT, 2);
}

// Waits until the thread the lock leaned toward is outside. The futex word is the first four
// bytes of `inside`; a spurious or early wake just looks again.
void WaitUntilOutside(Lock& lock) {
    for (;;) {
        const std::uintptr_t in = lock.inside.load(std::memory_order_acquire);
        if (in == 0) return;
        int firstBytes;
        std::memcpy(&firstBytes, &in, sizeof firstBytes);
        Futex(&lock.inside, FUTEX_WAIT, firstBytes);
    }
}

void WakeWaiterForOutside(Lock& lock) { Futex(&lock.inside, FUTEX_WAKE, INT_MAX); }

// With the word held: turns a lock that leans toward another thread upright, or leans it toward
// this thread after its run of takes.
[[gnu::noinline]] void SettleLeaning(Lock& lock, std::uintptr_t self) {
    const std::uintptr_t leaning = lock.leaning.load(std::memory_order_relaxed);
    if (leaning == kNoThread) {
        if (lock.lastTaker != self) {
            lock.lastTaker = self;
            lock.streak = 0;
        }
        if (lock.canLean && ++lock.streak >= kLeanAfter) lock.leaning.store(self, std::memory_order_relaxed);
    } else if (leaning != kUpright && leaning != self) {
        lock.leaning.store(kUpright, std::memory_order_relaxed);
        // Registered at start-up, which is what let the lock lean at all.
        syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
        WaitUntilOutside(lock);
    }
}

}  // namespace

void InitCriticalSection(CriticalSection& section) noexcept {
    Lock& lock = *new (section.storage) Lock;
    lock.canLean = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
}

void EnterCriticalSection(CriticalSection& section) noexcept {
    Lock& lock = AsLock(section);
    const std::uintptr_t self = Self();
    if (lock.leaning.load(std::memory_order_relaxed) == self) [[likely]] {
        lock.inside.store(self, std::memory_order_relaxed);
        CompilerBarrier();
        if (lock.leaning.load(std::memory_order_acquire) == self) [[likely]] return;
        // Turned upright meanwhile: step out again (the other thread may be waiting for that).
        lock.inside.store(0, std::memory_order_release);
        WakeWaiterForOutside(lock);
    }
    TakeWord(lock);
    SettleLeaning(lock, self);
}

void LeaveCriticalSection(CriticalSection& section) noexcept {
    Lock& lock = AsLock(section);
    const std::uintptr_t self = Self();
    if (lock.inside.load(std::memory_order_relaxed) == self) [[likely]] {
        lock.inside.store(0, std::memory_order_release);
        CompilerBarrier();
        if (lock.leaning.load(std::memory_order_relaxed) != self) WakeWaiterForOutside(lock);
        return;
    }
    if (lock.word.exchange(0, std::memory_order_release) == 2) Futex(&lock.word, FUTEX_WAKE, 1);
}

void DeleteCriticalSection(CriticalSection& section) noexcept { AsLock(section).~Lock(); }

}  // namespace velkaron::platform
