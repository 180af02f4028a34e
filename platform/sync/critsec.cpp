// Critical sections: recursive in-process locks on a futex word, with the
// optional spin before sleeping. LockCount: 0 free, 1 held, 2 held with
// sleepers; OwningThread holds the owner's thread id.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include "tw/sync.h"
#include "tw/thread.h"

namespace {

DWORD CurrentTid() { return GetCurrentThreadId(); }

LONG* Word(LPCRITICAL_SECTION cs) { return const_cast<LONG*>(&cs->LockCount); }

bool OwnedByCaller(LPCRITICAL_SECTION cs) {
  auto owner = reinterpret_cast<std::uintptr_t>(__atomic_load_n(&cs->OwningThread, __ATOMIC_RELAXED));
  return owner == CurrentTid();
}

void SetOwner(LPCRITICAL_SECTION cs, std::uintptr_t tid) {
  __atomic_store_n(&cs->OwningThread, reinterpret_cast<HANDLE>(tid), __ATOMIC_RELAXED);
}

bool TryLockWord(LPCRITICAL_SECTION cs) {
  LONG expected = 0;
  return __atomic_compare_exchange_n(Word(cs), &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

void LockWord(LPCRITICAL_SECTION cs) {
  const ULONG_PTR spins = __atomic_load_n(&cs->SpinCount, __ATOMIC_RELAXED);
  for (ULONG_PTR i = 0; i < spins; ++i) {
    if (__atomic_load_n(Word(cs), __ATOMIC_RELAXED) == 0 && TryLockWord(cs)) return;
    __builtin_ia32_pause();
  }
  LONG c = 0;
  if (__atomic_compare_exchange_n(Word(cs), &c, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) return;
  if (c != 2) c = __atomic_exchange_n(Word(cs), 2, __ATOMIC_ACQUIRE);
  while (c != 0) {
    syscall(SYS_futex, Word(cs), FUTEX_WAIT_PRIVATE, 2, nullptr, nullptr, 0);
    c = __atomic_exchange_n(Word(cs), 2, __ATOMIC_ACQUIRE);
  }
}

void Init(LPCRITICAL_SECTION cs, DWORD spinCount) {
  cs->DebugInfo = nullptr;
  cs->LockCount = 0;
  cs->RecursionCount = 0;
  cs->OwningThread = nullptr;
  cs->LockSemaphore = nullptr;
  cs->SpinCount = spinCount & 0x00FFFFFF;  // the high bits are flags on Windows
}

}  // namespace

TWAPI void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) { Init(lpCriticalSection, 0); }

TWAPI BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount) {
  Init(lpCriticalSection, dwSpinCount);
  return TRUE;
}

TWAPI BOOL InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount, DWORD) {
  Init(lpCriticalSection, dwSpinCount);
  return TRUE;
}

TWAPI DWORD SetCriticalSectionSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount) {
  auto previous = __atomic_exchange_n(&lpCriticalSection->SpinCount, dwSpinCount & 0x00FFFFFF, __ATOMIC_RELAXED);
  return static_cast<DWORD>(previous);
}

TWAPI void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (OwnedByCaller(lpCriticalSection)) {
    lpCriticalSection->RecursionCount++;
    return;
  }
  LockWord(lpCriticalSection);
  SetOwner(lpCriticalSection, CurrentTid());
  lpCriticalSection->RecursionCount = 1;
}

TWAPI BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (OwnedByCaller(lpCriticalSection)) {
    lpCriticalSection->RecursionCount++;
    return TRUE;
  }
  if (!TryLockWord(lpCriticalSection)) return FALSE;
  SetOwner(lpCriticalSection, CurrentTid());
  lpCriticalSection->RecursionCount = 1;
  return TRUE;
}

// Leaving a section the caller does not own is a programming error; it is
// ignored rather than releasing another thread's lock.
TWAPI void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!OwnedByCaller(lpCriticalSection) || lpCriticalSection->RecursionCount <= 0) return;
  if (--lpCriticalSection->RecursionCount > 0) return;
  SetOwner(lpCriticalSection, 0);
  if (__atomic_exchange_n(Word(lpCriticalSection), 0, __ATOMIC_RELEASE) == 2)
    syscall(SYS_futex, Word(lpCriticalSection), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

TWAPI void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) { Init(lpCriticalSection, 0); }
