#include <fstream>

#include "tw/casefold.h"
#include "tw/pathmap.h"
#include "tw/utf.h"
#include "tw_test.h"
#include "winerror.h"

namespace {

std::u16string full(std::u16string_view p) {
  std::u16string out;
  DWORD rc = tw::path::FullPath(p, out);
  return rc ? u"error " + tw::FromUtf8(std::to_string(rc)) : out;
}

TEST(PathMapping, FullPathNormalisesLikeWindows) {
  EXPECT_EQ(full(u"c:/Out/./a/../b"), u"C:\\Out\\b");
  EXPECT_EQ(full(u"C:\\"), u"C:\\");
  EXPECT_EQ(full(u"\\Temp\\x.txt"), u"C:\\Temp\\x.txt") << "current drive";
  EXPECT_EQ(full(u"name.ini"), u"C:\\Windows\\System32\\name.ini") << "relative to the current folder";
  EXPECT_EQ(full(u"C:\\a\\..\\..\\..\\b"), u"C:\\b") << "cannot climb above the drive root";
  EXPECT_EQ(full(u"C:\\dir. .\\file.txt. "), u"C:\\dir\\file.txt") << "trailing dots and blanks dropped";
  EXPECT_EQ(full(u"\\\\?\\D:\\x"), u"D:\\x");
  EXPECT_EQ(full(u"/srv/out"), u"Z:\\srv\\out") << "a Linux absolute path";
  EXPECT_EQ(full(u"\\\\server\\share\\f"), u"error 53");
  EXPECT_EQ(full(u"\\\\.\\pipe\\x"), u"error 53");
  EXPECT_EQ(full(u"C:\\a|b"), u"error 123");
  EXPECT_EQ(full(u""), u"error 3");
}

TEST(PathMapping, HostPathMatchesExistingComponentsIgnoringCase) {
  twtest::TempRoot root;
  std::filesystem::create_directories(root.Dir() / "drive_c/Output/Jobs");
  std::ofstream(root.Dir() / "drive_c/Output/Jobs/Report.TIF") << "x";
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(u"c:\\OUTPUT\\jobs\\report.tif", host), 0u);
  EXPECT_EQ(host, root.Dir() / "drive_c/Output/Jobs/Report.TIF");
  ASSERT_EQ(tw::path::ToHost(u"C:\\output\\New\\file.txt", host), 0u);
  EXPECT_EQ(host, root.Dir() / "drive_c/Output/New/file.txt") << "missing parts keep their spelling";
  ASSERT_EQ(tw::path::ToHost(u"Z:\\srv\\x", host), 0u);
  EXPECT_EQ(host, std::filesystem::path("/srv/x"));
}

TEST(PathMapping, ReverseMappingRoundTrips) {
  twtest::TempRoot root;
  EXPECT_EQ(tw::path::FromHost(root.Dir() / "drive_c/Windows/System32/TarnwickMon.dll"),
            u"C:\\Windows\\System32\\TarnwickMon.dll");
  EXPECT_EQ(tw::path::FromHost(root.Dir() / "drive_d"), u"D:\\");
  EXPECT_EQ(tw::path::FromHost("/srv/out/a.tif"), u"Z:\\srv\\out\\a.tif");
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(tw::path::FromHost("/srv/out/a.tif"), host), 0u);
  EXPECT_EQ(host, std::filesystem::path("/srv/out/a.tif"));
}

TEST(PathMapping, CurrentDirectoryMustExist) {
  twtest::TempRoot root;
  auto before = tw::path::CurrentDirectory();
  EXPECT_EQ(tw::path::SetCurrentDirectory(u"C:\\NoSuchFolder"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(tw::path::SetCurrentDirectory(u"c:\\windows"), 0u);
  EXPECT_EQ(tw::path::CurrentDirectory(), u"C:\\windows");
  EXPECT_EQ(full(u"x.ini"), u"C:\\windows\\x.ini");
  ASSERT_EQ(tw::path::SetCurrentDirectory(before), 0u);
}

TEST(CaseFolding, UpcasesEachUnitIgnoringLocale) {
  EXPECT_TRUE(tw::EqualsNoCase(u"PortList", u"PORTLIST"));
  EXPECT_TRUE(tw::EqualsNoCase(u"straße", u"STRAßE")) << "no expansion of ß";
  EXPECT_TRUE(tw::EqualsNoCase(u"ÄÖÜ", u"äöü"));
  EXPECT_FALSE(tw::EqualsNoCase(u"a", u"ab"));
  EXPECT_LT(tw::CompareNoCase(u"abc", u"ABD"), 0);
  EXPECT_EQ(tw::CompareNoCase(u"Monitors", u"MONITORS"), 0);
}

}  // namespace
