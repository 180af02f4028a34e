// Reading profile files: the Windows normalisation of names and values, the
// listings and the buffer rules.
#include "profile_test_util.h"
#include "tw/file.h"
#include "tw/lasterror.h"
#include "tw/profile.h"
#include "tw_test.h"

namespace {

using profiletest::DataDir;
using profiletest::List;
using profiletest::Spill;

class ProfileRead : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(DataDir() / "printer_ansi.ini", root_.Dir() / "drive_c/Windows/TARNWICK.INI");
  }
  std::u16string Get(LPCWSTR section, LPCWSTR key, LPCWSTR def = u"<default>", DWORD size = 260,
                     LPCWSTR file = u"TARNWICK.INI") {
    std::u16string buffer(size, u'#');
    DWORD n = GetPrivateProfileStringW(section, key, def, buffer.data(), size, file);
    error_ = GetLastError();
    length_ = n;
    return std::u16string(buffer.c_str());
  }
  twtest::TempRoot root_;
  DWORD error_ = 0;
  DWORD length_ = 0;
};

TEST_F(ProfileRead, ValuesAreTrimmedUnquotedAndFoundWithoutCase) {
  EXPECT_EQ(Get(u"Default Settings", u"Output Directory"), u"C:\\Out\\Müller") << "ANSI 1252 byte FC is ü";
  EXPECT_EQ(error_, 0u);
  EXPECT_EQ(length_, 13u);
  EXPECT_EQ(Get(u"default settings", u"OUTPUT DIRECTORY"), u"C:\\Out\\Müller");
  EXPECT_EQ(Get(u"  Default Settings ", u" Output Directory\t"), u"C:\\Out\\Müller") << "names are trimmed";
  EXPECT_EQ(Get(u"Default Settings", u"Quoted"), u"  keep inner blanks  ") << "one pair of quotes removed";
  EXPECT_EQ(Get(u"Default Settings", u"Single"), u"x");
  EXPECT_EQ(Get(u"Default Settings", u"Half"), u"\"open") << "an unmatched quote stays";
  EXPECT_EQ(Get(u"TwGroup.ini", u"INI File"), u"tw_group.ini") << "LF-only lines";
  EXPECT_EQ(Get(u"Spaced Section", u"Key With Blanks"), u"value with blanks");
  EXPECT_EQ(Get(u"Spaced Section", u"Last"), u"1") << "last line without line end";
  EXPECT_EQ(Get(u"Spaced Section", u";comment"), u"<default>") << "comments are not keys";
  EXPECT_EQ(Get(u"TwGroup.ini", u"NoEquals line"), u"<default>") << "a line without '=' has no value";
}

