// The object table itself: stale objects of dead processes, damage, limits.
#include <windows.h>

#include <fstream>
#include <vector>

#include "child.h"
#include "tw/kernelsync.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

TEST(ObjectTable, ObjectsOfAKilledProcessDisappear) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  const size_t before = tw::sync::LiveObjectCount();
  {
    Child child([](const Child::Channel& ch) {
      HANDLE e = CreateEventW(nullptr, TRUE, TRUE, u"Global\\TwApp_99");
      HANDLE m = CreateMutexW(nullptr, TRUE, u"Global\\Held_99");
      HANDLE s = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, u"Global\\Map_99");
      if (!e || !m || !s) return 1;
      ch.Tell();
      ch.Await();
      return 0;
    });
    ASSERT_TRUE(child.Heard());
    EXPECT_EQ(tw::sync::LiveObjectCount(), before + 3);
    child.Kill();
  }
  SetLastError(0);
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Global\\TwApp_99"), nullptr) << "a stale event must not look set";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, u"Global\\TwApp_99");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Err(), 0u) << "created anew";
  EXPECT_EQ(WaitForSingleObject(fresh, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(fresh);
  EXPECT_EQ(tw::sync::LiveObjectCount(), before);
  EXPECT_TRUE(std::filesystem::is_empty(root.Dir() / "run" / "sections")) << "the dead process's mapping is gone";
}

TEST(ObjectTable, AnObjectAlsoHeldByALiveProcessSurvivesWithItsState) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  Child child([](const Child::Channel& ch) {
    HANDLE e = CreateEventW(nullptr, TRUE, FALSE, u"Global\\Shared_5");
    if (!e || !SetEvent(e)) return 1;
    ch.Tell();
    ch.Await();
    return 0;
  });
  ASSERT_TRUE(child.Heard());
  HANDLE mine = OpenEventW(SYNCHRONIZE, FALSE, u"Global\\Shared_5");
  ASSERT_NE(mine, nullptr);
  child.Kill();
  HANDLE again = OpenEventW(SYNCHRONIZE, FALSE, u"Global\\Shared_5");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);
  CloseHandle(again);
  CloseHandle(mine);
}

TEST(ObjectTable, AProcessDyingWhileHoldingTheTableLockDoesNotBlockOthers) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE before = CreateEventW(nullptr, TRUE, FALSE, u"Global\\BeforeLock");
  ASSERT_NE(before, nullptr);
  Child child([](const Child::Channel&) { return tw::sync::LockObjectTableForTesting() ? 0 : 1; });
  ASSERT_EQ(child.Join(), 0);
  auto start = std::chrono::steady_clock::now();
  HANDLE after = CreateEventW(nullptr, TRUE, FALSE, u"Global\\AfterLock");
  ASSERT_NE(after, nullptr);
  EXPECT_LT(ElapsedMs(start), 5000);
  EXPECT_TRUE(SetEvent(before));
  HANDLE opened = OpenEventW(SYNCHRONIZE, FALSE, u"Global\\BeforeLock");
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
  for (HANDLE h : {before, after, opened}) CloseHandle(h);
}

TEST(ObjectTable, ADamagedTableIsReportedAndReplaced) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE old = CreateEventW(nullptr, TRUE, FALSE, u"Global\\BeforeDamage");
  ASSERT_NE(old, nullptr);
  const auto path = tw::sync::ObjectTablePath();
  {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.write("garbage!", 8);  // over the header
  }
  EXPECT_FALSE(SetEvent(old)) << "the damaged table is not used";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_DATA));
  HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, u"Global\\AfterDamage");
  ASSERT_NE(fresh, nullptr) << "a new table replaces it";
  EXPECT_TRUE(std::filesystem::exists(path.string() + ".corrupt"));
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Global\\BeforeDamage"), nullptr);
  CloseHandle(fresh);
  CloseHandle(old);  // harmless on the damaged table

  // A table file of the wrong size (e.g. truncated) is replaced the same way.
  {
    twtest::TempRoot other;
    std::filesystem::create_directories(other.Dir() / "run");
    std::ofstream(tw::sync::ObjectTablePath()) << "short";
    HANDLE h = CreateMutexW(nullptr, FALSE, u"Global\\OnFreshTable");
    EXPECT_NE(h, nullptr);
    CloseHandle(h);
  }
}

TEST(ObjectTable, ATableWrittenBeforeTheLastBootStartsEmpty) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  Child child([](const Child::Channel& ch) {
    if (!CreateEventW(nullptr, TRUE, TRUE, u"Global\\OldBoot")) return 1;
    ch.Tell();
    ch.Await();
    return 0;
  });
  ASSERT_TRUE(child.Heard());
  {
    std::fstream file(tw::sync::ObjectTablePath(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(16);  // the boot id recorded in the header
    file.write("another-boot", 12);
  }
  tw::root::SetDir(root.Dir());  // attach again, as a new process would
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Global\\OldBoot"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ObjectTable, AFullTableFailsCleanlyAndRecovers) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  std::vector<HANDLE> handles;
  HANDLE h;
  while (handles.size() < 10000 && (h = CreateEventW(nullptr, FALSE, FALSE, nullptr)) != nullptr) handles.push_back(h);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_GE(handles.size(), 4000u);
  EXPECT_LT(handles.size(), 10000u);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\NoRoom"), nullptr);
  for (HANDLE x : handles) CloseHandle(x);
  h = CreateMutexW(nullptr, FALSE, u"Global\\RoomAgain");
  EXPECT_NE(h, nullptr);
  CloseHandle(h);
}

}  // namespace
