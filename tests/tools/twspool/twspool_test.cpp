// twspool end to end, against a fake monitor module that logs its calls.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tw/machine_spooler.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

struct SpoolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class TwspoolTest : public ::testing::Test {
 protected:
  // Runs twspool in the test's root with the fake monitor.
  SpoolRun Spool(const std::string& args, const std::string& env = "") {
    auto bin = twtest::BinDir();
    auto errFile = root_.Dir() / "stderr.txt";
    std::string cmd = env + " '" + (bin / "twspool").string() + "' --root '" + root_.Dir().string() +
                      "' --monitor-dll TwFakeMon.dll " + args + " 2>'" + errFile.string() + "'";
    SpoolRun run;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    std::stringstream ss;
    ss << in.rdbuf();
    run.err = ss.str();
    return run;
  }
  std::string MonitorLog() {
    std::ifstream in(root_.Dir() / "fakemon.log");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void ClearMonitorLog() { std::filesystem::remove(root_.Dir() / "fakemon.log"); }
  std::filesystem::path WriteFile(const std::string& name, const std::string& bytes) {
    auto p = root_.Dir() / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  // A command-stream header followed by `payload`.
  static std::string Stream(const std::string& payload) {
    std::string s(16, '\0');
    const DWORD fields[4] = {0x8000F44Fu, 16, 4, 0};
    std::memcpy(s.data(), fields, 16);
    return s + payload;
  }
  twtest::TempRoot root_;
};

TEST_F(TwspoolTest, InitInstallsMonitorPortAndPrinterAndIsIdempotent) {
  SpoolRun first = Spool("init");
  ASSERT_EQ(first.status, 0) << first.err;
  SpoolRun second = Spool("init");
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_TRUE(std::filesystem::is_symlink(root_.Dir() / "drive_c/Windows/System32/TwFakeMon.dll") ||
              std::filesystem::is_symlink(root_.Dir() / "drive_c/windows/system32/TwFakeMon.dll"));
  SpoolRun ports = Spool("ports --level 2");
  ASSERT_EQ(ports.status, 0) << ports.err;
  EXPECT_EQ(ports.out, "TW01:\tFake Monitor\tFake Port\t1\n");
  SpoolRun printers = Spool("printers");
  EXPECT_EQ(printers.out,
            "Tarnwick Printer\tTW01:\tTarnwick Printer Driver\tC:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI\n");
  // The monitor was registered with its "Driver" value and saw it through the callbacks.
  EXPECT_NE(MonitorLog().find("InitializePrintMonitor2 size 48 driver 0 local 1"), std::string::npos);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tarnwick Port Monitor", 0, KEY_READ,
                          &key),
            0);
  WCHAR driver[64];
  DWORD cb = sizeof driver;
  EXPECT_EQ(RegQueryValueExW(key, u"Driver", nullptr, nullptr, reinterpret_cast<BYTE*>(driver), &cb), 0);
  EXPECT_EQ(std::u16string(driver), u"TwFakeMon.dll");
  RegCloseKey(key);
  // The printer's default settings record is the driver's full size.
  auto printers2 = tw::spool::MachineSpooler::Printers();
  ASSERT_EQ(printers2.size(), 1u);
  EXPECT_EQ(printers2[0].globalDevMode.size(), 6879u);
}

TEST_F(TwspoolTest, AddPortListsNewestFirstAndRefusesADuplicateWithTheMonitorsMessage) {
  ASSERT_EQ(Spool("init").status, 0);
  SpoolRun add = Spool("add-port TW02:");
  ASSERT_EQ(add.status, 0) << add.err;
  EXPECT_EQ(Spool("ports").out, "TW02:\nTW01:\n");
  SpoolRun again = Spool("add-port TW02:");
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "twspool: error: the monitor refused: Cannot add port! The specified port already exists.\n");
  std::ifstream ui(root_.Dir() / "ui.log");
  std::string line;
  std::getline(ui, line);
  EXPECT_EQ(line, "MessageBox\tMessage\tCannot add port! The specified port already exists.\t1");
}

TEST_F(TwspoolTest, AddPortWithAOneLetterNameTakesTheNameFromTheDialogScript) {
  ASSERT_EQ(Spool("init").status, 0);
  // The monitor reads "X" from TwMonitor.ini and asks; without a script Cancel is pressed.
  SpoolRun cancelled = Spool("add-port X");
  EXPECT_EQ(cancelled.status, 1);
  EXPECT_EQ(cancelled.err, "twspool: error: the monitor did not add port X\n");
  std::ofstream(root_.Dir() / "ui-script.txt") << "dialog 1001=X OK\n";
  SpoolRun typed = Spool("add-port X");
  EXPECT_EQ(typed.status, 0) << typed.err;
  EXPECT_EQ(Spool("ports").out, "X\nTW01:\n");
  // The name typed into the dialog wins over the one asked for.
  std::ofstream(root_.Dir() / "ui-script.txt") << "dialog 1001=TW07: OK\n";
  SpoolRun other = Spool("add-port Y");
  EXPECT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(other.out, "Port TW07: added.\n");
  // The variable wins over the root's file.
  SpoolRun fromEnv = Spool("add-port Z", "TW_UI_SCRIPT='dialog 1001=TW08: OK'");
  EXPECT_EQ(fromEnv.out, "Port TW08: added.\n") << fromEnv.err;
}

