// Sleeping and the ids of the current process and thread.
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "../sync/arena.h"
#include "tw/thread.h"
#include "tw/timescale.h"
#include "winerror.h"

TWAPI DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(tw::sync::Self().tid); }

TWAPI DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

TWAPI void Sleep(DWORD dwMilliseconds) { SleepEx(dwMilliseconds, FALSE); }

TWAPI DWORD SleepEx(DWORD dwMilliseconds, BOOL) {
  if (dwMilliseconds == 0) {
    sched_yield();
    return 0;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) pause();
  }
  const DWORD ms = tw::timescale::Scale(dwMilliseconds);
  timespec until;
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += ms / 1000;
  until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec++;
    until.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
  return 0;
}

TWAPI BOOL SwitchToThread(void) { return sched_yield() == 0 ? TRUE : FALSE; }
