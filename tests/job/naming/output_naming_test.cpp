// The job's output names: the naming methods, page and collision numbers,
// existing-file actions, the one-file document and its lock, and where the
// "25:" and "253:" texts are shown.
#include "naming_test_fixture.h"

namespace {

using namespace twtest_naming;
namespace st = tw::settings;
namespace dmf = tw::devmode::flags;
using namespace tw::naming;

TEST_F(OutputNamingTest, ExactNameGetsItsExtensionPageNumbersAndGroupFile) {
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.png");
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\report.grp");
  EXPECT_EQ(std::u16string(job_.m_szFileNameforStartApp), u"C:\\Out\\report.png");
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\report_002.png");
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\report.grp") << "fixed on the first page";
  EXPECT_EQ(std::u16string(job_.m_szFileNameforStartApp), u"C:\\Out\\report.png");
  ASSERT_TRUE(Page(1000));
  EXPECT_EQ(Name(), u"C:\\Out\\report_1000.png");

  job_.m_bUppercaseExtensions = TRUE;
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.PNG");
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\report.GRP");
  job_.m_DevMode.ImageFileName.Set(u"report.final.");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.final.PNG") << "a name ending in a dot takes the format's extension";
  job_.m_DevMode.ImageFileName.Set(u"C:\\Out\\data.csv");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\data.csv") << "an extension of its own stays";
  EXPECT_TRUE(messages_.empty());
}

TEST_F(OutputNamingTest, FirstPageNumberIsReadBeforeTheFirstName) {
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Add Page Number to First Page Filename", u"1", kIni));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report_001.png");
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\report_001.grp");
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\report_002.png");
}

TEST_F(OutputNamingTest, ExistingFileActions) {
  // 2 (the default): a new name; the page number comes first.
  Touch(u"C:\\Out\\report.png");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report (1).png");
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), u"C:\\Out\\report (1).grp") << "never the other job's group file";
  Touch(u"C:\\Out\\report (1).png");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report (2).png");
  Touch(u"C:\\Out\\report_002.png");
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\report_002 (1).png");
  EXPECT_EQ(ExistingFileAction(job_), kActionNewName);

  // 1: the existing file is deleted. (The decisions are the document's:
  // they are taken anew when its names are made.)
  job_.m_DevMode.Flags = dmf::OverwriteExisting;
  TakeSettings(job_);
  EXPECT_EQ(ExistingFileAction(job_), kActionOverwrite);
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.png");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\report.png")));

  // A PDF cover page copied into the output is never deleted: 0.
  Touch(u"C:\\Out\\report.png", "cover");
  job_.m_bPdfCoverPage = TRUE;
  EXPECT_EQ(ExistingFileAction(job_), kActionAdd);
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\Out\\report.png")));
  job_.m_bPdfCoverPage = FALSE;

  // 0: kept, under its own name, for the writer to add to.
  job_.m_DevMode.Flags = dmf::KeepExistingFiles | dmf::OverwriteExisting;
  TakeSettings(job_);
  EXPECT_EQ(ExistingFileAction(job_), kActionAdd);
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.png");
  EXPECT_EQ(std::filesystem::file_size(Host(u"C:\\Out\\report.png")), 5u);
}

TEST_F(OutputNamingTest, DocumentNameMethodAndAnEmptyDocumentName) {
  job_.m_DevMode.FileGenerationMethod = 6;
  job_.m_DevMode.FileFormat = 7;  // TIFF Group 4, a file per page
  wcsncpy_s(job_.m_szDocumentName, u"Report.final.docx", _TRUNCATE);
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\Report.final.tif");

  // An empty document name still numbers its pages and avoids existing files:
  // no page overwrites another.
  job_.m_DevMode.FileFormat = 24;
  job_.m_szDocumentName[0] = 0;
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\.png");
  Touch(Name());
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\_002.png");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\ (1).png");
}

TEST_F(OutputNamingTest, NamesFromThePagesContent) {
  job_.m_DevMode.FileGenerationMethod = 9;
  first_ = false;
  job_.m_Naming.m_szContentFileName = u"Invoice 4711.pdf";
  ASSERT_TRUE(Page(3));
  EXPECT_EQ(Name(), u"C:\\Out\\Invoice 4711.pdf.png") << "the format's extension, no page number";
  job_.m_Naming.m_szContentFileName = u"Invoice.PNG";
  job_.m_Naming.m_bContentSeparatePages = TRUE;
  ASSERT_TRUE(Page(3));
  EXPECT_EQ(Name(), u"C:\\Out\\Invoice_003.PNG");
  // Without content the document name is used.
  job_.m_Naming.m_szContentFileName.clear();
  job_.m_Naming.m_bContentSeparatePages = FALSE;
  wcsncpy_s(job_.m_szDocumentName, u"Letter.docx", _TRUNCATE);
  ASSERT_TRUE(Page(3));
  EXPECT_EQ(Name(), u"C:\\Out\\Letter_003.png");
}

