// The monitor's diagnostics and event entries end to end: documents through
// TarnwickMon.dll loaded as the spooler loads it, the logs in C:\Temp, the
// entries read back with the reader API and `twspool events`, and spooler
// processes reporting at the same time.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "emf_page.h"
#include "event_entries.h"
#include "fake_spooler.h"
#include "core/log/event_messages.h"
#include "monitor_host.h"
#include "shell_run.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/eventlog_internal.h"
#include "tw/registry.h"
#include "tw/root.h"
#include "tw/utf.h"

namespace {

using twtest::MonitorHost;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

using Entry = twtest::EventEntry;
using twtest::ReadEventEntries;

std::vector<BYTE> Document(int pages, const std::u16string& outputDirectory = tw::twdriver::kDefaultOutputDirectory) {
  tw::twdriver::DevModeOptions o;
  o.printer = kPrinter;
  o.outputDirectory = outputDirectory;
  auto dm = tw::twdriver::MakeDevMode(o);
  tw::twdriver::StreamWriter s;
  s.StartDoc(dm);
  for (int i = 0; i < pages; ++i) {
    s.StartPage(dm);
    s.EndPage(twtest::EmfPage(1500 + 64 * i));
  }
  s.EndDoc();
  return s.Bytes();
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

using twtest::Shell;
using twtest::ShellRun;

class JobReportsTest : public ::testing::Test {
 public:
  void SetUp() override {
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", kIni));
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"TW01:", u"TwMonitor.ini"));
    drive_ = root_.Dir() / "drive_c";
    std::filesystem::create_directories(drive_ / "Temp");
    pluginLog_ = root_.Dir() / "plugin.log";
    setenv("TW_TEST_PLUGIN_LOG", pluginLog_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TW_TEST_PLUGIN_LOG");
    tw::registry::ClearFaults();
  }

  void SetLoggingLevel(int level) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"Troubleshooting Settings", u"Event Logging Level",
                                           tw::FromUtf8(std::to_string(level)).c_str(), kIni));
  }

  HANDLE AddAndOpenPort(MonitorHost& host) {
    EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
    std::u16string name(u"TW01:");
    HANDLE port = nullptr;
    EXPECT_TRUE(host.table->pfnOpenPort(host.monitor, name.data(), &port));
    return port;
  }

  // One document of alice's as the spooler delivers it; with deleteAfter the
  // user deletes it in the queue after that many bytes.
  void Print(MonitorHost& host, HANDLE port, DWORD jobId, const std::vector<BYTE>& stream,
             size_t deleteAfter = SIZE_MAX) {
    std::u16string printer(kPrinter), docName(u"Letter.docx");
    DOC_INFO_1W doc{docName.data(), nullptr, nullptr};
    spooler_.spooler->AddJob(jobId, printer, u"D:\\Docs\\Letter.pdf");
    spooler_.spooler->SetJobUser(jobId, u"alice", u"\\\\CLIENT-7");
    ASSERT_TRUE(host.table->pfnStartDocPort(port, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&doc)));
    for (size_t at = 0; at < stream.size(); at += 1000) {
      if (at >= deleteAfter) {
        spooler_.spooler->SetJobStatus(jobId, JOB_STATUS_DELETING);
        break;
      }
      DWORD n = static_cast<DWORD>(std::min<size_t>(1000, stream.size() - at)), written = 0;
      host.table->pfnWritePort(port, const_cast<BYTE*>(stream.data() + at), n, &written);
    }
    EXPECT_TRUE(host.table->pfnEndDocPort(port));
  }

  std::string Twspool(const std::string& args) {
    return "'" + (twtest::BinDir() / "twspool").string() + "' --root '" + root_.Dir().string() + "' " + args;
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::filesystem::path drive_, pluginLog_;
};

TEST_F(JobReportsTest, WithoutDebugIniAFullJobWritesNoLogFile) {
  {
    MonitorHost host;
    host.RecordOperations();
    HANDLE port = AddAndOpenPort(host);
    Print(host, port, 11, Document(2));
    ASSERT_FALSE(host.ops.empty());
    EXPECT_EQ(host.ops.back(), u"EndDoc");
    host.table->pfnClosePort(port);
  }
  EXPECT_TRUE(std::filesystem::is_empty(drive_ / "Temp"));
}

