// CTWJob::SetDevMode and CorrectDevMode: which record the job keeps, the
// per-user default, forced paper, shared printers, the values the job
// derives (interface, channels, time-outs, switches, cover page, merge) and
// records of random bytes.
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "event_entries.h"
#include "intake_spooler.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "job/settings/shared_printer.h"
#include "core/log/tw_log.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/module.h"
#include "tw/root.h"
#include "tw/token.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";
constexpr DWORD kJob = 7;

TarnwickDEVMODE Letter(DWORD format = 7) {
  tw::twdriver::DevModeOptions o;
  auto dm = tw::twdriver::MakeDevMode(o);
  dm.FileFormat = format;
  return dm;
}

class JobDevModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spooler_.spooler->dataFile = kIni;
    spooler_.spooler->AddJob(kJob, u"\\\\TARNWICK-PC", u"TARNWICK\\alice");
    drive_ = root_.Dir() / "drive_c";
  }
  void TearDown() override { ResetLogStateForTests(); }

  std::unique_ptr<CTWJob> NewJob() {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(kJob);
    job->SetPrinterName(kPrinter);
    return job;
  }
  static BOOL Take(CTWJob &job, const TarnwickDEVMODE &dm, BOOL first) {
    // An exact heap block, so that a read past the record trips the sanitizer.
    std::vector<BYTE> bytes = twtest::IntakeSpooler::Bytes(dm);
    return job.SetDevMode(bytes.data(), first);
  }
  static st::SettingsScope Scope() { return st::ScopeForPrinter(kPrinter, kJob); }
  static void Ini(const WCHAR *section, const WCHAR *key, const WCHAR *value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, kIni));
  }
  void EnableCaptureLog() {
    std::filesystem::create_directories(drive_ / "Temp");
    std::ofstream(drive_ / "PrnDebug.ini") << "[Setting]\r\nMessage Capture Log Level=3\r\n";
    ResetLogStateForTests();
  }
  std::string CaptureLog() {
    std::ifstream in(drive_ / "Temp" / "MessageCapture_PORTMON_DLL.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  twtest::TempRoot root_;
  twtest::ScopedIntakeSpooler spooler_;
  std::filesystem::path drive_;
};

TEST_F(JobDevModeTest, LetterAt300DpiGetsItsPixelSize) {
  auto job = NewJob();
  auto dm = Letter();
  dm.PaperWidthInPixels = 0;
  dm.PaperHeightInPixels = 0;
  ASSERT_TRUE(Take(*job, dm, TRUE));
  EXPECT_EQ(job->DevMode().PaperWidthInPixels, 2550);
  EXPECT_EQ(job->DevMode().PaperHeightInPixels, 3300);
  EXPECT_EQ(std::u16string(job->PrinterINIFile()), kIni);
}

TEST_F(JobDevModeTest, LaterRecordReplacesTheCopyOnlyWithTheSameFormat) {
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, Letter(7), TRUE));
  auto other = Letter(8);
  other.DM.dmCopies = 3;
  ASSERT_TRUE(Take(*job, other, FALSE));
  EXPECT_EQ(job->DevMode().FileFormat, 7u);
  EXPECT_EQ(job->DevMode().DM.dmCopies, 1);

  auto same = Letter(7);
  same.DM.dmCopies = 4;
  ASSERT_TRUE(Take(*job, same, FALSE));
  EXPECT_EQ(job->DevMode().DM.dmCopies, 4);
}