TEST_F(OutputNamingTest, OutputDirectoryIsExpandedOrTheTemporaryOne) {
  job_.m_DevMode.OutputDirectory.Set(u"C:\\Out\\<<USERNAME>>");
  std::filesystem::create_directories(Host(u"C:\\Out\\alice"));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\alice\\report.png");
  job_.m_DevMode.OutputDirectory.Set(u"");
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Windows\\Temp\\report.png");
  job_.m_DevMode.ImageFileName.Set(u"C:\\Out\\sub\\x");
  std::filesystem::create_directories(Host(u"C:\\Out\\sub"));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\sub\\x.png");
}

TEST_F(OutputNamingTest, UniqueNamesFromPrefixAndExtension) {
  job_.m_DevMode.FileGenerationMethod = 0;
  job_.m_DevMode.FileNamePrefix.Set(u"INVOICE");
  job_.m_DevMode.FileExtension.Set(u"dat");
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(std::regex_match(tw::ToUtf8(Name()), std::regex(R"(C:\\Out\\INV[0-9A-F]+\.dat)"))) << tw::ToUtf8(Name());
  EXPECT_EQ(std::u16string(job_.m_szGroupFileName), Name().substr(0, Name().size() - 3) + u"grp");
  EXPECT_FALSE(std::filesystem::exists(Host(Name()))) << "the writer makes the file";

  job_.m_DevMode.FileExtension.Set(u"");
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(std::regex_match(tw::ToUtf8(Name()), std::regex(R"(C:\\Out\\INV[0-9A-F]+\.png)"))) << tw::ToUtf8(Name());

  // With "overwrite", a generated name that is taken is not used (nor its
  // file deleted): the next number is tried. (With a new name asked for, the
  // taken name gets a collision number instead.)
  job_.m_DevMode.Flags = dmf::OverwriteExisting;
  std::u16string longPrefix(u"ABCDEFGHIJKL");
  std::memcpy(job_.m_DevMode.FileNamePrefix.raw, longPrefix.data(), sizeof job_.m_DevMode.FileNamePrefix.raw);
  std::set<std::u16string> taken;
  DWORD start = GetTickCount() & 0xFFFF;
  for (DWORD n = start; n < start + 10; ++n) {
    WCHAR name[64];
    swprintf_s(name, std::size(name), u"C:\\Out\\AAA%X.png", n);
    Touch(name);
    taken.insert(name);
  }
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(std::regex_match(tw::ToUtf8(Name()), std::regex(R"(C:\\Out\\AAA[0-9A-F]+\.png)"))) << tw::ToUtf8(Name());
  EXPECT_EQ(taken.count(Name()), 0u);
  for (const auto& name : taken) EXPECT_TRUE(std::filesystem::exists(Host(name)));
  EXPECT_TRUE(TmpFiles().empty());
}

TEST_F(OutputNamingTest, DirectoryFailuresAreReportedWithTheirTexts) {
  job_.m_DevMode.FileGenerationMethod = 0;
  job_.m_DevMode.OutputDirectory.Set(u"");
  EXPECT_FALSE(Page(1));
  const std::u16string empty = u"25: Cannot access output directory: . Directory name not specified.";
  EXPECT_EQ(std::u16string(job_.PrintStatus()), empty);
  EXPECT_EQ(messages_, std::vector<std::string>{"5 " + tw::ToUtf8(empty)});
  EXPECT_EQ(ErrorEntries(), std::vector<std::u16string>{empty});

  job_.m_DevMode.FileGenerationMethod = 3;
  job_.m_DevMode.ImageFileName.Set(u"C:\\Nope\\report");
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(std::u16string(job_.PrintStatus()),
            u"25: Cannot access output directory: \"C:\\Nope\\\". Directory not found.");

  // Output in memory: the user is told, but the job's status is not the error.
  job_.m_bGenerateInMemory = TRUE;
  job_.m_szPrintStatus.clear();
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(std::u16string(job_.PrintStatus()), u"");
  EXPECT_EQ(messages_.size(), 3u);
  EXPECT_EQ(ErrorEntries().size(), 3u);
}

TEST_F(OutputNamingTest, AnUnwritableDirectoryFailsTheUniqueNames) {
  DenyWrites(u"C:\\Out");
  job_.m_DevMode.FileGenerationMethod = 0;
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(std::u16string(job_.PrintStatus()),
            u"25: Could not create file. Please check the access rights of the directory: \"C:\\Out\\\". Windows "
            u"Error Code: 5");
  EXPECT_EQ(Name(), u"");
}

