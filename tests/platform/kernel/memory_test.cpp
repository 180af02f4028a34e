#include <windows.h>

#include <cstring>

#include "tw_test.h"

namespace {

TEST(GlobalMemory, MovableBlockLocksAndKeepsRequestedSize) {
  twtest::LeakGuard guard;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1000);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 1000u);
  auto* p = static_cast<BYTE*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void*>(p), h) << "a movable handle is not its address";
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 1u);
  EXPECT_EQ(GlobalHandle(p), h);
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_TRUE(GlobalUnlock(h)) << "still locked once";
  SetLastError(12345);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, FixedBlockHandleIsItsAddress) {
  twtest::LeakGuard guard;
  HGLOBAL h = GlobalAlloc(GPTR, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), h);
  EXPECT_EQ(GlobalHandle(h), h);
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, ReAllocGrowsZeroFilledAndKeepsContents) {
  twtest::LeakGuard guard;
  HGLOBAL h = GlobalAlloc(GHND, 4);
  std::memcpy(GlobalLock(h), "abcd", 4);
  GlobalUnlock(h);
  HGLOBAL h2 = GlobalReAlloc(h, 4096, GMEM_MOVEABLE | GMEM_ZEROINIT);
  ASSERT_NE(h2, nullptr);
  EXPECT_EQ(GlobalSize(h2), 4096u);
  auto* p = static_cast<char*>(GlobalLock(h2));
  EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
  EXPECT_EQ(p[4095], 0);
  GlobalUnlock(h2);
  EXPECT_EQ(GlobalFree(h2), nullptr);
}

TEST(GlobalMemory, DoubleFreeAndForeignHandlesFailCleanly) {
  twtest::LeakGuard guard;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
  ASSERT_EQ(GlobalFree(h), nullptr);
  SetLastError(0);
  EXPECT_EQ(GlobalFree(h), h);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  int local = 0;
  EXPECT_EQ(GlobalLock(&local), nullptr);
  EXPECT_EQ(GlobalSize(&local), 0u);
  EXPECT_EQ(GlobalFlags(&local), static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST(GlobalMemory, ImpossibleSizeFailsWithNotEnoughMemory) {
  SetLastError(0);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, SIZE_T(1) << 40), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(LeakGuardSelfTest, ReportsALeakedGlobalBlock) {
  twtest::LeakGuard guard;
  HGLOBAL leaked = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_EQ(guard.Diff(), "GlobalBlocks +1");
  GlobalFree(leaked);
  EXPECT_EQ(guard.Diff(), "");
}

TEST(ProcessHeap, AllocZeroReallocFree) {
  twtest::LeakGuard guard;
  auto* p = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 32));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, p), 32u);
  p[0] = 7;
  p = static_cast<BYTE*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, p, 64));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 7);
  EXPECT_EQ(p[63], 0);
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
  EXPECT_FALSE(HeapFree(GetProcessHeap(), 0, p)) << "double free is refused";
}

TEST(LocalMemory, CountedSeparatelyFromGlobal) {
  auto before = tw::debug::Snapshot();
  HLOCAL h = LocalAlloc(LPTR, 40);
  auto during = tw::debug::Snapshot();
  EXPECT_EQ(tw::debug::Diff(before, during), "LocalBlocks +1");
  EXPECT_EQ(LocalFree(h), nullptr);
}

}  // namespace