TEST_F(JobDevModeTest, InconsistentRecordIsReplacedByTheUserDefaultWithCarriedValues) {
  twtest::LeakGuard leaks;
  auto userDefault = Letter(12);
  userDefault.OutputDirectory.Set(u"C:\\Default");
  spooler_.spooler->userDevMode = twtest::IntakeSpooler::Bytes(userDefault);

  tw::twdriver::DevModeOptions o;
  o.orientation = 2;
  o.paperSize = 9;
  o.paperWidth = 2100;
  o.paperLength = 2970;
  o.xDpi = o.yDpi = 200;
  auto dm = tw::twdriver::MakeDevMode(o);
  dm.DM.dmSize = 0x100;  // with dmDriverExtra no longer the record size
  dm.FileFormat = 7;

  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  const auto &copy = job->DevMode();
  EXPECT_EQ(copy.FileFormat, 12u);
  EXPECT_EQ(copy.OutputDirectory.Get(), u"C:\\Default");
  EXPECT_EQ(copy.DM.dmPaperSize, 9);
  EXPECT_EQ(copy.DM.dmOrientation, 2);
  EXPECT_EQ(tw::devmode::GetXDPI(&copy), 200);
  // Landscape A4 at 200 DPI after the correction: width and length exchanged.
  EXPECT_EQ(copy.DM.dmPaperWidth, 2970);
  EXPECT_EQ(copy.DM.dmPaperLength, 2100);
  EXPECT_EQ(copy.PaperWidthInPixels, 2339);
  EXPECT_EQ(copy.PaperHeightInPixels, 1654);
}

TEST_F(JobDevModeTest, InconsistentRecordStaysWithoutAUserDefault) {
  auto dm = Letter(7);
  dm.DM.dmDriverExtra = 12;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  EXPECT_EQ(job->DevMode().FileFormat, 7u);
  EXPECT_EQ(job->DevMode().DM.dmDriverExtra, 12);

  // A default of another driver's size is not used either.
  spooler_.spooler->userDevMode.assign(220, 0);
  auto again = NewJob();
  ASSERT_TRUE(Take(*again, dm, TRUE));
  EXPECT_EQ(again->DevMode().FileFormat, 7u);
}

TEST_F(JobDevModeTest, ForcedPaperAndResolution) {
  auto scope = Scope();
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperEnabled, true));
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperSize, 9));
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperWidth, 2100));
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperHeight, 2970));
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperXDpi, 200));
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperYDpi, 200));
  auto dm = Letter();
  dm.Flags = dm.Flags | dmf::UserResolution;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  const auto &copy = job->DevMode();
  EXPECT_EQ(copy.DM.dmPaperSize, 9);
  EXPECT_EQ(copy.DM.dmPaperWidth, 2100);
  EXPECT_EQ(copy.DM.dmPaperLength, 2970);
  EXPECT_EQ(copy.Flags & dmf::UserResolution, 0u);
  // The correction computes the pixels of the forced paper.
  EXPECT_EQ(copy.PaperWidthInPixels, 1654);
  EXPECT_EQ(copy.PaperHeightInPixels, 2339);

  // Only the resolution.
  ASSERT_TRUE(st::Write(scope, st::PageForcePaperEnabled, false));
  ASSERT_TRUE(st::Write(scope, st::PageForceDpiEnabled, true));
  auto second = NewJob();
  ASSERT_TRUE(Take(*second, Letter(), TRUE));
  EXPECT_EQ(second->DevMode().DM.dmPaperSize, 1);
  EXPECT_EQ(tw::devmode::GetYDPI(&second->DevMode()), 200);
  EXPECT_EQ(second->DevMode().PaperWidthInPixels, 1700);
}

TEST_F(JobDevModeTest, SharedPrinterTakesTheServersSettings) {
  twtest::LeakGuard leaks;
  spooler_.spooler->attributes = 0x8;
  spooler_.spooler->AddJob(kJob, u"\\\\OTHER-PC", u"TARNWICK\\bob");
  auto server = Letter(7);
  server.OutputDirectory.Set(u"C:\\Server");
  server.StartAppFlags = 0x5;
  server.DM.dmCopies = 9;
  spooler_.spooler->globalDevMode = twtest::IntakeSpooler::Bytes(server);

  auto client = Letter(7);
  client.OutputDirectory.Set(u"C:\\Client");
  client.Flags = client.Flags | dmf::SaveAs;
  client.DM.dmCopies = 2;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, client, TRUE));
  EXPECT_TRUE(job->m_bSharedPrinter);
  EXPECT_TRUE(job->m_bDataTypeFlag);  // works in the spooler's context
  const auto &copy = job->DevMode();
  EXPECT_EQ(copy.OutputDirectory.Get(), u"C:\\Server");
  EXPECT_EQ(copy.StartAppFlags, 0x5u);
  EXPECT_EQ(copy.DM.dmCopies, 2);  // the standard part stays the client's
  EXPECT_EQ(copy.Flags & dmf::SaveAs, 0u);
  // The environment comes from the spooler's job.
  EXPECT_EQ(job->m_Environment.userName, u"bob");
  EXPECT_EQ(job->m_Environment.computerName, u"OTHER-PC");

  // "Ignore DEVMODE from clients": the server's standard part.
  Ini(u"Sharing Settings", u"Ignore DEVMODE from clients", u"1");
  auto ignoring = NewJob();
  ASSERT_TRUE(Take(*ignoring, client, TRUE));
  EXPECT_EQ(ignoring->DevMode().DM.dmCopies, 9);
}

