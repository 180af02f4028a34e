// CEventLog, the job reporters with their logging levels and impersonation,
// and the error handlers' texts and steps.
#include <windows.h>

#include <cstring>
#include <fstream>

#include "event_entries.h"
#include "core/log/event_log.h"
#include "core/log/event_messages.h"
#include "core/log/job_report.h"
#include "core/log/tw_log.h"
#include "tw/utf.h"
#include "tw/eventlog_internal.h"
#include "tw_test.h"

namespace {

using Entry = twtest::EventEntry;
using twtest::ReadEventEntries;

std::u16string RegString(const std::u16string& key, LPCWSTR value) {
  WCHAR buffer[1024] = {};
  DWORD bytes = sizeof buffer;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
    return u"<missing>";
  return buffer;
}

class EventReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogStateForTests();
    SetEventMessageFile(u"C:\\Windows\\System32\\TarnwickMon.dll");
    info_.pszPrinterName = u"Office Printer";
    info_.pszDocumentName = u"Report.docx";
    info_.pszUserName = u"alice";
    info_.stSubmitted = {2026, 3, 1, 2, 14, 9, 5, 0};  // Monday 2 March 2026, 14:09:05
    info_.pfnRevertToPrinterSelf = &FakeRevert;
    info_.pfnImpersonatePrinterClient = &FakeImpersonate;
    reverts_ = impersonations_ = 0;
    impersonatedWith_ = nullptr;
  }
  void TearDown() override {
    SetEventMessageFile(nullptr);
    ResetLogStateForTests();
  }

  static HANDLE FakeRevert() {
    ++reverts_;
    return kToken;
  }
  static BOOL FakeImpersonate(HANDLE token) {
    ++impersonations_;
    impersonatedWith_ = token;
    return TRUE;
  }

  static inline int reverts_ = 0, impersonations_ = 0;
  static inline HANDLE impersonatedWith_ = nullptr;
  static inline const HANDLE kToken = reinterpret_cast<HANDLE>(0x4711);
  twtest::TempRoot root_;
  JOB_EVENT_INFO info_;
};

