#include <windows.h>

#include <thread>

#include "child.h"
#include "tw/kernelsync.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

TEST(WaitMultiple, AnyReturnsTheLowestSignalledIndexAllWaitsForEvery) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE h[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, TRUE, nullptr),
                 CreateEventW(nullptr, TRUE, TRUE, nullptr)};
  EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, h, TRUE, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  std::thread setter([&] {
    Sleep(100);
    SetEvent(h[0]);
  });
  EXPECT_EQ(WaitForMultipleObjects(3, h, TRUE, 20000), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0);
  for (HANDLE x : h) CloseHandle(x);
}

TEST(WaitMultiple, WaitAllTakesNothingUntilEverythingIsAvailable) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE autoEvent = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 5, nullptr);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread owner([&] {
    WaitForSingleObject(mutex, INFINITE);
    SetEvent(held);
    WaitForSingleObject(release, INFINITE);
    ReleaseMutex(mutex);
  });
  ASSERT_EQ(WaitForSingleObject(held, 20000), WAIT_OBJECT_0);
  HANDLE all[3] = {autoEvent, semaphore, mutex};
  EXPECT_EQ(WaitForMultipleObjects(3, all, TRUE, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0) << "the failed wait-all left the event set";
  SetEvent(autoEvent);
  SetEvent(release);
  EXPECT_EQ(WaitForMultipleObjects(3, all, TRUE, 20000), WAIT_OBJECT_0);
  owner.join();
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "taken by the wait-all";
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 0) << "taken by the wait-all";
  EXPECT_TRUE(ReleaseMutex(mutex)) << "owned through the wait-all";
  for (HANDLE x : {autoEvent, semaphore, mutex, held, release}) CloseHandle(x);
}

TEST(WaitMultiple, BadArgumentsFail) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  HANDLE twice[2] = {e, e};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0) << "duplicates are fine for wait-any";
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(0, twice, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
  for (auto& h : many) h = e;
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, FALSE, 0), WAIT_OBJECT_0);
  HANDLE withBad[2] = {e, reinterpret_cast<HANDLE>(0x4444)};
  EXPECT_EQ(WaitForMultipleObjects(2, withBad, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
  EXPECT_EQ(WaitForSingleObject(mapping, 0), WAIT_FAILED) << "a mapping is not waitable";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(mapping);
  CloseHandle(e);
}

TEST(Semaphore, CountsAndLimits) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  HANDLE s = CreateSemaphoreW(nullptr, 2, 3, u"Global\\TestSemaphore");
  ASSERT_NE(s, nullptr);
  HANDLE opened = OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, FALSE, u"Global\\TestSemaphore");
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(opened, 3, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
  EXPECT_FALSE(ReleaseSemaphore(s, 0, nullptr));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(previous, 2);
  CloseHandle(s);
  CloseHandle(opened);
}

TEST(SignalObjectAndWait, SignalsAndWaitsInOneStep) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
  HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // The other side holds the mutex until it sees "done".
  std::thread other([&] {
    WaitForSingleObject(mutex, INFINITE);
    SetEvent(holding);
    WaitForSingleObject(done, INFINITE);
    ReleaseMutex(mutex);
  });
  ASSERT_EQ(WaitForSingleObject(holding, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(SignalObjectAndWait(done, mutex, 20000, FALSE), WAIT_OBJECT_0);
  other.join();
  EXPECT_TRUE(ReleaseMutex(mutex));

  // Signalling a mutex the caller does not own fails before waiting.
  EXPECT_EQ(SignalObjectAndWait(mutex, done, 0, FALSE), WAIT_FAILED);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NOT_OWNER));
  // Releasing an owned mutex and waiting on an unset event times out.
  ResetEvent(done);
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_EQ(SignalObjectAndWait(mutex, done, 20, FALSE), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(ReleaseMutex(mutex)) << "released by SignalObjectAndWait";
  for (HANDLE x : {done, mutex, holding}) CloseHandle(x);
}

TEST(ProcessHandle, IsSignalledWhenTheProcessEnds) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  Child child([](const Child::Channel& ch) {
    ch.Await();
    return 0;
  });
  HANDLE process = tw::kernel::InsertHandle(tw::sync::MakeProcessObject(static_cast<DWORD>(child.Pid())));
  ASSERT_NE(process, nullptr);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE both[2] = {event, process};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  child.Tell();
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 20000), WAIT_OBJECT_0 + 1) << "ended (not yet reaped)";
  EXPECT_EQ(child.Join(), 0);
  EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
  CloseHandle(process);
  CloseHandle(event);
}

}  // namespace
