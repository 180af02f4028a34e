// ExpandEnvironmentStringsForUserW and the user's profile, reached as the
// monitor reaches them: "Userenv.dll" loaded by name.
#include "tw/token.h"
#include "tw_test.h"
#include "windows.h"

namespace {

using ExpandFn = BOOL(WINAPI*)(HANDLE, LPCWSTR, LPWSTR, DWORD);

class UserenvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto machine = *tw::config::Get();
    for (auto& user : machine.users)
      if (user.name == u"alice") user.environment[u"TwPrinterTeam"] = u"Accounting";
    ASSERT_TRUE(tw::config::Save(machine));
    userenv_ = LoadLibraryW(u"Userenv.dll");
    ASSERT_NE(userenv_, nullptr);
    expand_ = reinterpret_cast<ExpandFn>(GetProcAddress(userenv_, "ExpandEnvironmentStringsForUserW"));
    ASSERT_NE(expand_, nullptr);
    alice_ = tw::token::MakeUserToken(u"alice", 1);
    ASSERT_NE(alice_, nullptr);
  }
  void TearDown() override {
    EXPECT_TRUE(CloseHandle(alice_));
    EXPECT_TRUE(FreeLibrary(userenv_));
  }
  std::u16string Expand(HANDLE token, const char16_t* text) {
    WCHAR buffer[520];
    return expand_(token, text, buffer, 520) ? std::u16string(buffer) : u"<failed>";
  }

  twtest::TempRoot root_;
  twtest::LeakGuard guard_;
  HMODULE userenv_ = nullptr;
  ExpandFn expand_ = nullptr;
  HANDLE alice_ = nullptr;
};

TEST_F(UserenvTest, ExpandsWithTheTokenUsersEnvironment) {
  EXPECT_EQ(Expand(alice_, u"%USERNAME%"), u"alice");
  EXPECT_EQ(Expand(alice_, u"%USERDOMAIN%\\%USERNAME% on %COMPUTERNAME%"), u"TARNWICK-PC\\alice on TARNWICK-PC");
  EXPECT_EQ(Expand(alice_, u"%USERPROFILE%\\Documents"), u"C:\\Users\\alice\\Documents");
  EXPECT_EQ(Expand(alice_, u"%TwPrinterTeam%"), u"Accounting");
  EXPECT_EQ(Expand(alice_, u"%NAME%"), u"%NAME%") << "unknown names come back unchanged";
  // The process's own environment plays no part.
  ASSERT_TRUE(SetEnvironmentVariableW(u"TwProcessOnly", u"x"));
  EXPECT_EQ(Expand(alice_, u"%TwProcessOnly%"), u"%TwProcessOnly%");
  // Without a token: the system's variables only.
  EXPECT_EQ(Expand(nullptr, u"%USERNAME%|%SystemRoot%"), u"%USERNAME%|C:\\Windows");
}

TEST_F(UserenvTest, BufferMustHoldTheTerminator) {
  WCHAR buffer[8];
  EXPECT_TRUE(expand_(alice_, u"%USERNAME%", buffer, 6));
  EXPECT_EQ(std::u16string(buffer), u"alice");
  EXPECT_FALSE(expand_(alice_, u"%USERNAME%", buffer, 5));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(expand_(reinterpret_cast<HANDLE>(0x7654), u"%USERNAME%", buffer, 8));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(expand_(alice_, nullptr, buffer, 8));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(UserenvTest, ImpersonatingThreadExpandsForItsClient) {
  // What the job does: open the thread's token and expand for it.
  ASSERT_TRUE(ImpersonateLoggedOnUser(alice_));
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(Expand(token, u"%USERNAME%"), u"alice");
  EXPECT_TRUE(CloseHandle(token));
  EXPECT_TRUE(RevertToSelf());
}

TEST_F(UserenvTest, ProfileDirectory) {
  auto profile = reinterpret_cast<BOOL(WINAPI*)(HANDLE, LPWSTR, LPDWORD)>(
      GetProcAddress(userenv_, "GetUserProfileDirectoryW"));
  ASSERT_NE(profile, nullptr);
  DWORD size = 0;
  EXPECT_FALSE(profile(alice_, nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 15u);
  WCHAR buffer[32];
  size = 32;
  ASSERT_TRUE(profile(alice_, buffer, &size));
  EXPECT_EQ(std::u16string(buffer), u"C:\\Users\\alice");
  EXPECT_FALSE(profile(nullptr, buffer, &size));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