TEST_F(EventReportTest, RegisterWritesTheSourceKeyAndReportsNeedEveryString) {
  twtest::LeakGuard guard;
  CEventLog log;
  const WCHAR* ten[10] = {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"};
  EXPECT_FALSE(log.ReportFinished(ten));  // not registered
  ASSERT_TRUE(log.Register(u"Office Printer"));
  const std::u16string key = std::u16string(EVENTLOG_APPLICATION_KEY) + u"Office Printer";
  EXPECT_EQ(RegString(key, u"EventMessageFile"), u"C:\\Windows\\System32\\TarnwickMon.dll");
  DWORD types = 0, bytes = sizeof types;
  ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), u"TypesSupported", RRF_RT_REG_DWORD, nullptr, &types, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(types, 7u);

  EXPECT_TRUE(log.ReportFinished(ten));
  EXPECT_TRUE(log.ReportAborted(ten));
  const WCHAR* eleven[11] = {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10", u"boom"};
  EXPECT_TRUE(log.ReportError(eleven));
  EXPECT_TRUE(log.ReportWarning(eleven));
  const WCHAR* gap[11] = {u"1", u"2", u"3", nullptr, u"5", u"6", u"7", u"8", u"9", u"10", u"11"};
  EXPECT_FALSE(log.ReportError(gap));
  EXPECT_FALSE(log.ReportFinished(nullptr));
  log.Deregister();
  EXPECT_FALSE(log.IsRegistered());
  EXPECT_FALSE(log.ReportError(eleven));

  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(entries[0].id, MSG_PRINTING_FINISHED);
  EXPECT_EQ(entries[0].strings.size(), 10u);
  EXPECT_EQ(entries[1].type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(entries[1].id, MSG_PRINTING_ABORTED);
  EXPECT_EQ(entries[2].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(entries[2].id, MSG_PRINTING_ERROR);
  EXPECT_EQ(entries[2].strings.at(10), u"boom");
  EXPECT_EQ(entries[3].type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(entries[3].id, MSG_PRINTING_ERROR);
  EXPECT_EQ(entries[0].source, u"Office Printer");
}

TEST_F(EventReportTest, LoggingLevelDecidesWhatIsReported) {
  struct Case {
    DWORD level;
    size_t expected;  // of the four reports below
  } cases[] = {{0, 0}, {1, 1}, {2, 3}, {3, 4}};
  for (const auto& c : cases) {
    twtest::TempRoot fresh;
    info_.dwEventLoggingLevel = c.level;
    EXPECT_TRUE(ReportJobEnd(info_, TRUE));
    EXPECT_TRUE(ReportJobEnd(info_, FALSE));
    EXPECT_TRUE(ReportJobWarning(info_, u"The printed document was blank."));
    EXPECT_TRUE(ReportJobErrorText(info_, u"Cannot find group file: %s", u"C:\\out\\g.ini"));
    auto entries = ReadEventEntries();
    EXPECT_EQ(entries.size(), c.expected) << "level " << c.level;
    for (const auto& e : entries) {
      if (c.level < 3) {
        EXPECT_NE(e.id, MSG_PRINTING_FINISHED) << "level " << c.level;
      }
      if (c.level < 2) {
        EXPECT_EQ(e.type, EVENTLOG_ERROR_TYPE) << "level " << c.level;
      }
    }
  }
}

TEST_F(EventReportTest, InsertionStringsAndImpersonation) {
  info_.dwEventLoggingLevel = 3;
  ASSERT_TRUE(ReportJobEnd(info_, TRUE));
  EXPECT_EQ(reverts_, 1);
  EXPECT_EQ(impersonations_, 1);
  EXPECT_EQ(impersonatedWith_, kToken);
  // The job already works as the spooler: no revert, no impersonation.
  info_.hClientToken = reinterpret_cast<HANDLE>(0x99);
  info_.pszComputerName = u"CLIENT-7";
  info_.pszIPAddress = u"10.0.0.7";
  info_.pszHostName = u"client-7.example.local";
  ASSERT_TRUE(ReportJobError(info_, FALSE, u"Could not delete output file \"%s\". Error %d", u"C:\\out\\a.tif", 32));
  EXPECT_EQ(reverts_, 1);
  EXPECT_EQ(impersonations_, 1);

  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 2u);
  const auto& finished = entries[0].strings;
  ASSERT_EQ(finished.size(), 10u);
  EXPECT_EQ(finished[0], u"Office Printer");
  EXPECT_EQ(finished[1], u"Report.docx");
  EXPECT_EQ(finished[2], u"alice");
  EXPECT_EQ(finished[3], u"3/2/2026");  // en-US short date of the submission
  EXPECT_EQ(finished[4], u"2:09:05 PM");
  WCHAR today[256];
  GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, today, 256);
  EXPECT_EQ(finished[5], today);
  EXPECT_FALSE(finished[6].empty());
  const auto machine = tw::config::Get();
  EXPECT_EQ(finished[7], machine->computerName);
  EXPECT_EQ(finished[8], u"192.168.10.20");
  EXPECT_EQ(finished[9], machine->dnsName);

  const auto& error = entries[1].strings;
  ASSERT_EQ(error.size(), 11u);
  EXPECT_EQ(error[5], u"");  // without the current time
  EXPECT_EQ(error[6], u"");
  EXPECT_EQ(error[7], u"CLIENT-7");
  EXPECT_EQ(error[8], u"10.0.0.7");
  EXPECT_EQ(error[9], u"client-7.example.local");
  EXPECT_EQ(error[10], u"Could not delete output file \"C:\\out\\a.tif\". Error 32");
}

TEST_F(EventReportTest, DamagedStoreFailsTheReportButNotTheCaller) {
  auto path = tw::eventlog::StorePath();
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << std::string(4096, 'Z');
  CEventLog log;
  EXPECT_FALSE(log.Register(u"Office Printer"));
  EXPECT_FALSE(log.IsRegistered());
  EXPECT_FALSE(ReportJobErrorText(info_, u"text"));
  // The impersonation is taken back even so.
  EXPECT_EQ(reverts_, 1);
  EXPECT_EQ(impersonations_, 1);
}

// The handler steps, recorded in order.
struct Recorder {
  std::vector<std::u16string> steps;
  JOB_ERROR_TARGETS Targets(const JOB_EVENT_INFO& info) {
    JOB_ERROR_TARGETS t;
    t.event = info;
    t.markStatusPending = [this] { steps.push_back(u"pending"); };
    t.writeGroupEntry = [this](const WCHAR* k, const WCHAR* v) { steps.push_back(u"group " + std::u16string(k) + u"=" + v); };
    t.sendErrorMessage = [this](const WCHAR* text) { steps.push_back(u"message5 " + std::u16string(text)); };
    t.setPrintStatus = [this](const WCHAR* text) { steps.push_back(u"status " + std::u16string(text)); };
    t.setMergeError = [this](DWORD n, const WCHAR* text) {
      steps.push_back(u"merge " + tw::FromUtf8(std::to_string(n)) + u" " + text);
    };
    return t;
  }
};

TEST_F(EventReportTest, HandleErrorNumberFiftySeven) {
  Recorder r;
  JOB_ERROR e = MakeJobError(57, "job.cpp", 120);
  EXPECT_TRUE(ApplyJobError(e, r.Targets(info_)));
  EXPECT_EQ(r.steps, (std::vector<std::u16string>{u"pending", u"group Print status=Internal error: 57.",
                                                  u"message5 Internal error: 57.", u"status Internal error: 57.",
                                                  u"merge 57 "}));
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(entries[0].strings.at(10), u"57");
  EXPECT_FALSE(entries[0].strings.at(5).empty());  // with the current time
}

TEST_F(EventReportTest, HandleErrorTextAndErrorLocationUnderDebug) {
  EXPECT_FALSE(MakeJobError(static_cast<const WCHAR*>(nullptr), "x.cpp", 1).bValid);
  Recorder none;
  EXPECT_TRUE(ApplyJobError(MakeJobError(static_cast<const WCHAR*>(nullptr), "x.cpp", 1), none.Targets(info_)));
  EXPECT_TRUE(none.steps.empty());

  std::filesystem::create_directories(root_.Dir() / "drive_c");
  std::ofstream(root_.Dir() / "drive_c" / "PrnDebug.ini") << "[Setting]\r\nDebug=2\r\n";
  ResetLogStateForTests();
  Recorder r;
  JOB_ERROR e = MakeJobError(u"25: Cannot create output directory", "naming.cpp", 88);
  EXPECT_EQ(e.strErrorLocation, u"naming.cpp line 88");
  ApplyJobError(e, r.Targets(info_));
  EXPECT_EQ(r.steps, (std::vector<std::u16string>{
                         u"pending", u"group Print status=25: Cannot create output directory",
                         u"group Error Location=naming.cpp line 88", u"message5 25: Cannot create output directory",
                         u"status 25: Cannot create output directory",
                         u"merge 0 25: Cannot create output directory"}));
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].strings.at(10), u"25: Cannot create output directory");
}