TEST_F(JobDevModeTest, LocalJobOnASharedPrinterIsNotShared) {
  spooler_.spooler->attributes = 0x8;
  auto dm = Letter();
  dm.ClientComputerName.Set(u"TARNWICK-PC");
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  EXPECT_FALSE(job->m_bSharedPrinter);
  EXPECT_FALSE(job->m_bDataTypeFlag);
}

TEST_F(JobDevModeTest, DataTypeValueIsTakenAndDeleted) {
  auto scope = Scope();
  ASSERT_TRUE(st::Write(scope, st::JobDataType, u"RAW", st::Fill{std::nullopt, kJob}));
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, Letter(), TRUE));
  EXPECT_TRUE(job->m_bDataTypeFlag);
  EXPECT_FALSE(st::TryReadText(scope, st::JobDataType, 0, st::Fill{std::nullopt, kJob}).found);

  ASSERT_TRUE(st::Write(scope, st::JobDataType, u"raw", st::Fill{std::nullopt, kJob}));
  auto other = NewJob();
  ASSERT_TRUE(Take(*other, Letter(), TRUE));
  EXPECT_FALSE(other->m_bDataTypeFlag);
}

TEST_F(JobDevModeTest, RawJobWorksAsTheSpoolerAndGivesTheClientBackAtItsEnd) {
  auto machine = *tw::config::Get();
  machine.users.push_back({u"alice", u"TARNWICK-PC", u"S-1-5-21-1-2-3-1001", {}});
  ASSERT_TRUE(tw::config::Save(machine));
  tw::module::RegisterBuiltin(u"Spoolss.dll", tw::token::SpoolssExports());
  ASSERT_TRUE(st::Write(Scope(), st::JobDataType, u"TEXT"));
  HANDLE user = tw::token::MakeUserToken(u"alice", 0);
  ASSERT_NE(user, nullptr) << GetLastError();
  ASSERT_TRUE(ImpersonateLoggedOnUser(user));
  CloseHandle(user);
  ASSERT_TRUE(st::Write(Scope(), st::EnvUserName, u"printer-side"));
  {
    auto job = NewJob();
    ASSERT_TRUE(Take(*job, Letter(), TRUE));
    EXPECT_TRUE(job->m_bDataTypeFlag);
    EXPECT_NE(job->m_hClientToken, nullptr);
    EXPECT_FALSE(tw::token::IsImpersonating());
    // Working as the spooler there is no client token to expand with: the
    // printer's "EnvVars" value.
    EXPECT_EQ(job->m_Environment.userName, u"printer-side");
  }
  EXPECT_TRUE(tw::token::IsImpersonating());
  EXPECT_EQ(tw::token::ThreadUser().name, u"alice");
  {
    // Another job stays in the client's context and expands as the client.
    auto job = NewJob();
    ASSERT_TRUE(Take(*job, Letter(), TRUE));
    EXPECT_FALSE(job->m_bDataTypeFlag);
    EXPECT_TRUE(tw::token::IsImpersonating());
    EXPECT_EQ(job->m_Environment.userName, u"alice");
  }
  RevertToSelf();
}

