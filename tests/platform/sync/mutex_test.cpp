#include <windows.h>

#include <thread>

#include "child.h"
#include "tw/kernelsync.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

TEST(Mutex, IsRecursivePerThreadAndOnlyTheOwnerReleasesIt) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE m = CreateMutexW(nullptr, TRUE, u"Global\\TestRecursion");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(Err(), 0u);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0) << "the owner takes it again";

  // Another thread can neither take nor release it.
  std::thread([&] {
    EXPECT_EQ(WaitForSingleObject(m, 50), static_cast<DWORD>(WAIT_TIMEOUT));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NOT_OWNER));
  }).join();

  EXPECT_TRUE(ReleaseMutex(m));
  std::thread([&] { EXPECT_EQ(WaitForSingleObject(m, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "still held once"; })
      .join();
  EXPECT_TRUE(ReleaseMutex(m));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(m)) << "released more often than taken";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NOT_OWNER));

  std::thread([&] {
    EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_OBJECT_0) << "free now";
    EXPECT_TRUE(ReleaseMutex(m));
  }).join();
  EXPECT_TRUE(CloseHandle(m));
}

TEST(Mutex, CreatingAnExistingNameOpensItAndIgnoresInitialOwner) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE first = CreateMutexW(nullptr, FALSE, u"Global\\TestExisting");
  ASSERT_NE(first, nullptr);
  HANDLE second = nullptr;
  std::thread([&] {
    second = CreateMutexW(nullptr, TRUE, u"Global\\TestExisting");
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(ReleaseMutex(second)) << "initial ownership is ignored for an existing mutex";
  }).join();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  // Both handles name one object: taking it through one blocks the other thread.
  ASSERT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  std::thread([&] { EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT)); }).join();
  EXPECT_TRUE(ReleaseMutex(first));

  HANDLE opened = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, u"Global\\TestExisting");
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(Err(), 0u);
  CloseHandle(opened);
  CloseHandle(first);
  CloseHandle(second);
  SetLastError(0);
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\TestExisting"), nullptr) << "gone with its last handle";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Mutex, NameOfAnotherTypeAndBadHandlesFail) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE m = CreateMutexW(nullptr, FALSE, u"Global\\TestClash");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Global\\TestClash"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\TestClash"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 1, u"Global\\TestClash"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\NoSuchMutex"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetEvent(m)) << "a mutex is not an event";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(m);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_FAILED) << "closed handle";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReleaseMutex(nullptr));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Mutex, OwnerProcessKilledWhileWaiterBlocksGivesWaitAbandoned) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  Child child([](const Child::Channel& ch) {
    HANDLE m = CreateMutexW(nullptr, TRUE, u"Global\\TestAbandoned");
    if (!m) return 1;
    ch.Tell();
    ch.Await();
    raise(SIGKILL);  // dies holding the mutex
    return 2;
  });
  ASSERT_TRUE(child.Heard());
  HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\TestAbandoned");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "held by the child";
  child.Tell();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(m, 20000), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_LT(ElapsedMs(start), 10000);
  // The waiter owns it now, normally.
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0) << "abandonment is reported once";
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST(Mutex, OwnerKilledBeforeTheWaitAndThreadEndingWhileOwningAbandonIt) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE m = CreateMutexW(nullptr, FALSE, u"Global\\TestAbandoned2");
  ASSERT_NE(m, nullptr);
  {
    Child child([](const Child::Channel& ch) {
      HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\TestAbandoned2");
      if (!h || WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return 1;
      ch.Tell();
      ch.Await();
      return 0;
    });
    ASSERT_TRUE(child.Heard());
    child.Kill();
  }
  HANDLE both[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), m};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5000), WAIT_ABANDONED_0 + 1);
  EXPECT_TRUE(ReleaseMutex(m));

  // A thread of this process that ends while owning the mutex abandons it too.
  std::thread([&] { EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0); }).join();
  EXPECT_EQ(WaitForSingleObject(m, 5000), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(both[0]);
  CloseHandle(m);
}

}  // namespace