TEST_F(TwspoolTest, DeletePortAndPrinters) {
  ASSERT_EQ(Spool("init").status, 0);
  ASSERT_EQ(Spool("add-port TW02:").status, 0);
  SpoolRun busy = Spool("delete-port TW01:");
  EXPECT_EQ(busy.status, 1);
  EXPECT_EQ(busy.err, "twspool: error: port TW01: is in use by printer \"Tarnwick Printer\"\n");
  EXPECT_EQ(Spool("add-printer Second --port TW02:").status, 0);
  SpoolRun dup = Spool("add-printer Second --port TW02:");
  EXPECT_EQ(dup.err, "twspool: error: printer \"Second\" already exists\n");
  SpoolRun noPort = Spool("add-printer Third --port TW09:");
  EXPECT_EQ(noPort.err, "twspool: error: the monitor has no port TW09:\n");
  EXPECT_EQ(Spool("delete-printer Second").status, 0);
  EXPECT_EQ(Spool("delete-printer Second").err, "twspool: error: no printer named \"Second\"\n");
  EXPECT_EQ(Spool("delete-port TW02:").status, 0);
  EXPECT_EQ(Spool("ports").out, "TW01:\n");
  EXPECT_EQ(Spool("delete-port TW02:").err, "twspool: error: the monitor has no port TW02:\n");
}

TEST_F(TwspoolTest, PrintDeliversBlocksOnItsOwnThreadAsTheJobsUser) {
  ASSERT_EQ(Spool("init").status, 0);
  auto file = WriteFile("doc.twj", Stream(std::string(40, 'x')));
  ClearMonitorLog();
  SpoolRun run = Spool("print --block-size 16 --user alice --document Report '" + file.string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(": printed\t"), std::string::npos) << run.out;
  std::string log = MonitorLog();
  EXPECT_NE(log.find("ThreadAttach\nOpenPort TW01:\nStartDocPort Tarnwick Printer job "), std::string::npos) << log;
  EXPECT_NE(log.find(" doc Report user alice\nJobInfo document Report\n"), std::string::npos) << log;
  EXPECT_NE(log.find("WritePort 16\nWritePort 16\nWritePort 16\nWritePort 8\nEndDocPort ended bytes 56\n"
                     "ClosePort\nThreadDetach\n"),
            std::string::npos)
      << log;
}

TEST_F(TwspoolTest, AStreamFileGoesToThePortIn64KiBBlocksReadFromDisk) {
  ASSERT_EQ(Spool("init").status, 0);
  auto file = WriteFile("big.twj", Stream(std::string(150000, 'b')));
  ClearMonitorLog();
  SpoolRun run = Spool("print '" + file.string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(MonitorLog().find("WritePort 65536\nWritePort 65536\nWritePort 18944\nEndDocPort ended bytes 150016\n"),
            std::string::npos)
      << MonitorLog();
}

TEST_F(TwspoolTest, PrintReportsAFailedJobAndAUserDeletion) {
  ASSERT_EQ(Spool("init").status, 0);
  auto bad = WriteFile("bad.twj", Stream(std::string(20, 'x') + "FAIL" + std::string(40, 'y')));
  SpoolRun failed = Spool("print --block-size 32 '" + bad.string() + "'");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find(": failed (the monitor cancelled it during WritePort)"), std::string::npos) << failed.out;
  // The cancelled job gets no more data; EndDocPort still comes.
  EXPECT_NE(MonitorLog().find("EndDocPort aborted bytes 64\n"), std::string::npos) << MonitorLog();

  ClearMonitorLog();
  auto good = WriteFile("good.twj", Stream(std::string(100, 'z')));
  SpoolRun deleted = Spool("print --block-size 10 --delete-after 30 '" + good.string() + "'");
  EXPECT_EQ(deleted.status, 1);
  EXPECT_NE(deleted.out.find(": aborted\t"), std::string::npos) << deleted.out;
  EXPECT_NE(MonitorLog().find("EndDocPort aborted bytes 30\n"), std::string::npos) << MonitorLog();

  // Deleted before any data: the monitor gets StartDocPort and EndDocPort only.
  ClearMonitorLog();
  SpoolRun early = Spool("print --delete-after 0 '" + good.string() + "'");
  EXPECT_NE(early.out.find(": aborted\t"), std::string::npos) << early.out;
  EXPECT_EQ(MonitorLog().find("WritePort"), std::string::npos) << MonitorLog();
  EXPECT_NE(MonitorLog().find("EndDocPort aborted bytes 0\n"), std::string::npos) << MonitorLog();
}