TEST_F(OutputNamingTest, InvalidCharactersFailTheJobWith253) {
  job_.m_DevMode.ImageFileName.Set(u"C:\\Out\\rep?ort");
  EXPECT_FALSE(Page(1));
  const std::u16string text =
      u"253: Invalid character in the file name. The following characters are not allowed: <>:*?\"|/ File name: "
      u"C:\\Out\\rep?ort";
  EXPECT_EQ(std::u16string(job_.PrintStatus()), text);
  EXPECT_EQ(messages_, std::vector<std::string>{"5 " + tw::ToUtf8(text)});
  EXPECT_EQ(Name(), u"");
  job_.m_bNoFileOutput = TRUE;
  EXPECT_FALSE(Page(1));
  EXPECT_EQ(messages_.size(), 1u) << "no file written: nothing reported";
}

TEST_F(OutputNamingTest, SaveAsValuesNameTheOutput) {
  job_.m_DevMode.Flags = dmf::SaveAs;
  std::filesystem::create_directories(Host(u"C:\\Out\\saved"));
  ASSERT_TRUE(st::WriteSaveAs(Scope(), st::SaveAsText::OutputPath, u"C:\\Out\\saved"));
  ASSERT_TRUE(st::WriteSaveAs(Scope(), st::SaveAsText::Filename, u"mine"));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\saved\\mine.png");

  ASSERT_TRUE(st::WriteSaveAs(Scope(), st::SaveAsText::Filename, u"a?b"));
  EXPECT_FALSE(Page(1));
  EXPECT_NE(std::u16string(job_.PrintStatus()).find(u"253: "), std::u16string::npos);
  EXPECT_NE(std::u16string(job_.PrintStatus()).find(u"File name: C:\\Out\\saved\\a?b"), std::u16string::npos);

  // The dialog was cancelled: the naming method decides.
  ASSERT_TRUE(st::WriteSaveAs(Scope(), st::SaveAsDword::CancelWasPressed, 1));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\saved\\report.png") << "in the Save-As output path";

  // A text that cannot be read fails without a message.
  ASSERT_TRUE(st::WriteSaveAs(Scope(), st::SaveAsDword::CancelWasPressed, 0));
  ASSERT_TRUE(st::DeleteSaveAsKey(Scope()));
  ASSERT_TRUE(st::WriteSaveAs(Scope(), st::SaveAsText::OutputPath, u"C:\\Out"));
  messages_.clear();
  EXPECT_FALSE(Page(1));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(OutputNamingTest, ATooLongNameIsReportedAndTheOutputGoesToASystemName) {
  const std::u16string name = u"C:\\Out\\" + std::u16string(260, u'x');
  job_.m_DevMode.ImageFileName.Set(name);
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(std::regex_match(tw::ToUtf8(Name()), std::regex(R"(C:\\Out\\AAA[0-9A-F]+\.png)"))) << tw::ToUtf8(Name());
  const std::u16string tooLong = u"Filename is longer than 260 characters: " + name.substr(0, 259) + u".png";
  WCHAR status[1024] = {};
  GetPrivateProfileStringW(kPrinter, u"Print status", u"", status, 1024, u"tw_group.ini");
  EXPECT_EQ(std::u16string(status), tooLong);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], "5 " + tw::ToUtf8(tooLong));
  EXPECT_EQ(messages_[1], "5 25: Could not create file. Cannot access directory: \"" + tw::ToUtf8(name.substr(0, 259)) +
                              "\". Windows Error Code: 206");
}

