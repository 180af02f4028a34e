// Naming methods 1, 2, 4, 5 and 8 from the naming INI file or registry key,
// and the text, mail-merge and OCR names beside the output name.
#include "naming_test_fixture.h"

namespace {

using namespace twtest_naming;

constexpr WCHAR kNamingIni[] = u"C:\\naming.ini";
constexpr WCHAR kNamingKey[] = u"SOFTWARE\\Naming";

class NamingSourcesTest : public OutputNamingTest {
 protected:
  void SetUp() override {
    OutputNamingTest::SetUp();
    std::filesystem::create_directories(Host(u"C:\\Out\\src"));
  }
  void SetKey(const WCHAR* name, const WCHAR* value, HKEY hive = HKEY_CURRENT_USER) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(hive, kNamingKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>((std::char_traits<char16_t>::length(value) + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void SetDwordKey(const WCHAR* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kNamingKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  void SetIni(const WCHAR* section, const WCHAR* key, const WCHAR* value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, kNamingIni));
  }
  bool Matches(const char* pattern) { return std::regex_match(tw::ToUtf8(Name()), std::regex(pattern)); }
};

TEST_F(NamingSourcesTest, Method1TakesItsPiecesFromTheRegistryKey) {
  job_.m_DevMode.FileGenerationMethod = 1;
  job_.m_DevMode.NamingSettingsPath.Set(u"hkey_current_user\\SOFTWARE\\Naming");
  SetKey(u"File Name Prefix", u"INVOICE");
  SetKey(u"File Name extension", u"dat");
  SetKey(u"Output Directory", u"C:\\Out\\src");
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(Matches(R"(C:\\Out\\src\\INV[0-9A-F]+\.dat)")) << tw::ToUtf8(Name());
  // A value that is not text is absent: the output directory, the format's extension.
  SetDwordKey(u"Output Directory", 5);
  SetDwordKey(u"File Name extension", 5);
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(Matches(R"(C:\\Out\\INV[0-9A-F]+\.png)")) << tw::ToUtf8(Name());
  // A path that is no registry key of the two roots gives every default.
  job_.m_DevMode.NamingSettingsPath.Set(u"HKEY_USERS\\SOFTWARE\\Naming");
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(Matches(R"(C:\\Out\\[0-9A-F]+\.png)")) << tw::ToUtf8(Name());
  // HKEY_LOCAL_MACHINE.
  job_.m_DevMode.NamingSettingsPath.Set(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Naming");
  SetKey(u"File Name Prefix", u"MACHINE", HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(Matches(R"(C:\\Out\\MAC[0-9A-F]+\.png)")) << tw::ToUtf8(Name());
}

TEST_F(NamingSourcesTest, Method2TakesItsPiecesFromTheNamingIni) {
  job_.m_DevMode.FileGenerationMethod = 2;
  job_.m_DevMode.NamingSettingsPath.Set(kNamingIni);
  SetIni(kPrinter, u"File Name Prefix", u"ABCDEFGHIJ");  // above 8 characters: "AAA"
  SetIni(kPrinter, u"File Name extension", u"longer");    // above 4: the format's
  SetIni(kPrinter, u"Output Directory", u"C:\\Out\\<<USERNAME>>");
  std::filesystem::create_directories(Host(u"C:\\Out\\alice"));
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(Matches(R"(C:\\Out\\alice\\AAA[0-9A-F]+\.png)")) << tw::ToUtf8(Name());
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), Name().substr(0, Name().size() - 3) + u"grp");
}

TEST_F(NamingSourcesTest, Methods4And5NameTheFileExactly) {
  job_.m_DevMode.FileGenerationMethod = 4;
  job_.m_DevMode.NamingSettingsPath.Set(u"HKEY_CURRENT_USER\\SOFTWARE\\Naming");
  SetKey(u"File Name", u"C:\\Out\\src\\fromkey");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\src\\fromkey.png");
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\src\\fromkey_002.png");

  job_.m_DevMode.FileGenerationMethod = 5;
  job_.m_DevMode.NamingSettingsPath.Set(kNamingIni);
  SetIni(kPrinter, u"File Name", u"fromini.dat");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\fromini.dat") << "in the output directory";
  // No name: a name of the system's making in the output directory.
  SetIni(kPrinter, u"File Name", nullptr);
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(Matches(R"(C:\\Out\\AAA[0-9A-F]+\.png)")) << tw::ToUtf8(Name());
  SetIni(kPrinter, u"File Name", u"bad|name");
  EXPECT_FALSE(Page(1));
  EXPECT_NE(std::u16string(job_.PrintStatus()).find(u"253: "), std::u16string::npos);
}

TEST_F(NamingSourcesTest, Method8PutsTheDocumentNameIntoTheNamingIniDirectory) {
  job_.m_DevMode.FileGenerationMethod = 8;
  job_.m_DevMode.NamingSettingsPath.Set(kNamingIni);
  wcsncpy_s(job_.m_szDocumentName, u"Plan.v2.xlsx", _TRUNCATE);
  // The output directory when the INI names none.
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\Plan.v2.png");
  // "Default Settings" before that, the printer's section first.
  SetIni(u"Default Settings", u"OutputDirectory", u"C:\\Out\\src");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\src\\Plan.v2.png");
  std::filesystem::create_directories(Host(u"C:\\Out\\first"));
  SetIni(kPrinter, u"OutputDirectory", u"C:\\Out\\first");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\first\\Plan.v2.png");
  SetIni(kPrinter, u"Output Directory", u"C:\\Out\\Missing");
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(std::u16string(job_.PrintStatus()),
            u"25: Cannot access output directory: \"C:\\Out\\Missing\\\". Directory not found.");
}

TEST_F(NamingSourcesTest, TextAndMailMergeNamesBesideTheOutput) {
  job_.m_DevMode.Flags = dmf::WriteText | dmf::MailMerge;
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\report.txt");
  EXPECT_EQ(job_.m_Naming.m_szMailMergeFileName, u"C:\\Out\\report.mrg");
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\report_002.txt");

  // Their own action: 2 numbers past an existing file, 1 deletes it.
  Touch(u"C:\\Out\\report.txt");
  ASSERT_TRUE(st::Write(Scope(), st::TextActionOnExistingFiles, 2));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\report (1).txt");
  ASSERT_TRUE(st::Write(Scope(), st::TextActionOnExistingFiles, 1));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\report.txt");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\report.txt")));