TEST_F(JobDevModeTest, InterfaceChannelsTimeoutsAndCaptureLines) {
  EnableCaptureLog();
  auto scope = Scope();
  ASSERT_TRUE(st::Write(scope, st::MessagingInterfaceName, u"MyApp"));
  ASSERT_TRUE(st::Write(scope, st::MessagingInterfaceId, 5));
  Ini(u"Default Settings", u"Start Application Timeout", u"1234");
  Ini(u"Default Settings", u"Messaging Timeout 2", u"77");
  Ini(u"OCR Settings", u"Write Bitmaps", u"YES");
  Ini(u"OCR Settings", u"Bitmap Directory", u"C:\\Bitmaps");
  auto dm = Letter();
  dm.Flags = dm.Flags | dmf::GenerateInMemory | dmf::NoFileOutput | dmf::MessagingInterface;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));

  EXPECT_EQ(job->m_szMessagingInterfaceName, u"MyApp");
  EXPECT_EQ(job->m_dwMessagingInterfaceID, 5u);
  EXPECT_EQ(job->m_ChannelNames.clientPipe, u"\\\\.\\pipe\\MyApp5");
  EXPECT_EQ(job->m_ChannelNames.previewPipe.rfind(u"\\\\.\\pipe\\TW_PREVIEW_5_7_", 0), 0u);
  EXPECT_TRUE(job->m_ChannelNames.previewPipe.ends_with(u"_Tarnwick_Printer"));
  EXPECT_EQ(job->m_ChannelNames.previewAbortEvent.rfind(u"Global\\TW_PREVIEW_ABORT_5_7_", 0), 0u);
  EXPECT_EQ(job->m_dwStartApplicationTimeout, 1234u);
  EXPECT_EQ(job->m_dwMessagingTimeout, 10000u);
  EXPECT_EQ(job->m_dwMessagingTimeout2, 77u);
  EXPECT_TRUE(job->m_bWriteOcrBitmaps);
  EXPECT_EQ(job->m_szOcrBitmapDirectory, u"C:\\Bitmaps");

  EXPECT_TRUE(job->m_bGenerateInMemory);
  EXPECT_FALSE(job->m_bNoFileOutput);
  EXPECT_EQ(job->DevMode().Flags & dmf::NoFileOutput, 0u);

  std::string log = CaptureLog();
  for (const char *line :
       {"Pipe name: \\\\.\\pipe\\MyApp5", "Messaging interface enabled.", "Generate output in memory enabled.",
        "Start Application Timeout = 1234", "Messaging Timeout = 10000", "Messaging Timeout 2 = 77"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(JobDevModeTest, WithoutInMemoryTheNoFileSwitchStays) {
  EnableCaptureLog();
  auto dm = Letter();
  dm.Flags = dm.Flags | dmf::NoFileOutput;
  dm.MessagingInterfaceName.Set(u"FromRecord");
  dm.SessionID = 3;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  EXPECT_FALSE(job->m_bGenerateInMemory);
  EXPECT_TRUE(job->m_bNoFileOutput);
  EXPECT_NE(job->DevMode().Flags & dmf::NoFileOutput, 0u);
  EXPECT_EQ(job->m_ChannelNames.clientPipe, u"\\\\.\\pipe\\FromRecord3");
  std::string log = CaptureLog();
  EXPECT_NE(log.find("Messaging interface disabled."), std::string::npos) << log;
  EXPECT_NE(log.find("Generate output in memory disabled."), std::string::npos) << log;
}

TEST_F(JobDevModeTest, CoverPageAcceptanceAndRefusal) {
  auto scope = Scope();
  std::ofstream(drive_ / "cover.PDF") << "%PDF-1.4";
  ASSERT_TRUE(st::Write(scope, st::CoverEnable, 1));
  ASSERT_TRUE(st::Write(scope, st::CoverEnableDefault, 1));
  ASSERT_TRUE(st::Write(scope, st::CoverDefaultCoverPage, u"C:\\cover.PDF"));

  auto dm = Letter(3);
  dm.Flags2 = tw::devmode::flags2::MergeWindow;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  EXPECT_EQ(job->m_szCoverPage, u"C:\\cover.PDF");
  EXPECT_TRUE(job->m_bPdfCoverPage);
  EXPECT_TRUE(job->m_bOpenOutputForCoverPage);
  EXPECT_EQ(job->DevMode().Flags2 & tw::devmode::flags2::MergeWindow, 0);

  // Not ".pdf" exactly, so not a PDF cover page for a PDF format: refused.
  auto refused = NewJob();
  ASSERT_TRUE(Take(*refused, Letter(35), TRUE));
  EXPECT_TRUE(refused->m_szCoverPage.empty());
  EXPECT_FALSE(refused->m_bPdfCoverPage);

  // A missing file is refused too.
  ASSERT_TRUE(st::Write(scope, st::CoverDefaultCoverPage, u"C:\\missing.tif"));
  auto missing = NewJob();
  ASSERT_TRUE(Take(*missing, Letter(3), TRUE));
  EXPECT_TRUE(missing->m_szCoverPage.empty());
  // The refusal is an error entry of the event log; the job goes on.
  bool reported = false;
  for (const auto &entry : twtest::ReadEventEntries())
    for (const auto &text : entry.strings)
      if (entry.type == EVENTLOG_ERROR_TYPE &&
          text.find(u"412: Could not load Cover Page: C:\\missing.tif") != std::u16string::npos)
        reported = true;
  EXPECT_TRUE(reported);
  EXPECT_FALSE(missing->AbortPrinting());
}

TEST_F(JobDevModeTest, MergeWindowNeedsTheUtilityAndAppendedOutput) {
  auto dm = Letter();
  dm.Flags = dm.Flags | dmf::KeepExistingFiles;
  dm.Flags2 = tw::devmode::flags2::MergeWindow;
  // No merge utility: the job prints without merging.
  auto plain = NewJob();
  ASSERT_TRUE(Take(*plain, dm, TRUE));
  EXPECT_EQ(plain->DevMode().Flags2 & tw::devmode::flags2::MergeWindow, 0);
  EXPECT_FALSE(plain->m_bMergeActive);
  EXPECT_FALSE(plain->AbortPrinting());

  // With the utility installed the job still prints: until the utility's
  // hand-shake is built merge mode is off, as without a utility.
  std::ofstream(drive_ / "merge.exe") << "x";
  ASSERT_TRUE(st::Write(Scope(), st::NamingMergeUtility, u"C:\\merge.exe"));
  auto merging = NewJob();
  ASSERT_TRUE(Take(*merging, dm, TRUE));
  EXPECT_EQ(merging->DevMode().Flags2 & tw::devmode::flags2::MergeWindow, 0);
  EXPECT_FALSE(merging->m_bMergeActive);
  EXPECT_FALSE(merging->AbortPrinting());
  ASSERT_TRUE(merging->StartDoc());
  EXPECT_TRUE(merging->StartPage());

  // A job that overwrites its output never merges.
  auto overwrite = Letter();
  overwrite.Flags = overwrite.Flags | dmf::OverwriteExisting;
  overwrite.Flags2 = tw::devmode::flags2::MergeWindow;
  auto single = NewJob();
  ASSERT_TRUE(Take(*single, overwrite, TRUE));
  EXPECT_FALSE(single->m_bMergeActive);
  EXPECT_NE(single->DevMode().Flags2 & tw::devmode::flags2::MergeWindow, 0);

  // Save-As (session 0) switches the merge window off before it is tried.
  auto saveAs = dm;
  saveAs.Flags = saveAs.Flags | dmf::SaveAs;
  auto session0 = NewJob();
  ASSERT_TRUE(Take(*session0, saveAs, TRUE));
  EXPECT_FALSE(session0->m_bMergeActive);
  EXPECT_EQ(session0->DevMode().Flags2 & tw::devmode::flags2::MergeWindow, 0);
}

TEST_F(JobDevModeTest, TemporaryGroupFileForUploadsIsMadeOnce) {
  twtest::LeakGuard leaks;
  auto scope = Scope();
  ASSERT_TRUE(st::Write(scope, st::PostPrintFtpUpload, true));
  ASSERT_TRUE(st::Write(scope, st::FtpSelectedConnection, 1));
  auto dm = Letter();
  dm.Flags = dm.Flags | dmf::GroupFileDisabled;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  const std::u16string path = job->m_szTemporaryGroupFiles[0];
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find(u"TW_FTP_0_7_"), std::u16string::npos);
  EXPECT_TRUE(path.ends_with(u"_Tarnwick_Printer.grp"));
  for (int i = 1; i < CTWJob::kTemporaryGroupActions; ++i) EXPECT_TRUE(job->m_szTemporaryGroupFiles[i].empty());

  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  BYTE head[2] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, head, 2, &read, nullptr));
  CloseHandle(file);
  EXPECT_EQ(head[0], 0xFF);
  EXPECT_EQ(head[1], 0xFE);
  WCHAR value[8] = {};
  GetPrivateProfileStringW(kPrinter, u"Temporary", u"", value, 8, path.c_str());
  EXPECT_EQ(std::u16string(value), u"1");

  // A later record of the same format makes no second file.
  ASSERT_TRUE(Take(*job, dm, FALSE));
  EXPECT_EQ(job->m_szTemporaryGroupFiles[0], path);

  // Output in memory needs none.
  auto inMemory = dm;
  inMemory.Flags = inMemory.Flags | dmf::GenerateInMemory;
  auto memoryJob = NewJob();
  ASSERT_TRUE(Take(*memoryJob, inMemory, TRUE));
  EXPECT_TRUE(memoryJob->m_szTemporaryGroupFiles[0].empty());
}

