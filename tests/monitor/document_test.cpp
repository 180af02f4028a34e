// Documents through a port: StartDocPort, WritePort blocks, EndDocPort, with
// the spooler played by a test provider.
#include <cstdlib>
#include <fstream>

#include "emf_page.h"
#include "fake_spooler.h"
#include "job/settings/settings_store.h"
#include "monitor_host.h"
#include "tools/twdriver/stream_writer.h"

namespace {

using twtest::MonitorHost;
namespace st = tw::settings;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

// Real pages: the page path renders and writes them (BMP, the record's format).
std::vector<BYTE> PageBytes(size_t n) { return twtest::EmfPage(n); }

std::vector<BYTE> TwoPageJob(const std::u16string& printer = kPrinter) {
  tw::twdriver::DevModeOptions o;
  o.printer = printer;
  auto dm = tw::twdriver::MakeDevMode(o);
  tw::twdriver::StreamWriter s;
  s.StartDoc(dm);
  s.StartPage(dm);
  s.EndPage(PageBytes(3000));
  s.StartPage(dm);
  s.EndPage(PageBytes(500));
  s.EndDoc();
  return s.Bytes();
}

std::vector<std::string> PluginCalls(const std::filesystem::path& log) {
  std::vector<std::string> lines;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find(' ')));
  return lines;
}

class DocumentTest : public ::testing::Test {
 public:
  void SetUp() override {
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    spooler_.spooler->AddPrinter(u"Second Printer", kIni);
    ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", kIni));
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"TW01:", u"TwMonitor.ini"));
    log_ = root_.Dir() / "plugin.log";
    setenv("TW_TEST_PLUGIN_LOG", log_.c_str(), 1);
  }
  void TearDown() override { unsetenv("TW_TEST_PLUGIN_LOG"); }

  HANDLE OpenPort(MonitorHost& host, const WCHAR* name = u"TW01:") {
    std::u16string copy(name);
    HANDLE port = nullptr;
    EXPECT_TRUE(host.table->pfnOpenPort(host.monitor, copy.data(), &port));
    return port;
  }

  // One document as the spooler delivers it; returns WritePort's results.
  std::vector<BOOL> Print(MonitorHost& host, HANDLE port, DWORD jobId, const std::vector<BYTE>& stream, size_t block,
                          const WCHAR* printer = kPrinter, size_t deleteAfter = SIZE_MAX) {
    std::u16string printerName(printer), docName(u"Microsoft Word - Letter.docx");
    DOC_INFO_1W doc{docName.data(), nullptr, nullptr};
    spooler_.spooler->AddJob(jobId, printerName, u"D:\\Docs\\Letter.pdf");
    EXPECT_TRUE(host.table->pfnStartDocPort(port, printerName.data(), jobId, 1, reinterpret_cast<LPBYTE>(&doc)));
    std::vector<BOOL> results;
    for (size_t at = 0; at < stream.size(); at += block) {
      if (at >= deleteAfter) {
        // Deleted in the queue: the spooler stops delivering and ends the document.
        spooler_.spooler->SetJobStatus(jobId, JOB_STATUS_DELETING);
        break;
      }
      DWORD n = static_cast<DWORD>(std::min(block, stream.size() - at)), written = 0;
      results.push_back(host.table->pfnWritePort(port, const_cast<BYTE*>(stream.data() + at), n, &written));
      EXPECT_EQ(written, n);
    }
    EXPECT_TRUE(host.table->pfnEndDocPort(port));
    return results;
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::filesystem::path log_;
};

TEST_F(DocumentTest, TwoPageJobRunsToTheEnd) {
  twtest::LeakGuard leaks;
  {
    MonitorHost host;
    host.RecordOperations();
    EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
    HANDLE port = OpenPort(host);
    Print(host, port, 11, TwoPageJob(), 4096);
    EXPECT_EQ(host.ops, (std::vector<std::u16string>{u"SetDevMode", u"StartDoc", u"SetDevMode", u"StartPage",
                                                     u"EndPage", u"SetDevMode", u"StartPage", u"EndPage",
                                                     u"EndDoc"}));
    EXPECT_TRUE(host.table->pfnClosePort(port));
  }
  EXPECT_EQ(st::Read(st::ScopeForPrinter(kPrinter), st::LastDocNumber), 1u);
  EXPECT_EQ(PluginCalls(log_), (std::vector<std::string>{"TwStartDoc", "TwStartPage", "TwEndPage", "TwStartPage",
                                                         "TwEndPage", "TwEndDoc"}));
  // Cancelled once, at EndDocPort, so that it leaves the queue.
  EXPECT_EQ(spooler_.spooler->CountControls(11, JOB_CONTROL_CANCEL), 1u);
}

