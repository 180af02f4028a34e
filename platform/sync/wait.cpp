// The wait functions. A wait evaluates its objects under the table lock and
// sleeps on the table's change counter between evaluations, so waiting for
// several objects (and SignalObjectAndWait) is atomic. Mutex owners in other
// threads and polled objects (processes) are checked every 50 ms, which is
// how an owner that died is noticed.
#include <chrono>
#include <thread>
#include <vector>

#include "objects.h"
#include "tw/kernelsync.h"
#include "tw/kobject.h"
#include "tw/sync.h"
#include "tw/timescale.h"

namespace tw::sync {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(50);

struct Waited {
  std::shared_ptr<tw::kernel::KernelObject> keep;  // alive while waiting, even if the handle is closed
  ArenaObject* object = nullptr;
  PolledWaitable* polled = nullptr;
  std::uint32_t pulseStart = 0;
  bool polledSignaled = false;
};

// A signalling step run under the lock before waiting (SignalObjectAndWait).
using SignalStep = std::function<bool(Arena::Lock&)>;

bool Resolve(const HANDLE* handles, DWORD count, std::vector<Waited>& out) {
  out.resize(count);
  for (DWORD i = 0; i < count; ++i) {
    auto object = tw::kernel::LookupHandle(handles[i]);
    if (!object) return false;  // ERROR_INVALID_HANDLE set
    Waited& w = out[i];
    DWORD access;
    if (auto* a = dynamic_cast<ArenaObject*>(object.get()); a && a->ObjectKind() != Kind::Section) {
      w.object = a;
      access = a->Access();
    } else if (auto* p = dynamic_cast<PolledWaitable*>(object.get())) {
      w.polled = p;
      access = p->GrantedAccess();
    } else {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (!(access & SYNCHRONIZE)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    w.keep = std::move(object);
  }
  return true;
}

// Whether object i can be taken now. Checks mutex owners' liveness when asked.
bool Ready(Arena& arena, Arena::Lock& lock, ObjectRecord& r, const Waited& w, bool checkOwners, bool& poll) {
  const auto& self = Self();
  switch (r.kind) {
    case Kind::Mutex:
      if (r.ownerTid == 0 || (r.ownerTid == self.tid && r.ownerPid == self.pid)) return true;
      if (checkOwners && !ThreadAlive(r.ownerPid, r.ownerTid, r.ownerStart)) {
        arena.AbandonLocked(lock, r);
        return true;
      }
      poll = true;
      return false;
    case Kind::Event:
      return r.signaled || (r.pulseSequence != w.pulseStart && (r.manualReset || !r.pulseClaimed));
    case Kind::Semaphore:
      return r.count > 0;
    case Kind::Thread:
      return r.signaled != 0;
    default:
      return false;
  }
}

// Takes object i (the effect of a satisfied wait); returns whether it was an
// abandoned mutex.
bool Take(const std::shared_ptr<Arena>& arena, ObjectRecord& r) {
  switch (r.kind) {
    case Kind::Mutex:
      return AcquireMutexLocked(arena, r);
    case Kind::Event:
      if (!r.manualReset) {
        if (r.signaled) r.signaled = 0;
        else r.pulseClaimed = 1;
      }
      return false;
    case Kind::Semaphore:
      r.count--;
      return false;
    default:
      return false;
  }
}

DWORD PollOnly(std::vector<Waited>& waited, bool waitAll, Clock::time_point deadline, bool infinite) {
  for (;;) {
    DWORD first = WAIT_TIMEOUT;
    bool all = true;
    for (DWORD i = 0; i < waited.size(); ++i) {
      bool ready = waited[i].polled->IsSignaled();
      if (ready && first == WAIT_TIMEOUT) first = WAIT_OBJECT_0 + i;
      all = all && ready;
    }
    if (waitAll ? all : first != WAIT_TIMEOUT) return waitAll ? WAIT_OBJECT_0 : first;
    auto now = Clock::now();
    if (!infinite && now >= deadline) return WAIT_TIMEOUT;
    auto step = infinite ? kPollInterval : std::min<Clock::duration>(kPollInterval, deadline - now);
    std::this_thread::sleep_for(step);
  }
}

DWORD Wait(std::vector<Waited>& waited, bool waitAll, DWORD milliseconds, const std::shared_ptr<Arena>& signalArena,
           const SignalStep& signal) {
  const bool infinite = milliseconds == INFINITE;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::milliseconds(infinite ? 0 : milliseconds);

  std::shared_ptr<Arena> arena;
  for (auto& w : waited) {
    if (!w.object) continue;
    if (arena && w.object->ArenaPtr() != arena) {
      SetLastError(ERROR_INVALID_HANDLE);  // objects of two machine roots
      return WAIT_FAILED;
    }
    arena = w.object->ArenaPtr();
  }
  if (waitAll) {
    for (size_t i = 0; i < waited.size(); ++i)
      for (size_t j = i + 1; j < waited.size(); ++j)
        if (waited[i].keep == waited[j].keep ||
            (waited[i].object && waited[j].object && waited[i].object->Index() == waited[j].object->Index())) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
  }
  if (signal && signalArena != arena) {
    // Not in the same table: signal first, then wait.
    Arena::Lock lock(*signalArena);
    if (!lock.Ok() || !signal(lock)) return WAIT_FAILED;
  }
  if (!arena) return PollOnly(waited, waitAll, deadline, infinite);

  Arena::Lock lock(*arena);
  if (!lock.Ok()) return WAIT_FAILED;
  if (signal && signalArena == arena && !signal(lock)) return WAIT_FAILED;

  std::vector<ObjectRecord*> records(waited.size(), nullptr);
  auto lastCheck = start - kPollInterval;
  bool first = true;
  for (;;) {
    for (size_t i = 0; i < waited.size(); ++i) {
      if (!waited[i].object) continue;
      records[i] = arena->RecordLocked(waited[i].object->Index(), waited[i].object->Generation());
      if (!records[i]) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
      }
      if (first) waited[i].pulseStart = records[i]->pulseSequence;
    }
    first = false;
    auto now = Clock::now();
    const bool check = now - lastCheck >= kPollInterval;
    if (check) lastCheck = now;
    bool poll = false;
    std::vector<bool> ready(waited.size(), false);
    for (size_t i = 0; i < waited.size(); ++i) {
      if (waited[i].polled) {
        if (check) waited[i].polledSignaled = waited[i].polled->IsSignaled();
        ready[i] = waited[i].polledSignaled;
        poll = true;
      } else {
        ready[i] = Ready(*arena, lock, *records[i], waited[i], check, poll);
      }
    }
    if (!waitAll) {
      for (size_t i = 0; i < waited.size(); ++i) {
        if (!ready[i]) continue;
        bool abandoned = records[i] && Take(arena, *records[i]);
        return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + static_cast<DWORD>(i);
      }
    } else if (std::find(ready.begin(), ready.end(), false) == ready.end()) {
      DWORD result = WAIT_OBJECT_0;
      for (size_t i = 0; i < waited.size(); ++i)
        if (records[i] && Take(arena, *records[i]) && result == WAIT_OBJECT_0)
          result = WAIT_ABANDONED_0 + static_cast<DWORD>(i);
      return result;
    }
    now = Clock::now();
    if (!infinite && now >= deadline) return WAIT_TIMEOUT;
    auto sleep = infinite ? std::chrono::milliseconds(INFINITE / 2)
                          : std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    if (poll) sleep = std::min<std::chrono::milliseconds>(sleep, kPollInterval);
    if (!lock.WaitForChange(static_cast<std::uint32_t>(sleep.count()))) return WAIT_FAILED;
  }
}

DWORD WaitHandles(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<Waited> waited;
  if (!Resolve(handles, count, waited)) return WAIT_FAILED;
  return Wait(waited, waitAll, tw::timescale::Scale(milliseconds), nullptr, nullptr);
}

}  // namespace
}  // namespace tw::sync

