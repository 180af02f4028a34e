// CTWJob from start to end of document: the document counter, the plug-in
// calls, the document state, the steps of StartDoc and EndDoc, the per-job
// key, the document name and the destructor's clean-up.
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture_log.h"
#include "event_entries.h"
#include "fake_spooler.h"
#include "job/job/end_doc_handoffs.h"
#include "job/job/job_observer.h"
#include "job/job/tw_job.h"
#include "job/settings/save_as.h"
#include "job/settings/settings_store.h"
#include "core/thread_state.h"
#include "render/emf/emf_image.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/pathmap.h"
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
    tw::job::SetOperationHook(nullptr, nullptr);
    tw::core::ThreadStateDetachThread();
    ResetLogStateForTests();
  }

  static TarnwickDEVMODE DevMode(const std::u16string& printer) {
    tw::twdriver::DevModeOptions o;
    o.printer = printer;
    return tw::twdriver::MakeDevMode(o);
  }
  static std::vector<BYTE> Record(const std::u16string& printer) { return Record(DevMode(printer)); }
  static std::vector<BYTE> Record(const TarnwickDEVMODE& dm) {
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
  }
  static DWORD LastDocNumber(const std::u16string& printer) {
    return st::Read(st::ScopeForPrinter(printer), st::LastDocNumber);
  }
  // One block of commands through the job's command stream.
  static BOOL Write(CTWJob& job, const tw::twdriver::StreamWriter& stream) {
    auto bytes = stream.Bytes();
    DWORD consumed = 0;
    return job.WritePort(bytes.data(), static_cast<DWORD>(bytes.size()), &consumed);
  }
  // Records the names of the job operations the hook sees.
  void RecordOperations() {
    tw::job::SetOperationHook(
        [](void* c, const WCHAR* op, DWORD) { static_cast<std::vector<std::u16string>*>(c)->emplace_back(op); },
        &ops_);
  }
  size_t CountOps(const std::u16string& name) const { return std::count(ops_.begin(), ops_.end(), name); }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::filesystem::path log_;
  std::vector<std::u16string> ops_;
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
  // The page was started, never ended.
  EXPECT_EQ(ReadLines(log_), (std::vector<std::string>{"TwStartDoc", "TwStartPage", "TwEndDoc"}));
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
  WCHAR value[MAX_PATH] = u"unset";
  GetPrivateProfileStringW(u"Tarnwick Printer", u"Group File", u"missing", value, MAX_PATH, u"C:\\groups.ini");
  // Named with the output: a unique name in the record's output directory.
  EXPECT_EQ(std::u16string(value), std::u16string(job.m_szGroupFileName));
  EXPECT_EQ(std::u16string(value).rfind(u"C:\\Users\\Public\\", 0), 0u) << tw::ToUtf8(value);
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
  twtest::EnableCaptureLog(TWLOG_INFO);
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
  // Most printers have none: an information line says so.
  std::string capture = twtest::ReadCaptureLog();
  EXPECT_NE(capture.find("[INFO]    "), std::string::npos) << capture;
  EXPECT_NE(capture.find("Plug-in TwPlugIn.dll not loaded"), std::string::npos) << capture;
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
    // What the thread keeps for its next page goes before the leak check.
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
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

TEST_F(JobLifecycleTest, CommandsOutOfOrderNeitherCountNorCallThePluginAgain) {
  RecordOperations();
  auto dm = DevMode(u"Tarnwick Printer");
  {
    CTWJob job;
    job.SetJobID(21);
    job.SetPrinterName(u"Tarnwick Printer");
    tw::twdriver::StreamWriter twice;
    twice.StartDoc(dm);
    twice.StartDoc(dm);
    EXPECT_FALSE(Write(job, twice));
    EXPECT_EQ(job.DocumentNumber(), 1u);
  }
  EXPECT_EQ(LastDocNumber(u"Tarnwick Printer"), 1u);
  EXPECT_EQ(CountOps(u"StartDoc"), 1u);
  {
    CTWJob job;
    job.SetJobID(22);
    job.SetPrinterName(u"Tarnwick Printer");
    tw::twdriver::StreamWriter document;
    document.StartDoc(dm);
    document.EndDoc();
    EXPECT_TRUE(Write(job, document));
    tw::twdriver::StreamWriter end;
    end.EndDoc();
    EXPECT_FALSE(Write(job, end));
    tw::twdriver::StreamWriter page;
    page.StartPage(dm);
    page.EndPage(std::vector<BYTE>(200, 1));
    EXPECT_FALSE(Write(job, page));
  }
  EXPECT_EQ(LastDocNumber(u"Tarnwick Printer"), 2u);
  EXPECT_EQ(CountOps(u"EndDoc"), 1u);
  EXPECT_EQ(CountOps(u"StartPage"), 1u);  // only the empty page EndDoc makes itself
  EXPECT_EQ(ReadLines(log_),
            (std::vector<std::string>{"TwStartDoc", "TwStartDoc", "TwStartPage", "TwEndPage", "TwEndDoc"}));
}

