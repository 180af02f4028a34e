#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include <unistd.h>

#include <chrono>

#include "tw/threadhooks.h"
#include "tw/timescale.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

struct Blocker {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD seenId = 0;
  ~Blocker() { CloseHandle(go); }
};

DWORD WINAPI WaitThenReturn42(LPVOID p) {
  auto* b = static_cast<Blocker*>(p);
  b->seenId = GetCurrentThreadId();
  WaitForSingleObject(b->go, INFINITE);
  return 42;
}

TEST(Thread, HandleIsWaitableAndReportsIdAndExitCode) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  Blocker b;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, &WaitThenReturn42, &b, 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_EQ(GetThreadId(t), id);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(t, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  HANDLE both[2] = {b.go, t};
  SetEvent(b.go);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(b.seenId, id);
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0) << "stays signalled";
  EXPECT_TRUE(CloseHandle(t));
}

struct SetOnDestruction {
  std::atomic<bool>* flag;
  ~SetOnDestruction() { *flag = true; }
};

DWORD WINAPI ExitsWith7(LPVOID p) {
  SetOnDestruction guard{static_cast<std::atomic<bool>*>(p)};
  ExitThread(7);
}

TEST(Thread, ExitThreadUnwindsAndSetsTheCode) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  std::atomic<bool> destroyed{false};
  HANDLE t = CreateThread(nullptr, 64 * 1024, &ExitsWith7, &destroyed, 0, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(destroyed) << "destructors on the thread's stack ran";
  CloseHandle(t);
}

DWORD WINAPI Mark(LPVOID p) {
  static_cast<std::atomic<int>*>(p)->fetch_add(1);
  return 0;
}

TEST(Thread, CreateSuspendedRunsOnlyAfterResume) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  std::atomic<int> ran{0};
  HANDLE t = CreateThread(nullptr, 0, &Mark, &ran, CREATE_SUSPENDED, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(ResumeThread(t), 1u);
  EXPECT_EQ(WaitForSingleObject(t, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(ResumeThread(t), 0u) << "not suspended";
  CloseHandle(t);
  EXPECT_EQ(ResumeThread(t), static_cast<DWORD>(-1));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The loader's notifier: records (thread id, attach) in order.
std::mutex g_eventsMutex;
std::vector<std::pair<DWORD, bool>> g_events;
void Record(bool attach) {
  std::lock_guard lock(g_eventsMutex);
  g_events.emplace_back(GetCurrentThreadId(), attach);
}

DWORD WINAPI CheckAttachedFirst(LPVOID p) {
  std::lock_guard lock(g_eventsMutex);
  *static_cast<bool*>(p) = !g_events.empty() && g_events.back() == std::make_pair(GetCurrentThreadId(), true);
  return 0;
}

DWORD WINAPI ExitEarly(LPVOID) { ExitThread(3); }

TEST(Thread, LoaderNotifierSeesAttachBeforeAndDetachAfterTheThread) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  g_events.clear();
  tw::thread::SetThreadNotifier(&Record);
  bool attachedFirst = false;
  DWORD id1 = 0, id2 = 0;
  HANDLE t1 = CreateThread(nullptr, 0, &CheckAttachedFirst, &attachedFirst, 0, &id1);
  ASSERT_NE(t1, nullptr);
  ASSERT_EQ(WaitForSingleObject(t1, 20000), WAIT_OBJECT_0);
  HANDLE t2 = CreateThread(nullptr, 0, &ExitEarly, nullptr, 0, &id2);
  ASSERT_NE(t2, nullptr);
  ASSERT_EQ(WaitForSingleObject(t2, 20000), WAIT_OBJECT_0);
  tw::thread::SetThreadNotifier(nullptr);
  EXPECT_TRUE(attachedFirst);
  std::vector<std::pair<DWORD, bool>> expected = {{id1, true}, {id1, false}, {id2, true}, {id2, false}};
  EXPECT_EQ(g_events, expected) << "detach comes before the handle is signalled, also after ExitThread";
  CloseHandle(t1);
  CloseHandle(t2);
}

struct Duplicated {
  HANDLE self = nullptr;
  HANDLE go = nullptr;
};

DWORD WINAPI DuplicateSelf(LPVOID p) {
  auto* d = static_cast<Duplicated*>(p);
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &d->self, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  WaitForSingleObject(d->go, INFINITE);
  return 5;
}

TEST(Thread, PseudoHandlesNameTheCallingThreadAndProcess) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_FALSE(GetExitCodeThread(GetCurrentProcess(), &code)) << "a process is not a thread";

  Duplicated d;
  d.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, &DuplicateSelf, &d, 0, nullptr);
  while (!__atomic_load_n(&d.self, __ATOMIC_ACQUIRE)) Sleep(1);
  EXPECT_EQ(WaitForSingleObject(d.self, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(d.go);
  EXPECT_EQ(WaitForSingleObject(d.self, 20000), WAIT_OBJECT_0) << "the duplicate is the thread's own object";
  EXPECT_TRUE(GetExitCodeThread(d.self, &code));
  EXPECT_EQ(code, 5u);
  for (HANDLE h : {d.self, d.go, t}) CloseHandle(h);
}

TEST(Thread, BadArguments) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DWORD code;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(GetExitCodeThread(event, &code));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetThreadPriority(event), THREAD_PRIORITY_ERROR_RETURN);
  CloseHandle(event);
  EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_ABOVE_NORMAL);
  EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 99));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

TEST(Sleep, IsScaledAndZeroYields) {
  const DWORD scaled = tw::timescale::Scale(150);
  auto start = std::chrono::steady_clock::now();
  Sleep(150);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, static_cast<long long>(scaled) - 1);
  EXPECT_LT(ms, static_cast<long long>(scaled) + 5000);
  Sleep(0);
  EXPECT_EQ(SleepEx(1, TRUE), 0u);
  EXPECT_TRUE(SwitchToThread());
}

}  // namespace