TEST_F(JobDevModeTest, TiffViewerJobGetsItsTemporaryGroupFileFromTheFirstRecord) {
  std::ofstream(drive_ / "viewer.exe") << "x";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App"
                            u" Paths\\TwImageView.exe",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const WCHAR viewer[] = u"C:\\viewer.exe";
  ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(viewer), sizeof viewer),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(st::Write(Scope(), st::PostPrintOpenTiffViewer, true));

  auto dm = Letter(3);
  dm.Flags = dm.Flags | dmf::GroupFileDisabled;
  auto job = NewJob();
  ASSERT_TRUE(Take(*job, dm, TRUE));
  EXPECT_TRUE(job->m_bTiffViewer);
  const std::u16string &path = job->m_szTemporaryGroupFiles[static_cast<int>(st::TemporaryGroupAction::TiffViewer)];
  EXPECT_NE(path.find(u"TW_TiffViewer_0_7_"), std::u16string::npos) << tw::ToUtf8(path);
  EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

  // A format the viewer does not open.
  auto pdf = NewJob();
  ASSERT_TRUE(Take(*pdf, Letter(35), TRUE));
  EXPECT_FALSE(pdf->m_bTiffViewer);
}

TEST_F(JobDevModeTest, StartForMessagingWaitsForTheApplicationsEvent) {
  twtest::LeakGuard leaks;
  ASSERT_TRUE(st::Write(Scope(), st::MessagingInterfaceName, u"MyApp"));
  Ini(u"Default Settings", u"Start Application Timeout", u"60000");
  auto dm = Letter();
  dm.StartAppFlags = tw::devmode::startapp::Start | tw::devmode::startapp::ForMessaging;
  dm.ApplicationPath.Set(u"C:\\app.exe");
  // The application: opens the job's event once it exists and signals it.
  std::atomic<bool> signalled{false};
  std::thread application([&] {
    for (int i = 0; i < 2000 && !signalled; ++i) {
      if (HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, u"Global\\MyApp_7")) {
        SetEvent(event);
        CloseHandle(event);
        signalled = true;
      } else {
        Sleep(5);
      }
    }
  });
  auto job = NewJob();
  EXPECT_TRUE(Take(*job, dm, TRUE));
  application.join();
  EXPECT_TRUE(signalled);
}

