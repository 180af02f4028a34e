// How long a job's page plays held the GDI mutex, and how long they waited
// for it: jobs on other ports play their pages under the same mutex, so this
// is what printing several jobs at once costs each of them. Reported in the
// message capture log at the end of the document (level DEBUG).
#pragma once

#include <chrono>
#include <cstdint>

#include "tw/wintypes.h"

namespace tw::job {

struct GdiMutexTime {
  using Clock = std::chrono::steady_clock;
  std::uint64_t waitedUs = 0;
  std::uint64_t heldUs = 0;
  DWORD plays = 0;

  // One page play: it asked for the mutex, obtained it (or stopped waiting)
  // and, when it was obtained, released it.
  void Add(Clock::time_point asked, Clock::time_point obtained, Clock::time_point released, bool owned) {
    waitedUs += Micros(obtained - asked);
    if (!owned) return;
    heldUs += Micros(released - obtained);
    ++plays;
  }

 private:
  static std::uint64_t Micros(Clock::duration d) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
  }
};

}  // namespace tw::job