  // A separate text directory when it is usable.
  ASSERT_TRUE(st::Write(Scope(), st::TextSeparateOutputDirectory, true));
  ASSERT_TRUE(st::Write(Scope(), st::TextOutputDirectory, u"C:\\Out\\src"));
  job_.m_bUppercaseExtensions = TRUE;
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\src\\report.TXT");
  EXPECT_EQ(job_.m_Naming.m_szMailMergeFileName, u"C:\\Out\\src\\report.MRG");
  ASSERT_TRUE(st::Write(Scope(), st::TextOutputDirectory, u"C:\\Out\\Missing"));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\report.TXT");

  // Off: the names stay as they were.
  job_.m_DevMode.Flags = 0;
  job_.m_DevMode.ImageFileName.Set(u"other");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\report.TXT");
}

TEST_F(NamingSourcesTest, OcrNamesBesideTheOutput) {
  ASSERT_TRUE(st::Write(Scope(), st::OcrEnabled, 1));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szOcrTextFileName, u"C:\\Out\\report.txt");
  EXPECT_EQ(job_.m_Naming.m_szOcrFileNameforStartApp, u"C:\\Out\\report.txt");
  job_.m_DevMode.Flags = dmf::WriteText;
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szOcrTextFileName, u"C:\\Out\\report.ocr.txt") << "beside the text file";
  // Settings are the document's: read when its names are made.
  ASSERT_TRUE(st::Write(Scope(), st::OcrFormat, 1));
  ASSERT_TRUE(st::Write(Scope(), st::OcrOutputDirectory, u"C:\\Out\\src"));
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(job_.m_Naming.m_szOcrTextFileName, u"C:\\Out\\report_002.ocr.txt");
  ASSERT_TRUE(Page(1));
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(job_.m_Naming.m_szOcrTextFileName, u"C:\\Out\\src\\report_002.html") << "hOCR";
  EXPECT_EQ(job_.m_Naming.m_szOcrFileNameforStartApp, u"C:\\Out\\src\\report.html") << "the first page's";
  // With the existing-file action 2 an existing OCR file is numbered past.
  Touch(u"C:\\Out\\src\\report.html");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szOcrTextFileName, u"C:\\Out\\src\\report (1).html");

  // OCR bitmaps: always numbered past an existing file.
  job_.m_bWriteOcrBitmaps = TRUE;
  job_.m_szOcrBitmapDirectory = u"C:\\Out";
  Touch(u"C:\\Out\\report.bmp");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szOcrBitmapFileName, u"C:\\Out\\report (1).bmp");
  job_.m_szOcrBitmapDirectory = u"C:\\Nope";
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(job_.m_Naming.m_szOcrBitmapFileName, u"C:\\Out\\src\\report.bmp") << "the OCR directory instead";

  // The unique names try again when the OCR name of a number is taken.
  job_.m_bWriteOcrBitmaps = FALSE;
  ASSERT_TRUE(st::Write(Scope(), st::OcrOutputDirectory, u""));
  ASSERT_TRUE(st::Write(Scope(), st::OcrFormat, 0));
  job_.m_DevMode.Flags = 0;
  job_.m_DevMode.FileGenerationMethod = 0;
  job_.m_DevMode.FileNamePrefix.Set(u"OCR");
  std::set<std::u16string> taken;
  const DWORD start = GetTickCount() & 0xFFFF;
  for (DWORD n = start; n < start + 12; ++n) {
    WCHAR name[64];
    swprintf_s(name, std::size(name), u"C:\\Out\\OCR%X.txt", n);
    Touch(name);
    taken.insert(name);
  }
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(taken.count(job_.m_Naming.m_szOcrTextFileName), 0u) << tw::ToUtf8(job_.m_Naming.m_szOcrTextFileName);
  EXPECT_TRUE(std::regex_match(tw::ToUtf8(job_.m_Naming.m_szOcrTextFileName), std::regex(R"(C:\\Out\\OCR[0-9A-F]+\.txt)")));
}

}  // namespace