TEST_F(ProfileRead, MissingEntriesGiveTheDefault) {
  EXPECT_EQ(Get(u"Default Settings", u"Nope", u"fallback   "), u"fallback") << "trailing blanks of the default go";
  EXPECT_EQ(error_, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(length_, 8u);
  EXPECT_EQ(Get(u"No Section", u"Debug", nullptr), u"");
  EXPECT_EQ(length_, 0u);
  EXPECT_EQ(Get(u"Default Settings", u"Debug", u"x", 260, u"missing.ini"), u"x");
  EXPECT_EQ(error_, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Get(u"Default Settings", u"", u"empty key"), u"empty key");
}

TEST_F(ProfileRead, ShortBuffersFollowTheWindowsRules) {
  // One value: cut to nSize - 1, returns nSize - 1.
  EXPECT_EQ(Get(u"Default Settings", u"Output Directory", u"", 5), u"C:\\O");
  EXPECT_EQ(length_, 4u);
  EXPECT_EQ(Get(u"TwGroup.ini", u"INI File", u"", 13), u"tw_group.ini") << "exactly fits";
  EXPECT_EQ(length_, 12u);

  // Lists: the last string cut, two nulls, nSize - 2.
  char16_t buffer[64];
  DWORD n = GetPrivateProfileStringW(nullptr, nullptr, u"", buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(List(buffer), (std::vector<std::u16string>{u"Default Settings", u"TwGroup.ini", u"Spaced Section"}));
  EXPECT_EQ(n, 17u + 12u + 15u);
  n = GetPrivateProfileStringW(nullptr, nullptr, u"", buffer, 20, u"TARNWICK.INI");
  EXPECT_EQ(n, 18u);
  EXPECT_EQ(std::u16string(buffer), u"Default Settings");
  EXPECT_EQ(std::u16string(buffer + 17), u"T");
  EXPECT_EQ(buffer[18], 0);
  EXPECT_EQ(buffer[19], 0);

  n = GetPrivateProfileStringW(u"Default Settings", nullptr, u"", buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(List(buffer), (std::vector<std::u16string>{u"Output Directory", u"Quoted", u"Single", u"Half", u"Debug",
                                                       u"Hex", u"Negative"}));
  n = GetPrivateProfileStringW(u"Default Settings", nullptr, u"", buffer, 10, u"TARNWICK.INI");
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::u16string(buffer), u"Output D");
  EXPECT_EQ(buffer[9], 0);
  n = GetPrivateProfileStringW(u"No Section", nullptr, u"dflt", buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(std::u16string(buffer), u"dflt") << "an absent section lists the default";

  n = GetPrivateProfileSectionNamesW(buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(n, 44u);
  n = GetPrivateProfileSectionW(u"twgroup.ini", buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(List(buffer), (std::vector<std::u16string>{u"INI File=tw_group.ini", u"NoEquals line"}));
  EXPECT_EQ(n, 22u + 14u);
  n = GetPrivateProfileSectionW(u"Spaced Section", buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(List(buffer), (std::vector<std::u16string>{u"Key With Blanks=value with blanks", u"Last=1"}));
  n = GetPrivateProfileSectionW(u"Nope", buffer, 64, u"TARNWICK.INI");
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0);
}

TEST_F(ProfileRead, IntegersParseAsWindowsDoes) {
  auto get = [](LPCWSTR key, INT def = -99) {
    return GetPrivateProfileIntW(u"Default Settings", key, def, u"TARNWICK.INI");
  };
  EXPECT_EQ(get(u"Debug"), 12u) << "leading blanks, digits up to the first other character";
  EXPECT_EQ(get(u"Hex"), 31u) << "0x prefix";
  EXPECT_EQ(INT(get(u"Negative")), -7);
  EXPECT_EQ(get(u"Quoted"), 0u) << "no digits: 0, not the default";
  EXPECT_EQ(INT(get(u"Missing")), -99);
  EXPECT_EQ(GetPrivateProfileIntW(u"Setting", u"Debug", 0, u"C:\\PrnDebug.ini"), 0u) << "no file";
  Spill(root_.Dir() / "drive_c/PrnDebug.ini",
        "[Setting]\r\nDebug=1\r\nMessage Capture Log Level=+3 \r\nEmpty=\r\nBig=4294967297\r\nB=0b101\r\n"
        "Quoted=\"42\"\r\nOct=0o17\r\n");
  auto dbg = [](LPCWSTR key, INT def = 2) { return GetPrivateProfileIntW(u"Setting", key, def, u"C:\\PrnDebug.ini"); };
  EXPECT_EQ(dbg(u"Debug"), 1u);
  EXPECT_EQ(dbg(u"message capture log level"), 3u);
  EXPECT_EQ(dbg(u"Empty"), 2u) << "an empty value gives the default";
  EXPECT_EQ(dbg(u"Big"), 1u) << "32-bit wrap";
  EXPECT_EQ(dbg(u"B"), 5u);
  EXPECT_EQ(dbg(u"Quoted"), 42u);
  EXPECT_EQ(dbg(u"Oct"), 15u);
}

TEST(ProfileFiles, BareNamesLiveInTheWindowsFolder) {
  twtest::TempRoot root;
  Spill(root.Dir() / "drive_c/Windows/TwMonitor.ini", "[PortName]\r\nPortName=TWPORT1:\r\n");
  Spill(root.Dir() / "drive_c/Windows/System32/TwMonitor.ini", "[PortName]\r\nPortName=WRONG\r\n");
  WCHAR name[64];
  EXPECT_EQ(GetPrivateProfileStringW(u"PortName", u"PortName", u"", name, 64, u"TwMonitor.ini"), 8u);
  EXPECT_EQ(std::u16string(name), u"TWPORT1:") << "not the current directory (System32)";
  GetPrivateProfileStringW(u"PortName", u"PortName", u"", name, 64, u".\\TwMonitor.ini");
  EXPECT_EQ(std::u16string(name), u"WRONG") << "a relative path with a folder uses the current directory";
  ASSERT_TRUE(WritePrivateProfileStringW(u"Group", u"Last Output File", u"C:\\Out\\a.tif", u"tw_group.ini"));
  EXPECT_TRUE(std::filesystem::exists(root.Dir() / "drive_c/Windows/tw_group.ini"));
  Spill(root.Dir() / "drive_c/Windows/win.ini", "[windows]\r\nDevice=TW,winspool,TWPORT1:\r\n");
  EXPECT_EQ(GetProfileStringW(u"Windows", u"device", u"", name, 64), 20u);
  EXPECT_EQ(std::u16string(name), u"TW,winspool,TWPORT1:");
}

TEST(ProfileFiles, UnicodeFilesAreReadAsUtf16) {
  twtest::TempRoot root;
  std::filesystem::copy_file(DataDir() / "group_unicode.grp", root.Dir() / "drive_c/doc.grp");
  WCHAR value[64];
  GetPrivateProfileStringW(u"group", u"Document Name", u"", value, 64, u"C:\\doc.grp");
  EXPECT_EQ(std::u16string(value), u"Ωmega 文書");
  // The same bytes without the mark are ANSI text, every byte a character.
  std::string bytes = profiletest::Slurp(DataDir() / "group_unicode.grp").substr(2);
  Spill(root.Dir() / "drive_c/nobom.grp", bytes);
  EXPECT_EQ(GetPrivateProfileStringW(u"Group", u"Document name", u"none", value, 64, u"C:\\nobom.grp"), 4u);
  // A UTF-8 mark is just bytes to the ANSI reader: the first section is not found.
  Spill(root.Dir() / "drive_c/utf8.ini", "\xEF\xBB\xBF[First]\r\nA=1\r\n[Second]\r\nB=2\r\n");
  EXPECT_EQ(GetPrivateProfileIntW(u"First", u"A", 9, u"C:\\utf8.ini"), 9u);
  EXPECT_EQ(GetPrivateProfileIntW(u"Second", u"B", 9, u"C:\\utf8.ini"), 2u);
}

TEST(ProfileFiles, InvalidBytesNeverBreakReading) {
  twtest::TempRoot root;
  std::string junk = "[S]\r\nA=1\r\n";
  for (int i = 0; i < 256; ++i) junk += char(i);
  junk += "\r[S2]\rB=\x81\x8d\x00z\r\n\xff\xfe";  // lone CRs, undefined 1252 bytes, a NUL, a late BOM
  junk += std::string("\0\0\0", 3);
  Spill(root.Dir() / "drive_c/junk.ini", junk);
  EXPECT_EQ(GetPrivateProfileIntW(u"S", u"A", 0, u"C:\\junk.ini"), 1u);
  WCHAR value[16];
  EXPECT_EQ(GetPrivateProfileStringW(u"S2", u"B", u"", value, 16, u"C:\\junk.ini"), 2u) << "cut at the NUL";
  EXPECT_EQ(value[0], 0x81) << "undefined 1252 bytes map to C1 controls";
  EXPECT_EQ(value[1], 0x8D);
  EXPECT_EQ(value[2], 0);
  WCHAR names[256];
  EXPECT_GT(GetPrivateProfileSectionNamesW(names, 256, u"C:\\junk.ini"), 0u);
  // Odd-length UTF-16 and lone surrogates.
  Spill(root.Dir() / "drive_c/odd.ini", std::string("\xFF\xFE[\0S\0]\0\n\0K\0=\0\x00\xD8\n\0X", 19));
  EXPECT_EQ(GetPrivateProfileStringW(u"S", u"K", u"", value, 16, u"C:\\odd.ini"), 1u);
  EXPECT_EQ(value[0], 0xD800);
}

}  // namespace
