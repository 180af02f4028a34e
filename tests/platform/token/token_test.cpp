// Tokens and per-thread impersonation, and the spooler's pair built on them.
#include <cstring>
#include <thread>

#include "tw/utf.h"
#include "tw/token.h"
#include "tw_test.h"
#include "windows.h"

namespace {

const std::u16string kAliceSid = u"S-1-5-21-3623811015-3361044348-30300820-1001";

std::u16string UserName() {
  WCHAR buffer[UNLEN + 1];
  DWORD size = UNLEN + 1;
  return GetUserNameW(buffer, &size) ? std::u16string(buffer) : u"<failed>";
}

std::u16string SidOf(HANDLE token) {
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> buffer(needed);
  if (!GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed)) return u"<failed>";
  TOKEN_USER user;
  std::memcpy(&user, buffer.data(), sizeof user);
  // The SID follows the record inside the same buffer.
  EXPECT_EQ(static_cast<BYTE*>(user.User.Sid), buffer.data() + sizeof(TOKEN_USER));
  return tw::token::SidFromBytes(std::span(buffer).subspan(sizeof(TOKEN_USER)));
}

class TokenTest : public ::testing::Test {
 protected:
  ~TokenTest() override { RevertToSelf(); }
  twtest::TempRoot root_;
  twtest::LeakGuard guard_;
};

TEST_F(TokenTest, ImpersonationChangesWhoTheThreadIs) {
  HANDLE none = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &none));
  EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(UserName(), u"SYSTEM");

  HANDLE alice = tw::token::MakeUserToken(u"alice", 2);
  ASSERT_NE(alice, nullptr);
  ASSERT_TRUE(ImpersonateLoggedOnUser(alice));
  EXPECT_TRUE(tw::token::IsImpersonating());
  EXPECT_EQ(UserName(), u"alice");
  HANDLE opened = nullptr;
  ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened));
  EXPECT_EQ(SidOf(opened), kAliceSid);
  DWORD session = 0, length = 0;
  ASSERT_TRUE(GetTokenInformation(opened, TokenSessionId, &session, sizeof session, &length));
  EXPECT_EQ(session, 2u);
  EXPECT_EQ(length, 4u);
  EXPECT_TRUE(CloseHandle(opened));

  EXPECT_TRUE(RevertToSelf());
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened));
  EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
  EXPECT_EQ(UserName(), u"SYSTEM");
  EXPECT_TRUE(CloseHandle(alice));
}

TEST_F(TokenTest, EachThreadHasItsOwnImpersonation) {
  auto machine = *tw::config::Get();
  machine.users.push_back({u"bob", u"TARNWICK-PC", u"S-1-5-21-1-2-3-1002", {}});
  ASSERT_TRUE(tw::config::Save(machine));
  HANDLE alice = tw::token::MakeUserToken(u"alice", 0);
  ASSERT_TRUE(SetThreadToken(nullptr, alice));
  std::u16string seenBefore, seenAfter;
  DWORD error = 0;
  std::thread other([&] {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) error = GetLastError();
    seenBefore = UserName();
    HANDLE bob = tw::token::MakeUserToken(u"bob", 0);
    ImpersonateLoggedOnUser(bob);
    CloseHandle(bob);
    seenAfter = UserName();
  });
  other.join();
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(seenBefore, u"SYSTEM");
  EXPECT_EQ(seenAfter, u"bob");
  EXPECT_EQ(UserName(), u"alice") << "the other thread's impersonation is its own";
  EXPECT_TRUE(CloseHandle(alice));
}

TEST_F(TokenTest, ProcessTokenAndTokenTypes) {
  HANDLE process = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process));
  EXPECT_EQ(SidOf(process), u"S-1-5-18");
  DWORD type = 0, length = 0;
  ASSERT_TRUE(GetTokenInformation(process, TokenType, &type, sizeof type, &length));
  EXPECT_EQ(type, static_cast<DWORD>(TokenPrimary));
  DWORD level = 0;
  EXPECT_FALSE(GetTokenInformation(process, TokenImpersonationLevel, &level, sizeof level, &length));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // A primary token cannot be put on a thread; an impersonation copy can.
  EXPECT_FALSE(SetThreadToken(nullptr, process));
  EXPECT_EQ(GetLastError(), ERROR_BAD_TOKEN_TYPE);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateToken(process, SecurityIdentification, &copy));
  ASSERT_TRUE(GetTokenInformation(copy, TokenImpersonationLevel, &level, sizeof level, &length));
  EXPECT_EQ(level, static_cast<DWORD>(SecurityIdentification));
  HANDLE tooMuch = nullptr;
  EXPECT_FALSE(DuplicateTokenEx(copy, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, &tooMuch));
  EXPECT_EQ(GetLastError(), ERROR_BAD_IMPERSONATION_LEVEL);
  ASSERT_TRUE(SetThreadToken(nullptr, copy));
  EXPECT_EQ(UserName(), u"SYSTEM");
  EXPECT_TRUE(SetThreadToken(nullptr, nullptr));
  EXPECT_FALSE(tw::token::IsImpersonating());

  ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
  EXPECT_TRUE(tw::token::IsImpersonating());
  EXPECT_TRUE(RevertToSelf());
  EXPECT_TRUE(CloseHandle(copy));
  EXPECT_TRUE(CloseHandle(process));
}

