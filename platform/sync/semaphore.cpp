// Semaphores: a count between 0 and a maximum; a successful wait takes one.
#include "objects.h"
#include "tw/sync.h"

namespace tw::sync {

bool ReleaseSemaphoreLocked(ObjectRecord& semaphore, LONG count, LONG* previous) {
  if (count <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (count > semaphore.maximum - semaphore.count) {
    SetLastError(ERROR_TOO_MANY_POSTS);
    return false;
  }
  if (previous) *previous = semaphore.count;
  semaphore.count += count;
  return true;
}

}  // namespace tw::sync

using namespace tw::sync;

TWAPI HANDLE CreateSemaphoreExW(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount, LPCWSTR lpName,
                                DWORD dwFlags, DWORD dwDesiredAccess) {
  if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount || dwFlags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateObject(Kind::Semaphore, lpName, dwDesiredAccess, [&](ObjectRecord& semaphore) {
    semaphore.count = lInitialCount;
    semaphore.maximum = lMaximumCount;
  });
}

TWAPI HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                              LPCWSTR lpName) {
  return CreateSemaphoreExW(lpSemaphoreAttributes, lInitialCount, lMaximumCount, lpName, 0, SEMAPHORE_ALL_ACCESS);
}

TWAPI HANDLE OpenSemaphoreW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  return OpenObject(Kind::Semaphore, lpName, dwDesiredAccess);
}

TWAPI BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
  return WithRecord(hSemaphore, Kind::Semaphore, SEMAPHORE_MODIFY_STATE,
                    [&](Arena::Lock& lock, ObjectRecord& semaphore) -> BOOL {
                      if (!ReleaseSemaphoreLocked(semaphore, lReleaseCount, lpPreviousCount)) return FALSE;
                      lock.Changed();
                      return TRUE;
                    });
}
