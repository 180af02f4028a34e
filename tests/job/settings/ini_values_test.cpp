// Values of the printer's INI file (the driver's data file).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "job/settings/effective.h"
#include "job/settings/settings_store.h"
#include "tw/pathmap.h"
#include "tw_test.h"

using namespace tw::settings;

namespace {

constexpr char16_t kIniFile[] = u"C:\\Drivers\\x64\\3\\TARNWICK.INI";

class IniValues : public ::testing::Test {
 protected:
  void Write(const std::string& text) {
    std::filesystem::path host;
    ASSERT_EQ(tw::path::ToHost(kIniFile, host), 0u);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary);
    out << text;
  }
  twtest::TempRoot root_;
  SettingsScope scope_ = ScopeForPrinter(u"Tarnwick Printer", 3, kIniFile);
};

TEST_F(IniValues, MissingFileOrNoFileGivesTheDefaults) {
  SettingsScope none = ScopeForPrinter(u"Tarnwick Printer", 3);
  EXPECT_EQ(Read(none, IniStartApplicationTimeout), 5000);
  EXPECT_EQ(Read(scope_, IniMessagingTimeout2), 10000) << "the file does not exist";
  EXPECT_EQ(Read(scope_, IniWriteNumberOfCopiesToGroupFile), 1);
  EXPECT_EQ(Read(scope_, IniEventLoggingLevel), 2);
  EXPECT_EQ(Read(scope_, IniPluginFilename), u"TwPlugIn.dll");
  EXPECT_EQ(Read(scope_, IniOcrWriteBitmaps), u"No");
  EXPECT_EQ(Read(scope_, IniGroupIniFile), u"tw_group.ini");
  EXPECT_EQ(Read(none, IniStatisticsPipeName, 0, u"MyInterface"), u"MyInterface");
}

TEST_F(IniValues, ValuesOfTheFile) {
  Write(
      "[Default Settings]\r\n"
      "Start Application Timeout=2500\r\n"
      "Uppercase Extensions=1\r\n"
      "Plugin Filename=C:\\Plug\\Other.dll\r\n"
      "Password=secret\r\n"
      "[OCR Settings]\r\n"
      "Write Bitmaps=YES\r\n"
      "[Statistics Pipe Settings]\r\n"
      "Pipe name=Accounting\r\n"
      "[TwGroup.ini]\r\n"
      "INI File=C:\\Groups\\my.ini\r\n");
  EXPECT_EQ(Read(scope_, IniStartApplicationTimeout), 2500);
  EXPECT_EQ(Read(scope_, IniUppercaseExtensions), 1);
  EXPECT_EQ(Read(scope_, IniMessagingTimeout), 10000) << "keys the file lacks keep their defaults";
  EXPECT_EQ(Read(scope_, IniPluginFilename), u"C:\\Plug\\Other.dll");
  EXPECT_EQ(Read(scope_, IniPassword), u"secret");
  EXPECT_EQ(Read(scope_, IniOcrWriteBitmaps), u"YES");
  EXPECT_EQ(Read(scope_, IniStatisticsPipeName, 0, u"MyInterface"), u"Accounting");
  EXPECT_EQ(Read(scope_, IniGroupIniFile), u"C:\\Groups\\my.ini");
  // A text is cut to the buffer given.
  EXPECT_EQ(Read(scope_, IniPassword, 4), u"sec");
  EffectiveContext ctx{scope_, nullptr, {}, false};
  EXPECT_EQ(Effective(ctx, IniStartApplicationTimeout), 2500);
}

}  // namespace
