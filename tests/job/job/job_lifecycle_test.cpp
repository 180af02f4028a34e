// CTWJob from start to end of document: the document counter, the plug-in
// calls, the per-job key, the document name and the destructor's clean-up.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_spooler.h"
#include "job/job/job_observer.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "core/thread_state.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

namespace st = tw::settings;

constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find(' ')));
  return lines;
}

class JobLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spooler_.spooler->AddPrinter(u"Tarnwick Printer", kIni);
    spooler_.spooler->AddPrinter(u"Second Printer", kIni);
    ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", kIni));
    log_ = root_.Dir() / "plugin.log";
    setenv("TW_TEST_PLUGIN_LOG", log_.c_str(), 1);
    unsetenv("TW_TEST_PLUGIN_REFUSE");
  }
  void TearDown() override {
    unsetenv("TW_TEST_PLUGIN_LOG");
    unsetenv("TW_TEST_PLUGIN_REFUSE");
    tw::core::ThreadStateDetachThread();
  }

  static std::vector<BYTE> Record(const std::u16string& printer) {
    tw::twdriver::DevModeOptions o;
    o.printer = printer;
    auto dm = tw::twdriver::MakeDevMode(o);
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
  }
  static DWORD LastDocNumber(const std::u16string& printer) {
    return st::Read(st::ScopeForPrinter(printer), st::LastDocNumber);
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::filesystem::path log_;
};

TEST_F(JobLifecycleTest, DocumentIsCountedAndPluginSeesStartAndEnd) {
  twtest::LeakGuard leaks;
  {
    CTWJob job;
    job.SetJobID(7);
    job.SetPrinterName(u"Tarnwick Printer");
    auto record = Record(u"Tarnwick Printer");
    ASSERT_TRUE(job.SetDevMode(record.data(), TRUE));
    ASSERT_TRUE(job.StartDoc());
    EXPECT_EQ(std::u16string(job.PrinterINIFile()), kIni);
    EXPECT_EQ(job.DocumentNumber(), 1u);
    EXPECT_EQ(LastDocNumber(u"Tarnwick Printer"), 1u);
    EXPECT_EQ(job.ActPage(), 0u);
    EXPECT_TRUE(job.StartPage());
    EXPECT_TRUE(job.EndDoc());
    EXPECT_EQ(std::u16string(job.PrintStatus()), u"Printing finished successfully");
  }
  EXPECT_EQ(ReadLines(log_), (std::vector<std::string>{"TwStartDoc", "TwEndDoc"}));
  {
    CTWJob again;
    again.SetJobID(8);
    again.SetPrinterName(u"Tarnwick Printer");
    auto record = Record(u"Tarnwick Printer");
    again.SetDevMode(record.data(), TRUE);
    ASSERT_TRUE(again.StartDoc());
    EXPECT_EQ(again.DocumentNumber(), 2u);
  }
}

TEST_F(JobLifecycleTest, TextMarginsBecomePixelsAndGroupFileIsRecorded) {
  auto scope = st::ScopeForPrinter(u"Tarnwick Printer");
  st::Write(scope, st::TextMarginUnits, 1);  // tenths of a millimetre
  st::Write(scope, st::TextMarginTop, 254);
  st::Write(scope, st::TextMarginLeft, 127);
  st::Write(scope, st::TextCharacterColumns, 132);
  ASSERT_TRUE(WritePrivateProfileStringW(u"TwGroup.ini", u"INI File", u"C:\\groups.ini", kIni));
  CTWJob job;
  job.SetJobID(14);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(u"Tarnwick Printer");  // 300 DPI
  job.SetDevMode(record.data(), TRUE);
  ASSERT_TRUE(job.StartDoc());
  EXPECT_EQ(job.m_rcTextMargins.top, 300);
  EXPECT_EQ(job.m_rcTextMargins.left, 150);
  EXPECT_EQ(job.m_rcTextMargins.bottom, 0);
  EXPECT_EQ(job.m_dwCharacterColumns, 132u);
  WCHAR value[32] = u"unset";
  GetPrivateProfileStringW(u"Tarnwick Printer", u"Group File", u"missing", value, 32, u"C:\\groups.ini");
  EXPECT_EQ(std::u16string(value), u"");  // the name itself comes with the output naming
  EXPECT_TRUE(job.EndDoc());
}