// The record of every page asks the spooler again, through the printer the
// job opened once.
TEST_F(JobDevModeTest, PageRecordsDoNotReopenThePrinter) {
  spooler_.spooler->attributes = st::kPrinterAttributeShared;  // the shared copy asks at every page too
  twtest::LeakGuard leaks;
  {
    auto job = NewJob();
    ASSERT_TRUE(Take(*job, Letter(), TRUE));
    const int afterDocument = spooler_.spooler->opened;
    EXPECT_GE(afterDocument, 1);
    for (int page = 0; page < 3; ++page) ASSERT_TRUE(Take(*job, Letter(), FALSE));
    EXPECT_EQ(spooler_.spooler->opened, afterDocument);
  }
}

TEST_F(JobDevModeTest, SwapLandscapeWidthHeightOnlyForLandscape) {
  auto job = NewJob();
  auto dm = Letter();
  dm.PaperWidthInPixels = 10;
  dm.PaperHeightInPixels = 20;
  job->SwapLandscapeWidthHeight(dm);
  EXPECT_EQ(dm.DM.dmPaperWidth, 2159);
  EXPECT_EQ(dm.PaperWidthInPixels, 10);
  dm.DM.dmOrientation = 2;
  job->SwapLandscapeWidthHeight(dm);
  EXPECT_EQ(dm.DM.dmPaperWidth, 2794);
  EXPECT_EQ(dm.DM.dmPaperLength, 2159);
  EXPECT_EQ(dm.PaperWidthInPixels, 20);
  EXPECT_EQ(dm.PaperHeightInPixels, 10);
  EXPECT_EQ(dm.DM.dmScale, 100);
}

