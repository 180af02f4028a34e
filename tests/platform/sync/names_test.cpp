#include <windows.h>

#include <cstdlib>
#include <string>

#include "child.h"
#include "tw/kernelsync.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }

// Sets TW_SESSION_ID for the scope.
class Session {
 public:
  explicit Session(const char* id) { setenv("TW_SESSION_ID", id, 1); }
  ~Session() { unsetenv("TW_SESSION_ID"); }
};

bool SameEvent(HANDLE a, HANDLE b) {
  ResetEvent(a);
  SetEvent(b);
  bool same = WaitForSingleObject(a, 0) == WAIT_OBJECT_0;
  ResetEvent(b);
  return same;
}

TEST(ObjectNames, InSessionZeroLocalGlobalBareAndSessionZeroAreOne) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(tw::sync::CurrentSessionId(), 0u);
  HANDLE global = CreateEventW(nullptr, TRUE, FALSE, u"Global\\Spool");
  ASSERT_NE(global, nullptr);
  for (const char16_t* alias : {u"Local\\Spool", u"Spool", u"Session\\0\\Spool", u"global\\Spool", u"LOCAL\\Spool"}) {
    HANDLE h = OpenEventW(EVENT_ALL_ACCESS, FALSE, alias);
    ASSERT_NE(h, nullptr) << "alias " << std::string(alias, alias + std::char_traits<char16_t>::length(alias));
    EXPECT_TRUE(SameEvent(global, h));
    CloseHandle(h);
  }
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\SPOOL"), nullptr) << "object names are case-sensitive";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  CloseHandle(global);
}

TEST(ObjectNames, OtherSessionsHaveTheirOwnLocalNamespace) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE session2;
  {
    Session s("2");
    EXPECT_EQ(tw::sync::CurrentSessionId(), 2u);
    session2 = CreateEventW(nullptr, TRUE, FALSE, u"Local\\Fill_7_Map");
    ASSERT_NE(session2, nullptr);
    HANDLE bare = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Fill_7_Map");
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(SameEvent(session2, bare));
    CloseHandle(bare);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\Fill_7_Map"), nullptr);
  }
  // From session 0 the object is reached through its session's name only.
  HANDLE bySession = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Session\\2\\Fill_7_Map");
  ASSERT_NE(bySession, nullptr);
  EXPECT_TRUE(SameEvent(session2, bySession));
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Local\\Fill_7_Map"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  HANDLE global = CreateEventW(nullptr, TRUE, FALSE, u"Global\\Fill_7_Map");
  EXPECT_EQ(Err(), 0u) << "a different object from the session's";
  CloseHandle(global);
  CloseHandle(bySession);
  CloseHandle(session2);
}

TEST(ObjectNames, MalformedNamesFail) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, u"Session\\x\\A"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\a\\b"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Global\\"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_NAME));
  std::u16string tooLong = u"Global\\" + std::u16string(254, u'x');  // 261 units
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, tooLong.c_str()), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  tooLong.pop_back();
  HANDLE longest = CreateMutexW(nullptr, FALSE, tooLong.c_str());
  EXPECT_NE(longest, nullptr) << "260 units is the limit";
  CloseHandle(longest);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, nullptr), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // An empty name makes an unnamed object.
  HANDLE unnamed = CreateEventW(nullptr, TRUE, FALSE, u"");
  ASSERT_NE(unnamed, nullptr);
  EXPECT_EQ(Err(), 0u);
  CloseHandle(unnamed);
}

TEST(ObjectNames, TwoMachineRootsNeverShareObjects) {
  twtest::LeakGuard guard;
  auto first = std::make_unique<twtest::TempRoot>();
  HANDLE a = CreateEventW(nullptr, TRUE, FALSE, u"Global\\PerRoot");
  ASSERT_NE(a, nullptr);
  {
    twtest::TempRoot second;
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\PerRoot"), nullptr);
    EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE b = CreateEventW(nullptr, TRUE, FALSE, u"Global\\PerRoot");
    EXPECT_EQ(Err(), 0u) << "new in this root";
    EXPECT_TRUE(SetEvent(a)) << "a handle of the first root still works";
    EXPECT_EQ(WaitForSingleObject(b, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    HANDLE mixed[2] = {a, b};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED) << "objects of two roots in one wait";
    CloseHandle(b);
  }
  tw::root::SetDir(first->Dir());
  HANDLE again = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Global\\PerRoot");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);
  CloseHandle(again);
  CloseHandle(a);
}

TEST(ObjectNames, SessionIdComesFromTheEnvironment) {
  {
    Session s("3");
    EXPECT_EQ(tw::sync::CurrentSessionId(), 3u);
  }
  {
    Session s("abc");
    EXPECT_EQ(tw::sync::CurrentSessionId(), 0u) << "not a number: the spooler's session";
  }
  EXPECT_EQ(tw::sync::CurrentSessionId(), 0u);
}

}  // namespace