TEST_F(JobReportsTest, DebugIniWritesTheInstallLogAndCaptureLogKeepsItsLevel) {
  std::ofstream(drive_ / "PrnDebug.ini") << "[Setting]\r\nDebug=1\r\nMessage Capture Log Level=2\r\n";
  {
    MonitorHost host;
    HANDLE port = AddAndOpenPort(host);
    Print(host, port, 12, Document(2));
    host.table->pfnClosePort(port);
  }
  std::string text = ReadText(drive_ / "Temp" / "TWDriverInstall.log");
  ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte-order mark";
  std::vector<std::string> lines;
  std::istringstream in(text.substr(3));
  for (std::string line; std::getline(in, line);) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r') << "CR LF line ends";
    lines.push_back(line.substr(0, line.size() - 1));
  }
  ASSERT_GE(lines.size(), 4u) << text;
  const std::string head = R"(^\d+\.\d{8} \d\d/\d\d/\d\d \d\d:\d\d:\d\d: \[)" + std::to_string(getpid()) +
                           R"(\] \[\d+\] TARNWICKMON: )";
  EXPECT_TRUE(std::regex_search(lines[0], std::regex(head + R"(\* PDF Printer Driver version 17\.63\.3143$)")))
      << lines[0];
  EXPECT_TRUE(std::regex_search(lines[1], std::regex(head + R"(\* devmode\.h version: 1763$)"))) << lines[1];
  EXPECT_TRUE(std::regex_search(lines[2], std::regex(head + R"(\* Loading Module: .+test_monitor$)"))) << lines[2];
  EXPECT_TRUE(std::regex_search(lines[3], std::regex(head + R"(AddPort called \(Port name: \)$)"))) << lines[3];
  for (size_t i = 4; i < lines.size(); ++i) EXPECT_TRUE(std::regex_search(lines[i], std::regex(head))) << lines[i];
  // The banner comes once per process (here: per load of the module).
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("* devmode.h version") != std::string::npos; }),
            1);

  // Level 2: only errors and warnings reach the capture log; the job's
  // settings reports are information lines.
  const auto capturePath = drive_ / "Temp" / "MessageCapture_PORTMON_DLL.txt";
  if (std::filesystem::exists(capturePath)) {
    std::istringstream capture(ReadText(capturePath));
    for (std::string line; std::getline(capture, line);) {
      EXPECT_EQ(line.find("[INFO]"), std::string::npos) << line;
      EXPECT_EQ(line.find("[DEBUG]"), std::string::npos) << line;
    }
  }
  // Level 3 (read again by the next load of the module): the same job's
  // settings reports arrive.
  std::ofstream(drive_ / "PrnDebug.ini", std::ios::trunc) << "[Setting]\r\nMessage Capture Log Level=3\r\n";
  {
    MonitorHost host;
    HANDLE port = AddAndOpenPort(host);
    Print(host, port, 13, Document(2));
    host.table->pfnClosePort(port);
  }
  std::string capture = ReadText(capturePath);
  EXPECT_TRUE(std::regex_search(capture, std::regex(R"(\[INFO\]    .*Generate output in memory disabled\.)"))) << capture;
  EXPECT_TRUE(std::regex_search(capture, std::regex(R"(\[INFO\]    .*Messaging interface (en|dis)abled\.)"))) << capture;
}