TEST_F(TwspoolTest, PrintTurnsAPageFileIntoAOnePageJob) {
  ASSERT_EQ(Spool("init").status, 0);
  auto emf = root_.Dir() / "page.emf";
  std::u16string path = tw::FromUtf8(emf.string());
  HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  Rectangle(dc, 10, 10, 200, 100);
  HENHMETAFILE recorded = CloseEnhMetaFile(dc);
  ASSERT_NE(recorded, nullptr);
  DeleteEnhMetaFile(recorded);
  ClearMonitorLog();
  SpoolRun run = Spool("print '" + emf.string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(": printed\t"), std::string::npos) << run.out;
  // START_DOC and START_PAGE carry the 6879-byte record, END_PAGE the metafile;
  // four 16-byte headers in all.
  std::string log = MonitorLog();
  std::string expected = "EndDocPort ended bytes " +
                         std::to_string(4 * 16 + 2 * 6879 + std::filesystem::file_size(emf)) + "\n";
  EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST_F(TwspoolTest, PrintRefusesWhatIsNotACommandStreamAndBadOptions) {
  ASSERT_EQ(Spool("init").status, 0);
  auto text = WriteFile("note.txt", "hello, this is not a stream");
  SpoolRun run = Spool("print '" + text.string() + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("twspool: error: " + text.string() + ": not a command stream, a metafile or a bitmap", 0), 0u)
      << run.err;
  EXPECT_EQ(Spool("print --block-size 0 x").status, 2);
  EXPECT_EQ(Spool("print --printer Nobody '" + WriteFile("s.twj", Stream("")).string() + "'").err,
            "twspool: error: " + (root_.Dir() / "s.twj").string() + ": no printer named \"Nobody\"\n");
  EXPECT_EQ(Spool("frobnicate").status, 2);
  EXPECT_EQ(Spool("ports --level 3").err, "twspool: error: --level must be 1 or 2\n");
}

TEST_F(TwspoolTest, PrintTakesAPrinterPerFileAndReportsInCommandLineOrder) {
  ASSERT_EQ(Spool("init").status, 0);
  ASSERT_EQ(Spool("add-port TW02:").status, 0);
  ASSERT_EQ(Spool("add-printer Second --port TW02:").status, 0);
  // The two documents wait for each other: they meet only when they print at once.
  auto a = WriteFile("a.twj", Stream("MEETp:10000"));
  auto b = WriteFile("b.twj", Stream("MEETp:10000"));
  auto c = WriteFile("c.twj", Stream("tail"));
  ClearMonitorLog();
  SpoolRun run = Spool("print --document Shared '" + a.string() + "' --printer Second '" + b.string() + "' '" +
                       c.string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
  const size_t ia = run.out.find("printed\t" + a.string()), ib = run.out.find("printed\t" + b.string()),
               ic = run.out.find("printed\t" + c.string());
  ASSERT_NE(ic, std::string::npos) << run.out;
  EXPECT_TRUE(ia < ib && ib < ic) << run.out;
  EXPECT_EQ(run.out.find('\r'), std::string::npos) << "no progress in a pipe";
  const std::string log = MonitorLog();
  const size_t met = log.find("Meet p met\n");
  ASSERT_NE(met, std::string::npos) << log;
  EXPECT_NE(log.find("Meet p met\n", met + 1), std::string::npos) << log;
  EXPECT_EQ(log.find("alone"), std::string::npos) << log;
  EXPECT_NE(log.find("StartDocPort Tarnwick Printer job "), std::string::npos) << log;
  EXPECT_NE(log.find("StartDocPort Second job "), std::string::npos) << log;
  EXPECT_EQ(log.find("doc a.twj"), std::string::npos) << "--document names every later file";

  SpoolRun trailing = Spool("print '" + a.string() + "' --printer Second");
  EXPECT_EQ(trailing.status, 2);
  EXPECT_EQ(trailing.err, "twspool: error: an option after the last file applies to no file\n");
  EXPECT_EQ(Spool("print --bogus '" + a.string() + "'").err, "twspool: error: unknown option --bogus\n");
  EXPECT_EQ(Spool("print --user").err, "twspool: error: --user needs a value\n");
  // An unknown printer for a later file prints nothing at all.
  ClearMonitorLog();
  SpoolRun unknown = Spool("print '" + c.string() + "' --printer=Nobody '" + c.string() + "'");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(MonitorLog().find("StartDocPort"), std::string::npos) << MonitorLog();
}

TEST_F(TwspoolTest, CommandsBeforeInitSayWhatToDo) {
  SpoolRun run = Spool("ports");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("run 'twspool init' first"), std::string::npos) << run.err;
}

}  // namespace
