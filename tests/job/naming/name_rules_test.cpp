// The naming's rules on names and its texts.
#include "job/naming/naming.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

using namespace tw::naming;

TEST(NameRules, DocumentNameBecomesAFileName) {
  EXPECT_EQ(DocumentNameToFileName(u"Report.final.docx", u"tif"), u"Report.final.tif");
  EXPECT_EQ(DocumentNameToFileName(u"Release.notes", u"tif"), u"Release.notes.tif") << "5 characters are not cut";
  EXPECT_EQ(DocumentNameToFileName(u"Notes.", u"png"), u"Notes.png");
  EXPECT_EQ(DocumentNameToFileName(u"R&D\\Plan.xlsx", u"PNG"), u"R&DPlan.PNG") << "a backslash makes no directory";
  EXPECT_EQ(DocumentNameToFileName(u"a\"*/:<>?|b", u"pdf"), u"ab.pdf");
  EXPECT_EQ(DocumentNameToFileName(u"", u"png"), u".png");
  EXPECT_EQ(DocumentNameToFileName(std::u16string(2000, u'x'), u"png").size(), 1024u);
}

TEST(NameRules, ExactNamesRefuseWhatAPathCannotHold) {
  for (const char16_t* bad :
       {u"a<b", u"a>b", u"a?b", u"a*b", u"a/b", u"a\"b", u"a|b", u"a\rb", u"a\nb", u"ab:c", u":ab"})
    EXPECT_TRUE(HasInvalidNameCharacter(bad)) << tw::ToUtf8(bad);
  EXPECT_FALSE(HasInvalidNameCharacter(u"C:\\Out\\report (1).png"));
  EXPECT_FALSE(HasInvalidNameCharacter(u""));
}

TEST(NameRules, ExtensionsBelongToTheFilePart) {
  EXPECT_EQ(FilePart(u"C:\\a.b\\c"), u"c");
  EXPECT_EQ(ExtensionDot(u"C:\\a.b\\c"), std::u16string_view::npos);
  EXPECT_EQ(ReplaceExtension(u"C:\\a.b\\c", u"grp"), u"C:\\a.b\\c.grp");
  EXPECT_EQ(ReplaceExtension(u"C:\\Out\\report (1).png", u"GRP"), u"C:\\Out\\report (1).GRP");
  EXPECT_EQ(ReplaceExtension(u"C:\\Out\\AAA1F.TMP", u""), u"C:\\Out\\AAA1F.");
}

TEST(NameRules, TextsAreTheSystemsOwn) {
  EXPECT_EQ(InvalidNameText(u"C:\\Out\\a?.png"),
            u"253: Invalid character in the file name. The following characters are not allowed: <>:*?\"|/ File name: "
            u"C:\\Out\\a?.png");
  EXPECT_EQ(DirectoryNotSpecifiedText(kPrefixOutputDirectory),
            u"25: Cannot access output directory: . Directory name not specified.");
  EXPECT_EQ(DirectoryNotFoundText(kPrefixOutputDirectory, u"C:\\X\\"),
            u"25: Cannot access output directory: \"C:\\X\\\". Directory not found.");
  EXPECT_EQ(FileNotSpecifiedText(kPrefixLockedFile), u"25: Cannot write file:  Filename not specified.");
  EXPECT_EQ(DirectoryRefusedText(u"P: ", u"C:\\a.tif", 0), u"25: P: \"C:\\a.tif\". Windows Error Code: 0");
  EXPECT_EQ(DirectoryRefusedText(u"P: ", u"C:\\a.tif", 3),
            u"25: P: \"C:\\a.tif\". Directory not found. Windows Error Code: 3");
  EXPECT_EQ(DirectoryRefusedText(u"P: ", u"C:\\a.tif", 5),
            u"25: P: \"C:\\a.tif\". Access Denied to Directory. Windows Error Code: 5");
  EXPECT_EQ(DirectoryRefusedText(u"P: ", u"C:\\a.tif", 32), u"25: P: \"C:\\a.tif\". Windows Error Code: 32");
  EXPECT_EQ(ExistingFileRefusedText(u"P: ", u"C:\\a.tif", 32),
            u"25: P: \"C:\\a.tif\". File already exists but cannot be opened for writing. Windows error code: 32");
  EXPECT_EQ(CreateFileText(u"C:\\a.tif", 0),
            u"25: Could not create file. Please check the access rights of the directory: \"C:\\a.tif\"");
  EXPECT_EQ(CreateFileText(u"C:\\a.tif", 2),
            u"25: Could not create file. Directory not found: \"C:\\a.tif\". Windows Error Code: 2");
  EXPECT_EQ(CreateFileText(u"C:\\a.tif", 5),
            u"25: Could not create file. Please check the access rights of the directory: \"C:\\a.tif\". Windows Error "
            u"Code: 5");
  EXPECT_EQ(CreateFileText(u"C:\\a.tif", 80),
            u"25: Could not create file. Cannot access directory: \"C:\\a.tif\". Windows Error Code: 80");
  EXPECT_EQ(NameTooLongText(u"C:\\%d.png"), u"Filename is longer than 260 characters: C:\\%d.png");
}

}  // namespace
