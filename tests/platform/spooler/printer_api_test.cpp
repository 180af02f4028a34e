// The spooler client functions: handles, size queries, buffer layouts and
// errors, over a provider the test installs, and the machine provider.
#include <windows.h>

#include <cstring>

#include "tw/machine_spooler.h"
#include "tw_test.h"

namespace {

using tw::spool::DriverSetup;
using tw::spool::MachineSpooler;
using tw::spool::PrinterSetup;

// Installs a provider for the test's lifetime.
class ProviderScope {
 public:
  explicit ProviderScope(std::shared_ptr<tw::spool::Provider> p) : old_(tw::spool::SetProvider(std::move(p))) {}
  ~ProviderScope() { tw::spool::SetProvider(old_); }

 private:
  std::shared_ptr<tw::spool::Provider> old_;
};

std::vector<BYTE> FakeDevMode(const char16_t* device, WORD extra) {
  std::vector<BYTE> bytes(sizeof(DEVMODEW) + extra, 0);
  DEVMODEW dm{};
  std::u16string d(device);
  std::memcpy(dm.dmDeviceName, d.c_str(), (d.size() + 1) * 2);
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = extra;
  std::memcpy(bytes.data(), &dm, sizeof dm);
  bytes.back() = 0x5A;
  return bytes;
}

class MachineSpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MachineSpooler::AddDriver({u"Test Driver", u"TWDRV.DLL", u"TARNWICK.INI", u"TWUI.DLL"}), 0u);
    PrinterSetup p;
    p.name = u"Office Printer";
    p.port = u"TW01:";
    p.driver = u"Test Driver";
    p.defaultDevMode = FakeDevMode(u"Office Printer", 100);
    ASSERT_EQ(MachineSpooler::AddPrinter(p), 0u);
  }
  twtest::TempRoot root_;
  std::shared_ptr<MachineSpooler> spooler_ = std::make_shared<MachineSpooler>();
  ProviderScope scope_{spooler_};
};