using namespace tw::sync;

TWAPI DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitHandles(1, &hHandle, false, dwMilliseconds);
}

TWAPI DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL) {
  return WaitHandles(1, &hHandle, false, dwMilliseconds);
}

TWAPI DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  return WaitHandles(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
}

TWAPI DWORD WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds,
                                     BOOL) {
  return WaitHandles(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
}

// Signals an event, mutex or semaphore and starts waiting in one step: no
// other thread can see the signal before this thread waits.
TWAPI DWORD SignalObjectAndWait(HANDLE hObjectToSignal, HANDLE hObjectToWaitOn, DWORD dwMilliseconds, BOOL) {
  auto target = std::dynamic_pointer_cast<ArenaObject>(tw::kernel::LookupHandle(hObjectToSignal));
  if (!target || (target->ObjectKind() != Kind::Event && target->ObjectKind() != Kind::Mutex &&
                  target->ObjectKind() != Kind::Semaphore)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const Kind kind = target->ObjectKind();
  const DWORD needed = kind == Kind::Event ? EVENT_MODIFY_STATE : kind == Kind::Semaphore ? SEMAPHORE_MODIFY_STATE : 0;
  if ((target->Access() & needed) != needed) {
    SetLastError(ERROR_ACCESS_DENIED);
    return WAIT_FAILED;
  }
  std::vector<Waited> waited;
  if (!Resolve(&hObjectToWaitOn, 1, waited)) return WAIT_FAILED;
  SignalStep signal = [&](Arena::Lock& lock) {
    auto* record = target->ObjectArena().RecordLocked(target->Index(), target->Generation());
    if (!record) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    bool ok = kind == Kind::Event   ? (SetEventLocked(*record), true)
              : kind == Kind::Mutex ? ReleaseMutexLocked(*record)
                                    : ReleaseSemaphoreLocked(*record, 1, nullptr);
    if (ok) lock.Changed();
    return ok;
  };
  return Wait(waited, false, tw::timescale::Scale(dwMilliseconds), target->ArenaPtr(), signal);
}