TEST_F(OutputNamingTest, OneFileTiffIsLockedAndKeepsItsName) {
  twtest::LeakGuard leaks;
  job_.m_DevMode.FileFormat = 7;
  job_.m_DevMode.Flags = dmf::Multipage;
  EXPECT_TRUE(DocumentGoesIntoOneFile(job_));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.tif");
  ASSERT_TRUE(std::filesystem::exists(Host(Name()))) << "created and held open";
  EXPECT_FALSE(DeleteFileW(Name().c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  first_ = false;
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\report.tif");
  job_.ReleaseFile();
  EXPECT_TRUE(DeleteFileW(Name().c_str()));

  // 42, 44 and 46 always keep one file, whatever the multipage switch says.
  job_.m_DevMode.FileFormat = 42;
  job_.m_DevMode.Flags = 0;
  TakeSettings(job_);
  EXPECT_TRUE(DocumentGoesIntoOneFile(job_));
  job_.m_bGenerateInMemory = TRUE;
  EXPECT_FALSE(DocumentGoesIntoOneFile(job_));
  job_.m_bGenerateInMemory = FALSE;
  first_ = true;
  ASSERT_TRUE(Page(1));
  first_ = false;
  ASSERT_TRUE(Page(2));
  EXPECT_EQ(Name(), u"C:\\Out\\report.tif");
  job_.ReleaseFile();
}

TEST_F(OutputNamingTest, SplitDocumentStartsItsNextFiles) {
  job_.m_DevMode.FileFormat = 7;
  job_.m_DevMode.Flags = dmf::Multipage;
  ASSERT_TRUE(st::Write(Scope(), st::PageSplitDocument, true));
  ASSERT_TRUE(st::Write(Scope(), st::PageStartNewFileAfterPage, 2));
  ASSERT_TRUE(Page(1));
  EXPECT_EQ(Name(), u"C:\\Out\\report.tif");
  Touch(Name());  // the writer's file
  first_ = false;
  std::vector<std::u16string> names;
  for (DWORD page = 1; page <= 5; ++page) {
    ASSERT_TRUE(Page(page));
    names.push_back(Name());
    Touch(Name());
  }
  EXPECT_EQ(names,
            (std::vector<std::u16string>{u"C:\\Out\\report.tif", u"C:\\Out\\report.tif", u"C:\\Out\\report_002.tif",
                                         u"C:\\Out\\report_002.tif", u"C:\\Out\\report_003.tif"}));

  // Every page its own file.
  ASSERT_TRUE(st::Write(Scope(), st::PageStartNewFileAfterPage, 1));
  TakeSettings(job_);
  EXPECT_FALSE(DocumentGoesIntoOneFile(job_));
}

TEST_F(OutputNamingTest, ALockThatFailsIsReportedAsCannotWriteFile) {
  job_.m_DevMode.FileFormat = 7;
  job_.m_DevMode.Flags = dmf::Multipage;
  DenyWrites(u"C:\\Out");
  EXPECT_FALSE(Page(1));
  auto errors = ErrorEntries();
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors[0],
            u"25: Cannot write file: \"C:\\Out\\report.tif\". Access Denied to Directory. Windows Error Code: 5");
  EXPECT_EQ(errors[1],
            u"25: Could not create file. Please check the access rights of the directory: \"C:\\Out\\report\". "
            u"Windows Error Code: 5");
}

TEST_F(OutputNamingTest, ValidateOutputFileTexts) {
  const WCHAR* prefix = u"Cannot write TIFF file: ";
  EXPECT_FALSE(job_.ValidateOutputFile(prefix, u"", FALSE));
  EXPECT_FALSE(job_.ValidateOutputFile(prefix, u"C:\\Nope\\a.tif", FALSE));
  Touch(u"C:\\Out\\held.tif");
  HANDLE held = CreateFileW(u"C:\\Out\\held.tif", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(job_.ValidateOutputFile(prefix, u"C:\\Out\\held.tif", FALSE));
  CloseHandle(held);
  EXPECT_TRUE(job_.ValidateOutputFile(prefix, u"C:\\Out\\held.tif", FALSE));
  EXPECT_TRUE(job_.ValidateOutputFile(prefix, u"C:\\Out\\new.tif", FALSE));
  EXPECT_TRUE(TmpFiles().empty()) << "the probe goes with its handle";
  const std::vector<std::u16string> expected = {
      u"25: Cannot write TIFF file:  Filename not specified.",
      u"25: Cannot write TIFF file: \"C:\\Nope\\a.tif\". Directory not found. Windows Error Code: 3",
      u"25: Cannot write TIFF file: \"C:\\Out\\held.tif\". File already exists but cannot be opened for writing. "
      u"Windows error code: 32"};
  EXPECT_EQ(ErrorEntries(), expected);
  EXPECT_EQ(messages_.size(), 3u) << "shown to the user";
  EXPECT_EQ(std::u16string(job_.PrintStatus()), u"") << "without report the job does not fail";

  DenyWrites(u"C:\\Out");
  EXPECT_FALSE(job_.ValidateOutputFile(prefix, u"C:\\Out\\b.tif", TRUE));
  EXPECT_EQ(std::u16string(job_.PrintStatus()),
            u"25: Cannot write TIFF file: \"C:\\Out\\b.tif\". Access Denied to Directory. Windows Error Code: 5");
}

TEST_F(OutputNamingTest, MethodsAboveNineReadAsZero) {
  job_.m_DevMode.FileGenerationMethod = 13;
  ASSERT_TRUE(Page(1));
  EXPECT_TRUE(std::regex_match(tw::ToUtf8(Name()), std::regex(R"(C:\\Out\\[0-9A-F]+\.png)"))) << tw::ToUtf8(Name());
}

}  // namespace