TEST_F(DocumentTest, SameOperationsForEveryBlockSize) {
  auto stream = TwoPageJob();
  std::vector<std::u16string> first;
  DWORD jobId = 20;
  for (size_t block : {size_t{1}, size_t{7}, size_t{16}, size_t{4096}, stream.size()}) {
    MonitorHost host;
    host.RecordOperations();
    host.Xcv(u"AddPort", u"");
    HANDLE port = OpenPort(host);
    for (BOOL r : Print(host, port, ++jobId, stream, block)) EXPECT_TRUE(r);
    if (first.empty()) first = host.ops;
    EXPECT_EQ(host.ops, first) << "block " << block;
    EXPECT_EQ(spooler_.spooler->CountControls(jobId, JOB_CONTROL_CANCEL), 1u);
    host.table->pfnClosePort(port);
  }
  EXPECT_EQ(first.size(), 9u);
}

TEST_F(DocumentTest, ShortDevModeCancelsDuringWritePort) {
  tw::twdriver::StreamWriter s;
  s.Command(PORT_CMD_START_DOC, std::vector<BYTE>(6878, 0));
  auto bad = s.Bytes();
  MonitorHost host;
  host.RecordOperations();
  host.Xcv(u"AddPort", u"");
  HANDLE port = OpenPort(host);
  std::u16string printer(kPrinter);
  spooler_.spooler->AddJob(31, printer, u"doc");
  ASSERT_TRUE(host.table->pfnStartDocPort(port, printer.data(), 31, 1, nullptr));
  DWORD written = 0;
  // The block ends right after the command: the job fails in this call.
  EXPECT_TRUE(host.table->pfnWritePort(port, bad.data(), static_cast<DWORD>(bad.size()), &written));
  EXPECT_EQ(written, bad.size());
  EXPECT_EQ(spooler_.spooler->CountControls(31, JOB_CONTROL_CANCEL), 1u);
  EXPECT_TRUE(host.table->pfnEndDocPort(port));
  EXPECT_EQ(spooler_.spooler->CountControls(31, JOB_CONTROL_CANCEL), 2u);
  // This spooler does not mark a cancelled job deleted: the failure alone
  // gives the job its abort.
  EXPECT_EQ(host.ops, std::vector<std::u16string>{u"AbortDoc"});
}

TEST_F(DocumentTest, BadHeaderSkipsRestOfBlock) {
  auto stream = TwoPageJob();
  tw::twdriver::StreamWriter junk;
  junk.EndDoc();
  junk.AddFault({tw::twdriver::Fault::WrongFlag, 0});
  auto bad = junk.Bytes();
  bad.resize(100, 0xEE);  // the rest of this block is ignored
  MonitorHost host;
  host.RecordOperations();
  host.Xcv(u"AddPort", u"");
  HANDLE port = OpenPort(host);
  std::u16string printer(kPrinter);
  spooler_.spooler->AddJob(40, printer, u"doc");
  ASSERT_TRUE(host.table->pfnStartDocPort(port, printer.data(), 40, 1, nullptr));
  DWORD written = 0;
  EXPECT_TRUE(host.table->pfnWritePort(port, bad.data(), static_cast<DWORD>(bad.size()), &written));
  EXPECT_EQ(written, 100u);
  EXPECT_TRUE(host.ops.empty());
  EXPECT_TRUE(host.table->pfnWritePort(port, stream.data(), static_cast<DWORD>(stream.size()), &written));
  EXPECT_EQ(host.ops.size(), 9u);
  EXPECT_TRUE(host.table->pfnEndDocPort(port));
}

TEST_F(DocumentTest, DeletedJobIsAbortedAtEndDocPort) {
  MonitorHost host;
  host.RecordOperations();
  host.Xcv(u"AddPort", u"");
  HANDLE port = OpenPort(host);
  auto stream = TwoPageJob();
  Print(host, port, 50, stream, 1000, kPrinter, 7000);
  ASSERT_FALSE(host.ops.empty());
  EXPECT_EQ(host.ops.back(), u"AbortDoc");
  EXPECT_EQ(std::count(host.ops.begin(), host.ops.end(), u"AbortDoc"), 1);
  EXPECT_EQ(std::count(host.ops.begin(), host.ops.end(), u"EndDoc"), 0);
  EXPECT_EQ(PluginCalls(log_), (std::vector<std::string>{"TwStartDoc", "TwAbort"}));
  EXPECT_EQ(spooler_.spooler->CountControls(50, JOB_CONTROL_CANCEL), 1u);
}

