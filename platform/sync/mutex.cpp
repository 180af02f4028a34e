// Mutexes: owned by a thread, recursive, abandoned when the owner thread or
// its process ends while holding one (the next owner is told WAIT_ABANDONED).
#include "objects.h"
#include "tw/sync.h"

namespace tw::sync {

bool AcquireMutexLocked(const std::shared_ptr<Arena>& arena, ObjectRecord& mutex) {
  const auto& self = Self();
  if (mutex.ownerTid == self.tid && mutex.ownerPid == self.pid) {
    mutex.recursion++;
    return false;
  }
  bool abandoned = mutex.abandoned != 0;
  mutex.ownerPid = self.pid;
  mutex.ownerTid = self.tid;
  mutex.ownerStart = self.threadStart;
  mutex.recursion = 1;
  mutex.abandoned = 0;
  NoteMutexOwner(arena);
  return abandoned;
}

bool ReleaseMutexLocked(ObjectRecord& mutex) {
  const auto& self = Self();
  if (mutex.ownerTid != self.tid || mutex.ownerPid != self.pid || mutex.recursion == 0) {
    SetLastError(ERROR_NOT_OWNER);
    return false;
  }
  if (--mutex.recursion == 0) {
    mutex.ownerPid = 0;
    mutex.ownerTid = 0;
    mutex.ownerStart = 0;
  }
  return true;
}

}  // namespace tw::sync

using namespace tw::sync;

TWAPI HANDLE CreateMutexExW(LPSECURITY_ATTRIBUTES, LPCWSTR lpName, DWORD dwFlags, DWORD dwDesiredAccess) {
  if (dwFlags & ~static_cast<DWORD>(CREATE_MUTEX_INITIAL_OWNER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool owned = dwFlags & CREATE_MUTEX_INITIAL_OWNER;
  std::shared_ptr<Arena> arena = owned ? Arena::Current() : nullptr;
  // Ownership is recorded on the new record only: an existing mutex is opened as it is.
  return CreateObject(Kind::Mutex, lpName, dwDesiredAccess, [&](ObjectRecord& mutex) {
    if (owned && arena) AcquireMutexLocked(arena, mutex);
  });
}

TWAPI HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
  return CreateMutexExW(lpMutexAttributes, lpName, bInitialOwner ? CREATE_MUTEX_INITIAL_OWNER : 0, MUTEX_ALL_ACCESS);
}

TWAPI HANDLE OpenMutexW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  return OpenObject(Kind::Mutex, lpName, dwDesiredAccess);
}

TWAPI BOOL ReleaseMutex(HANDLE hMutex) {
  return WithRecord(hMutex, Kind::Mutex, 0, [](Arena::Lock& lock, ObjectRecord& mutex) -> BOOL {
    if (!ReleaseMutexLocked(mutex)) return FALSE;
    lock.Changed();
    return TRUE;
  });
}
