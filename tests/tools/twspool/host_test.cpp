// The spooler host in-process: the MONITORINIT it hands out, several
// documents at once, and no leaked handle or block.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "spooler_host.h"
#include "tw/ui.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

std::u16string FakeMonitorPath() {
  auto p = twtest::BinDir() / "TwFakeMon.dll";
  return tw::FromUtf8(p.string());
}

std::vector<BYTE> Stream(size_t payload) {
  std::vector<BYTE> s(16 + payload, 'p');
  const DWORD fields[4] = {0x8000F44Fu, 16, 3, static_cast<DWORD>(payload)};
  std::memcpy(s.data(), fields, 16);
  return s;
}

std::vector<BYTE> Stream(const std::string& payload) {
  std::vector<BYTE> s = Stream(payload.size());
  std::memcpy(s.data() + 16, payload.data(), payload.size());
  return s;
}

// Lines of the monitor's log that start with `prefix`, in order.
std::vector<std::string> LinesStarting(const std::string& log, const std::string& prefix) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  return lines;
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tw::spool::MachineSpooler::AddDriver({u"D", u"D.DLL", u"TARNWICK.INI", u"U.DLL"}), 0u);
    tw::ui::SetScript(u"");
  }
  void TearDown() override { tw::ui::ReloadScript(); }
  std::string MonitorLog() {
    std::ifstream in(root_.Dir() / "fakemon.log");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  twtest::TempRoot root_;
};

TEST_F(HostTest, LoadGivesTheMonitorItsKeyAndCallbacksAndUnloadsCleanly) {
  twtest::LeakGuard guard;
  {
    twspool::SpoolerHost host;
    std::string error;
    ASSERT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
    EXPECT_EQ(host.Table()->cbSize, sizeof(MONITOR2));
    // Ports written through the callbacks land under the monitor's own key.
    EXPECT_EQ(host.Xcv(u"AddPort", u"ignored"), 0u);  // TwMonitor.ini is empty: the dialog is cancelled
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"FP1:", u"TwMonitor.ini"));
    EXPECT_EQ(host.Xcv(u"AddPort", u"FP1:"), 0u);
    EXPECT_TRUE(host.HasPort(u"fp1:"));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Fake Monitor\\PortList", 0,
                            KEY_READ, &key),
              0);
    DWORD type = 0, cb = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"FP1:", nullptr, &type, nullptr, &cb), 0);
    EXPECT_EQ(cb, 2u);
    RegCloseKey(key);
    std::vector<twspool::PortEntry> ports;
    DWORD e = 0;
    EXPECT_FALSE(host.EnumPorts(7, ports, e));
    EXPECT_EQ(e, static_cast<DWORD>(ERROR_INVALID_LEVEL));
  }
  EXPECT_NE(MonitorLog().find("Shutdown"), std::string::npos);
  auto dialogs = tw::ui::Dialogs();
  ASSERT_FALSE(dialogs.empty());
  EXPECT_EQ(dialogs.back().title, u"Add Fake Port");
  EXPECT_EQ(dialogs.back().result, 0);
  EXPECT_EQ(dialogs.back().focusId, 1001);
}

