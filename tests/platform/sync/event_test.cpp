#include <windows.h>

#include <atomic>
#include <thread>

#include "child.h"
#include "tw/timescale.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

TEST(Event, ManualResetStaysSetAutoResetReleasesOneWait) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(manual, nullptr);
  ASSERT_NE(automatic, nullptr);

  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(SetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "manual reset: still set";
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0) << "initially set";
  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "reset by the wait";
  EXPECT_TRUE(SetEvent(automatic));
  EXPECT_TRUE(SetEvent(automatic));
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "setting twice is one signal";

  // Two threads waiting on an auto-reset event: one SetEvent wakes exactly one.
  std::atomic<int> woken{0};
  std::thread a([&] { woken += WaitForSingleObject(automatic, 3000) == WAIT_OBJECT_0; });
  std::thread b([&] { woken += WaitForSingleObject(automatic, 3000) == WAIT_OBJECT_0; });
  SetEvent(automatic);
  a.join();
  b.join();
  EXPECT_EQ(woken.load(), 1);
  CloseHandle(manual);
  CloseHandle(automatic);
}

TEST(Event, SetByAnotherProcessWakesTheWaiter) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, u"Global\\TwApp_17");
  ASSERT_NE(ready, nullptr);
  Child child([](const Child::Channel& ch) {
    HANDLE e = OpenEventW(EVENT_MODIFY_STATE, FALSE, u"Global\\TwApp_17");
    if (!e) return 1;
    ch.Await();
    Sleep(200);
    return SetEvent(e) ? 0 : 2;
  });
  child.Tell();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
  EXPECT_LT(ElapsedMs(start), 30000);
  EXPECT_EQ(child.Join(), 0);
  CloseHandle(ready);
}

TEST(Event, AWaiterKilledWhileWaitingDoesNotDisturbOthers) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, u"Global\\KilledWaiter");
  ASSERT_NE(e, nullptr);
  {
    Child waiter([](const Child::Channel& ch) {
      HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, u"Global\\KilledWaiter");
      if (!h) return 1;
      ch.Tell();
      return WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0 ? 0 : 2;
    });
    ASSERT_TRUE(waiter.Heard());
    Sleep(100);  // let it block in the wait
    waiter.Kill();
  }
  std::thread setter([&] {
    Sleep(100);
    SetEvent(e);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 20000), WAIT_OBJECT_0);
  EXPECT_LT(ElapsedMs(start), 10000);
  setter.join();
  CloseHandle(e);
}

TEST(Event, HandlesHaveTheAccessTheyWereOpenedWith) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, u"Global\\TestAccess");
  HANDLE modify = OpenEventW(EVENT_MODIFY_STATE, FALSE, u"Global\\TestAccess");
  HANDLE sync = OpenEventW(SYNCHRONIZE, FALSE, u"Global\\TestAccess");
  HANDLE generic = OpenEventW(GENERIC_ALL, FALSE, u"Global\\TestAccess");
  ASSERT_TRUE(e && modify && sync && generic);
  EXPECT_TRUE(SetEvent(modify));
  EXPECT_EQ(WaitForSingleObject(modify, 0), WAIT_FAILED);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(WaitForSingleObject(sync, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(ResetEvent(sync));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ResetEvent(generic));
  EXPECT_EQ(WaitForSingleObject(generic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  for (HANDLE h : {e, modify, sync, generic}) CloseHandle(h);
}

TEST(Event, PulseReleasesCurrentWaitersAndLeavesItReset) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(PulseEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "a pulse without waiters is lost";
  std::atomic<int> woken{0};
  std::thread a([&] { woken += WaitForSingleObject(e, 20000) == WAIT_OBJECT_0; });
  std::thread b([&] { woken += WaitForSingleObject(e, 20000) == WAIT_OBJECT_0; });
  // A pulse only reaches threads already waiting, so pulse until both are out.
  for (int i = 0; i < 2000 && woken < 2; ++i) {
    PulseEvent(e);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  a.join();
  b.join();
  EXPECT_EQ(woken.load(), 2);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(e);
}

TEST(Event, TimedOutWaitReturnsWithinTheScaledTimeWithoutSpinning) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  const DWORD scaled = tw::timescale::Scale(400);
  timespec cpu0, cpu1;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 400), static_cast<DWORD>(WAIT_TIMEOUT));
  long long elapsed = ElapsedMs(start);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
  EXPECT_GE(elapsed, static_cast<long long>(scaled) - 2);
  EXPECT_LT(elapsed, static_cast<long long>(scaled) + 5000);
  long long cpuMs = (cpu1.tv_sec - cpu0.tv_sec) * 1000 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1000000;
  EXPECT_LT(cpuMs, static_cast<long long>(scaled) / 2 + 20) << "the wait must sleep, not spin";
  CloseHandle(e);
}

}  // namespace
