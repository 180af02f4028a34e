#include <windows.h>

#include <thread>
#include <vector>

#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

TEST(Tls, ValuesArePerThreadAndGetClearsTheLastError) {
  DWORD slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int mine = 1, theirs = 2;
  EXPECT_TRUE(TlsSetValue(slot, &mine));
  std::thread([&] {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(TlsGetValue(slot), nullptr) << "a new thread starts with NULL";
    EXPECT_EQ(Err(), 0u) << "so that NULL can be told from a failure";
    EXPECT_TRUE(TlsSetValue(slot, &theirs));
    EXPECT_EQ(TlsGetValue(slot), &theirs);
  }).join();
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(TlsGetValue(slot), &mine);
  EXPECT_EQ(Err(), 0u);
  EXPECT_TRUE(TlsFree(slot));
}

TEST(Tls, FreeClearsTheSlotInEveryThread) {
  DWORD slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int value = 1;
  EXPECT_TRUE(TlsSetValue(slot, &value));
  EXPECT_TRUE(TlsFree(slot));
  EXPECT_FALSE(TlsFree(slot)) << "freed twice";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(TlsSetValue(slot, &value)) << "not allocated";
  DWORD again = TlsAlloc();
  EXPECT_EQ(again, slot) << "the lowest free slot is reused";
  EXPECT_EQ(TlsGetValue(again), nullptr) << "a reused slot starts empty";
  TlsFree(again);
}

TEST(Tls, RunsOutAtTheWindowsLimit) {
  std::vector<DWORD> slots;
  DWORD s;
  while (slots.size() < 5000 && (s = TlsAlloc()) != TLS_OUT_OF_INDEXES) slots.push_back(s);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_LE(slots.size(), 1088u);
  EXPECT_GE(slots.size(), 1000u);
  for (DWORD x : slots) EXPECT_TRUE(TlsFree(x));
  EXPECT_EQ(TlsGetValue(1088), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 1024));
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs)) << "recursive";
  std::thread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)); }).join();
  LeaveCriticalSection(&cs);
  std::thread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)) << "still held once"; }).join();
  LeaveCriticalSection(&cs);
  std::thread([&] {
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    LeaveCriticalSection(&cs);
  }).join();
  EXPECT_EQ(SetCriticalSectionSpinCount(&cs, 10), 1024u);
  DeleteCriticalSection(&cs);
}

TEST(CriticalSection, SerialisesManyThreads) {
  for (DWORD spin : {0u, 4000u}) {
    CRITICAL_SECTION cs;
    InitializeCriticalSectionEx(&cs, spin, CRITICAL_SECTION_NO_DEBUG_INFO);
    long long counter = 0;  // deliberately not atomic
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < 20000; ++i) {
          EnterCriticalSection(&cs);
          EnterCriticalSection(&cs);
          counter++;
          LeaveCriticalSection(&cs);
          LeaveCriticalSection(&cs);
        }
      });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000) << "spin " << spin;
    EXPECT_EQ(cs.LockCount, 0);
    DeleteCriticalSection(&cs);
  }
}

TEST(Interlocked, ReturnTheWindowsValues) {
  LONG v = 5;
  EXPECT_EQ(InterlockedIncrement(&v), 6);
  EXPECT_EQ(InterlockedDecrement(&v), 5);
  EXPECT_EQ(InterlockedExchange(&v, 9), 5);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9) << "no match: unchanged";
  EXPECT_EQ(v, 9);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 1);
  EXPECT_EQ(v, 11);
  PVOID p = nullptr;
  int x;
  EXPECT_EQ(InterlockedCompareExchangePointer(&p, &x, nullptr), nullptr);
  EXPECT_EQ(p, &x);
}

}  // namespace
