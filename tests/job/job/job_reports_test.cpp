// The job's event entries and error handlers: what the job puts into the
// entries, its logging level, the spooler's identity while reporting, and
// where HandleError and HandleTiffError put an error.
#include <windows.h>

#include <cstring>
#include <fstream>

#include "event_entries.h"
#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "core/log/event_log.h"
#include "core/log/event_messages.h"
#include "core/log/tw_log.h"
#include "tw/eventlog_internal.h"
#include "tw/module.h"
#include "tw/root.h"
#include "tw/token.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kGroupFile[] = u"C:\\out\\Letter.grp";
constexpr DWORD kJobId = 7;

using Entry = twtest::EventEntry;
using twtest::ReadEventEntries;

// One value of the group file's printer section; "<none>" when missing.
std::u16string GroupEntry(const WCHAR* key, const WCHAR* file = kGroupFile) {
  WCHAR value[512];
  GetPrivateProfileStringW(kPrinter, key, u"<none>", value, 512, file);
  return value;
}

std::u16string Format(const SYSTEMTIME& when, bool date) {
  WCHAR text[256] = {};
  if (date) GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &when, nullptr, text, 256);
  else GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, &when, nullptr, text, 256);
  return text;
}

class JobReportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogStateForTests();
    std::filesystem::create_directories(root_.Dir() / "drive_c" / "out");
    spooler_.spooler->AddPrinter(kPrinter, u"C:\\tw_printer.ini");
    spooler_.spooler->AddJob(kJobId, kPrinter, u"Letter.docx");
    spooler_.spooler->SetJobUser(kJobId, u"bob", u"\\\\CLIENT-9");
  }
  void TearDown() override { ResetLogStateForTests(); }

  // A job as the port sets it up.
  std::unique_ptr<CTWJob> MakeJob(DWORD level = 2) {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(kJobId);
    job->SetPrinterName(kPrinter);
    job->SetDocumentName(u"D:\\Docs\\Letter.pdf");
    job->SetSubmitted(kSubmitted);
    job->m_dwEventLoggingLevel = level;
    wcscpy_s(job->m_szGroupFileName, kGroupFile);
    return job;
  }

  static constexpr SYSTEMTIME kSubmitted = {2026, 3, 1, 2, 14, 9, 5, 0};  // Monday 2 March 2026, 14:09:05
  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
};

TEST_F(JobReportsTest, EntriesCarryTheJobsValuesAtItsLoggingLevel) {
  struct Case {
    DWORD level;
    std::vector<std::pair<WORD, DWORD>> expected;  // type and id of each entry
  } cases[] = {
      {0, {}},
      {1, {{EVENTLOG_ERROR_TYPE, MSG_PRINTING_ERROR}}},
      {2, {{EVENTLOG_WARNING_TYPE, MSG_PRINTING_ABORTED}, {EVENTLOG_WARNING_TYPE, MSG_PRINTING_ERROR},
           {EVENTLOG_ERROR_TYPE, MSG_PRINTING_ERROR}}},
      {3, {{EVENTLOG_INFORMATION_TYPE, MSG_PRINTING_FINISHED}, {EVENTLOG_WARNING_TYPE, MSG_PRINTING_ABORTED},
           {EVENTLOG_WARNING_TYPE, MSG_PRINTING_ERROR}, {EVENTLOG_ERROR_TYPE, MSG_PRINTING_ERROR}}},
  };
  for (const auto& c : cases) {
    twtest::TempRoot fresh;
    auto job = MakeJob(c.level);
    // A level that says not to write is no failure.
    EXPECT_TRUE(job->ReportJobEnd(TRUE));
    EXPECT_TRUE(job->ReportJobEnd(FALSE));
    EXPECT_TRUE(job->ReportJobWarning(u"The printed document was blank."));
    EXPECT_TRUE(job->ReportJobError(FALSE, u"Cannot find group file: %s", u"C:\\out\\x.grp"));
    auto entries = ReadEventEntries();
    ASSERT_EQ(entries.size(), c.expected.size()) << "level " << c.level;
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].type, c.expected[i].first) << "level " << c.level << " entry " << i;
      EXPECT_EQ(entries[i].id, c.expected[i].second) << "level " << c.level << " entry " << i;
      EXPECT_EQ(entries[i].source, kPrinter);
    }
    if (c.level != 3) continue;
    const auto& finished = entries[0].strings;
    ASSERT_EQ(finished.size(), 10u);
    const auto machine = tw::config::Get();
    EXPECT_EQ(finished[0], kPrinter);
    EXPECT_EQ(finished[1], u"Letter");  // the cleaned document name
    EXPECT_EQ(finished[2], u"bob");     // the spooler job's owner
    EXPECT_EQ(finished[3], u"3/2/2026");
    EXPECT_EQ(finished[4], u"2:09:05 PM");
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(finished[5], Format(now, true));
    EXPECT_FALSE(finished[6].empty());
    EXPECT_EQ(finished[7], machine->computerName);
    EXPECT_EQ(finished[8], tw::FromUtf8(machine->address));
    EXPECT_EQ(finished[9], machine->dnsName);
    const auto& warning = entries[2].strings;
    ASSERT_EQ(warning.size(), 11u);
    EXPECT_EQ(warning[10], u"The printed document was blank.");
    EXPECT_FALSE(warning[5].empty());
    const auto& error = entries[3].strings;
    ASSERT_EQ(error.size(), 11u);
    EXPECT_EQ(error[5], u"");  // without the current time
    EXPECT_EQ(error[6], u"");
    EXPECT_EQ(error[10], u"Cannot find group file: C:\\out\\x.grp");
  }
}