TEST_F(HostTest, TwoDocumentsOnTwoPrintersRunAtOnceOnTheirOwnThreads) {
  twtest::LeakGuard guard;
  twspool::SpoolerHost host;
  std::string error;
  ASSERT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
  for (const char16_t* port : {u"FP1:", u"FP2:"}) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", port, u"TwMonitor.ini"));
    host.Xcv(u"AddPort", port);
  }
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P1", u"FP1:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}), 0u);
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P2", u"FP2:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}), 0u);
  std::vector<twspool::SpoolerHost::Request> requests(2);
  requests[0].options.printer = u"P1";
  requests[0].options.document = u"one";
  requests[0].options.blockSize = 7;
  requests[0].data = Stream(100);
  requests[1].options.printer = u"p2";  // printer names ignore case
  requests[1].options.document = u"two";
  requests[1].options.user = u"alice";
  requests[1].data = Stream(50);
  auto outcomes = host.PrintAll(requests);
  ASSERT_EQ(outcomes.size(), 2u);
  for (const auto& o : outcomes) {
    EXPECT_EQ(o.result, twspool::JobResult::Printed) << o.error;
    ASSERT_EQ(o.controls.size(), 1u);
    EXPECT_EQ(o.controls[0].command, static_cast<DWORD>(JOB_CONTROL_CANCEL));
    EXPECT_EQ(o.controls[0].phase, "EndDocPort");
  }
  EXPECT_NE(outcomes[0].jobId, outcomes[1].jobId);
  std::string log = MonitorLog();
  EXPECT_NE(log.find("EndDocPort ended bytes 116"), std::string::npos) << log;
  EXPECT_NE(log.find("EndDocPort ended bytes 66"), std::string::npos) << log;
  // The jobs left the queue.
  tw::spool::JobRecord job;
  EXPECT_FALSE(host.Spooler()->FindJob(outcomes[0].jobId, job));
}

// Records what PrintQueued tells its observer.
struct RecordingObserver : twspool::SpoolerHost::JobObserver {
  std::vector<std::string> events;
  void JobStarted(size_t index) override { events.push_back("start " + std::to_string(index)); }
  void JobFinished(size_t index, const twspool::JobOutcome&) override {
    events.push_back("end " + std::to_string(index));
  }
};

TEST_F(HostTest, QueuedJobsRunAtOnceOnDifferentPortsAndOneAfterAnotherOnTheSamePort) {
  twtest::LeakGuard guard;
  twspool::SpoolerHost host;
  std::string error;
  ASSERT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
  for (const char16_t* port : {u"FP1:", u"FP2:"}) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", port, u"TwMonitor.ini"));
    host.Xcv(u"AddPort", port);
  }
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P1", u"FP1:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}), 0u);
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P2", u"FP2:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}), 0u);
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P1b", u"FP1:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}),
            0u);
  // Jobs 0 and 1 wait long for each other (different ports: they meet at
  // once); jobs 2 and 3 share job 0's port and would meet if they overlapped.
  std::vector<twspool::SpoolerHost::Request> requests(4);
  const char16_t* printers[] = {u"P1", u"P2", u"P1", u"P1b"};
  const char* payloads[] = {"MEETa:10000", "MEETa:10000", "MEETb:300", "MEETb:300"};
  for (size_t i = 0; i < requests.size(); ++i) {
    requests[i].options.printer = printers[i];
    requests[i].options.document = u"doc" + tw::FromUtf8(std::to_string(i));
    requests[i].data = Stream(payloads[i]);
  }
  RecordingObserver observer;
  auto outcomes = host.PrintQueued(requests, &observer, 50);
  ASSERT_EQ(outcomes.size(), 4u);
  for (size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_EQ(outcomes[i].result, twspool::JobResult::Printed) << i << outcomes[i].error;
    if (i) {
      EXPECT_GT(outcomes[i].jobId, outcomes[i - 1].jobId) << "queued in request order";
    }
  }
  const std::string log = MonitorLog();
  EXPECT_EQ(LinesStarting(log, "Meet a"), std::vector<std::string>({"Meet a met", "Meet a met"})) << log;
  EXPECT_EQ(LinesStarting(log, "Meet b"), std::vector<std::string>({"Meet b alone", "Meet b alone"})) << log;
  EXPECT_EQ(log.find("PortBusy"), std::string::npos) << log;
  // The port's documents in request order, each ended before the next starts.
  std::vector<std::string> docs;
  for (const auto& line : LinesStarting(log, "StartDocPort P1")) docs.push_back(line.substr(line.find(" doc ") + 5, 4));
  EXPECT_EQ(docs, std::vector<std::string>({"doc0", "doc2", "doc3"}));
  // Each job is started before it ends; job 2 waits for job 0, job 3 for job 2.
  auto at = [&](const std::string& e) {
    return std::find(observer.events.begin(), observer.events.end(), e) - observer.events.begin();
  };
  ASSERT_EQ(observer.events.size(), 8u);
  for (int i = 0; i < 4; ++i) EXPECT_LT(at("start " + std::to_string(i)), at("end " + std::to_string(i)));
  EXPECT_LT(at("start 1"), at("end 0"));
  EXPECT_GT(at("start 2"), at("end 0"));
  EXPECT_GT(at("start 3"), at("end 2"));
}

