// Threads: CreateThread with the loader's attach/detach notifications,
// waitable thread objects, exit codes, and the GetCurrentThread() /
// GetCurrentProcess() pseudo handles.
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "../sync/arena.h"
#include "threadstate.h"
#include "tw/handles.h"
#include "tw/kernelsync.h"
#include "tw/kobject.h"
#include "tw/lasterror.h"
#include "tw/thread.h"
#include "winerror.h"

namespace tw::thread {
namespace {

using tw::sync::Arena;
using tw::sync::Kind;

constexpr SIZE_T kMinimumStack = 1 << 20;  // the Windows default reserve

class ThreadObject : public tw::sync::ArenaObject {
 public:
  using ArenaObject::ArenaObject;
  std::atomic<DWORD> tid{0};
  std::atomic<DWORD> exitCode{STILL_ACTIVE};
  std::atomic<DWORD> pendingExit{0};  // ExitThread's code until the thread has ended
  std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;       // the thread has published its id
  DWORD suspendCount = 0;     // CREATE_SUSPENDED until ResumeThread
};

std::shared_ptr<ThreadObject> NewThreadObject() {
  auto arena = Arena::Current();
  if (!arena) return nullptr;
  std::uint32_t index;
  std::uint32_t generation;
  {
    Arena::Lock lock(*arena);
    if (!lock.Ok()) return nullptr;
    index = arena->CreateLocked(lock, Kind::Thread, {});
    if (index == tw::sync::kNone) return nullptr;
    generation = arena->Tables().objects[index].generation;
  }
  return std::make_shared<ThreadObject>(arena, index, generation, Kind::Thread, THREAD_ALL_ACCESS);
}

void MarkEnded(ThreadObject& thread, DWORD code) {
  tw::sync::AbandonThreadMutexes();
  thread.exitCode = code;
  Arena::Lock lock(thread.ObjectArena());
  if (!lock.Ok()) return;
  if (auto* record = thread.ObjectArena().RecordLocked(thread.Index(), thread.Generation())) {
    record->signaled = 1;
    lock.Changed();
  }
}

// The calling thread's object. Threads not made by CreateThread get one on
// first use, signalled when the thread ends.
struct CurrentThread {
  std::shared_ptr<ThreadObject> object;
  bool foreign = false;
  ~CurrentThread() {
    if (object && foreign) MarkEnded(*object, object->pendingExit.load());
  }
};
thread_local CurrentThread t_current;

std::shared_ptr<ThreadObject> CurrentThreadObject() {
  if (!t_current.object) {
    t_current.object = NewThreadObject();
    if (!t_current.object) return nullptr;
    t_current.object->tid = tw::sync::Self().tid;
    t_current.object->started = true;
    t_current.foreign = true;
  }
  return t_current.object;
}

std::shared_ptr<tw::kernel::KernelObject> CurrentProcessObject() {
  static std::mutex mutex;
  static std::shared_ptr<tw::sync::ProcessObject> self;
  std::lock_guard guard(mutex);
  const DWORD pid = static_cast<DWORD>(tw::sync::Self().pid);
  if (!self || self->ProcessId() != pid) self = tw::sync::MakeProcessObject(pid);  // new after a fork
  return self;
}

std::shared_ptr<tw::kernel::KernelObject> ResolvePseudo(HANDLE handle) {
  if (handle == GetCurrentThread()) return CurrentThreadObject();
  if (handle == GetCurrentProcess()) return CurrentProcessObject();
  return nullptr;
}

const bool g_resolverRegistered = [] {
  tw::kernel::SetPseudoHandleResolver(&ResolvePseudo);
  return true;
}();

struct StartInfo {
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
  std::shared_ptr<ThreadObject> object;
};

// Ends a thread made by CreateThread, also when ExitThread unwinds it: the
// loader's detach call, then the owned mutexes are abandoned and the handle
// is signalled.
struct EndOfThread {
  ThreadObject& thread;
  ThreadNotifier notified = nullptr;
  DWORD code = 0;
  bool returned = false;
  ~EndOfThread() {
    if (notified) notified(false);
    MarkEnded(thread, returned ? code : thread.pendingExit.load());
  }
};

void* ThreadMain(void* raw) {
  std::unique_ptr<StartInfo> info(static_cast<StartInfo*>(raw));
  t_current.object = info->object;
  ThreadObject& self = *info->object;
  {
    std::unique_lock lock(self.mutex);
    self.tid = tw::sync::Self().tid;
    self.started = true;
    self.changed.notify_all();
    self.changed.wait(lock, [&] { return self.suspendCount == 0; });
  }
  EndOfThread end{self};
  if (auto notifier = CurrentNotifier()) {
    end.notified = notifier;
    notifier(true);
  }
  end.code = info->start(info->parameter);
  end.returned = true;
  return nullptr;
}

std::shared_ptr<ThreadObject> LookupThread(HANDLE handle) {
  return std::dynamic_pointer_cast<ThreadObject>(tw::kernel::LookupHandle(handle));
}

}  // namespace
}  // namespace tw::thread

using namespace tw::thread;

TWAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                          LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = NewThreadObject();
  if (!object) return nullptr;
  object->suspendCount = (dwCreationFlags & CREATE_SUSPENDED) ? 1 : 0;

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (dwStackSize) pthread_attr_setstacksize(&attr, (std::max(dwStackSize, kMinimumStack) + 4095) & ~SIZE_T{4095});
  auto info = std::make_unique<StartInfo>(StartInfo{lpStartAddress, lpParameter, object});
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, &ThreadMain, info.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  info.release();  // owned by the new thread
  {
    std::unique_lock lock(object->mutex);
    object->changed.wait(lock, [&] { return object->started; });
  }
  if (lpThreadId) *lpThreadId = object->tid;
  HANDLE handle = tw::kernel::InsertHandle(object);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

TWAPI void ExitThread(DWORD dwExitCode) {
  if (auto object = CurrentThreadObject()) object->pendingExit = dwExitCode;
  pthread_exit(nullptr);
}

TWAPI BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = LookupThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpExitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpExitCode = thread->exitCode;
  return TRUE;
}

TWAPI DWORD ResumeThread(HANDLE hThread) {
  auto thread = LookupThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  std::lock_guard lock(thread->mutex);
  DWORD previous = thread->suspendCount;
  if (previous > 0 && --thread->suspendCount == 0) thread->changed.notify_all();
  return previous;
}

TWAPI DWORD GetThreadId(HANDLE Thread) {
  auto thread = LookupThread(Thread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return thread->tid;
}

// Priorities are remembered and reported; scheduling is left to Linux.
TWAPI int GetThreadPriority(HANDLE hThread) {
  auto thread = LookupThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return THREAD_PRIORITY_ERROR_RETURN;
  }
  return thread->priority;
}

TWAPI BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
  auto thread = LookupThread(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (nPriority < THREAD_PRIORITY_IDLE || nPriority > THREAD_PRIORITY_TIME_CRITICAL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  thread->priority = nPriority;
  return TRUE;
}
