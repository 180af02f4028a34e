// Naming and the group file end to end: jobs written by `twdriver` with
// settings from `twreg` and the printer's INI, printed by `twspool print`
// through TarnwickMon.dll with a fixed clock. What a job named is read from
// the group INI ("Group File" is the first page's output with ".grp"), the
// group file, the XML summary, the event log and the listing of `twspool print`.
#include <fstream>
#include <regex>

#include "core/log/event_messages.h"
#include "event_entries.h"
#include "shell_run.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kPrinterIni[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI";
constexpr char kClock[] = "TW_FAKE_TIME=2026-12-08T14:05:09 TW_FAKE_TIME_FROZEN=1 ";

using twtest::ShellRun;

ShellRun Shell(const std::string& command) { return twtest::Shell(command + " 2>&1"); }

std::u16string Profile(const WCHAR* section, const WCHAR* key, const std::u16string& file) {
  WCHAR value[1024] = {};
  GetPrivateProfileStringW(section, key, u"", value, 1024, file.c_str());
  return value;
}

class GroupFileEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Shell(Tool("twspool") + " init").status, 0);
    std::filesystem::create_directories(Host(u"C:\\Out"));
    page_ = root_.Dir() / "page.emf";
    HDC dc = CreateEnhMetaFileW(nullptr, tw::FromUtf8(page_.string()).c_str(), nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    Rectangle(dc, 10, 10, 200, 100);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  }

  std::string Tool(const std::string& name) {
    return "'" + (twtest::BinDir() / name).string() + "' --root '" + root_.Dir().string() + "'";
  }
  std::filesystem::path Host(const std::u16string& windowsPath) const {
    std::string path = tw::ToUtf8(windowsPath.substr(3));
    std::replace(path.begin(), path.end(), '\\', '/');
    return root_.Dir() / "drive_c" / path;
  }
  // A value under the printer's key of the job's user (alice), set with twreg.
  void Reg(const std::string& subkey, const std::string& name, const std::string& type, const std::string& data) {
    ShellRun run = Shell("TW_USER=alice " + Tool("twreg") + " add 'HKCU\\SOFTWARE\\" + subkey + "' /v '" + name +
                         "' /t " + type + " /d '" + data + "' /f");
    ASSERT_EQ(run.status, 0) << run.out;
  }
  // Writes a job of `pages` pages with the record fields given and prints it.
  ShellRun Print(const std::vector<std::string>& fields, const std::string& document = "Report.final.docx",
                 int pages = 2) {
    auto job = root_.Dir() / "job.twj";
    std::string command = "'" + (twtest::BinDir() / "twdriver").string() + "' -o '" + job.string() +
                          "' --set FileFormat=0 --set 'OutputDirectory=C:\\Out'";
    for (const auto& f : fields) command += " --set '" + f + "'";
    for (int i = 0; i < pages; ++i) command += " '" + page_.string() + "'";
    ShellRun written = Shell(command);
    EXPECT_EQ(written.status, 0) << written.out;
    return Shell(kClock + Tool("twspool") + " print --document '" + document + "' '" + job.string() + "'");
  }
  std::u16string GroupFile() { return Profile(kPrinter, u"Group File", u"tw_group.ini"); }
  std::vector<std::u16string> ErrorTexts() {
    std::vector<std::u16string> texts;
    for (const auto& e : twtest::ReadEventEntries())
      if (e.type == EVENTLOG_ERROR_TYPE && e.strings.size() > 10) texts.push_back(e.strings[10]);
    return texts;
  }
  std::string Bytes(const std::u16string& windowsPath) {
    std::ifstream in(Host(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  twtest::TempRoot root_;
  std::filesystem::path page_;
};

TEST_F(GroupFileEndToEnd, EveryNamingMethodNamesTheDocument) {
  Reg("Naming", "File Name Prefix", "REG_SZ", "REGISTRY");
  Reg("Naming", "File Name", "REG_SZ", "C:\\Out\\fromkey");
  ASSERT_TRUE(WritePrivateProfileStringW(kPrinter, u"File Name Prefix", u"INIFILE", u"C:\\naming.ini"));
  ASSERT_TRUE(WritePrivateProfileStringW(kPrinter, u"File Name", u"fromini", u"C:\\naming.ini"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Output Directory", u"C:\\Out\\eight", u"C:\\naming.ini"));
  std::filesystem::create_directories(Host(u"C:\\Out\\eight"));
  const std::string regKey = "NamingSettingsPath=HKEY_CURRENT_USER\\SOFTWARE\\Naming";
  const std::string ini = "NamingSettingsPath=C:\\naming.ini";
  struct Case {
    int method;
    std::vector<std::string> fields;
    std::string group;  // a pattern
  };
  const Case cases[] = {
      {0, {"FileNamePrefix=INVOICE", "FileExtension=dat"}, R"(C:\\Out\\INV[0-9A-F]+\.grp)"},
      {1, {regKey}, R"(C:\\Out\\REG[0-9A-F]+\.grp)"},
      {2, {ini}, R"(C:\\Out\\INI[0-9A-F]+\.grp)"},
      {3, {"ImageFileName=report"}, R"(C:\\Out\\report\.grp)"},
      {4, {regKey}, R"(C:\\Out\\fromkey\.grp)"},
      {5, {ini}, R"(C:\\Out\\fromini\.grp)"},
      {6, {}, R"(C:\\Out\\Report\.final\.grp)"},
      {7, {"ImageFileName=<<DOCNAME>>_<<DATE>>.png"}, R"(C:\\Out\\Report\.final\.docx_12-8-2026\.grp)"},
      {8, {ini}, R"(C:\\Out\\eight\\Report\.final\.grp)"},
      {9, {}, R"(C:\\Out\\Report\.final \(1\)\.grp)"},  // the group file of method 6 is there
  };
  for (const Case& c : cases) {
    std::vector<std::string> fields = c.fields;
    fields.push_back("FileGenerationMethod=" + std::to_string(c.method));
    ShellRun run = Print(fields);
    ASSERT_EQ(run.status, 0) << c.method << ": " << run.out;
    EXPECT_TRUE(std::regex_match(tw::ToUtf8(GroupFile()), std::regex(c.group))) << c.method << ": " << tw::ToUtf8(GroupFile());
    EXPECT_EQ(Profile(kPrinter, u"Print status", GroupFile()), u"Printing finished successfully") << c.method;
  }
  // One multipage TIFF file: made (and held) when it is named.
  ShellRun run = Print({"FileFormat=7", "Flags=0x20", "FileGenerationMethod=3", "ImageFileName=multi"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(GroupFile(), u"C:\\Out\\multi.grp");
  EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\Out\\multi.tif")));
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(GroupFileEndToEnd, ExistingFileActionsAgainstAnExistingOutput) {
  std::ofstream(Host(u"C:\\Out\\report.bmp")) << "earlier";
  // 2 (the default): a new name, then the next.
  ASSERT_EQ(Print({"FileGenerationMethod=3", "ImageFileName=report"}).status, 0);
  EXPECT_EQ(GroupFile(), u"C:\\Out\\report (1).grp");
  std::ofstream(Host(u"C:\\Out\\report (1).bmp")) << "earlier";
  ASSERT_EQ(Print({"FileGenerationMethod=3", "ImageFileName=report"}).status, 0);
  EXPECT_EQ(GroupFile(), u"C:\\Out\\report (2).grp");
  // GIF files are only ever made new, so what the actions leave shows.
  std::ofstream(Host(u"C:\\Out\\report.gif")) << "earlier";
  // 0: the file stays for the writer to add to, under its own name (the GIF
  // writer cannot, and the job fails).
  EXPECT_EQ(Print({"FileFormat=25", "FileGenerationMethod=3", "ImageFileName=report", "Flags=0x100000"}).status, 1);
  EXPECT_EQ(GroupFile(), u"C:\\Out\\report.grp");
  EXPECT_EQ(Bytes(u"C:\\Out\\report.gif"), "earlier");
  // 1: it is deleted, and the page takes its name. The group file holds the
  // earlier job's values in front of what changes: they read back as written.
  ShellRun overwrite =
      Print({"FileFormat=25", "FileGenerationMethod=3", "ImageFileName=report", "Flags=0x20000"});
  ASSERT_EQ(overwrite.status, 0) << overwrite.out;
  EXPECT_EQ(GroupFile(), u"C:\\Out\\report.grp");
  EXPECT_EQ(Profile(kPrinter, u"Print status", GroupFile()), u"Printing finished successfully");
  EXPECT_EQ(Bytes(u"C:\\Out\\report.gif").substr(0, 6), "GIF87a");
}

TEST_F(GroupFileEndToEnd, TemplatesWithEveryToken) {
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Name", "REG_SZ", "Legal");
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Prefix", "REG_SZ", "B");
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Font Facename", "REG_SZ", "Arial");
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Use prefix", "REG_SZ", "1");
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Start with", "REG_SZ", "7");
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Bates Number Length", "REG_SZ", "3");
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1", "Bates Padding Character", "REG_SZ", "0");
  ASSERT_TRUE(
      WritePrivateProfileStringW(u"Default Settings", u"Add Page Number to First Page Filename", u"1", kPrinterIni));
  const std::u16string computer = tw::config::Get()->computerName;
  struct Case {
    std::string tmpl;
    std::u16string group;
  };
  // The document counter counts every job of the printer: 1, 2, ...
  const Case cases[] = {
      {"<<NONE>><<DOCNAME>>.x", u"Plan.grp"},
      {"u_<<USERNAME>>-<<COMPUTER>>.x", u"u_alice-" + computer + u".grp"},
      {"<<PAGENUM>>_<<DATE>>.x", u"0001_12-8-2026.grp"},
      {"<<TIME>>_<<TIMEMS>>.x", u"2-05-09 PM_14-05-09.000.grp"},
      {"c<<COUNTER>>_<<DATETIME>>.x", u"c0000005_12-8-2026 2-05-09 PM.grp"},
      {"<<BATES>><<NONE>>.x", u"B007.grp"},
      {"<<DOCNAME>>.x", u"Plan.grp"},  // invalid: the default template, with FileExtension
  };
  for (const Case& c : cases) {
    std::filesystem::remove(Host(u"C:\\Out\\Plan.grp"));
    ShellRun run = Print({"FileGenerationMethod=7", "ImageFileName=" + c.tmpl, "FileExtension=tif",
                          "Flags=" + std::to_string(0x8000000)},
                         "Plan");
    ASSERT_EQ(run.status, 0) << c.tmpl << ": " << run.out;
    EXPECT_EQ(GroupFile(), u"C:\\Out\\" + c.group) << c.tmpl;
  }

  // A name part that does not fit fails the job with internal error 110.
  ShellRun run = Print({"FileGenerationMethod=7", "ImageFileName=<<DOCNAME>><<NONE>>.x"}, std::string(250, 'd'));
  EXPECT_EQ(run.status, 1) << run.out;
  bool found = false;
  for (const auto& e : twtest::ReadEventEntries())
    found = found || (e.type == EVENTLOG_ERROR_TYPE && e.strings.size() > 10 && e.strings[10] == u"110");
  EXPECT_TRUE(found) << Shell(Tool("twspool") + " events").out;
  // Its status went into the group file of the directory, and the job did
  // not end as finished.
  EXPECT_NE(Profile(kPrinter, u"Print status", u"C:\\Out\\GroupFile.grp"), u"Printing finished successfully");
  EXPECT_FALSE(Profile(kPrinter, u"Print status", u"C:\\Out\\GroupFile.grp").empty());
}

TEST_F(GroupFileEndToEnd, DirectoriesThatCannotBeUsedFailWithTheirTexts) {
  ShellRun run = Print({"FileGenerationMethod=3", "ImageFileName=C:\\Missing\\report"});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  auto errors = ErrorTexts();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), u"25: Cannot access output directory: \"C:\\Missing\\\". Directory not found.");

  // The layer's deny list: no file can be made in C:\Out.
  auto machine = *tw::config::Get();
  machine.denyWrite = {u"C:\\Out"};
  ASSERT_TRUE(tw::config::Save(machine));
  run = Print({"FileGenerationMethod=0"});
  EXPECT_EQ(run.status, 1) << run.out;
  errors = ErrorTexts();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(),
            u"25: Could not create file. Please check the access rights of the directory: \"C:\\Out\\\". Windows "
            u"Error Code: 5");
  EXPECT_TRUE(std::filesystem::is_empty(Host(u"C:\\Out"))) << "the job wrote nothing";
}

TEST_F(GroupFileEndToEnd, GroupFileEncodingsAndANameOutsideTheCodePage) {
  const std::u16string cyrillic = u"Отчёт";
  ASSERT_EQ(Print({"FileGenerationMethod=6"}, tw::ToUtf8(cyrillic), 3).status, 0);
  const std::u16string group = u"C:\\Out\\" + cyrillic + u".grp";
  ASSERT_TRUE(std::filesystem::exists(Host(group))) << "the output carries the name";
  EXPECT_NE(Bytes(group).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(Profile(kPrinter, u"Print status", group), u"Printing finished successfully");

  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"UNICODE Group File", u"1", kPrinterIni));
  ASSERT_EQ(Print({"FileGenerationMethod=6"}, tw::ToUtf8(cyrillic) + " 2", 3).status, 0);
  const std::u16string unicodeGroup = u"C:\\Out\\" + cyrillic + u" 2.grp";
  EXPECT_EQ(Bytes(unicodeGroup).substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(Profile(kPrinter, u"Print status", unicodeGroup), u"Printing finished successfully");
  for (const auto& text : ErrorTexts()) EXPECT_EQ(text.find(u"group file"), std::u16string::npos) << tw::ToUtf8(text);
}

TEST_F(GroupFileEndToEnd, XmlSummaryOfAnXmlWithBmpJob) {
  ASSERT_EQ(Print({"FileFormat=34", "FileGenerationMethod=3", "ImageFileName=summary"}, "R&D <plan>").status, 0);
  const std::u16string xml = u"C:\\Out\\summary.XML";
  const std::string bytes = Bytes(xml);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(Shell("xmllint --noout '" + Host(xml).string() + "'").out, "");
  EXPECT_TRUE(bytes.starts_with("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n")) << bytes;
  EXPECT_NE(bytes.find("\t\t<month>12</month>\r\n\t\t<day>8</day>\r\n\t\t<year>2026</year>\r\n\t\t<hour>14</hour>\r\n"
                       "\t\t<minute>5</minute>\r\n\t\t<second>9</second>\r\n"),
            std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("\t\t<print_status>Printing finished successfully</print_status>\r\n"), std::string::npos);
}

TEST_F(GroupFileEndToEnd, PrintListsThePagesOfTheJobsGroupFile) {
  // A group file left by an earlier job of the name, whose pages the job keeps.
  std::ofstream(Host(u"C:\\Out\\report.grp"), std::ios::binary)
      << "[Tarnwick Printer]\r\nTotal number of pages=2\r\n[Page 1]\r\nFileName=C:\\Out\\report.bmp\r\n"
         "[Page 2]\r\nFileName=C:\\Out\\report_002.bmp\r\n";
  ShellRun run = Print({"FileGenerationMethod=3", "ImageFileName=report", "Flags=0x100000"});
  ASSERT_EQ(run.status, 0) << run.out;
  const size_t line = run.out.find("job ");
  ASSERT_NE(line, std::string::npos);
  EXPECT_NE(run.out.find(": printed\t" + (root_.Dir() / "job.twj").string() +
                         "\n\tC:\\Out\\report.bmp\n\tC:\\Out\\report_002.bmp\n"),
            std::string::npos)
      << run.out;
  // Disabled: nothing is listed.
  run = Print({"FileGenerationMethod=3", "ImageFileName=report", "Flags=" + std::to_string(0x100000 | 0x800)});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("\tC:\\Out"), std::string::npos) << run.out;
}

}  // namespace