TEST_F(JobReportsTest, JobUnknownToTheSpoolerReportsWithoutUser) {
  auto job = MakeJob(3);
  job->SetJobID(99);
  ASSERT_TRUE(job->ReportJobEnd(TRUE));
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_EQ(entries[0].strings.size(), 10u);
  EXPECT_EQ(entries[0].strings[2], u"");
  EXPECT_EQ(entries[0].strings[1], u"Letter");
}

TEST_F(JobReportsTest, EnvironmentValuesOfTheRecordFillTheEntry) {
  auto job = MakeJob(3);
  job->m_Environment = {u"carol", u"SALES", u"CLIENT-9", u"10.1.2.3", u"client-9.sales.example"};
  ASSERT_TRUE(job->ReportJobEnd(TRUE));
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 1u);
  const auto& strings = entries[0].strings;
  ASSERT_EQ(strings.size(), 10u);
  EXPECT_EQ(strings[2], u"carol");  // the record's user wins over the queue's owner
  EXPECT_EQ(strings[7], u"CLIENT-9");
  EXPECT_EQ(strings[8], u"10.1.2.3");
  EXPECT_EQ(strings[9], u"client-9.sales.example");
}

// Reports are made as the spooler: the client's identity is given up for the
// report and taken back afterwards, unless the job already gave it up.
TEST_F(JobReportsTest, ReportsGiveUpAndTakeBackTheClientIdentity) {
  auto machine = *tw::config::Get();
  machine.users.push_back({u"alice", u"TARNWICK-PC", u"S-1-5-21-1-2-3-1001", {}});
  ASSERT_TRUE(tw::config::Save(machine));
  tw::module::RegisterBuiltin(u"Spoolss.dll", tw::token::SpoolssExports());
  HANDLE user = tw::token::MakeUserToken(u"alice", 0);
  ASSERT_NE(user, nullptr) << GetLastError();
  ASSERT_TRUE(ImpersonateLoggedOnUser(user));
  CloseHandle(user);
  {
    auto job = MakeJob(3);
    EXPECT_TRUE(job->ReportJobEnd(TRUE));
    EXPECT_TRUE(tw::token::IsImpersonating());
    EXPECT_EQ(tw::token::ThreadUser().name, u"alice");

    // The job works as the spooler and keeps the client's token.
    HANDLE client = RevertToPrinterSelf();
    ASSERT_NE(client, nullptr);
    job->SetClientToken(client);
    EXPECT_TRUE(job->ReportJobWarning(u"Warning %s", u"cover page"));
    EXPECT_FALSE(tw::token::IsImpersonating());
  }
  // The job's destructor gave the identity back.
  EXPECT_TRUE(tw::token::IsImpersonating());
  RevertToSelf();
  EXPECT_EQ(ReadEventEntries().size(), 2u);
}

TEST_F(JobReportsTest, HandleErrorNumberFiftySeven) {
  auto job = MakeJob();
  job->m_bPrintStatusPending = FALSE;
  job->m_szMergeErrorText = u"earlier";
  job->HandleError(57, "tw_job.cpp", 120);
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 57.");
  EXPECT_TRUE(job->m_bPrintStatusPending);
  EXPECT_EQ(job->m_dwMergeErrorNumber, 57u);
  EXPECT_EQ(job->m_szMergeErrorText, u"");
  EXPECT_EQ(GroupEntry(u"Print status"), u"Internal error: 57.");
  EXPECT_EQ(GroupEntry(u"Error Location"), u"<none>");  // "Debug" is off
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(entries[0].id, MSG_PRINTING_ERROR);
  ASSERT_EQ(entries[0].strings.size(), 11u);
  EXPECT_EQ(entries[0].strings[10], u"57");
  EXPECT_FALSE(entries[0].strings[5].empty());  // with the current time
}

