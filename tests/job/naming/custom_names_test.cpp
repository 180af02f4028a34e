// Naming method 7: the template's grammar, every token, the room a name has,
// the collision number, and the names beside a custom name.
#include "naming_test_fixture.h"

namespace {

using namespace twtest_naming;

TEST(NameTemplate, ValidTemplatesAndWhyOthersAreNot) {
  auto parts = [](std::u16string_view text) {
    auto t = ParseNameTemplate(text);
    if (!t) return std::string("invalid");
    return tw::ToUtf8(t->prefix + u"|" + t->first + u"|" + t->literal + u"|" + t->second + u"|" +
                      (t->originalExtension ? u"<ORIGINAL>" : t->extension));
  };
  EXPECT_EQ(parts(kDefaultTemplate), "|DOCNAME||NONE|<ORIGINAL>");
  EXPECT_EQ(parts(u"INV_<<DOCNAME>>-<<DATE>>.pdf"), "INV_|DOCNAME|-|DATE|pdf");
  EXPECT_EQ(parts(u"<<COUNTER>><<PAGENUM>>."), "|COUNTER||PAGENUM|") << "an empty extension";
  EXPECT_EQ(parts(u"<<NONE>><<DOCNAME>>.tif"), "|NONE||DOCNAME|tif");
  EXPECT_EQ(parts(u"<<USERNAME>>" + std::u16string(64, u'x') + u"<<TIME>>.t"), "|USERNAME|" + std::string(64, 'x') + "|TIME|t");
  const std::u16string_view invalid[] = {
      u"<<DOCNAME>>.pdf",                      // one token before the extension
      u"<<DOCNAME>><<DATE>><<TIME>>.pdf",      // three
      u"<<DOCNAME>>x<<DATE>>",                 // no ">>."
      u"<<DOCNAME>><DATE>>.pdf",               // a single bracket
      u"<<DOC<<NAME>>>><<DATE>>.pdf",          // nested
      u"<<DOCNAME>><<DATE>>.jpegx",            // extension above 4 characters
      u"<<DOCNAME>><<DATE>>.p*f",              // a character a name cannot hold
      u"<<DOCNAME>><<DATE>>.<<DOCNAME>>",      // only ORIGINAL names an extension
      u"PREFIX<<DOCNAME>><<DATE>>.pdf",        // prefix above 4
      u"a:<<DOCNAME>><<DATE>>.pdf",            // prefix with ":"
      u"<<DOCNAME>>a.b<<DATE>>.pdf",           // a dot between the tokens
      u"<<docname>><<DATE>>.pdf",              // tokens are upper case
      u"<<ORIGINAL>><<DATE>>.pdf",             // not a name token
      u"<<NONE>><<NONE>>.pdf",                 // nothing at all
      u"<<A>><<B>>",                           // too short, and no extension
  };
  for (auto text : invalid) EXPECT_EQ(parts(text), "invalid") << tw::ToUtf8(text);
  EXPECT_EQ(parts(u"<<DOCNAME>>" + std::u16string(65, u'x') + u"<<DATE>>.pdf"), "invalid") << "literal above 64";
  EXPECT_EQ(parts(u"<<DOCNAME>><<DATE>>." + std::u16string(250, u'x')), "invalid") << "260 characters or more";
}

TEST(NameTemplate, TheRoomOfANameAndItsCollisionNumber) {
  twtest::TempRoot root;
  std::filesystem::create_directories(root.Dir() / "drive_c" / "Out");
  TemplateValues v;
  v.documentName = u"Report";
  v.date = u"12/8/2026";
  v.originalExtension = u"tif";
  auto tmpl = *ParseNameTemplate(u"INV_<<DOCNAME>>-<<DATE>>.<<ORIGINAL>>");
  std::u16string name;
  EXPECT_EQ(BuildTemplateName(tmpl, v, u"C:\\Out\\", true, name), 0);
  EXPECT_EQ(name, u"INV_Report-12-8-2026.tif") << "the date's slashes become hyphens";
  // Existing-file action 2: "(n)" without a space, before the extension.
  std::ofstream(root.Dir() / "drive_c" / "Out" / "INV_Report-12-8-2026.tif") << "x";
  EXPECT_EQ(BuildTemplateName(tmpl, v, u"C:\\Out\\", true, name), 0);
  EXPECT_EQ(name, u"INV_Report-12-8-2026(1).tif");
  EXPECT_EQ(BuildTemplateName(tmpl, v, u"C:\\Out\\", false, name), 0);
  EXPECT_EQ(name, u"INV_Report-12-8-2026.tif") << "other actions keep the name";
  // 257 characters less the directory: the document name is cut and the build fails.
  v.documentName = std::u16string(240, u'd');
  EXPECT_EQ(BuildTemplateName(tmpl, v, u"C:\\Out\\", false, name), kErrorNameDoesNotFit);
  v.documentName = std::u16string(257 - 8 - 4 - 4 - 1 - 9, u'd');  // directory, extension, prefix, "-", date
  EXPECT_EQ(BuildTemplateName(tmpl, v, u"C:\\Out\\", false, name), 0);
  EXPECT_EQ(name.size() + 8, 257u);
  EXPECT_EQ(BuildTemplateName(tmpl, v, u"C:\\Nope\\", false, name), kErrorNoDirectory);
}

class CustomNamesTest : public OutputNamingTest {
 protected:
  void SetUp() override {
    OutputNamingTest::SetUp();
    setenv("TW_FAKE_TIME", "2026-12-08T14:05:09.042", 1);
    setenv("TW_FAKE_TIME_FROZEN", "1", 1);
    tw::clock::Reload();
    job_.m_DevMode.FileGenerationMethod = 7;
    job_.m_DevMode.FileExtension.Set(u"tif");
    job_.m_dwDocumentNumber = 42;
    wcsncpy_s(job_.m_szDocumentName, u"Report", _TRUNCATE);
  }
  void TearDown() override {
    unsetenv("TW_FAKE_TIME");
    unsetenv("TW_FAKE_TIME_FROZEN");
    tw::clock::Reload();
    OutputNamingTest::TearDown();
  }
  std::u16string NameOf(const std::u16string& tmpl, DWORD page = 1) {
    job_.m_DevMode.ImageFileName.Set(tmpl);
    EXPECT_TRUE(Page(page)) << tw::ToUtf8(tmpl);
    return std::u16string(FilePart(Name()));
  }
};

TEST_F(CustomNamesTest, EveryTokenOfATemplate) {
  // A Bates profile: prefix, padding to 6 with "0", number 42.
  const st::Fill profile{1u, std::nullopt};
  ASSERT_TRUE(st::Write(Scope(), st::BatesName, u"Legal", profile));
  ASSERT_TRUE(st::Write(Scope(), st::BatesPrefix, u"ABC", profile));
  ASSERT_TRUE(st::Write(Scope(), st::BatesFontFacename, u"Arial", profile));
  ASSERT_TRUE(st::Write(Scope(), st::BatesUsePrefix, 1, profile));
  ASSERT_TRUE(st::Write(Scope(), st::BatesStartWith, 42, profile));
  ASSERT_TRUE(st::Write(Scope(), st::BatesNumberLength, 6, profile));
  ASSERT_TRUE(st::Write(Scope(), st::BatesPaddingCharacter, u"0", profile));
  WCHAR computer[64] = {};
  GetEnvironmentVariableW(u"COMPUTERNAME", computer, 64);
  ASSERT_NE(computer[0], 0);

  EXPECT_EQ(NameOf(u"<<DOCNAME>><<NONE>>.<<ORIGINAL>>"), u"Report.tif");
  EXPECT_EQ(NameOf(u"<<USERNAME>>@<<COMPUTER>>.txt"), u"alice@" + std::u16string(computer) + u".txt");
  EXPECT_EQ(NameOf(u"<<DATE>>_<<TIME>>.png"), u"12-8-2026_2-05-09 PM.png");
  EXPECT_EQ(NameOf(u"<<TIMEMS>>_<<COUNTER>>.png"), u"14-05-09.042_0000042.png");
  EXPECT_EQ(NameOf(u"<<DATETIME>><<NONE>>.png"), u"12-8-2026 2-05-09 PM.png");
  EXPECT_EQ(NameOf(u"doc<<PAGENUM>><<NONE>>.png"), u"doc.png") << "no number on page 1";
  EXPECT_EQ(NameOf(u"doc<<PAGENUM>><<NONE>>.png", 3), u"doc0003.png");
  EXPECT_EQ(NameOf(u"<<DOCNAME>><<BATES>>.png"), u"Report1.png") << "Bates numbering off: 1";
  job_.m_DevMode.Flags = dmf::BatesNumbering;
  EXPECT_EQ(NameOf(u"<<DOCNAME>><<BATES>>.png"), u"ReportABC000042.png");
  job_.m_DevMode.Flags = 0;
  // The first page number when asked; numbers above 9999 wrap.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Add Page Number to First Page Filename", u"1", kIni));
  EXPECT_EQ(NameOf(u"doc<<PAGENUM>><<NONE>>.png"), u"doc0001.png");
  first_ = false;
  EXPECT_EQ(NameOf(u"doc<<PAGENUM>><<NONE>>.png", 10001), u"doc0001.png");
  // Empty values: the document name and the user name have stand-ins.
  job_.m_szDocumentName[0] = 0;
  job_.m_Environment.userName.clear();
  EXPECT_EQ(NameOf(u"<<DOCNAME>>_<<USERNAME>>.png"), u"DocumentName_USERNAME.png");
}

TEST_F(CustomNamesTest, AnInvalidTemplateIsReplacedByTheDefault) {
  EXPECT_EQ(NameOf(u"<<DOCNAME>>.pdf"), u"Report.tif");
  EXPECT_EQ(NameOf(u""), u"Report.tif");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(CustomNamesTest, NamesBesideACustomNameAndItsDirectory) {
  job_.m_DevMode.Flags = dmf::WriteText | dmf::MailMerge;
  ASSERT_TRUE(st::Write(Scope(), st::OcrEnabled, 1));
  EXPECT_EQ(NameOf(u"INV_<<DOCNAME>>-<<DATE>>.pdf"), u"INV_Report-12-8-2026.pdf") << "no format extension";
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\INV_Report-12-8-2026.grp");
  EXPECT_TRUE(std::filesystem::exists(Host(job_.m_szGroupFileName)));
  EXPECT_EQ(job_.m_Naming.m_szTextFileName, u"C:\\Out\\INV_Report-12-8-2026.txt");
  EXPECT_EQ(job_.m_Naming.m_szMailMergeFileName, u"C:\\Out\\INV_Report-12-8-2026.mrg");
  EXPECT_EQ(job_.m_Naming.m_szOcrTextFileName, u"C:\\Out\\INV_Report-12-8-2026.ocr.txt");
  EXPECT_EQ(std::u16string(job_.m_szFileNameforStartApp), u"C:\\Out\\INV_Report-12-8-2026.pdf");
  // No page number and no " (n)" of their own: a taken name gets "(1)".
  Touch(u"C:\\Out\\INV_Report-12-8-2026.pdf");
  EXPECT_EQ(NameOf(u"INV_<<DOCNAME>>-<<DATE>>.pdf"), u"INV_Report-12-8-2026(1).pdf");
  // Action 1 deletes an existing file.
  job_.m_DevMode.Flags = dmf::OverwriteExisting;
  EXPECT_EQ(NameOf(u"INV_<<DOCNAME>>-<<DATE>>.pdf"), u"INV_Report-12-8-2026.pdf");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\INV_Report-12-8-2026.pdf")));

  // The directory from the naming INI with Flags2 bit 0.
  std::filesystem::create_directories(Host(u"C:\\Out\\custom"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Output Directory", u"C:\\Out\\custom", u"C:\\n.ini"));
  job_.m_DevMode.NamingSettingsPath.Set(u"C:\\n.ini");
  job_.m_DevMode.Flags2 = tw::devmode::flags2::DirectoryFromNamingSettings;
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\custom\\INV_Report-12-8-2026.pdf");
}

TEST_F(CustomNamesTest, BuildErrorsAreInternalErrors) {
  // A document name that does not fit fails the job with 110.
  wcsncpy_s(job_.m_szDocumentName, std::u16string(250, u'd').c_str(), _TRUNCATE);
  job_.m_DevMode.ImageFileName.Set(u"<<DOCNAME>><<NONE>>.pdf");
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(std::u16string(job_.PrintStatus()), u"Internal error: 110.");
  EXPECT_EQ(messages_, std::vector<std::string>{"5 Internal error: 110."});
  // Until the first page is named the group file is the directory's GroupFile.grp.
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\GroupFile.grp");
  // A missing directory fails before the build.
  job_.m_DevMode.OutputDirectory.Set(u"C:\\Nope");
  job_.m_szPrintStatus.clear();
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(std::u16string(job_.PrintStatus()), u"25: Cannot access output directory: \"C:\\Nope\\\". Directory not found.");
}

}  // namespace