TEST_F(JobLifecycleTest, TwoPrintersAtOnceKeepTheirOwnCounters) {
  st::Write(st::ScopeForPrinter(u"Second Printer"), st::LastDocNumber, 41);
  auto run = [this](const std::u16string& printer, DWORD id, int docs) {
    for (int i = 0; i < docs; ++i) {
      CTWJob job;
      job.SetJobID(id + i);
      job.SetPrinterName(printer.c_str());
      auto record = Record(printer);
      job.SetDevMode(record.data(), TRUE);
      EXPECT_TRUE(job.StartDoc());
      EXPECT_TRUE(job.EndDoc());
    }
    tw::core::ThreadStateDetachThread();
  };
  std::thread a(run, u"Tarnwick Printer", 100, 5);
  std::thread b(run, u"Second Printer", 200, 5);
  a.join();
  b.join();
  EXPECT_EQ(LastDocNumber(u"Tarnwick Printer"), 5u);
  EXPECT_EQ(LastDocNumber(u"Second Printer"), 46u);
}

TEST_F(JobLifecycleTest, RefusedDocumentStartsButItsFirstPageFails) {
  setenv("TW_TEST_PLUGIN_REFUSE", "1", 1);
  CTWJob job;
  job.SetJobID(3);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(u"Tarnwick Printer");
  job.SetDevMode(record.data(), TRUE);
  EXPECT_TRUE(job.StartDoc());
  EXPECT_TRUE(job.AbortPrinting());
  EXPECT_FALSE(job.StartPage());
  // A refused document is not counted.
  EXPECT_EQ(LastDocNumber(u"Tarnwick Printer"), 0u);
}

TEST_F(JobLifecycleTest, AbortDocCallsTwAbortOnce) {
  {
    CTWJob job;
    job.SetJobID(4);
    job.SetPrinterName(u"Tarnwick Printer");
    auto record = Record(u"Tarnwick Printer");
    job.SetDevMode(record.data(), TRUE);
    ASSERT_TRUE(job.StartDoc());
    EXPECT_TRUE(job.AbortDoc());
  }
  EXPECT_EQ(ReadLines(log_), (std::vector<std::string>{"TwStartDoc", "TwAbort"}));
}