// Finished, blank and deleted documents at the levels 0, 2 and 3.
TEST_F(JobReportsTest, EventLoggingLevelDecidesTheJobsEntries) {
  using Expected = std::vector<std::pair<WORD, DWORD>>;
  const WORD info = EVENTLOG_INFORMATION_TYPE, warning = EVENTLOG_WARNING_TYPE;
  struct Case {
    int level;
    Expected entries;
  } cases[] = {
      {0, {}},
      {2, {{warning, MSG_PRINTING_ERROR}, {warning, MSG_PRINTING_ABORTED}}},
      {3, {{info, MSG_PRINTING_FINISHED}, {warning, MSG_PRINTING_ERROR}, {info, MSG_PRINTING_FINISHED},
           {warning, MSG_PRINTING_ABORTED}}},
  };
  MonitorHost host;
  HANDLE port = AddAndOpenPort(host);
  DWORD jobId = 100;
  size_t seen = 0;
  for (const auto& c : cases) {
    SetLoggingLevel(c.level);
    Print(host, port, ++jobId, Document(2));
    Print(host, port, ++jobId, Document(0));  // blank
    Print(host, port, ++jobId, Document(2), 7000);
    auto all = ReadEventEntries();
    ASSERT_GE(all.size(), seen);
    std::vector<Entry> added(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
    seen = all.size();
    ASSERT_EQ(added.size(), c.entries.size()) << "level " << c.level;
    for (size_t i = 0; i < added.size(); ++i) {
      EXPECT_EQ(added[i].type, c.entries[i].first) << "level " << c.level << " entry " << i;
      EXPECT_EQ(added[i].id, c.entries[i].second) << "level " << c.level << " entry " << i;
      EXPECT_EQ(added[i].source, kPrinter);
    }
    for (const auto& e : added) {
      if (e.id == MSG_PRINTING_ERROR) {
        EXPECT_EQ(e.strings.at(10), u"The printed document was blank.");
      }
    }
    if (c.level != 3) continue;
    const auto& finished = added[0].strings;
    ASSERT_EQ(finished.size(), 10u);
    EXPECT_EQ(finished[0], kPrinter);
    EXPECT_EQ(finished[1], u"Letter");
    EXPECT_EQ(finished[2], u"alice");
    // The spooler's submission time (UTC) in local time.
    const SYSTEMTIME utc = {2026, 12, 3, 9, 10, 30, 0, 0};
    FILETIME ft, local;
    SYSTEMTIME submitted;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft) && FileTimeToLocalFileTime(&ft, &local) &&
                FileTimeToSystemTime(&local, &submitted));
    WCHAR date[256], time[256];
    GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &submitted, nullptr, date, 256);
    GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, &submitted, nullptr, time, 256);
    EXPECT_EQ(finished[3], date);
    EXPECT_EQ(finished[4], time);
    EXPECT_FALSE(finished[5].empty());
    EXPECT_FALSE(finished[6].empty());
    EXPECT_EQ(finished[7], u"TARNWICK-PC");
    EXPECT_EQ(finished[8], u"192.168.10.20");
    EXPECT_EQ(finished[9], u"tarnwick-pc.example.local");
    EXPECT_EQ(added[3].strings.size(), 10u);  // the aborted entry
  }
  host.table->pfnClosePort(port);
}

// `twspool events` renders the finished entry with the message text the
// monitor module carries.
TEST_F(JobReportsTest, FinishedEntryReadsBackThroughTwspoolEvents) {
  SetLoggingLevel(3);
  {
    twtest::LeakGuard leaks;  // no event source or printer handle is left open
    MonitorHost host;
    HANDLE port = AddAndOpenPort(host);
    Print(host, port, 21, Document(1));
    host.table->pfnClosePort(port);
  }
  ShellRun events = Shell(Twspool("events --source 'Tarnwick Printer' --type information"));
  ASSERT_EQ(events.status, 0) << events.out;
  EXPECT_NE(events.out.find("Information  Source: Tarnwick Printer  Event ID: 100\n"), std::string::npos)
      << events.out;
  EXPECT_NE(events.out.find("Printing finished successfully\nPrinter name:\tTarnwick Printer\nDocument name:\t"
                            "Letter\nUser name:\talice\nDate submitted:\t"),
            std::string::npos)
      << events.out;
  EXPECT_NE(events.out.find("\nComputer name:\tTARNWICK-PC\nIP Address:\t192.168.10.20\nHost name:\t"
                            "tarnwick-pc.example.local\n"),
            std::string::npos)
      << events.out;
  EXPECT_EQ(events.out.find('%'), std::string::npos) << "every insert is filled: " << events.out;
}