TEST_F(DocumentTest, SecondStartIgnoredAndEmptyWritesAccepted) {
  MonitorHost host;
  host.RecordOperations();
  host.Xcv(u"AddPort", u"");
  HANDLE port = OpenPort(host);
  std::u16string printer(kPrinter);
  spooler_.spooler->AddJob(60, printer, u"first");
  spooler_.spooler->AddJob(61, printer, u"second");
  auto stream = TwoPageJob();
  ASSERT_TRUE(host.table->pfnStartDocPort(port, printer.data(), 60, 1, nullptr));
  DWORD written = 99;
  ASSERT_TRUE(host.table->pfnWritePort(port, stream.data(), 5000, &written));
  // A second start leaves the running job (and its partial command) alone.
  EXPECT_TRUE(host.table->pfnStartDocPort(port, printer.data(), 61, 1, nullptr));
  EXPECT_TRUE(host.table->pfnWritePort(port, nullptr, 10, &written));
  EXPECT_EQ(written, 0u);
  written = 99;
  EXPECT_TRUE(host.table->pfnWritePort(port, stream.data(), 0, &written));
  EXPECT_EQ(written, 0u);
  ASSERT_TRUE(host.table->pfnWritePort(port, stream.data() + 5000, static_cast<DWORD>(stream.size() - 5000), &written));
  EXPECT_EQ(host.ops.size(), 9u);
  EXPECT_TRUE(host.table->pfnEndDocPort(port));
  EXPECT_EQ(spooler_.spooler->CountControls(60, JOB_CONTROL_CANCEL), 1u);
  EXPECT_EQ(spooler_.spooler->CountControls(61, JOB_CONTROL_CANCEL), 0u);
}