TEST_F(JobLifecycleTest, AbortJobValueCancelsBeforeFirstPageAndPerJobKeyIsDeleted) {
  auto scope = st::ScopeForPrinter(u"Tarnwick Printer", 9);
  ASSERT_TRUE(st::Write(scope, st::JobAbortJob, 1));
  CTWJob job;
  job.SetJobID(9);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(u"Tarnwick Printer");
  job.SetDevMode(record.data(), TRUE);
  EXPECT_TRUE(job.StartDoc());
  EXPECT_FALSE(job.StartPage());
  EXPECT_TRUE(job.EndDoc());
  HKEY key = nullptr;
  std::u16string path = st::KeyPath(scope, st::Definition(st::JobAbortJob));
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(JobLifecycleTest, MissingIniFileOrPrinterStillRunsTheDocument) {
  twtest::LeakGuard leaks;
  {
    CTWJob job;
    job.SetJobID(5);
    job.SetPrinterName(u"No Such Printer");
    auto record = Record(u"No Such Printer");
    job.SetDevMode(record.data(), TRUE);
    EXPECT_TRUE(job.StartDoc());
    EXPECT_EQ(job.PrinterINIFile()[0], 0);
    EXPECT_TRUE(job.EndDoc());
    EXPECT_EQ(LastDocNumber(u"No Such Printer"), 1u);
  }
  EXPECT_TRUE(ReadLines(log_).empty());  // the default plug-in is not installed
}

TEST_F(JobLifecycleTest, DocumentWithoutPagesGetsOneEmptyPage) {
  std::vector<std::pair<std::u16string, DWORD>> ops;
  tw::job::SetOperationHook(
      [](void* c, const WCHAR* op, DWORD arg) {
        static_cast<std::vector<std::pair<std::u16string, DWORD>>*>(c)->emplace_back(op, arg);
      },
      &ops);
  for (bool removeBlank : {false, true}) {
    twtest::LeakGuard leaks;
    ops.clear();
    st::Write(st::ScopeForPrinter(u"Tarnwick Printer"), st::PageRemoveBlankPages, removeBlank);
    CTWJob job;
    job.SetJobID(12);
    job.SetPrinterName(u"Tarnwick Printer");
    auto record = Record(u"Tarnwick Printer");
    job.SetDevMode(record.data(), TRUE);
    ASSERT_TRUE(job.StartDoc());
    ASSERT_TRUE(job.EndDoc());
    if (removeBlank) {
      EXPECT_EQ(ops.size(), 3u);  // SetDevMode, StartDoc, EndDoc
    } else {
      ASSERT_EQ(ops.size(), 5u);
      EXPECT_EQ(ops[3].first, u"StartPage");
      EXPECT_EQ(ops[4].first, u"EndPage");
      EXPECT_GE(ops[4].second, 88u);  // at least a metafile header
    }
  }
  tw::job::SetOperationHook(nullptr, nullptr);
}

TEST_F(JobLifecycleTest, SpoolerJobHelpers) {
  spooler_.spooler->AddJob(30, u"Tarnwick Printer", u"doc");
  EXPECT_TRUE(JobExists(u"Tarnwick Printer", 30));
  EXPECT_FALSE(JobExists(u"Tarnwick Printer", 31));
  EXPECT_FALSE(JobExists(u"No Such Printer", 30));
  EXPECT_TRUE(SetJobPriority(u"Tarnwick Printer", 30, FALSE));
  EXPECT_TRUE(SetJobPriority(u"Tarnwick Printer", 30, TRUE));
  EXPECT_FALSE(SetJobPriority(u"Tarnwick Printer", 31, TRUE));
  EXPECT_FALSE(SetJobPriority(u"No Such Printer", 30, TRUE));
  EXPECT_EQ(spooler_.spooler->CountControls(30, JOB_CONTROL_PAUSE), 1u);
  EXPECT_EQ(spooler_.spooler->CountControls(30, JOB_CONTROL_RESUME), 1u);
}

TEST(DocumentName, ApplicationDecorationsAreRemoved) {
  struct Case {
    const WCHAR* given;
    const WCHAR* clean;
  } cases[] = {
      {u"Microsoft Word - Report.docx [Compatibility Mode]", u"Report.docx"},
      {u"D:\\Data\\Plan.pdf", u"Plan"},
      {u"Visio-Drawing1", u"Drawing1"},
      {u"\\\\server\\share\\a.txt - Notepad", u"a"},
      {u"memo.txt - \u30E1\u30E2\u5E33", u"memo"},
      {u"Book - Read-Only - Read-Only", u"Book"},
      {u"x.PDF.pdf", u"x"},
      {u"x.pdf.PDF", u"x.pdf"},
      {u"C:\\", u"C:\\"},
      {u"C:\\a", u"a"},
      {u"a\\b", u"a\\b"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    CTWJob job;
    job.SetDocumentName(c.given);
    EXPECT_EQ(std::u16string(job.DocumentName()), c.clean) << tw::ToUtf8(c.given);
    EXPECT_EQ(std::u16string(job.OriginalDocumentName()), c.given);
  }
  CTWJob job;
  job.SetDocumentName(u"Kept");
  job.SetDocumentName(nullptr);
  EXPECT_EQ(std::u16string(job.DocumentName()), u"Kept");
  std::u16string longName(400, u'n');
  job.SetDocumentName(longName.c_str());
  EXPECT_EQ(std::u16string(job.DocumentName()).size(), MAX_PATH - 1u);
}

TEST(JobObjects, GdiMutexIsSharedAndAcquired) {
  twtest::LeakGuard leaks;
  CTWJob a, b;
  a.SetPrinterName(u"P1");
  b.SetPrinterName(u"P2");
  ASSERT_TRUE(a.AcquireGdiMutex());
  HANDLE other = OpenMutexW(SYNCHRONIZE, FALSE, kGdiMutexName);
  ASSERT_NE(other, nullptr);
  CloseHandle(other);
  ReleaseMutex(a.m_hGdiMutex);
  EXPECT_TRUE(b.AcquireGdiMutex());
  ReleaseMutex(b.m_hGdiMutex);
}

}  // namespace