// The counter belongs to every job of the printer: a job waits while another
// holds it (up to 60 s), then counts without it and leaves a warning entry.
TEST_F(JobLifecycleTest, DocumentCounterWaitsForTheJobHoldingIt) {
  setenv("TW_TIME_SCALE", "0.01", 1);  // read at the process's first wait
  auto startDoc = [this](DWORD id) {
    CTWJob job;
    job.SetJobID(id);
    job.SetPrinterName(u"Tarnwick Printer");
    auto record = Record(u"Tarnwick Printer");
    job.SetDevMode(record.data(), TRUE);
    EXPECT_TRUE(job.StartDoc());
    return job.DocumentNumber();
  };
  // Another job counts, holding the mutex well beyond one second.
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD otherNumber = 0;
  auto other = [&](bool count) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kDocCounterMutexName);
    WaitForSingleObject(mutex, INFINITE);
    auto scope = st::ScopeForPrinter(u"Tarnwick Printer");
    otherNumber = st::Read(scope, st::LastDocNumber) + 1;
    SetEvent(held);
    if (count) {
      Sleep(20000);
      st::Write(scope, st::LastDocNumber, otherNumber);
    } else {
      WaitForSingleObject(release, INFINITE);
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  };
  std::thread counting(other, true);
  WaitForSingleObject(held, INFINITE);
  DWORD mine = startDoc(31);
  counting.join();
  EXPECT_NE(mine, otherNumber);
  EXPECT_EQ(LastDocNumber(u"Tarnwick Printer"), 2u);

  // Held for longer than a minute: counted without the mutex, with a warning.
  ResetEvent(held);
  std::thread hanging(other, false);
  WaitForSingleObject(held, INFINITE);
  EXPECT_EQ(startDoc(32), 3u);
  SetEvent(release);
  hanging.join();
  CloseHandle(held);
  CloseHandle(release);
  bool warned = false;
  for (const auto& e : twtest::ReadEventEntries())
    warned |= e.type == EVENTLOG_WARNING_TYPE && e.strings.size() == 11 &&
              e.strings[10] ==
                  u"The document counter was not free within 60 seconds; document number 3 was counted without it "
                  u"and may repeat.";
  EXPECT_TRUE(warned);
}

// A document cancelled in the Save-As dialog starts but its first page
// fails; at its end the job's Save-As key goes.
TEST_F(JobLifecycleTest, SaveAsCancelStopsTheFirstPageAndTheKeyGoesAtTheEnd) {
  auto scope = st::ScopeForPrinter(u"Tarnwick Printer", 41);
  ASSERT_TRUE(st::WriteSaveAs(scope, st::SaveAsDword::CancelWasPressed, 1));
  auto dm = DevMode(u"Tarnwick Printer");
  dm.Flags = dm.Flags | tw::devmode::flags::SaveAs;
  CTWJob job;
  job.SetJobID(41);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(dm);
  ASSERT_TRUE(job.SetDevMode(record.data(), TRUE));
  ASSERT_TRUE(job.StartDoc());
  EXPECT_FALSE(job.StartPage());
  EXPECT_TRUE(job.EndDoc());
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, st::SaveAsKeyPath(scope).c_str(), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(JobLifecycleTest, AJobInAMergeGroupMakesNoEmptyPage) {
  RecordOperations();
  CTWJob job;
  job.SetJobID(42);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(u"Tarnwick Printer");
  job.SetDevMode(record.data(), TRUE);
  ASSERT_TRUE(job.StartDoc());
  job.m_bMergeActive = TRUE;
  ASSERT_TRUE(job.EndDoc());
  EXPECT_EQ(CountOps(u"StartPage"), 0u);
}

// A PDF cover page is copied over the output file before the first page,
// so that the document's pages are added behind it.
TEST_F(JobLifecycleTest, PdfCoverPageStartsTheOutputFile) {
  auto scope = st::ScopeForPrinter(u"Tarnwick Printer");
  auto drive = root_.Dir() / "drive_c";
  std::filesystem::create_directories(drive);
  std::ofstream(drive / "cover.PDF") << "%PDF-1.4 cover";
  ASSERT_TRUE(st::Write(scope, st::CoverEnable, 1));
  ASSERT_TRUE(st::Write(scope, st::CoverEnableDefault, 1));
  ASSERT_TRUE(st::Write(scope, st::CoverDefaultCoverPage, u"C:\\cover.PDF"));
  auto dm = DevMode(u"Tarnwick Printer");
  dm.FileFormat = 3;
  CTWJob job;
  job.SetJobID(43);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(dm);
  ASSERT_TRUE(job.SetDevMode(record.data(), TRUE));
  ASSERT_TRUE(job.m_bPdfCoverPage);
  ASSERT_TRUE(job.StartDoc());
  std::filesystem::path output;
  ASSERT_EQ(tw::path::ToHost(job.m_szActFileName, output), 0u) << tw::ToUtf8(job.m_szActFileName);
  std::ifstream out(output);
  std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "%PDF-1.4 cover");
}