TEST_F(HostTest, AQueueWithAnUnknownPrinterPrintsNothing) {
  twtest::LeakGuard guard;
  twspool::SpoolerHost host;
  std::string error;
  ASSERT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
  ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"FP1:", u"TwMonitor.ini"));
  host.Xcv(u"AddPort", u"FP1:");
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P1", u"FP1:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}), 0u);
  std::vector<twspool::SpoolerHost::Request> requests(3);
  requests[0].options.printer = u"P1";
  requests[1].options.printer = u"Nobody";
  requests[2].options.printer = u"P1";
  for (auto& r : requests) r.data = Stream(4);
  auto outcomes = host.PrintQueued(requests);
  ASSERT_EQ(outcomes.size(), 3u);
  for (const auto& o : outcomes) EXPECT_EQ(o.jobId, 0u);
  EXPECT_EQ(outcomes[1].error, "no printer named \"Nobody\"");
  EXPECT_EQ(host.Spooler()->CountJobs(u"P1"), 0u) << "the queued jobs were taken out again";
  EXPECT_EQ(MonitorLog().find("StartDocPort"), std::string::npos);
}

TEST_F(HostTest, PrintFailsCleanlyForUnknownPrinterUserAndPort) {
  twtest::LeakGuard guard;
  twspool::SpoolerHost host;
  std::string error;
  ASSERT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
  ASSERT_EQ(tw::spool::MachineSpooler::AddPrinter({u"P1", u"NOPORT:", u"D", u"", u"", PRINTER_ATTRIBUTE_LOCAL, {}}),
            0u);
  twspool::PrintOptions options;
  options.printer = u"Missing";
  auto o = host.Print(options, Stream(1));
  EXPECT_EQ(o.jobId, 0u);
  EXPECT_EQ(o.error, "no printer named \"Missing\"");
  options.printer = u"P1";
  options.user = u"mallory";
  o = host.Print(options, Stream(1));
  EXPECT_EQ(o.error, "unknown user \"mallory\"");
  options.user.clear();
  o = host.Print(options, Stream(1));
  EXPECT_EQ(o.result, twspool::JobResult::NotStarted);
  EXPECT_EQ(o.error, "the monitor cannot open port NOPORT:");
}

TEST(HostLoadTest, MissingModuleOrExportIsAOneLineError) {
  twtest::TempRoot root;
  twspool::SpoolerHost host;
  std::string error;
  EXPECT_FALSE(host.Load(u"M", u"NoSuchMonitor.dll", error));
  EXPECT_EQ(error, "cannot load C:\\Windows\\System32\\NoSuchMonitor.dll (error 126); run 'twspool init' first");
  EXPECT_FALSE(host.Loaded());
  // The spooler process provides "Spoolss.dll" with the impersonation pair.
  HMODULE spoolss = LoadLibraryW(u"spoolss");
  ASSERT_NE(spoolss, nullptr);
  EXPECT_NE(GetProcAddress(spoolss, "RevertToPrinterSelf"), nullptr);
  EXPECT_NE(GetProcAddress(spoolss, "ImpersonatePrinterClient"), nullptr);
  FreeLibrary(spoolss);
}

}  // namespace

