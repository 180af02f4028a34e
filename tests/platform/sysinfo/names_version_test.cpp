// Computer and user names, the reported Windows version and the package
// identity, answered from the machine configuration.
#include "tw/sysinfo.h"
#include "tw_test.h"
#include "windows.h"

namespace {

void Configure(void (*change)(tw::config::Machine&)) {
  auto machine = *tw::config::Get();
  change(machine);
  ASSERT_TRUE(tw::config::Save(machine));
}

TEST(ComputerName, BufferRulesOfGetComputerName) {
  twtest::TempRoot root;
  WCHAR buffer[64];
  DWORD size = 11;  // "TARNWICK-PC" without room for the terminator
  EXPECT_FALSE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 12u);
  EXPECT_TRUE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(std::u16string(buffer), u"TARNWICK-PC");
  EXPECT_FALSE(GetComputerNameW(buffer, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // The NetBIOS name is upper case and at most 15 characters.
  Configure([](tw::config::Machine& m) { m.computerName = u"print-server-of-accounting"; });
  size = 64;
  EXPECT_TRUE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(std::u16string(buffer), u"PRINT-SERVER-OF");
}

TEST(ComputerName, DnsFormsOfGetComputerNameEx) {
  twtest::TempRoot root;
  struct {
    COMPUTER_NAME_FORMAT format;
    std::u16string expected;
  } cases[] = {{ComputerNameNetBIOS, u"TARNWICK-PC"},
               {ComputerNameDnsHostname, u"tarnwick-pc"},
               {ComputerNameDnsDomain, u"example.local"},
               {ComputerNameDnsFullyQualified, u"tarnwick-pc.example.local"},
               {ComputerNamePhysicalDnsFullyQualified, u"tarnwick-pc.example.local"}};
  for (const auto& c : cases) {
    WCHAR buffer[64];
    DWORD size = 64;
    ASSERT_TRUE(GetComputerNameExW(c.format, buffer, &size)) << c.format;
    EXPECT_EQ(std::u16string(buffer), c.expected);
    EXPECT_EQ(size, c.expected.size());
  }
  DWORD size = 0;
  EXPECT_FALSE(GetComputerNameExW(ComputerNameDnsFullyQualified, nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(size, 26u);
  EXPECT_FALSE(GetComputerNameExW(ComputerNameMax, nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(UserName, TheProcessUserWithTheTerminatorCounted) {
  twtest::TempRoot root;
  WCHAR buffer[16];
  DWORD size = 6;
  EXPECT_FALSE(GetUserNameW(buffer, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 7u);
  EXPECT_TRUE(GetUserNameW(buffer, &size));
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(std::u16string(buffer), u"SYSTEM");
}

TEST(Version, GetVersionExReportsTheConfiguredVersion) {
  twtest::TempRoot root;
  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 10u);
  EXPECT_EQ(ex.dwMinorVersion, 0u);
  EXPECT_EQ(ex.dwBuildNumber, 19045u);
  EXPECT_EQ(ex.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
  EXPECT_EQ(ex.szCSDVersion[0], 0);

  OSVERSIONINFOW plain{};
  plain.dwOSVersionInfoSize = sizeof plain - 1;
  EXPECT_FALSE(GetVersionExW(&plain));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  Configure([](tw::config::Machine& m) {
    m.osMajor = 5;
    m.osMinor = 0;
    m.osBuild = 2195;
  });
  OSVERSIONINFOA narrow{};
  narrow.dwOSVersionInfoSize = sizeof narrow;
  ASSERT_TRUE(GetVersionExA(&narrow));
  EXPECT_EQ(narrow.dwMajorVersion, 5u);
  EXPECT_EQ(narrow.dwBuildNumber, 2195u);
  EXPECT_EQ(GetVersion(), 5u | (2195u << 16));
}

BOOL IsVersion(DWORD major, DWORD minor, BYTE condition) {
  OSVERSIONINFOEXW want{};
  want.dwOSVersionInfoSize = sizeof want;
  want.dwMajorVersion = major;
  want.dwMinorVersion = minor;
  ULONGLONG mask = 0;
  VER_SET_CONDITION(mask, VER_MAJORVERSION, condition);
  VER_SET_CONDITION(mask, VER_MINORVERSION, condition);
  return VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION, mask);
}

TEST(Version, VerifyVersionInfoComparesMajorAndMinorAsOneNumber) {
  twtest::TempRoot root;
  // The monitor's test for Windows 2000: major and minor both equal to 5.0.
  EXPECT_FALSE(IsVersion(5, 0, VER_EQUAL));
  EXPECT_EQ(GetLastError(), ERROR_OLD_WIN_VERSION);
  EXPECT_TRUE(IsVersion(10, 0, VER_EQUAL));
  EXPECT_TRUE(IsVersion(6, 1, VER_GREATER_EQUAL));  // 10.0 >= 6.1 although 0 < 1
  EXPECT_FALSE(IsVersion(10, 1, VER_GREATER_EQUAL));
  EXPECT_FALSE(IsVersion(10, 0, VER_GREATER));
  EXPECT_TRUE(IsVersion(10, 1, VER_LESS));

  Configure([](tw::config::Machine& m) {
    m.osMajor = 5;
    m.osMinor = 0;
  });
  EXPECT_TRUE(IsVersion(5, 0, VER_EQUAL));
  EXPECT_FALSE(IsVersion(5, 1, VER_GREATER_EQUAL));
  EXPECT_TRUE(IsVersion(5, 0, VER_LESS_EQUAL));

  // A minor version without a condition of its own takes the major's.
  OSVERSIONINFOEXW want{};
  want.dwMajorVersion = 4;
  want.dwMinorVersion = 9;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  EXPECT_TRUE(VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION, mask));
  want.dwMajorVersion = 5;
  want.dwMinorVersion = 1;
  EXPECT_FALSE(VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION, mask));

  // Build number and platform are compared on their own.
  want.dwBuildNumber = 2195;
  want.dwPlatformId = VER_PLATFORM_WIN32_NT;
  mask = VerSetConditionMask(VerSetConditionMask(0, VER_BUILDNUMBER, VER_LESS), VER_PLATFORMID, VER_EQUAL);
  EXPECT_FALSE(VerifyVersionInfoW(&want, VER_BUILDNUMBER | VER_PLATFORMID, mask));
  want.dwBuildNumber = 99999;
  EXPECT_TRUE(VerifyVersionInfoW(&want, VER_BUILDNUMBER | VER_PLATFORMID, mask));

  EXPECT_FALSE(VerifyVersionInfoW(&want, 0, mask));
  EXPECT_EQ(GetLastError(), ERROR_BAD_ARGUMENTS);
  EXPECT_FALSE(VerifyVersionInfoW(&want, VER_MAJORVERSION, 0));
  EXPECT_EQ(GetLastError(), ERROR_BAD_ARGUMENTS);
}

TEST(Version, ConditionMaskHoldsThreeBitsPerType) {
  EXPECT_EQ(VerSetConditionMask(0, VER_MINORVERSION, VER_EQUAL), 1u);
  EXPECT_EQ(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL), 3u << 3);
  EXPECT_EQ(VerSetConditionMask(0, VER_MAJORVERSION | VER_MINORVERSION, VER_EQUAL), (1u << 3) | 1u);
  EXPECT_EQ(VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_LESS), 4ull << 21);
  EXPECT_EQ(VerSetConditionMask(7, VER_MAJORVERSION, 0), 7u) << "condition 0 changes nothing";
}

TEST(Package, NoPackageUnlessConfigured) {
  twtest::TempRoot root;
  UINT32 length = 0;
  EXPECT_EQ(GetCurrentPackageFullName(&length, nullptr), APPMODEL_ERROR_NO_PACKAGE);
  EXPECT_EQ(GetCurrentPackageFullName(nullptr, nullptr), ERROR_INVALID_PARAMETER);

  Configure([](tw::config::Machine& m) { m.packageFullName = u"Tarnwick.Printer_1.0.0.0_x64__abc"; });
  EXPECT_EQ(GetCurrentPackageFullName(&length, nullptr), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 34u);
  WCHAR name[PACKAGE_FULL_NAME_MAX_LENGTH + 1];
  length = 33;
  EXPECT_EQ(GetCurrentPackageFullName(&length, name), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 34u);
  EXPECT_EQ(GetCurrentPackageFullName(&length, name), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Tarnwick.Printer_1.0.0.0_x64__abc");
}

}  // namespace