TEST_F(EventReportTest, TiffErrorTexts) {
  JOB_ERROR both = MakeTiffJobError(14, "tiff.cpp", 3, 2, "bad strip");
  EXPECT_EQ(both.strPrintStatus, u"Internal error: 14.");
  EXPECT_TRUE(both.bWritePrintStatus);
  EXPECT_EQ(both.strTiffError, u"2: bad strip");
  EXPECT_EQ(both.strEventText, u"14; TIFF Error: 2 (bad strip)");
  EXPECT_EQ(both.dwMergeErrorNumber, 14u);
  EXPECT_EQ(both.strMergeErrorText, u"Error creating TIFF file. TIFF Error: 2 (bad strip)");

  JOB_ERROR numberOnly = MakeTiffJobError(14, "tiff.cpp", 3, 0, nullptr);
  EXPECT_EQ(numberOnly.strTiffError, u"");
  EXPECT_EQ(numberOnly.strEventText, u"14");
  EXPECT_EQ(numberOnly.strMergeErrorText, u"");

  JOB_ERROR tiffOnly = MakeTiffJobError(0, "tiff.cpp", 3, 5, "no memory");
  EXPECT_FALSE(tiffOnly.bWritePrintStatus);
  EXPECT_EQ(tiffOnly.strEventText, u"TIFF Error: 5 (no memory)");
  EXPECT_EQ(tiffOnly.dwMergeErrorNumber, 0u);
  EXPECT_EQ(tiffOnly.strMergeErrorText, u"Error creating TIFF file. TIFF Error: 5 (no memory)");
  JOB_ERROR tiffNumber = MakeTiffJobError(0, "tiff.cpp", 3, 5, nullptr);
  EXPECT_EQ(tiffNumber.strTiffError, u"5");
  EXPECT_EQ(tiffNumber.strEventText, u"TIFF Error: 5");
  EXPECT_EQ(tiffNumber.strMergeErrorText, u"Error creating TIFF file. TIFF Error: 5");

  Recorder r;
  ApplyJobError(tiffOnly, r.Targets(info_));
  EXPECT_EQ(r.steps, (std::vector<std::u16string>{u"pending", u"group TIFF Error=5: no memory",
                                                  u"message5 Internal error: 0.", u"status Internal error: 0.",
                                                  u"merge 0 Error creating TIFF file. TIFF Error: 5 (no memory)"}));
}