// The hand-over key of the job: nothing to report when it goes; a key that
// cannot be deleted is the job's error entry and the job still prints.
TEST_F(JobReportsTest, HandOverKeyThatStaysIsTheJobsErrorEntry) {
  const std::u16string source = u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\Tarnwick Printer\\Job ";
  auto makeKey = [&](DWORD jobId) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (source + tw::FromUtf8(std::to_string(jobId))).c_str(), 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  };
  MonitorHost host;
  host.RecordOperations();
  HANDLE port = AddAndOpenPort(host);
  makeKey(31);
  Print(host, port, 31, Document(1));
  EXPECT_TRUE(ReadEventEntries().empty());

  makeKey(32);
  tw::registry::InjectFault(u"HKLM\\" + source + u"32", tw::registry::Op::DeleteKey, ERROR_ACCESS_DENIED);
  Print(host, port, 32, Document(1));
  auto entries = ReadEventEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(entries[0].id, MSG_PRINTING_ERROR);
  EXPECT_EQ(entries[0].strings.at(0), kPrinter);
  EXPECT_EQ(entries[0].strings.at(10), u"Could not delete registry key 'HKEY_LOCAL_MACHINE\\" + source +
                                           u"32'. Windows error: 5");
  EXPECT_EQ(std::count(host.ops.begin(), host.ops.end(), u"EndDoc"), 2);
  EXPECT_EQ(spooler_.spooler->CountControls(32, JOB_CONTROL_CANCEL), 1u);  // only to leave the queue
  host.table->pfnClosePort(port);
}

// A damaged event store: the reader says so clearly, and printing goes on.
TEST_F(JobReportsTest, DamagedEventStoreDoesNotStopPrinting) {
  SetLoggingLevel(3);
  auto store = tw::eventlog::StorePath();
  std::filesystem::create_directories(store.parent_path());
  std::ofstream(store, std::ios::binary) << std::string(8192, 'Z');
  {
    twtest::LeakGuard leaks;
    MonitorHost host;
    host.RecordOperations();
    HANDLE port = AddAndOpenPort(host);
    Print(host, port, 41, Document(2));
    Print(host, port, 42, Document(0));
    EXPECT_EQ(std::count(host.ops.begin(), host.ops.end(), u"EndDoc"), 2);
    host.table->pfnClosePort(port);
  }
  std::string plugin = ReadText(pluginLog_);
  // Two pages, then the empty page the page-less document gets: ten calls.
  EXPECT_EQ(std::count(plugin.begin(), plugin.end(), '\n'), 10) << plugin;
  EXPECT_EQ(spooler_.spooler->CountControls(41, JOB_CONTROL_CANCEL), 1u);
  EXPECT_EQ(spooler_.spooler->CountControls(42, JOB_CONTROL_CANCEL), 1u);

  EXPECT_EQ(OpenEventLogW(nullptr, u"Application"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT));
  ShellRun events = Shell(Twspool("events 2>&1"));
  EXPECT_EQ(events.status, 1);
  EXPECT_NE(events.out.find(store.filename().string()), std::string::npos) << events.out;
  EXPECT_EQ(ReadText(store), std::string(8192, 'Z')) << "a damaged store is left as it is";
}

