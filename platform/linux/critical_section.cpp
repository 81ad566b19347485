// The lock that serialises reads: a futex lock with three states (free, held, held with waiters),
// so that taking and leaving it uncontended is one atomic instruction each, inlined into the
// read, and a thread that finds it held sleeps in the kernel until the holder wakes it.
// Nothing here runs at process exit, so a host thread still inside a read when the process ends
// finds the lock as it was.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "platform/platform.h"

namespace velkaron::platform {

namespace {

enum State : int { kFree = 0, kHeld = 1, kContended = 2 };

using Word = std::atomic<int>;
static_assert(sizeof(Word) == sizeof(int) && Word::is_always_lock_free, "the futex word is a plain int");
static_assert(sizeof(Word) <= sizeof(CriticalSection::storage));

Word& AsWord(CriticalSection& section) { return *std::launder(reinterpret_cast<Word*>(section.storage)); }

void Futex(Word& word, int operation, int value) {
    syscall(SYS_futex, reinterpret_cast<int*>(&word), operation | FUTEX_PRIVATE_FLAG, value, nullptr, nullptr, 0);
}

}  // namespace

void InitCriticalSection(CriticalSection& section) noexcept { new (section.storage) Word(kFree); }

void EnterCriticalSection(CriticalSection& section) noexcept {
    Word& word = AsWord(section);
    int seen = kFree;
    if (word.compare_exchange_strong(seen, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) return;
    // Held: mark it contended, so that its holder wakes a sleeper, and sleep until it is free.
    if (seen != kContended) seen = word.exchange(kContended, std::memory_order_acquire);
    while (seen != kFree) {
        Futex(word, FUTEX_WAIT, kContended);
        seen = word.exchange(kContended, std::memory_order_acquire);
    }
}

void LeaveCriticalSection(CriticalSection& section) noexcept {
    Word& word = AsWord(section);
    if (word.exchange(kFree, std::memory_order_release) == kContended) Futex(word, FUTEX_WAKE, 1);
}

void DeleteCriticalSection(CriticalSection& section) noexcept { AsWord(section).~Word(); }

}  // namespace velkaron::platform