// The module that carries the table registers itself as the message file,
// and FormatMessageW renders an entry from it.
TEST_F(EventReportTest, MessageTableModuleRendersTheEntryText) {
  SetEventMessageFile(nullptr);
  HMODULE module = LoadLibraryW(u"TwLogMessages.dll");
  ASSERT_NE(module, nullptr) << tw::module::LastLoadDiagnostic();
  auto registerSource = reinterpret_cast<BOOL (*)(LPCWSTR)>(GetProcAddress(module, "TwRegisterSource"));
  ASSERT_NE(registerSource, nullptr);
  ASSERT_TRUE(registerSource(u"Office Printer"));
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(RegString(std::u16string(EVENTLOG_APPLICATION_KEY) + u"Office Printer", u"EventMessageFile"),
            std::u16string(path, n));

  const WCHAR* strings[11] = {u"P", u"D", u"U", u"1/2/2026", u"3:04:05 AM", u"1/3/2026", u"6:07:08 PM",
                              u"PC", u"10.1.2.3", u"pc.local", u"Internal error: 57."};
  WCHAR text[1024];
  n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, MSG_PRINTING_ERROR, 0, text,
                     1024, reinterpret_cast<va_list*>(strings));
  ASSERT_GT(n, 0u) << GetLastError();
  EXPECT_EQ(std::u16string(text, n),
            u"Error during printing\r\nPrinter name:\tP\r\nDocument name:\tD\r\nUser name:\tU\r\nDate submitted:\t"
            u"1/2/2026 3:04:05 AM\r\nDate aborted:\t1/3/2026 6:07:08 PM\r\nComputer name:\tPC\r\nIP Address:\t"
            u"10.1.2.3\r\nHost name:\tpc.local\r\nError:\tInternal error: 57.\r\n");
  for (DWORD id : {MSG_PRINTING_FINISHED, MSG_PRINTING_ABORTED}) {
    std::u16string stored;
    ASSERT_EQ(tw::module::FindMessage(module, id, 0, stored), 0u);
    EXPECT_EQ(stored, EventMessageText(id));
  }
  FreeLibrary(module);
}

}  // namespace