TEST_F(TokenTest, GetTokenInformationSizesAndBadHandles) {
  HANDLE alice = tw::token::MakeUserToken(u"TARNWICK-PC\\alice", 5);
  ASSERT_NE(alice, nullptr);
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(alice, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(needed, 16u + 8u + 4u * 5);  // TOKEN_USER, then a SID of five sub-authorities
  std::vector<BYTE> buffer(needed - 1);
  EXPECT_FALSE(GetTokenInformation(alice, TokenUser, buffer.data(), needed - 1, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  // Fixed-size information with a wrong length.
  WORD small = 0;
  EXPECT_FALSE(GetTokenInformation(alice, TokenSessionId, &small, sizeof small, &needed));
  EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
  EXPECT_EQ(needed, 4u);
  EXPECT_FALSE(GetTokenInformation(alice, TokenGroups, buffer.data(), 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);

  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(GetTokenInformation(event, TokenUser, buffer.data(), 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ImpersonateLoggedOnUser(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_TRUE(CloseHandle(alice));
  EXPECT_FALSE(GetTokenInformation(alice, TokenUser, buffer.data(), 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  EXPECT_EQ(tw::token::MakeUserToken(u"mallory", 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
  EXPECT_EQ(tw::token::MakeUserToken(u"OTHER\\alice", 0), nullptr);
}

DWORD WINAPI Idle(LPVOID) { return 0; }

TEST_F(TokenTest, OnlyTheCallingThreadsTokenIsReachable) {
  HANDLE thread = CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenThreadToken(thread, TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(SetThreadToken(&thread, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  WaitForSingleObject(thread, INFINITE);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_FALSE(OpenThreadToken(reinterpret_cast<HANDLE>(0x7654), TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// The monitor reaches the pair through "Spoolss.dll", which the spooler host
// registers as a built-in module.
TEST_F(TokenTest, SpoolerPairRevertsAndImpersonatesAgain) {
  ASSERT_TRUE(tw::module::RegisterBuiltin(u"Spoolss.dll", tw::token::SpoolssExports()));
  HMODULE spoolss = LoadLibraryW(u"Spoolss.dll");
  ASSERT_NE(spoolss, nullptr);
  auto revert = reinterpret_cast<HANDLE(WINAPI*)()>(GetProcAddress(spoolss, "RevertToPrinterSelf"));
  auto impersonate = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(GetProcAddress(spoolss, "ImpersonatePrinterClient"));
  ASSERT_TRUE(revert && impersonate);

  HANDLE alice = tw::token::MakeUserToken(u"alice", 1);
  ASSERT_TRUE(ImpersonateLoggedOnUser(alice));
  EXPECT_TRUE(CloseHandle(alice));

  HANDLE client = revert();
  ASSERT_NE(client, nullptr);
  EXPECT_FALSE(tw::token::IsImpersonating());
  EXPECT_EQ(UserName(), u"SYSTEM");
  EXPECT_EQ(revert(), nullptr) << "nothing left to revert";
  EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);

  ASSERT_TRUE(impersonate(client));
  EXPECT_EQ(UserName(), u"alice");
  EXPECT_FALSE(CloseHandle(client)) << "ImpersonatePrinterClient closed the token";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(impersonate(reinterpret_cast<HANDLE>(0x7654)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(UserName(), u"alice");

  EXPECT_TRUE(FreeLibrary(spoolss));
  tw::module::UnregisterBuiltin(u"Spoolss.dll");
}

TEST(Sid, StringAndBinaryForms) {
  auto bytes = tw::token::SidToBytes(u"S-1-5-21-3623811015-3361044348-30300820-1001");
  const std::vector<BYTE> expected = {1,    5,    0,    0,    0,    0,    0,    5,  // revision, count, authority 5
                                      21,   0,    0,    0,                          // 21
                                      0xC7, 0xF7, 0xFE, 0xD7,                       // 3623811015
                                      0x7C, 0x77, 0x55, 0xC8,                       // 3361044348
                                      0x94, 0x5A, 0xCE, 0x01,                       // 30300820
                                      0xE9, 0x03, 0,    0};                         // 1001
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(tw::token::SidFromBytes(bytes), u"S-1-5-21-3623811015-3361044348-30300820-1001");
  EXPECT_EQ(tw::token::SidFromBytes(tw::token::SidToBytes(u"S-1-0x123456789ABC-1")), u"S-1-0x123456789ABC-1");
  EXPECT_EQ(tw::token::SidFromBytes(tw::token::SidToBytes(u"S-1-1-0")), u"S-1-1-0");
  for (const char16_t* bad : {u"", u"S-1", u"S-2-5-18", u"S-1-5-x", u"S-1-5-4294967296", u"X-1-5-18",
                              u"S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"})
    EXPECT_TRUE(tw::token::SidToBytes(bad).empty()) << tw::ToUtf8(bad);
  const BYTE truncated[] = {1, 2, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  EXPECT_EQ(tw::token::SidFromBytes(truncated), u"");
}

}  // namespace
