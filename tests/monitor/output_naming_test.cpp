// Output naming end to end: a job written by `twdriver`, printed by `twspool
// print` through TarnwickMon.dll, its names read from the group INI and the
// group file, its refusal from the event log.
#include <fstream>

#include "core/log/event_messages.h"
#include "event_entries.h"
#include "shell_run.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kPrinterIni[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI";

using twtest::ShellRun;

// Standard error goes with the output.
ShellRun Shell(const std::string& command) { return twtest::Shell(command + " 2>&1"); }

std::u16string Profile(const WCHAR* section, const WCHAR* key, const WCHAR* file) {
  WCHAR value[1024] = {};
  GetPrivateProfileStringW(section, key, u"", value, 1024, file);
  return value;
}

class OutputNamingEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Shell(Tool("twspool") + " init").status, 0);
    std::filesystem::create_directories(root_.Dir() / "drive_c" / "Out");
    // A page: an enhanced metafile with one rectangle.
    page_ = root_.Dir() / "page.emf";
    HDC dc = CreateEnhMetaFileW(nullptr, tw::FromUtf8(page_.string()).c_str(), nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    Rectangle(dc, 10, 10, 200, 100);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  }

  std::string Tool(const std::string& name) {
    return "'" + (twtest::BinDir() / name).string() + "' --root '" + root_.Dir().string() + "'";
  }
  // Writes a two-page job for a BMP file named `name` in C:\Out and prints it.
  ShellRun PrintJob(const std::string& name, const std::string& options = "") {
    auto job = root_.Dir() / "job.twj";
    ShellRun written =
        Shell("'" + (twtest::BinDir() / "twdriver").string() + "' -o '" + job.string() +
              "' --set FileFormat=0 --set FileGenerationMethod=3 --set 'OutputDirectory=C:\\Out' --set '" +
              "ImageFileName=" + name + "' '" + page_.string() + "' '" + page_.string() + "'");
    EXPECT_EQ(written.status, 0) << written.out;
    return Shell(Tool("twspool") + " print " + options + " '" + job.string() + "'");
  }

  twtest::TempRoot root_;
  std::filesystem::path page_;
};

TEST_F(OutputNamingEndToEnd, TheJobsNamesAreMadeAtTheStartOfTheDocument) {
  // The printer's INI numbers the first page too.
  ASSERT_TRUE(
      WritePrivateProfileStringW(u"Default Settings", u"Add Page Number to First Page Filename", u"1", kPrinterIni));
  ShellRun run = PrintJob("report");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find(": printed\t"), std::string::npos) << run.out;
  EXPECT_EQ(Profile(kPrinter, u"Group File", u"tw_group.ini"), u"C:\\Out\\report_001.grp");
  EXPECT_EQ(Profile(kPrinter, u"Print status", u"C:\\Out\\report_001.grp"), u"Printing finished successfully");

  // Once a file report_001.bmp is there, the next job of that name gets a
  // collision number, and so does its group file.
  std::ofstream(root_.Dir() / "drive_c" / "Out" / "report_001.bmp") << "page";
  run = PrintJob("report");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Profile(kPrinter, u"Group File", u"tw_group.ini"), u"C:\\Out\\report_001 (1).grp");
}

TEST_F(OutputNamingEndToEnd, AnInvalidNameFailsTheJobWith253) {
  // The first block ends with the start of the document, so that its failure
  // is the block's result and the spooler job is cancelled.
  ShellRun run = PrintJob("C:\\Out\\rep?ort", "--block-size " + std::to_string(16 + 6879));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  const std::u16string text =
      u"253: Invalid character in the file name. The following characters are not allowed: <>:*?\"|/ File name: "
      u"C:\\Out\\rep?ort";
  bool found = false;
  for (const auto& e : twtest::ReadEventEntries())
    found = found || (e.id == MSG_PRINTING_ERROR && e.strings.size() > 10 && e.strings[10] == text);
  EXPECT_TRUE(found) << Shell(Tool("twspool") + " events").out;
}

}  // namespace