// Records of random bytes: the job neither crashes nor reads past a field,
// keeps the record's own bytes where nothing corrects them, and leaves a
// colour mode the writers accept.
TEST_F(JobDevModeTest, RandomRecordsAreTakenSafely) {
  twtest::LeakGuard leaks;
  std::mt19937 random(20261209);
  auto fill = [&](TarnwickDEVMODE &dm) {
    auto *bytes = reinterpret_cast<BYTE *>(&dm);
    for (size_t i = 0; i < sizeof dm; ++i) bytes[i] = static_cast<BYTE>(random());
  };
  // Every string field without a terminator.
  auto unterminated = [](TarnwickDEVMODE &dm) {
    auto fillString = [](auto &field) { std::memset(field.raw, 'A', sizeof field.raw); };
    fillString(dm.DM.dmDeviceName);
    fillString(dm.DM.dmFormName);
    fillString(dm.ApplicationPath);
    fillString(dm.OutputDirectory);
    fillString(dm.ImageFileName);
    fillString(dm.FileNamePrefix);
    fillString(dm.FileExtension);
    fillString(dm.MessagingInterfaceName);
    fillString(dm.NamingSettingsPath);
    fillString(dm.TiffDllName);
    fillString(dm.JpegDllName);
    fillString(dm.ResourceDllName);
    fillString(dm.UserSID);
    fillString(dm.ClientUserName);
    fillString(dm.ClientComputerName);
    fillString(dm.ClientDomain);
    fillString(dm.ClientIPAddress);
    fillString(dm.WatermarkPortraitImage);
    fillString(dm.WatermarkLandscapeImage);
    fillString(dm.AnnotationText);
    fillString(dm.AnnotationText2);
    fillString(dm.CustomParameter);
  };
  spooler_.spooler->userDevMode = twtest::IntakeSpooler::Bytes(Letter(5));
  for (int round = 0; round < 60; ++round) {
    TarnwickDEVMODE dm;
    fill(dm);
    const int kind = round % 3;
    if (kind >= 1) {
      dm.DM.dmSize = tw::devmode::kStandardPartSize;
      dm.DM.dmDriverExtra = tw::devmode::kPrivatePartSize;
    }
    if (kind == 2) unterminated(dm);
    if (round % 4 == 0)
      spooler_.spooler->attributes = 0x8;
    else
      spooler_.spooler->attributes = 0;

    auto job = NewJob();
    ASSERT_TRUE(Take(*job, dm, TRUE));
    const auto &copy = job->DevMode();
    EXPECT_LE(copy.ColorMode, 3u);
    EXPECT_TRUE(copy.DM.dmBitsPerPel == 1 || copy.DM.dmBitsPerPel == 24) << copy.DM.dmBitsPerPel;
    if (kind == 2 && !job->m_bSharedPrinter) {
      EXPECT_EQ(std::memcmp(copy.ResourceDllName.raw, dm.ResourceDllName.raw, sizeof dm.ResourceDllName.raw), 0);
      EXPECT_EQ(copy.ClientDomain.Get(), std::u16string(16, u'\x4141'));
    }
    // Later records, of random and of the same format.
    for (int later = 0; later < 2; ++later) {
      TarnwickDEVMODE next;
      fill(next);
      if (later == 1) next.FileFormat = copy.FileFormat;
      EXPECT_TRUE(Take(*job, next, FALSE));
    }
    TarnwickDEVMODE corrected;
    fill(corrected);
    job->CorrectDevMode(corrected);
    EXPECT_LE(corrected.ColorMode, 3u);
  }
}

}  // namespace