// A last page that fails in the block that ends the document, printed by
// the spooler host: the job is cancelled during WritePort and aborted, never
// reported finished; the plug-in sees the abort and not the end.
TEST_F(JobReportsTest, FailedLastPageEndsAsAbortedNotFinished) {
  ShellRun init = Shell(Twspool("init 2>&1"));
  ASSERT_EQ(init.status, 0) << init.out;
  const WCHAR ini[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI";
  ASSERT_TRUE(WritePrivateProfileStringW(u"Troubleshooting Settings", u"Event Logging Level", u"3", ini));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", ini));
  std::ofstream(drive_ / "PrnDebug.ini") << "[Setting]\r\nMessage Capture Log Level=1\r\n";
  tw::twdriver::DevModeOptions o;
  o.printer = kPrinter;
  auto dm = tw::twdriver::MakeDevMode(o);
  // Once a page without its metafile, once a document the plug-in refuses.
  for (bool refused : {false, true}) {
    tw::twdriver::StreamWriter s;
    s.StartDoc(dm);
    s.StartPage(dm);
    if (refused) s.EndPage(twtest::EmfPage());
    else s.Command(PORT_CMD_END_PAGE, {});
    s.EndDoc();
    auto stream = s.Bytes();
    auto file = root_.Dir() / "last.spl";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    if (refused) setenv("TW_TEST_PLUGIN_REFUSE", "1", 1);
    ShellRun print = Shell(Twspool("print '" + file.string() + "' 2>&1"));
    unsetenv("TW_TEST_PLUGIN_REFUSE");
    EXPECT_EQ(print.status, 1) << print.out;
    EXPECT_NE(print.out.find(": failed (the monitor cancelled it during WritePort)"), std::string::npos) << print.out;
  }
  size_t aborted = 0, finished = 0;
  for (const auto& e : ReadEventEntries()) {
    aborted += e.id == MSG_PRINTING_ABORTED;
    finished += e.id == MSG_PRINTING_FINISHED;
  }
  EXPECT_EQ(aborted, 2u);
  EXPECT_EQ(finished, 0u);
  std::vector<std::string> calls;
  std::istringstream plugin(ReadText(pluginLog_));
  for (std::string line; std::getline(plugin, line);) calls.push_back(line.substr(0, line.find(' ')));
  // The page without metafile started; the refused document never reached its page.
  EXPECT_EQ(calls, (std::vector<std::string>{"TwStartDoc", "TwStartPage", "TwAbort", "TwStartDoc", "TwAbort"}));
  std::string capture = ReadText(drive_ / "Temp" / "MessageCapture_PORTMON_DLL.txt");
  EXPECT_NE(capture.find("PORT_CMD_END_PAGE failed; the rest of the document is not run"), std::string::npos)
      << capture;
  EXPECT_NE(capture.find("PORT_CMD_START_PAGE failed; the rest of the document is not run"), std::string::npos)
      << capture;
  EXPECT_NE(capture.find("failed during WritePort: the job is cancelled"), std::string::npos) << capture;
  EXPECT_NE(capture.find("aborted: failed during WritePort"), std::string::npos) << capture;
}

// Two spooler processes print at the same time; every finished document has
// its entry, with its own record number.
TEST_F(JobReportsTest, TwoSpoolerProcessesReportingAtOnceLoseNoEntry) {
  auto machine = *tw::config::Get();
  machine.users.push_back({u"anna", u"TARNWICK-PC", u"S-1-5-21-1-2-3-1101", {}});
  machine.users.push_back({u"bert", u"TARNWICK-PC", u"S-1-5-21-1-2-3-1102", {}});
  ASSERT_TRUE(tw::config::Save(machine));
  ShellRun init = Shell(Twspool("init 2>&1"));
  ASSERT_EQ(init.status, 0) << init.out;
  ASSERT_TRUE(WritePrivateProfileStringW(u"Troubleshooting Settings", u"Event Logging Level", u"3",
                                         u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI"));
  // Each process writes into its own folder: two spoolers writing the same
  // file name at once would fight over the file, which is not what this tests.
  auto spoolFile = [&](const std::string& user) {
    std::filesystem::create_directories(root_.Dir() / "drive_c" / user);
    auto stream = Document(1, u"C:\\" + tw::FromUtf8(user));
    auto file = root_.Dir() / (user + ".spl");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                                 static_cast<std::streamsize>(stream.size()));
    return file.string();
  };
  constexpr int kJobsEach = 6;
  std::string filesA, filesB;
  const std::string fileA = spoolFile("anna"), fileB = spoolFile("bert");
  for (int i = 0; i < kJobsEach; ++i) {
    filesA += " '" + fileA + "'";
    filesB += " '" + fileB + "'";
  }
  const std::string a = Twspool("print --user anna" + filesA), b = Twspool("print --user bert" + filesB);
  // Both processes run at once; the shell waits for both.
  ShellRun both = Shell("(" + a + " > '" + (root_.Dir() / "a.txt").string() + "' 2>&1 & " + b + " > '" +
                   (root_.Dir() / "b.txt").string() + "' 2>&1 & wait)");
  ASSERT_EQ(both.status, 0);
  std::string outA = ReadText(root_.Dir() / "a.txt"), outB = ReadText(root_.Dir() / "b.txt");
  auto printed = [](const std::string& out) {
    size_t n = 0;
    for (size_t at = 0; (at = out.find(": printed", at)) != std::string::npos; ++at) ++n;
    return n;
  };
  ASSERT_EQ(printed(outA), size_t{kJobsEach}) << outA;
  ASSERT_EQ(printed(outB), size_t{kJobsEach}) << outB;

  std::set<DWORD> records;
  std::map<std::u16string, int> byUser;
  for (const auto& e : ReadEventEntries()) {
    if (e.id != MSG_PRINTING_FINISHED) continue;
    records.insert(e.record);
    ++byUser[e.strings.at(2)];
  }
  EXPECT_EQ(records.size(), size_t{2 * kJobsEach});
  EXPECT_EQ(byUser[u"anna"], kJobsEach);
  EXPECT_EQ(byUser[u"bert"], kJobsEach);
}

}  // namespace
