// The spooler host in-process: the MONITORINIT it hands out, several
// documents at once, and no leaked handle or block.
#include <windows.h>

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
}

}  // namespace