TEST_F(JobReportsTest, HandleErrorTextWithDebugAndWithoutGroupFiles) {
  std::ofstream(root_.Dir() / "drive_c" / "PrnDebug.ini") << "[Setting]\r\nDebug=1\r\n";
  ResetLogStateForTests();
  auto job = MakeJob();
  job->m_dwMergeErrorNumber = 12;
  job->HandleError(u"25: Cannot access output directory: \"C:\\none\\\". Directory not found.", "naming.cpp", 88);
  const std::u16string text = u"25: Cannot access output directory: \"C:\\none\\\". Directory not found.";
  EXPECT_EQ(std::u16string(job->PrintStatus()), text);
  EXPECT_EQ(job->m_dwMergeErrorNumber, 0u);
  EXPECT_EQ(job->m_szMergeErrorText, text);
  EXPECT_EQ(GroupEntry(u"Print status"), text);
  EXPECT_EQ(GroupEntry(u"Error Location"), u"naming.cpp line 88");

  // A null text changes nothing.
  job->HandleError(static_cast<const WCHAR*>(nullptr), "naming.cpp", 90);
  EXPECT_EQ(std::u16string(job->PrintStatus()), text);
  EXPECT_EQ(ReadEventEntries().size(), 1u);

  // Group files switched off: the group file is left alone, the rest happens.
  auto quiet = MakeJob();
  quiet->m_DevMode.Flags |= tw::devmode::flags::GroupFileDisabled;
  wcscpy_s(quiet->m_szGroupFileName, u"C:\\out\\quiet.grp");
  quiet->HandleError(u"Could not find font: Arial", "emf.cpp", 5);
  EXPECT_FALSE(std::filesystem::exists(root_.Dir() / "drive_c" / "out" / "quiet.grp"));
  EXPECT_EQ(std::u16string(quiet->PrintStatus()), u"Could not find font: Arial");
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].strings.at(10), u"Could not find font: Arial");
}

TEST_F(JobReportsTest, HandleTiffErrorVariants) {
  auto job = MakeJob();
  job->HandleTiffError(14, "tiff.cpp", 3, 2, "bad strip");
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 14.");
  EXPECT_EQ(GroupEntry(u"Print status"), u"Internal error: 14.");
  EXPECT_EQ(GroupEntry(u"TIFF Error"), u"2: bad strip");
  EXPECT_EQ(job->m_dwMergeErrorNumber, 14u);
  EXPECT_EQ(job->m_szMergeErrorText, u"Error creating TIFF file. TIFF Error: 2 (bad strip)");

  // The TIFF error alone: no "Print status" in the group file.
  auto tiffOnly = MakeJob();
  wcscpy_s(tiffOnly->m_szGroupFileName, u"C:\\out\\tiff.grp");
  tiffOnly->HandleTiffError(0, "tiff.cpp", 4, 5, nullptr);
  EXPECT_EQ(GroupEntry(u"Print status", u"C:\\out\\tiff.grp"), u"<none>");
  EXPECT_EQ(GroupEntry(u"TIFF Error", u"C:\\out\\tiff.grp"), u"5");
  EXPECT_EQ(std::u16string(tiffOnly->PrintStatus()), u"Internal error: 0.");
  EXPECT_EQ(tiffOnly->m_dwMergeErrorNumber, 0u);
  EXPECT_EQ(tiffOnly->m_szMergeErrorText, u"Error creating TIFF file. TIFF Error: 5");

  // The number alone.
  auto numberOnly = MakeJob();
  numberOnly->HandleTiffError(31, "tiff.cpp", 5, 0, "ignored without a number");
  EXPECT_EQ(numberOnly->m_szMergeErrorText, u"");

  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].strings.at(10), u"14; TIFF Error: 2 (bad strip)");
  EXPECT_EQ(entries[1].strings.at(10), u"TIFF Error: 5");
  EXPECT_EQ(entries[2].strings.at(10), u"31");
}

TEST_F(JobReportsTest, RegisteringTheSourceLeavesItsKeyAndNoOpenSource) {
  twtest::LeakGuard leaks;
  {
    auto job = MakeJob();
    ASSERT_TRUE(job->RegisterEventLogSource());
    const std::u16string key = std::u16string(EVENTLOG_APPLICATION_KEY) + kPrinter;
    DWORD types = 0, bytes = sizeof types;
    EXPECT_EQ(
        RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), u"TypesSupported", RRF_RT_REG_DWORD, nullptr, &types, &bytes),
        ERROR_SUCCESS);
    EXPECT_EQ(types, 7u);
    WCHAR file[MAX_PATH] = {};
    bytes = sizeof file;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), u"EventMessageFile", RRF_RT_REG_SZ, nullptr, file, &bytes),
              ERROR_SUCCESS);
    EXPECT_NE(file[0], 0);
    CTWJob nameless;
    EXPECT_FALSE(nameless.RegisterEventLogSource());
  }
}

// A damaged event store fails the entries, never the job's handling of the error.
TEST_F(JobReportsTest, DamagedEventStoreLeavesTheRestOfTheHandling) {
  auto path = tw::eventlog::StorePath();
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << std::string(4096, 'Z');
  auto job = MakeJob(3);
  EXPECT_FALSE(job->RegisterEventLogSource());
  EXPECT_FALSE(job->ReportJobEnd(TRUE));
  job->HandleError(57, "tw_job.cpp", 1);
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 57.");
  EXPECT_EQ(GroupEntry(u"Print status"), u"Internal error: 57.");
  EXPECT_EQ(job->m_dwMergeErrorNumber, 57u);
  EXPECT_EQ(OpenEventLogW(nullptr, u"Application"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT));
}

}  // namespace