// A port with a document in progress is not deleted, and its document goes on.
TEST_F(DocumentTest, PortWithADocumentIsNotDeletedAndStillPrints) {
  MonitorHost host;
  host.RecordOperations();
  host.Xcv(u"AddPort", u"");
  HANDLE port = OpenPort(host);
  std::u16string printer(kPrinter);
  spooler_.spooler->AddJob(65, printer, u"doc");
  auto stream = TwoPageJob();
  ASSERT_TRUE(host.table->pfnStartDocPort(port, printer.data(), 65, 1, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(host.table->pfnWritePort(port, stream.data(), 5000, &written));
  EXPECT_EQ(host.Xcv(u"DeletePort", u"TW01:"), static_cast<DWORD>(ERROR_BUSY));
  ASSERT_TRUE(host.table->pfnWritePort(port, stream.data() + 5000, static_cast<DWORD>(stream.size() - 5000), &written));
  EXPECT_TRUE(host.table->pfnEndDocPort(port));
  ASSERT_FALSE(host.ops.empty());
  EXPECT_EQ(host.ops.back(), u"EndDoc");
  EXPECT_TRUE(host.table->pfnClosePort(port));
  // Nothing points at it any more.
  EXPECT_EQ(host.Xcv(u"DeletePort", u"TW01:"), 0u);
  EXPECT_TRUE(host.Ports().empty());
}

// A header cut off at the end of a document is forgotten with it: the
// thread's next block, of another port's document, is read from its start.
TEST_F(DocumentTest, HeaderCutOffAtTheEndOfADocumentIsForgotten) {
  MonitorHost host;
  host.RecordOperations();
  host.Xcv(u"AddPort", u"");
  ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"TW02:", u"TwMonitor.ini"));
  host.Xcv(u"AddPort", u"");
  HANDLE a = OpenPort(host, u"TW01:"), b = OpenPort(host, u"TW02:");
  std::u16string printer(kPrinter);
  spooler_.spooler->AddJob(80, printer, u"cut off");
  spooler_.spooler->AddJob(81, printer, u"next");
  // The second document starts on another spooler thread.
  struct Start {
    MonitorHost* host;
    HANDLE port;
    std::u16string printer;
  } start{&host, b, printer};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID p) -> DWORD {
        auto* s = static_cast<Start*>(p);
        return s->host->table->pfnStartDocPort(s->port, s->printer.data(), 81, 1, nullptr);
      },
      &start, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  CloseHandle(thread);

  auto stream = TwoPageJob();
  ASSERT_TRUE(host.table->pfnStartDocPort(a, printer.data(), 80, 1, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(host.table->pfnWritePort(a, stream.data(), 5, &written));  // a third of a header
  EXPECT_TRUE(host.table->pfnEndDocPort(a));
  host.ops.clear();
  EXPECT_TRUE(host.table->pfnWritePort(b, stream.data(), static_cast<DWORD>(stream.size()), &written));
  EXPECT_EQ(host.ops.size(), 9u);
  EXPECT_TRUE(host.table->pfnEndDocPort(b));
  EXPECT_EQ(spooler_.spooler->CountControls(81, JOB_CONTROL_CANCEL), 1u);  // only to leave the queue
  host.table->pfnClosePort(a);
  host.table->pfnClosePort(b);
}

// The spooler unloads the monitor in the middle of a document: the port
// takes its job and its printer handle with it.
TEST_F(DocumentTest, UnloadInTheMiddleOfADocumentLeavesNoHandle) {
  twtest::LeakGuard leaks;
  {
    MonitorHost host;
    host.Xcv(u"AddPort", u"");
    HANDLE port = OpenPort(host);
    std::u16string printer(kPrinter);
    spooler_.spooler->AddJob(90, printer, u"unfinished");
    auto stream = TwoPageJob();
    ASSERT_TRUE(host.table->pfnStartDocPort(port, printer.data(), 90, 1, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(host.table->pfnWritePort(port, stream.data(), 8000, &written));
  }
}

TEST_F(DocumentTest, HandOverKeyIsCopiedToUserAndDeleted) {
  const WCHAR source[] = u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\Tarnwick Printer\\Job 70";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::u16string(source) + u"\\Text Output Settings").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD rows = 33;
  RegSetValueExW(key, u"Character Rows", 0, REG_DWORD, reinterpret_cast<BYTE*>(&rows), 4);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, source, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const WCHAR text[] = u"hello";
  RegSetValueExW(key, u"Some Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegCloseKey(key);

  MonitorHost host;
  host.Xcv(u"AddPort", u"");
  HANDLE port = OpenPort(host);
  Print(host, port, 70, TwoPageJob(), 4096);

  auto scope = st::ScopeForPrinter(kPrinter);
  EXPECT_EQ(st::Read(scope, st::TextCharacterRows), 33u);
  WCHAR got[32] = {};
  DWORD size = sizeof got;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer", u"Some Value",
                         RRF_RT_REG_SZ, nullptr, got, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(got), u"hello");
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, source, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(DocumentTest, TwoPrintersOnTwoPortsAtOnce) {
  MonitorHost host;
  host.Xcv(u"AddPort", u"");
  ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"TW02:", u"TwMonitor.ini"));
  host.Xcv(u"AddPort", u"");
  HANDLE a = OpenPort(host, u"TW01:"), b = OpenPort(host, u"TW02:");
  // Spooler threads: made with CreateThread so that the monitor sees them come and go.
  struct Work {
    DocumentTest* test;
    MonitorHost* host;
    HANDLE port;
    const WCHAR* printer;
    DWORD firstJob;
  };
  auto run = [](LPVOID p) -> DWORD {
    auto* w = static_cast<Work*>(p);
    auto stream = TwoPageJob(w->printer);
    for (DWORD i = 0; i < 3; ++i) w->test->Print(*w->host, w->port, w->firstJob + i, stream, 777, w->printer);
    return 0;
  };
  Work wa{this, &host, a, kPrinter, 100}, wb{this, &host, b, u"Second Printer", 200};
  HANDLE threads[2] = {CreateThread(nullptr, 0, run, &wa, 0, nullptr), CreateThread(nullptr, 0, run, &wb, 0, nullptr)};
  ASSERT_NE(threads[0], nullptr);
  ASSERT_NE(threads[1], nullptr);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  EXPECT_EQ(st::Read(st::ScopeForPrinter(kPrinter), st::LastDocNumber), 3u);
  EXPECT_EQ(st::Read(st::ScopeForPrinter(u"Second Printer"), st::LastDocNumber), 3u);
}

TEST_F(DocumentTest, RandomStreamsNeitherCrashNorLeak) {
  twtest::LeakGuard leaks;
  {
    MonitorHost host;
    host.Xcv(u"AddPort", u"");
    HANDLE port = OpenPort(host);
    unsigned seed = 99;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (DWORD job = 0; job < 30; ++job) {
      std::vector<BYTE> stream = TwoPageJob();
      for (int i = 0; i < 6; ++i) stream[next() % stream.size()] ^= static_cast<BYTE>(next() >> 24);
      stream.resize(next() % stream.size());
      if (job % 3 == 0) {
        stream.resize(4000);
        for (auto& b : stream) b = static_cast<BYTE>(next() >> 24);
      }
      Print(host, port, 300 + job, stream, 1 + next() % 2000);
    }
    host.table->pfnClosePort(port);
  }
}

}  // namespace