// An application that starts before printing is waited for: the job makes
// the event the application sets when it is ready.
TEST_F(JobLifecycleTest, ApplicationStartedBeforePrintingIsWaitedFor) {
  auto scope = st::ScopeForPrinter(u"Tarnwick Printer");
  ASSERT_TRUE(st::Write(scope, st::MessagingInterfaceName, u"MyApp"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Start Application Timeout", u"60000", kIni));
  auto dm = DevMode(u"Tarnwick Printer");
  dm.StartAppFlags = tw::devmode::startapp::Start | tw::devmode::startapp::BeforePrinting;
  dm.ApplicationPath.Set(u"C:\\app.exe");
  CTWJob job;
  job.SetJobID(44);
  job.SetPrinterName(u"Tarnwick Printer");
  auto record = Record(dm);
  ASSERT_TRUE(job.SetDevMode(record.data(), TRUE));
  std::atomic<bool> signalled{false};
  std::thread application([&] {
    for (int i = 0; i < 2000 && !signalled; ++i) {
      if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, u"Global\\MyApp_44")) {
        SetEvent(event);
        CloseHandle(event);
        signalled = true;
      } else {
        Sleep(5);
      }
    }
  });
  EXPECT_TRUE(job.StartDoc());
  application.join();
  EXPECT_TRUE(signalled);
}

// What the end of the document hands over, by the job's settings.
TEST_F(JobLifecycleTest, EndOfDocumentHandOffsFollowTheSettings) {
  auto scope = st::ScopeForPrinter(u"Tarnwick Printer", 45);
  auto dm = DevMode(u"Tarnwick Printer");
  auto decide = [&](tw::job::JobHandOffFacts facts = {}) {
    st::EffectiveContext ctx{scope, &dm, {}, false};
    return tw::job::DecideEndDocHandOffs(ctx, facts);
  };
  auto none = decide();
  EXPECT_FALSE(none.startApplication || none.forwarding || none.noRedirectMessage || none.JobStatus());
  // Merge mode or cover pages alone: only the forwarding program is told.
  for (auto facts : {tw::job::JobHandOffFacts{true, false}, tw::job::JobHandOffFacts{false, true}}) {
    auto told = decide(facts);
    EXPECT_FALSE(told.startApplication);
    EXPECT_TRUE(told.noRedirectMessage);
    EXPECT_TRUE(told.JobStatus());
  }
  // An application started before printing is not started again.
  dm.StartAppFlags = tw::devmode::startapp::Start | tw::devmode::startapp::BeforePrinting;
  auto before = decide();
  EXPECT_FALSE(before.startApplication);
  EXPECT_TRUE(before.noRedirectMessage);
  dm.StartAppFlags = tw::devmode::startapp::Start;
  EXPECT_TRUE(decide().startApplication);
  dm.StartAppFlags = 0;
  // A post-print action starts the post-print program.
  ASSERT_TRUE(st::Write(scope, st::PostPrintOpenOutputFolder, true));
  auto folder = decide();
  EXPECT_TRUE(folder.startApplication);
  EXPECT_TRUE(folder.noRedirectMessage);
  // Forwarding writes its own keys instead of the no-redirect message.
  dm.Flags = dm.Flags | tw::devmode::flags::RedirectPrinting;
  auto forwarding = decide();
  EXPECT_TRUE(forwarding.forwarding);
  EXPECT_FALSE(forwarding.noRedirectMessage);
  EXPECT_TRUE(forwarding.JobStatus());
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
