// The process environment: its defaults from the configuration, the
// GetEnvironmentVariableW / SetEnvironmentVariableW / ExpandEnvironmentStringsW
// rules, the environment block, and what comes in from Linux.
#include <cstdlib>

#include "tw/casefold.h"
#include "tw/sysinfo.h"
#include "tw/utf.h"
#include "tw_test.h"
#include "windows.h"

namespace {

std::u16string Get(const char16_t* name) {
  WCHAR buffer[512];
  DWORD n = GetEnvironmentVariableW(name, buffer, 512);
  return n ? std::u16string(buffer, n) : u"<none>";
}

std::u16string Expand(const char16_t* text) {
  WCHAR buffer[512];
  DWORD n = ExpandEnvironmentStringsW(text, buffer, 512);
  EXPECT_GT(n, 0u);
  return std::u16string(buffer);
}

TEST(Environment, TheSpoolersDefaultsComeFromTheConfiguration) {
  twtest::TempRoot root;
  EXPECT_EQ(Get(u"COMPUTERNAME"), u"TARNWICK-PC");
  EXPECT_EQ(Get(u"SystemRoot"), u"C:\\Windows");
  EXPECT_EQ(Get(u"windir"), u"C:\\Windows");
  EXPECT_EQ(Get(u"TEMP"), u"C:\\Windows\\Temp");
  // The spooler runs as SYSTEM: the machine account and its profile.
  EXPECT_EQ(Get(u"USERNAME"), u"TARNWICK-PC$");
  EXPECT_EQ(Get(u"USERDOMAIN"), u"WORKGROUP");
  EXPECT_EQ(Get(u"USERPROFILE"), u"C:\\Windows\\system32\\config\\systemprofile");
  EXPECT_EQ(Get(u"path"), u"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem") << "names ignore case";

  auto machine = *tw::config::Get();
  machine.computerName = u"print-server-of-accounting";
  ASSERT_TRUE(SetEnvironmentVariableW(u"TwSetByHand", u"1"));
  ASSERT_TRUE(tw::config::Save(machine));
  // Another machine: the environment is made anew from its configuration.
  EXPECT_EQ(Get(u"COMPUTERNAME"), u"PRINT-SERVER-OF");
  EXPECT_EQ(Get(u"TwSetByHand"), u"<none>");
}

TEST(Environment, GetAndSetFollowTheWin32SizeRules) {
  twtest::TempRoot root;
  ASSERT_TRUE(SetEnvironmentVariableW(u"TwVar", u"value"));
  WCHAR buffer[16];
  EXPECT_EQ(GetEnvironmentVariableW(u"TWVAR", buffer, 6), 5u);
  EXPECT_EQ(std::u16string(buffer), u"value");
  // Too small (or no buffer): the size needed, terminator included.
  buffer[0] = u'#';
  EXPECT_EQ(GetEnvironmentVariableW(u"TwVar", buffer, 5), 6u);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(GetEnvironmentVariableW(u"TwVar", nullptr, 0), 6u);

  // Replacing keeps the first spelling of the name.
  ASSERT_TRUE(SetEnvironmentVariableW(u"TWVAR", u"other"));
  EXPECT_EQ(Get(u"twvar"), u"other");
  // An empty value exists; 0 then comes with ERROR_SUCCESS.
  ASSERT_TRUE(SetEnvironmentVariableW(u"TwEmpty", u""));
  SetLastError(99);
  EXPECT_EQ(GetEnvironmentVariableW(u"TwEmpty", buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  ASSERT_TRUE(SetEnvironmentVariableW(u"TwVar", nullptr));
  EXPECT_EQ(GetEnvironmentVariableW(u"TwVar", buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_TRUE(SetEnvironmentVariableW(u"TwVar", nullptr)) << "deleting a missing variable is harmless";

  for (const char16_t* bad : {u"", u"A=B"}) {
    EXPECT_FALSE(SetEnvironmentVariableW(bad, u"x"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_FALSE(SetEnvironmentVariableW(nullptr, u"x"));
  EXPECT_TRUE(SetEnvironmentVariableW(u"=C:", u"C:\\Work")) << "the per-drive directories begin with '='";
}

TEST(Environment, ExpansionKeepsUnknownNamesAsWindowsDoes) {
  twtest::TempRoot root;
  EXPECT_EQ(Expand(u"%SystemRoot%\\System32"), u"C:\\Windows\\System32");
  EXPECT_EQ(Expand(u"%systemroot%%OS%"), u"C:\\WindowsWindows_NT");
  EXPECT_EQ(Expand(u"%NOPE%"), u"%NOPE%");
  EXPECT_EQ(Expand(u"100% sure"), u"100% sure");
  EXPECT_EQ(Expand(u"%%"), u"%%");
  EXPECT_EQ(Expand(u"%"), u"%");
  // The "%" that closes an unknown name may open the next one.
  EXPECT_EQ(Expand(u"%NOPE%OS%"), u"%NOPEWindows_NT");

  // The result is the size needed with the terminator; a short buffer is
  // left alone.
  WCHAR buffer[32] = u"untouched";
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%OS%", buffer, 10), 11u);
  EXPECT_EQ(std::u16string(buffer), u"untouched");
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%OS%", buffer, 11), 11u);
  EXPECT_EQ(std::u16string(buffer), u"Windows_NT");
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%OS%", nullptr, 0), 11u);
  EXPECT_EQ(ExpandEnvironmentStringsW(nullptr, buffer, 32), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Environment, BlockIsSortedAndEndsWithTwoTerminators) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  ASSERT_TRUE(SetEnvironmentVariableW(u"aaa_first", u"1"));
  LPWCH block = GetEnvironmentStringsW();
  ASSERT_NE(block, nullptr);
  std::vector<std::u16string> entries;
  for (LPWCH p = block; *p; p += entries.back().size() + 1) entries.emplace_back(p);
  ASSERT_GT(entries.size(), 10u);
  EXPECT_EQ(entries.front(), u"aaa_first=1");
  // Sorted by name ("ProgramFiles" before "ProgramFiles(x86)").
  auto name = [](const std::u16string& entry) { return entry.substr(0, entry.find(u'=', 1)); };
  for (size_t i = 1; i < entries.size(); ++i)
    EXPECT_LT(tw::CompareNoCase(name(entries[i - 1]), name(entries[i])), 0) << tw::ToUtf8(entries[i]);
  EXPECT_NE(std::find(entries.begin(), entries.end(), u"COMPUTERNAME=TARNWICK-PC"), entries.end());
  EXPECT_TRUE(FreeEnvironmentStringsW(block));
}

TEST(Environment, LinuxPassesVariablesAndTheUserChoosesTheProfile) {
  setenv("TW_ENV_TwFromLinux", "caf\xC3\xA9", 1);
  setenv("TW_USER", "alice", 1);
  {
    twtest::TempRoot root;
    EXPECT_EQ(Get(u"TwFromLinux"), u"caf\u00e9");
    EXPECT_EQ(tw::identity::ProcessUser().name, u"alice");
    EXPECT_EQ(Get(u"USERNAME"), u"alice");
    EXPECT_EQ(Get(u"TEMP"), u"C:\\Users\\alice\\AppData\\Local\\Temp");
    auto child = tw::env::ChildVariables();
    EXPECT_NE(std::find(child.begin(), child.end(), "TW_ENV_TwFromLinux=caf\xC3\xA9"), child.end());
    EXPECT_NE(std::find(child.begin(), child.end(), "TW_ENV_COMPUTERNAME=TARNWICK-PC"), child.end());
  }
  // An unknown user falls back to the spooler's account.
  setenv("TW_USER", "nobody-here", 1);
  {
    twtest::TempRoot root;
    EXPECT_EQ(tw::identity::ProcessUser().name, u"SYSTEM");
  }
  unsetenv("TW_USER");
  unsetenv("TW_ENV_TwFromLinux");
  twtest::TempRoot root;
  EXPECT_EQ(Get(u"TwFromLinux"), u"<none>");
}

TEST(Identity, AccountsByNameDomainAndSid) {
  twtest::TempRoot root;
  auto alice = tw::identity::FindAccount(u"ALICE");
  ASSERT_TRUE(alice);
  EXPECT_EQ(alice->name, u"alice");
  EXPECT_EQ(alice->sid, u"S-1-5-21-3623811015-3361044348-30300820-1001");
  EXPECT_TRUE(tw::identity::FindAccount(u"TARNWICK-PC\\alice"));
  EXPECT_TRUE(tw::identity::FindAccount(u".\\alice"));
  EXPECT_FALSE(tw::identity::FindAccount(u"OTHERDOMAIN\\alice"));
  EXPECT_EQ(tw::identity::FindAccount(u"s-1-5-21-3623811015-3361044348-30300820-1001")->name, u"alice");
  auto system = tw::identity::FindAccount(u"NT AUTHORITY\\SYSTEM");
  ASSERT_TRUE(system);
  EXPECT_EQ(system->sid, u"S-1-5-18");
  EXPECT_EQ(tw::identity::FindAccount(u"S-1-5-20")->name, u"NETWORK SERVICE");
  EXPECT_FALSE(tw::identity::FindAccount(u"mallory"));
  EXPECT_FALSE(tw::identity::FindAccount(u""));

  // Users configured without a SID get a stable one of this machine.
  auto machine = *tw::config::Get();
  machine.users.push_back({u"bob", u"", u"", {}});
  ASSERT_TRUE(tw::config::Save(machine));
  auto bob = tw::identity::FindAccount(u"bob");
  ASSERT_TRUE(bob);
  EXPECT_EQ(bob->domain, u"TARNWICK-PC");
  EXPECT_EQ(bob->sid.rfind(u"S-1-5-21-", 0), 0u);
  EXPECT_EQ(tw::identity::FindAccount(bob->sid)->name, u"bob");
  EXPECT_EQ(tw::identity::FindAccount(u"bob")->sid, bob->sid);
}

}  // namespace