namespace {

TEST_F(HostTest, RegistryCallbacksWorkOnTheMonitorsKeyAndReportNameSizesInBytes) {
  twtest::LeakGuard guard;
  twspool::SpoolerHost host;
  std::string error;
  ASSERT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
  const MONITORINIT& init = host.Init();
  const MONITORREG& reg = *init.pMonitorReg;
  EXPECT_EQ(reg.cbSize, sizeof(MONITORREG));
  HANDLE sub = nullptr, opened = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(reg.fpCreateKey(init.hckRegistryRoot, u"Sub", 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition,
                            init.hSpooler),
            0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const char16_t value[] = u"abc";
  ASSERT_EQ(reg.fpSetValue(sub, u"Name", REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value, init.hSpooler), 0);
  ASSERT_EQ(reg.fpCloseKey(sub, init.hSpooler), 0);
  ASSERT_EQ(reg.fpOpenKey(init.hckRegistryRoot, u"sub", KEY_READ, &opened, init.hSpooler), 0);
  DWORD subKeys = 0, maxKey = 0, values = 0, maxValue = 0, maxData = 0;
  ASSERT_EQ(reg.fpQueryInfoKey(opened, &subKeys, &maxKey, &values, &maxValue, &maxData, nullptr, nullptr,
                               init.hSpooler),
            0);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(maxValue, 8u);  // "Name": 4 units
  EXPECT_EQ(maxData, sizeof value);
  WCHAR name[16];
  DWORD cbName = sizeof name, type = 0, cbData = 0;
  ASSERT_EQ(reg.fpEnumValue(opened, 0, name, &cbName, &type, nullptr, &cbData, init.hSpooler), 0);
  EXPECT_EQ(std::u16string(name), u"Name");
  EXPECT_EQ(cbName, 8u);
  EXPECT_EQ(reg.fpEnumValue(opened, 1, name, &cbName, &type, nullptr, &cbData, init.hSpooler),
            static_cast<LONG>(ERROR_NO_MORE_ITEMS));
  BYTE data[16];
  cbData = sizeof data;
  ASSERT_EQ(reg.fpQueryValue(opened, u"Name", &type, data, &cbData, init.hSpooler), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  reg.fpCloseKey(opened, init.hSpooler);
  WCHAR keyName[16];
  DWORD cch = 16;
  bool found = false;
  for (DWORD i = 0; reg.fpEnumKey(init.hckRegistryRoot, i, keyName, &cch, nullptr, init.hSpooler) == 0; ++i, cch = 16)
    found |= std::u16string(keyName) == u"Sub";
  EXPECT_TRUE(found);
  ASSERT_EQ(reg.fpDeleteValue(init.hckRegistryRoot, u"Driver", init.hSpooler), 0);
  EXPECT_EQ(reg.fpDeleteKey(init.hckRegistryRoot, u"Sub", init.hSpooler), 0);
  EXPECT_EQ(reg.fpOpenKey(init.hckRegistryRoot, u"Sub", KEY_READ, &opened, init.hSpooler),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(opened, nullptr);
}

TEST_F(HostTest, AcceptsTheOlderSystemsTableAndRefusesASmallerOne) {
  {
    setenv("TW_FAKE_MONITOR_SIZE", "148", 1);
    twspool::SpoolerHost host;
    std::string error;
    EXPECT_TRUE(host.Load(u"Fake Monitor", FakeMonitorPath(), error)) << error;
  }
  {
    setenv("TW_FAKE_MONITOR_SIZE", "100", 1);
    twspool::SpoolerHost host;
    std::string error;
    EXPECT_FALSE(host.Load(u"Fake Monitor", FakeMonitorPath(), error));
    EXPECT_EQ(error, tw::ToUtf8(FakeMonitorPath()) + ": the monitor table is too small (100 bytes)");
  }
  unsetenv("TW_FAKE_MONITOR_SIZE");
}

}  // namespace
