// Events: manual-reset (stay set until reset) and auto-reset (a wait that
// succeeds resets it).
#include "objects.h"
#include "tw/sync.h"

namespace tw::sync {

void SetEventLocked(ObjectRecord& event) { event.signaled = 1; }

}  // namespace tw::sync

using namespace tw::sync;

TWAPI HANDLE CreateEventExW(LPSECURITY_ATTRIBUTES, LPCWSTR lpName, DWORD dwFlags, DWORD dwDesiredAccess) {
  if (dwFlags & ~static_cast<DWORD>(CREATE_EVENT_MANUAL_RESET | CREATE_EVENT_INITIAL_SET)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateObject(Kind::Event, lpName, dwDesiredAccess, [&](ObjectRecord& event) {
    event.manualReset = (dwFlags & CREATE_EVENT_MANUAL_RESET) ? 1 : 0;
    event.signaled = (dwFlags & CREATE_EVENT_INITIAL_SET) ? 1 : 0;
  });
}

TWAPI HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                          LPCWSTR lpName) {
  DWORD flags = (bManualReset ? CREATE_EVENT_MANUAL_RESET : 0) | (bInitialState ? CREATE_EVENT_INITIAL_SET : 0);
  return CreateEventExW(lpEventAttributes, lpName, flags, EVENT_ALL_ACCESS);
}

TWAPI HANDLE OpenEventW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  return OpenObject(Kind::Event, lpName, dwDesiredAccess);
}

TWAPI BOOL SetEvent(HANDLE hEvent) {
  return WithRecord(hEvent, Kind::Event, EVENT_MODIFY_STATE, [](Arena::Lock& lock, ObjectRecord& event) -> BOOL {
    SetEventLocked(event);
    lock.Changed();
    return TRUE;
  });
}

TWAPI BOOL ResetEvent(HANDLE hEvent) {
  return WithRecord(hEvent, Kind::Event, EVENT_MODIFY_STATE, [](Arena::Lock&, ObjectRecord& event) -> BOOL {
    event.signaled = 0;
    return TRUE;
  });
}

// Releases the threads waiting at this moment (all of them for a manual-reset
// event, one for an auto-reset event) and leaves the event reset. Waiters
// remember the pulse count when they start waiting (see the wait functions).
TWAPI BOOL PulseEvent(HANDLE hEvent) {
  return WithRecord(hEvent, Kind::Event, EVENT_MODIFY_STATE, [](Arena::Lock& lock, ObjectRecord& event) -> BOOL {
    event.pulseSequence++;
    event.pulseClaimed = 0;
    event.signaled = 0;
    lock.Changed();
    return TRUE;
  });
}