TEST(PrinterApiTest, WithoutProviderEverythingFailsAsWithAStoppedSpooler) {
  twtest::TempRoot root;
  ProviderScope none(nullptr);
  HANDLE h = reinterpret_cast<HANDLE>(1);
  WCHAR name[] = u"Office Printer";
  EXPECT_FALSE(OpenPrinterW(name, &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(h, nullptr);
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST_F(MachineSpoolerTest, OpenAndCloseCountHandlesAndRejectBadOnes) {
  twtest::LeakGuard guard;
  HANDLE h = nullptr;
  WCHAR upper[] = u"OFFICE PRINTER", unknown[] = u"Nobody", bad[] = u"a\\b";
  ASSERT_TRUE(OpenPrinterW(upper, &h, nullptr));  // names ignore case
  EXPECT_EQ(tw::debug::Get(tw::debug::Counter::PrinterHandles) > 0, true);
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(OpenPrinterW(unknown, &h, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_FALSE(OpenPrinterW(bad, &h, nullptr));
  EXPECT_FALSE(OpenPrinterW(nullptr, &h, nullptr));
  EXPECT_FALSE(OpenPrinterW(upper, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(reinterpret_cast<HANDLE>(0x77), 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(MachineSpoolerTest, GetPrinterLevelsPackRecordDevModeAndStrings) {
  twtest::LeakGuard guard;
  HANDLE h = nullptr;
  WCHAR name[] = u"Office Printer";
  ASSERT_TRUE(OpenPrinterW(name, &h, nullptr));
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, sizeof(PRINTER_INFO_2W) + 320);
  std::vector<BYTE> buf(needed);
  // One byte short still fails and reports the same size.
  DWORD again = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, buf.data(), needed - 1, &again));
  EXPECT_EQ(again, needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), needed, &needed));
  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  EXPECT_EQ(std::u16string(p2->pPrinterName), u"Office Printer");
  EXPECT_EQ(std::u16string(p2->pPortName), u"TW01:");
  EXPECT_EQ(std::u16string(p2->pDriverName), u"Test Driver");
  EXPECT_EQ(p2->pServerName, nullptr);
  ASSERT_NE(p2->pDevMode, nullptr);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(p2->pDevMode) % 8, 0u);
  EXPECT_EQ(p2->pDevMode->dmDriverExtra, 100);
  EXPECT_EQ(reinterpret_cast<BYTE*>(p2->pDevMode)[sizeof(DEVMODEW) + 99], 0x5A);
  // Every pointer stays inside the buffer.
  for (LPWSTR s : {p2->pPrinterName, p2->pPortName, p2->pComment, p2->pDatatype, p2->pParameters}) {
    EXPECT_GE(reinterpret_cast<BYTE*>(s), buf.data() + sizeof(PRINTER_INFO_2W));
    EXPECT_LE(reinterpret_cast<BYTE*>(s + std::u16string(s).size() + 1), buf.data() + needed);
  }
  EXPECT_EQ(p2->Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));

  // Level 8: the global DEVMODE; level 9: the user's own, which does not exist.
  EXPECT_FALSE(GetPrinterW(h, 8, nullptr, 0, &needed));
  EXPECT_EQ(needed, 8u + sizeof(DEVMODEW) + 100);
  std::vector<BYTE> b8(needed);
  ASSERT_TRUE(GetPrinterW(h, 8, b8.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_8W*>(b8.data())->pDevMode->dmSize, sizeof(DEVMODEW));
  EXPECT_FALSE(GetPrinterW(h, 9, nullptr, 0, &needed));
  EXPECT_EQ(needed, 8u);
  PRINTER_INFO_9W p9{reinterpret_cast<LPDEVMODEW>(1)};
  ASSERT_TRUE(GetPrinterW(h, 9, reinterpret_cast<LPBYTE>(&p9), sizeof p9, &needed));
  EXPECT_EQ(p9.pDevMode, nullptr);
  // A user default appears at level 9.
  auto userDm = FakeDevMode(u"Office Printer", 4);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Printers\\DevModePerUser", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            0);
  RegSetValueExW(key, u"Office Printer", 0, REG_BINARY, userDm.data(), static_cast<DWORD>(userDm.size()));
  RegCloseKey(key);
  EXPECT_FALSE(GetPrinterW(h, 9, nullptr, 0, &needed));
  std::vector<BYTE> b9(needed);
  ASSERT_TRUE(GetPrinterW(h, 9, b9.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_9W*>(b9.data())->pDevMode->dmDriverExtra, 4);

  EXPECT_FALSE(GetPrinterW(h, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  ClosePrinter(h);
}

TEST_F(MachineSpoolerTest, StringsAfterAnOddSizedDevModeStayAligned) {
  PrinterSetup p;
  p.name = u"Odd Printer";
  p.port = u"TW02:";
  p.driver = u"Test Driver";
  p.defaultDevMode = FakeDevMode(u"Odd Printer", 6659);  // 6879 bytes, as the driver's record
  ASSERT_EQ(MachineSpooler::AddPrinter(p), 0u);
  HANDLE h = nullptr;
  WCHAR name[] = u"Odd Printer";
  ASSERT_TRUE(OpenPrinterW(name, &h, nullptr));
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), needed, &needed));
  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  ASSERT_NE(p2->pDevMode, nullptr);
  for (LPWSTR s : {p2->pPrinterName, p2->pPortName, p2->pDriverName, p2->pSepFile, p2->pPrintProcessor,
                   p2->pDatatype, p2->pParameters}) {
    if (!s) continue;
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(s) % 2, 0u);
    EXPECT_LE(reinterpret_cast<BYTE*>(s), buf.data() + needed - 2);
  }
  EXPECT_EQ(std::u16string(p2->pPortName), u"TW02:");
  ClosePrinter(h);
}

TEST_F(MachineSpoolerTest, JobsAnswerGetJobAndObeySetJob) {
  twtest::LeakGuard guard;
  DWORD id1 = 0, id2 = 0;
  ASSERT_EQ(spooler_->AddJob(u"Office Printer", u"Report.docx", u"alice", id1), 0u);
  ASSERT_EQ(spooler_->AddJob(u"Office Printer", u"Second", u"bob", id2), 0u);
  EXPECT_NE(id1, id2);
  HANDLE h = nullptr;
  WCHAR name[] = u"Office Printer";
  ASSERT_TRUE(OpenPrinterW(name, &h, nullptr));
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(h, id1, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(GetJobW(h, id1, 1, buf.data(), needed, &needed));
  auto* j1 = reinterpret_cast<JOB_INFO_1W*>(buf.data());
  EXPECT_EQ(j1->JobId, id1);
  EXPECT_EQ(std::u16string(j1->pDocument), u"Report.docx");
  EXPECT_EQ(std::u16string(j1->pUserName), u"alice");
  EXPECT_EQ(j1->Status & JOB_STATUS_DELETING, 0u);
  EXPECT_GE(j1->Submitted.wYear, 2020);

  EXPECT_FALSE(GetJobW(h, id2, 2, nullptr, 0, &needed));
  std::vector<BYTE> b2(needed);
  ASSERT_TRUE(GetJobW(h, id2, 2, b2.data(), needed, &needed));
  auto* j2 = reinterpret_cast<JOB_INFO_2W*>(b2.data());
  EXPECT_EQ(std::u16string(j2->pDriverName), u"Test Driver");
  ASSERT_NE(j2->pDevMode, nullptr);
  EXPECT_EQ(j2->pDevMode->dmDriverExtra, 100);

  EXPECT_FALSE(GetJobW(h, 9999, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  EXPECT_TRUE(SetJobW(h, id1, 0, nullptr, JOB_CONTROL_PAUSE));
  EXPECT_TRUE(spooler_->SetJobPhase(id1, "WritePort"));
  EXPECT_TRUE(SetJobW(h, id1, 0, nullptr, JOB_CONTROL_CANCEL));
  EXPECT_FALSE(SetJobW(h, id1, 0, nullptr, 42));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(SetJobW(h, id1, 1, buf.data(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  auto controls = spooler_->JobControls(id1);
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].command, static_cast<DWORD>(JOB_CONTROL_PAUSE));
  EXPECT_EQ(controls[1].command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
  EXPECT_EQ(controls[1].phase, "WritePort");
  ASSERT_TRUE(GetJobW(h, id1, 1, buf.data(), static_cast<DWORD>(buf.size()), &needed));
  EXPECT_EQ(j1->Status & (JOB_STATUS_DELETING | JOB_STATUS_PAUSED),
            static_cast<DWORD>(JOB_STATUS_DELETING | JOB_STATUS_PAUSED));

  // A job of another printer is not reachable through this handle.
  ASSERT_EQ(MachineSpooler::AddPrinter({u"Other", u"TW02:", u"Test Driver", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}),
            0u);
  DWORD other = 0;
  ASSERT_EQ(spooler_->AddJob(u"Other", u"x", u"alice", other), 0u);
  EXPECT_FALSE(SetJobW(h, other, 0, nullptr, JOB_CONTROL_CANCEL));
  EXPECT_TRUE(spooler_->RemoveJob(id1));
  EXPECT_FALSE(GetJobW(h, id1, 1, nullptr, 0, &needed));
  ClosePrinter(h);
}

TEST_F(MachineSpoolerTest, DriverDataFileDriverDirectoryAndPrinterData) {
  twtest::LeakGuard guard;
  HANDLE h = nullptr;
  WCHAR name[] = u"Office Printer", env[] = u"Windows x64", badEnv[] = u"Windows NT x86";
  ASSERT_TRUE(OpenPrinterW(name, &h, nullptr));
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed));
  std::vector<BYTE> buf(needed + 4);
  ASSERT_TRUE(GetPrinterDriverW(h, env, 2, buf.data(), needed + 4, &needed));
  auto* d = reinterpret_cast<DRIVER_INFO_2W*>(buf.data());
  EXPECT_EQ(d->cVersion, 3u);
  EXPECT_EQ(std::u16string(d->pDataFile), u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI");
  EXPECT_FALSE(GetPrinterDriverW(h, badEnv, 2, buf.data(), needed, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));

  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed));
  std::vector<BYTE> dir(needed);
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, dir.data(), needed, &needed));
  EXPECT_EQ(std::u16string(reinterpret_cast<WCHAR*>(dir.data())), u"C:\\Windows\\System32\\spool\\drivers\\x64");
  WCHAR server[] = u"\\\\elsewhere";
  EXPECT_FALSE(GetPrinterDriverDirectoryW(server, nullptr, 1, dir.data(), needed, &needed));

  WCHAR value[] = u"Color", missing[] = u"Nope";
  DWORD type = 0;
  EXPECT_EQ(GetPrinterDataW(h, missing, &type, nullptr, 0, &needed), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(MachineSpooler::SetPrinterDataValue(u"Office Printer", u"Color", REG_DWORD, {1, 0, 0, 0}), 0u);
  EXPECT_EQ(GetPrinterDataW(h, value, &type, nullptr, 0, &needed), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 4u);
  DWORD color = 0;
  EXPECT_EQ(GetPrinterDataW(h, value, &type, reinterpret_cast<LPBYTE>(&color), 4, &needed), 0u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(color, 1u);
  ClosePrinter(h);
}

TEST_F(MachineSpoolerTest, AddAndDeletePrintersCheckNamesAndDrivers) {
  PrinterSetup p{u"Office Printer", u"TW01:", u"Test Driver", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}};
  EXPECT_EQ(MachineSpooler::AddPrinter(p), static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS));
  p.name = u"New";
  p.driver = u"Missing Driver";
  EXPECT_EQ(MachineSpooler::AddPrinter(p), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER));
  p.name = u"Bad,Name";
  p.driver = u"Test Driver";
  EXPECT_EQ(MachineSpooler::AddPrinter(p), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_EQ(MachineSpooler::Printers().size(), 1u);
  EXPECT_TRUE(spooler_->PrinterExists(u"office printer"));
  EXPECT_EQ(MachineSpooler::DeletePrinter(u"Office Printer"), 0u);
  EXPECT_EQ(MachineSpooler::DeletePrinter(u"Office Printer"), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  EXPECT_FALSE(spooler_->PrinterExists(u"Office Printer"));
  EXPECT_TRUE(MachineSpooler::Printers().empty());
  // A printer DC checks the name with the spooler now.
  EXPECT_EQ(CreateDCW(nullptr, u"Office Printer", nullptr, nullptr), nullptr);
}

}  // namespace
