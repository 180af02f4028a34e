// The group file: its keys and values in both encodings, the sheet numbers,
// the page geometry, the temporary group files, the read-back check and its
// one message, entries of other writers, and the group INI.
#include "group_test_fixture.h"
#include "job/group/group_file_writer.h"
#include "tw/utf.h"

namespace {

using namespace twtest_group;

// What an ANSI file holds of a text: its conversion to the code page and back.
std::u16string AnsiRoundTrip(const std::u16string& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  std::u16string back(bytes.size(), u'\0');
  n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), back.data(),
                          static_cast<int>(back.size()));
  back.resize(static_cast<size_t>(n));
  return back;
}

using GroupFileTest = GroupTest;

class ThreePageJob : public GroupTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ThreePageJob, HoldsEveryKeyOfThePrinterAndItsPages) {
  const bool unicode = GetParam();
  if (unicode) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"UNICODE Group File", u"1", kIni));
  }
  ASSERT_TRUE(Start(Record()));
  EXPECT_EQ(Group(), u"C:\\Out\\report.grp");
  ASSERT_TRUE(std::filesystem::exists(Host(Group()))) << "made when it was named";
  ASSERT_TRUE(Page());
  EXPECT_EQ(Profile(kPrinter, u"Print status", Group()), u"Printing started") << "pending since StartDoc";
  ASSERT_TRUE(Page());
  ASSERT_TRUE(Page());
  ASSERT_TRUE(job_.EndDoc());

  const std::u16string g = Group();
  EXPECT_EQ(Bytes(g).substr(0, unicode ? 2 : 1), unicode ? "\xFF\xFE" : "[") << "byte-order mark only in UTF-16";
  EXPECT_EQ(Profile(kPrinter, u"Image Format", g), u"PNG");
  EXPECT_EQ(Profile(kPrinter, u"Append Image Enabled", g), u"No");
  EXPECT_EQ(Profile(kPrinter, u"Bits Per Pixel", g), u"24");
  EXPECT_EQ(Profile(kPrinter, u"Document name", g), u"Quarterly report");
  EXPECT_FALSE(HasKey(kPrinter, u"Output File Disabled", g));
  EXPECT_EQ(Profile(kPrinter, u"Number of Copies", g), u"1");
  EXPECT_EQ(Profile(kPrinter, u"Total number of pages", g), u"3");
  EXPECT_EQ(Profile(kPrinter, u"Print status", g), u"Printing finished successfully");
  const std::u16string files[] = {u"C:\\Out\\report.png", u"C:\\Out\\report_002.png", u"C:\\Out\\report_003.png"};
  for (int i = 0; i < 3; ++i) {
    const std::u16string page = u"Page " + tw::FromUtf8(std::to_string(i + 1));
    EXPECT_EQ(Profile(page, u"FileName", g), files[i]);
    EXPECT_EQ(Profile(page, u"Orientation", g), u"Portrait");
    EXPECT_EQ(Profile(page, u"Page width in pixels", g), u"2550");
    EXPECT_EQ(Profile(page, u"Page height in pixels", g), u"3300");
    EXPECT_EQ(Profile(page, u"X DPI", g), u"300");
    EXPECT_EQ(Profile(page, u"Y DPI", g), u"300");
    EXPECT_FALSE(HasKey(page, u"TextFileName", g));
  }
  EXPECT_FALSE(HasKey(u"Page 4", u"FileName", g));
  // The group data holds what the file holds.
  EXPECT_EQ(tw::group::ReadGroupEntry(job_, u"page 2", u"filename"), files[1]);
  EXPECT_EQ(tw::group::ReadGroupEntryNumber(job_, kPrinter, u"Total number of pages"), 3u);

  // The group INI: the group file of the document and the last output.
  EXPECT_EQ(Profile(kPrinter, u"Group File", u"tw_group.ini"), g);
  EXPECT_EQ(Profile(kPrinter, u"Last Output File", u"tw_group.ini"), files[2]);
  EXPECT_TRUE(ErrorTexts().empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, ThreePageJob, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utf16" : "Ansi"; });

TEST_F(GroupFileTest, NamesOutsideTheCodePageInBothEncodings) {
  const std::u16string cyrillic = u"Отчёт за квартал";
  // ANSI: the file holds the code page's conversion, and that is no failure.
  TarnwickDEVMODE dm = Record();
  dm.FileGenerationMethod = 6;
  ASSERT_TRUE(Start(dm, cyrillic));
  EXPECT_EQ(Group(), u"C:\\Out\\" + cyrillic + u".grp") << "the output carries the name";
  ASSERT_TRUE(Page());
  const std::u16string ansiGroup = Group();
  EXPECT_EQ(Profile(kPrinter, u"Document name", ansiGroup), AnsiRoundTrip(cyrillic));
  EXPECT_EQ(Profile(u"Page 1", u"FileName", ansiGroup), AnsiRoundTrip(u"C:\\Out\\" + cyrillic + u".png"));
  EXPECT_EQ(tw::group::ReadGroupEntry(job_, kPrinter, u"Document name"), cyrillic) << "the data keeps the text";

  // UTF-16: exactly.
  CTWJob second;
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"UNICODE Group File", u"1", kIni));
  std::vector<BYTE> record(sizeof dm);
  std::memcpy(record.data(), &dm, sizeof dm);
  second.SetJobID(8);
  second.SetPrinterName(kPrinter);
  second.SetDocumentName((cyrillic + u" 2").c_str());
  ASSERT_TRUE(second.SetDevMode(record.data(), TRUE));
  ASSERT_TRUE(second.StartDoc());
  ASSERT_TRUE(second.StartPage());
  ASSERT_TRUE(second.UpdateGroupFile());
  const std::u16string unicodeGroup = second.m_szGroupFileName;
  EXPECT_EQ(Bytes(unicodeGroup).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(Profile(kPrinter, u"Document name", unicodeGroup), cyrillic + u" 2");
  EXPECT_EQ(Profile(u"Page 1", u"FileName", unicodeGroup), u"C:\\Out\\" + cyrillic + u" 2.png");
  for (const auto& text : ErrorTexts()) EXPECT_EQ(text.find(u"group file"), std::u16string::npos) << tw::ToUtf8(text);
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(GroupFileTest, OneMultipageFileAndSheetsOfSeveralPages) {
  TarnwickDEVMODE dm = Record(7);
  dm.Flags = dm.Flags | dmf::Multipage;
  ASSERT_TRUE(Start(dm));
  // Two pages per sheet: the sheet is written after its second page and the
  // last, incomplete one at the end of the document.
  job_.m_Naming.m_dwPagesPerSheet = 2;
  for (int page = 1; page <= 3; ++page) {
    ASSERT_TRUE(job_.StartPage());
    if (page != 1) {
      ASSERT_TRUE(job_.UpdateGroupFile());
    }
  }
  ASSERT_TRUE(job_.EndDoc());
  job_.ReleaseFile();
  const std::u16string g = Group();
  EXPECT_EQ(Profile(kPrinter, u"Append Image Enabled", g), u"Yes");
  EXPECT_EQ(Profile(kPrinter, u"Image Format", g), u"TIFF Group 4");
  EXPECT_EQ(Profile(kPrinter, u"Total number of pages", g), u"2");
  EXPECT_EQ(Profile(u"Page 1", u"FileName", g), u"C:\\Out\\report.tif");
  EXPECT_EQ(Profile(u"Page 2", u"FileName", g), u"C:\\Out\\report.tif") << "one file for every sheet";
  EXPECT_FALSE(HasKey(u"Page 3", u"FileName", g));
}

TEST_F(GroupFileTest, PageGeometryOfFaxAndTurnedPages) {
  ASSERT_TRUE(Start(Record()));
  ASSERT_TRUE(job_.StartPage());
  TarnwickDEVMODE& dm = job_.m_DevMode;
  auto update = [&] {
    EXPECT_TRUE(job_.UpdateGroupFile());
    return Profile(u"Page 1", u"Page width in pixels", Group()) + u" " +
           Profile(u"Page 1", u"Page height in pixels", Group()) + u" " + Profile(u"Page 1", u"X DPI", Group()) +
           u" " + Profile(u"Page 1", u"Y DPI", Group()) + u" " + Profile(u"Page 1", u"Orientation", Group());
  };
  // Fax: fine mode keeps the page's height at 196 DPI, standard mode halves it.
  dm.Flags = dm.Flags | dmf::FaxOutput;
  dm.PaperHeightInPixels = 2200;
  tw::devmode::SetResolution(dm, 204, 196);
  tw::devmode::SetFaxMode(dm, 0);
  EXPECT_EQ(update(), u"1728 2200 204 196 Portrait");
  tw::devmode::SetFaxMode(dm, 2);
  EXPECT_EQ(update(), u"1728 1100 204 98 Portrait");
  // Landscape with the paper turned: width and height, and the resolutions, trade places.
  dm.Flags = dmf::RotatePaper;
  dm.DM.dmOrientation = 2;
  dm.PaperWidthInPixels = 3300;
  dm.PaperHeightInPixels = 2550;
  tw::devmode::SetResolution(dm, 200, 100);
  EXPECT_EQ(update(), u"2550 3300 100 200 Landscape");
  dm.Flags = 0;
  EXPECT_EQ(update(), u"3300 2550 200 100 Landscape");
}

TEST_F(GroupFileTest, TemporaryGroupFilesGetEveryEntryWhileTheGroupFileIsDisabled) {
  const std::u16string temporary = u"C:\\Windows\\Temp\\TW_FTP_1_7_100_Tarnwick_Printer.grp";
  std::filesystem::create_directories(Host(u"C:\\Windows\\Temp"));
  ASSERT_TRUE(tw::group::CreateUNICODEFile(temporary.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(kPrinter, u"Temporary", u"1", temporary.c_str()));
  TarnwickDEVMODE dm = Record();
  dm.Flags = dm.Flags | dmf::GroupFileDisabled;
  ASSERT_TRUE(Start(dm));
  EXPECT_FALSE(std::filesystem::exists(Host(Group()))) << "made to be checked, then deleted again";
  job_.m_szTemporaryGroupFiles[0] = temporary;
  EXPECT_TRUE(job_.GroupFilesEnabled());
  ASSERT_TRUE(Page());
  ASSERT_TRUE(Page());
  ASSERT_TRUE(job_.EndDoc());
  EXPECT_FALSE(std::filesystem::exists(Host(Group())));
  EXPECT_EQ(Bytes(temporary).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(Profile(kPrinter, u"Temporary", temporary), u"1");
  EXPECT_EQ(Profile(u"Page 2", u"FileName", temporary), u"C:\\Out\\report_002.png");
  EXPECT_EQ(Profile(kPrinter, u"Print status", temporary), u"Printing finished successfully");

  // Neither: nothing is written anywhere, and the data stays empty.
  job_.m_szTemporaryGroupFiles[0].clear();
  EXPECT_FALSE(job_.GroupFilesEnabled());
  CTWGroupFile empty;
  EXPECT_TRUE(empty.Data().empty());
}

TEST_F(GroupFileTest, AWriteThatFailsIsShownOnceAndFailsThePage) {
  ASSERT_TRUE(Start(Record()));
  ASSERT_TRUE(Page());
  DenyWrites(u"C:\\Out\\report.grp");
  EXPECT_FALSE(Page());
  EXPECT_FALSE(Page());
  const std::u16string text =
      u"Failed to write group file: C:\\Out\\report.grp\nWindows error 5: Access is denied.";
  EXPECT_EQ(ErrorTexts(), std::vector<std::u16string>{text});
  EXPECT_EQ(ErrorMessages(), std::vector<std::string>{"5 " + tw::ToUtf8(text)});
  EXPECT_EQ(tw::group::ReadGroupEntry(job_, u"Page 3", u"FileName"), u"C:\\Out\\report_003.png")
      << "the data has the entry";
  EXPECT_FALSE(HasKey(u"Page 2", u"FileName", Group())) << "the file does not";
}

TEST_F(GroupFileTest, EntriesOfOtherWritersStayAndOursWin) {
  // A group file left by an earlier job of the same name.
  std::ofstream(Host(u"C:\\Out\\report.grp"), std::ios::binary)
      << "; earlier\r\n[Tarnwick Printer]\r\nTotal number of pages=7\r\nTIFF Error=9\r\n[Page 3]\r\nFileName=old\r\n"
         "[Page 3]\r\nFileName=hidden\r\n[Other]\r\nKey=\"quoted\"\r\n";
  TarnwickDEVMODE dm = Record();
  dm.Flags = dm.Flags | dmf::KeepExistingFiles;
  ASSERT_TRUE(Start(dm));
  ASSERT_EQ(Group(), u"C:\\Out\\report.grp");
  ASSERT_TRUE(Page());
  // Another program adds an entry between two pages.
  ASSERT_TRUE(WritePrivateProfileStringW(kPrinter, u"Uploaded", u"yes", Group().c_str()));
  ASSERT_TRUE(Page());
  const std::u16string g = Group();
  EXPECT_EQ(Profile(kPrinter, u"Total number of pages", g), u"2");
  EXPECT_EQ(Profile(kPrinter, u"TIFF Error", g), u"9");
  EXPECT_EQ(Profile(kPrinter, u"Uploaded", g), u"yes");
  EXPECT_EQ(Profile(u"Page 3", u"FileName", g), u"old");
  EXPECT_EQ(Profile(u"Other", u"Key", g), u"quoted");
  EXPECT_EQ(Profile(u"Page 2", u"FileName", g), u"C:\\Out\\report_002.png");
}

TEST_F(GroupFileTest, ValuesAreWrittenAsTheReaderReturnsThem) {
  // A line break cannot add lines (or sections) to the file; blanks and
  // quotes around a value are what the reader takes away, not a failure.
  ASSERT_TRUE(Start(Record(), u"a\r\n[Page 9]\r\nFileName=evil"));
  ASSERT_TRUE(Page());
  EXPECT_EQ(Profile(kPrinter, u"Document name", Group()), u"a  [Page 9]  FileName=evil");
  EXPECT_FALSE(HasKey(u"Page 9", u"FileName", Group()));
  ASSERT_TRUE(tw::group::WriteGroupEntry(job_, kPrinter, u"Quoted", u"  \"value\"  "));
  EXPECT_EQ(Profile(kPrinter, u"Quoted", Group()), u"value");
  ASSERT_TRUE(tw::group::WriteGroupEntry(job_, kPrinter, u"Quoted", nullptr));
  EXPECT_FALSE(HasKey(kPrinter, u"Quoted", Group())) << "no value removes the key";
  EXPECT_FALSE(job_.m_Group.Value(kPrinter, u"Quoted"));
  const std::u16string longValue(1500, u'x');
  ASSERT_TRUE(tw::group::WriteGroupEntry(job_, kPrinter, u"Long", longValue.c_str()));
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(GroupFileTest, StatusWarningsAndErrorsOfThePage) {
  TarnwickDEVMODE dm = Record();
  dm.Flags = dm.Flags | dmf::NoFileOutput | dmf::WriteText;
  ASSERT_TRUE(Start(dm));
  job_.m_Group.m_szBarcodeError = u"Barcode not found";
  job_.m_Group.SetCaptureWarning(u"first warning");
  job_.m_Group.SetCaptureWarning(u"second warning");
  ASSERT_TRUE(Page());
  const std::u16string g = Group();
  EXPECT_EQ(Profile(kPrinter, u"Output File Disabled", g), u"Yes");
  EXPECT_FALSE(HasKey(u"Page 1", u"FileName", g)) << "no page image";
  EXPECT_EQ(Profile(u"Page 1", u"TextFileName", g), u"C:\\Out\\report.txt");
  EXPECT_EQ(Profile(u"Page 1", u"Barcode Error", g), u"Barcode not found");
  EXPECT_EQ(Profile(u"Page 1", u"Message Capture Warning", g), u"second warning");
  EXPECT_EQ(Profile(kPrinter, u"Message Capture Warning", g), u"first warning");
  job_.m_Group.SetCaptureWarning(u"third warning");
  ASSERT_TRUE(Page());
  EXPECT_FALSE(HasKey(u"Page 2", u"Barcode Error", g)) << "written once";
  EXPECT_EQ(Profile(u"Page 2", u"Message Capture Warning", g), u"third warning");
  EXPECT_EQ(Profile(kPrinter, u"Message Capture Warning", g), u"first warning");
  // An error of the job goes into the group file at once.
  job_.HandleError(u"25: something", __FILE__, __LINE__);
  EXPECT_EQ(Profile(kPrinter, u"Print status", g), u"25: something");
  // Cover pages written at the end of the document leave the page count.
  job_.m_Group.m_bWritingPagesInFront = true;
  ASSERT_TRUE(Page());
  EXPECT_EQ(Profile(kPrinter, u"Total number of pages", g), u"2");
  EXPECT_TRUE(HasKey(u"Page 3", u"Orientation", g));
}

TEST_F(GroupFileTest, GroupFilePreparation) {
  // "UNICODE Group File" makes it UTF-16; an existing file is kept as it is.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"UNICODE Group File", u"1", kIni));
  ASSERT_TRUE(Start(Record()));
  EXPECT_EQ(Bytes(Group()), "\xFF\xFE");
  EXPECT_FALSE(tw::group::CreateUNICODEFile(Group().c_str())) << "exists";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_FALSE(tw::group::CreateUNICODEFile(u""));

  // A group file that cannot be opened for appending is shown to the user and
  // the output goes to a name of the system's making.
  std::ofstream(Host(u"C:\\Out\\locked.grp")) << "";
  ASSERT_TRUE(SetFileAttributesW(u"C:\\Out\\locked.grp", FILE_ATTRIBUTE_READONLY));
  job_.m_DevMode.ImageFileName.Set(u"locked");
  job_.m_dwActPage = 1;
  ASSERT_TRUE(job_.GenerateFilenames(TRUE));
  EXPECT_NE(std::u16string(job_.m_szActFileName), u"C:\\Out\\locked.png");
  const auto errors = ErrorTexts();
  ASSERT_EQ(errors.size(), 2u) << "nothing is written into the group file that failed";
  EXPECT_EQ(errors[0],
            u"25: Cannot write GRP file: \"C:\\Out\\locked.grp\". File already exists but cannot be opened for "
            u"writing. Windows error code: 5");
  EXPECT_EQ(errors[1].substr(0, 27), u"25: Could not create file. ");
}

}  // namespace

// A later job writes values the file holds already in front of the part it
// rewrites (the printer's section is kept last): the read-back must not count
// them as lost.
TEST_F(GroupFileTest, UnchangedValuesInFrontOfTheRewrittenPartAreNoFailure) {
  const std::u16string path = u"C:\\Out\\again.grp";
  for (const WCHAR* status : {u"Printing finished successfully", u"Print job was aborted"}) {
    tw::group::GroupFileWriter writer(path, kPrinter);
    writer.Set(u"Page 1", u"FileName", u"C:\\Out\\again.bmp");
    EXPECT_TRUE(writer.Flush()) << tw::ToUtf8(status) << ": error " << GetLastError();
    writer.Set(u"Page 2", u"FileName", u"C:\\Out\\again_002.bmp");
    writer.Set(kPrinter, u"Print status", status);
    EXPECT_TRUE(writer.Flush()) << tw::ToUtf8(status) << ": error " << GetLastError();
    EXPECT_EQ(Profile(kPrinter, u"Print status", path), status);
    EXPECT_EQ(Profile(u"Page 2", u"FileName", path), u"C:\\Out\\again_002.bmp");
  }
}
