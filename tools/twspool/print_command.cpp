// twspool print: submits command-stream files as spooler jobs.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>

#include <winspool.h>

#include "commands.h"
#include "group_listing.h"
#include "print_progress.h"
#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/catalogue.h"
#include "job/settings/settings_store.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/utf.h"

namespace twspool {
namespace {

constexpr DWORD kStreamFlag = 0x8000F44Fu;  // the first field of every command header
constexpr DWORD kHeaderSize = 16;

size_t ParseSize(const std::string& text, const char* what) {
  try {
    size_t used = 0;
    unsigned long long v = std::stoull(text, &used, 10);
    if (used == text.size() && text[0] != '-') return static_cast<size_t>(v);
  } catch (...) {
  }
  throw Failure{std::string(what) + " must be a number of bytes, not \"" + text + "\"", 2};
}

bool IsCommandStream(const std::vector<BYTE>& data) {
  if (data.size() < kHeaderSize) return false;
  DWORD flag = 0, size = 0;
  std::memcpy(&flag, data.data(), 4);
  std::memcpy(&size, data.data() + 4, 4);
  return flag == kStreamFlag && size == kHeaderSize;
}

std::vector<BYTE> ReadFile(const std::string& path, size_t limit = SIZE_MAX) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{"cannot open " + path};
  std::vector<BYTE> data;
  for (std::istreambuf_iterator<char> it(in), end; it != end && data.size() < limit; ++it) data.push_back(static_cast<BYTE>(*it));
  if (in.bad()) throw Failure{"cannot read " + path};
  return data;
}

// A page file (EMF or BMP) becomes a one-page job for the printer, written
// the way the driver writes it.
std::vector<BYTE> StreamFromPageFile(const std::string& path, std::u16string_view printer) {
  std::string error;
  auto page = tw::twdriver::ReadPageFile(path, error);
  if (!page) throw Failure{path + ": not a command stream, a metafile or a bitmap (" + error + ")"};
  tw::twdriver::DevModeOptions options;
  options.printer = std::u16string(printer);
  TarnwickDEVMODE record = tw::twdriver::MakeDevMode(options);
  tw::twdriver::StreamWriter stream;
  stream.StartDoc(record);
  stream.StartPage(record);
  if (page->raw) stream.EndPageRaw(page->bytes);
  else stream.EndPage(page->bytes);
  stream.EndDoc();
  return stream.Bytes();
}

// The printer's INI file (its driver's data file); empty when the spooler
// does not know the printer.
std::u16string PrinterIniFile(const std::u16string& printer) {
  HANDLE handle = nullptr;
  std::u16string name = printer;
  if (!OpenPrinterW(name.data(), &handle, nullptr)) return {};
  DWORD needed = 0;
  GetPrinterDriverW(handle, nullptr, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed + 4, 0);
  std::u16string file;
  if (needed && GetPrinterDriverW(handle, nullptr, 2, info.data(), needed, &needed)) {
    const auto* driver = reinterpret_cast<const DRIVER_INFO_2W*>(info.data());
    if (driver->pDataFile) file = driver->pDataFile;
  }
  ClosePrinter(handle);
  return file;
}

// The group file disabled by the record of the job's first START_DOC.
bool GroupFileDisabled(const std::vector<BYTE>& stream) {
  constexpr size_t kFlags = kHeaderSize + offsetof(TarnwickDEVMODE, Flags);
  if (stream.size() < kFlags + 4) return false;
  DWORD type = 0, flags = 0;
  std::memcpy(&type, stream.data() + 8, 4);
  std::memcpy(&flags, stream.data() + kFlags, 4);
  return type == 1 && (flags & tw::devmode::flags::GroupFileDisabled);
}

// Which group file a job writes: the group INI's "Group File" of the printer,
// read when the job runs its first operation after the start of its document
// (the document was named and the group INI written by then).
struct GroupFileWatch {
  std::u16string printer, groupIni, groupFile;
  bool active = false;  // the job writes a group file
  bool seen = false;

  void Operation(std::u16string_view op) {
    if (!active || seen || op == u"SetDevMode" || op == u"StartDoc" || op == u"AbortDoc") return;
    seen = true;
    WCHAR value[MAX_PATH] = {};
    GetPrivateProfileStringW(printer.c_str(), u"Group File", u"", value, MAX_PATH, groupIni.c_str());
    groupFile = value;
  }
};

// One file of the command line with the options given before it.
struct PrintArgument {
  std::string path;
  PrintOptions options;
};

// The command line: options apply to the files after them, so that each
// file can go to its own printer (`--printer A a.twj --printer B b.twj`).
std::vector<PrintArgument> ParsePrintArguments(const std::vector<std::string>& args, bool& quiet) {
  std::vector<PrintArgument> files;
  PrintOptions current;
  current.printer = u"Tarnwick Printer";
  bool named = false, optionAfterLastFile = false;
  std::string document;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--quiet") {
      quiet = true;
      continue;
    }
    if (a.size() <= 2 || a.rfind("--", 0) != 0) {
      files.push_back({a, current});
      if (!named) files.back().options.document = U16(std::filesystem::path(a).filename().string());
      optionAfterLastFile = false;
      continue;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    std::string value;
    if (name != "--printer" && name != "--document" && name != "--user" && name != "--block-size" &&
        name != "--delete-after")
      throw Failure{"unknown option " + a, 2};
    if (eq != std::string::npos) value = a.substr(eq + 1);
    else if (i + 1 < args.size()) value = args[++i];
    else throw Failure{name + " needs a value", 2};
    optionAfterLastFile = true;
    if (name == "--printer") {
      current.printer = U16(value);
    } else if (name == "--document") {
      named = true;
      current.document = U16(value);
    } else if (name == "--user") {
      current.user = U16(value);
    } else if (name == "--block-size") {
      current.blockSize = ParseSize(value, "--block-size");
      if (current.blockSize == 0) throw Failure{"--block-size must be at least 1", 2};
    } else {
      current.deleteAfter = ParseSize(value, "--delete-after");
    }
  }
  if (files.empty()) throw Failure{"print needs at least one file", 2};
  if (optionAfterLastFile) throw Failure{"an option after the last file applies to no file", 2};
  return files;
}

// The jobs of one `twspool print` as they run: each job's group file, the
// pages done, and the progress line.
class PrintWatch : public SpoolerHost::JobObserver {
 public:
  PrintWatch(Context& context, const std::vector<PrintArgument>& files, std::vector<GroupFileWatch>& groups,
             bool progress)
      : m_context(context), m_files(files), m_groups(groups), m_jobs(files.size()), m_display(context.Out(), progress) {
    m_display.Draw(State());
  }

  void JobOperation(size_t index, std::u16string_view operation, DWORD) override {
    Job& job = m_jobs[index];
    // A page is done when the job goes on to its next operation.
    if (job.pageOpen) {
      job.pageOpen = false;
      ++m_pages;
    }
    job.pageOpen = operation == u"EndPage" || operation == u"EndPageRaw";
    m_groups[index].Operation(operation);
    m_lastActive = index;
  }
  void JobStarted(size_t index) override { m_jobs[index].started = true; }
  void JobFinished(size_t index, const JobOutcome& outcome) override {
    Job& job = m_jobs[index];
    if (job.pageOpen) ++m_pages;
    job.pageOpen = false;
    job.finished = true;
    job.outcome = outcome;
    ++m_done;
    // Results in the order of the command line, each as soon as those before it are in.
    m_display.Clear();
    for (; m_reported < m_jobs.size() && m_jobs[m_reported].finished; ++m_reported) Report(m_reported);
    m_display.Draw(State());
  }
  void Tick() override { m_display.Draw(State()); }

  bool AllPrinted() const {
    return std::all_of(m_jobs.begin(), m_jobs.end(), [](const Job& j) { return j.outcome.result == JobResult::Printed; });
  }
  void ClearLine() { m_display.Clear(); }
  void Summary() {
    if (!m_display.Enabled()) return;
    m_display.Clear();
    m_context.Out() << SummaryLine(m_pages, m_fileNames.size(), m_display.Seconds()) << "\n";
  }

 private:
  struct Job {
    bool started = false, finished = false;
    bool pageOpen = false;  // on the job's thread only
    JobOutcome outcome;
  };

  ProgressState State() {
    ProgressState state;
    state.jobsDone = m_done;
    state.jobsTotal = m_jobs.size();
    state.pages = m_pages;
    if (m_display.Enabled() && m_lastActive < m_groups.size()) {
      // "Last Output File" of the group INI: the monitor writes it after each page.
      const GroupFileWatch& group = m_groups[m_lastActive];
      WCHAR value[MAX_PATH] = {};
      GetPrivateProfileStringW(group.printer.c_str(), u"Last Output File", u"", value, MAX_PATH,
                               group.groupIni.c_str());
      std::u16string_view file = value;
      if (size_t slash = file.find_last_of(u"\\/"); slash != std::u16string_view::npos) file.remove_prefix(slash + 1);
      state.file = tw::ToUtf8(file);
    }
    return state;
  }

  void Report(size_t index) {
    const JobOutcome& outcome = m_jobs[index].outcome;
    std::ostream& out = m_context.Out();
    out << "job " << outcome.jobId << ": " << ResultName(outcome.result);
    if (outcome.result == JobResult::Failed) {
      bool duringWrite = false;
      for (const auto& c : outcome.controls)
        if (c.command == JOB_CONTROL_CANCEL && c.phase == "WritePort") duringWrite = true;
      if (duringWrite) out << " (the monitor cancelled it during WritePort)";
    }
    if (!outcome.error.empty()) out << " (" << outcome.error << ")";
    out << "\t" << m_files[index].path << "\n";
    // The pages' files as the job's group file lists them.
    const GroupFilePages files = ReadGroupFilePages(m_groups[index].groupFile, m_groups[index].printer);
    std::vector<std::string> utf8;
    for (const auto& name : files.names) {
      utf8.push_back(tw::ToUtf8(name));
      m_fileNames.insert(name);
    }
    for (uint32_t name : files.pages) out << "\t" << utf8[name] << "\n";
    out.flush();
  }

  Context& m_context;
  const std::vector<PrintArgument>& m_files;
  std::vector<GroupFileWatch>& m_groups;
  std::vector<Job> m_jobs;
  ProgressDisplay m_display;
  std::atomic<size_t> m_pages{0};
  std::atomic<size_t> m_lastActive{SIZE_MAX};
  size_t m_done = 0, m_reported = 0;
  std::set<std::u16string> m_fileNames;
};

}  // namespace

int CmdPrint(Context& context, const std::vector<std::string>& args) {
  bool quiet = false;
  const std::vector<PrintArgument> files = ParsePrintArguments(args, quiet);
  // Read and check every file first, so that a bad one prints nothing.
  std::vector<SpoolerHost::Request> requests;
  // A command stream is printed from its file, block by block; only its
  // start is read here (the stream's header and the first record's flags).
  std::vector<std::vector<BYTE>> starts;
  for (const auto& file : files) {
    auto start = ReadFile(file.path, kHeaderSize + sizeof(TarnwickDEVMODE));
    if (IsCommandStream(start)) {
      requests.push_back({file.options, {}, file.path});
    } else {
      start = StreamFromPageFile(file.path, file.options.printer);
      requests.push_back({file.options, start, {}});
    }
    starts.push_back(std::move(start));
  }
  SpoolerHost& host = context.Host();
  std::vector<GroupFileWatch> groups(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    GroupFileWatch& watch = groups[i];
    watch.printer = files[i].options.printer;
    watch.groupIni =
        tw::settings::Read(tw::settings::ScopeForPrinter(watch.printer, 0, PrinterIniFile(watch.printer)),
                           tw::settings::IniGroupIniFile, MAX_PATH);
    watch.active = !GroupFileDisabled(starts[i]);
  }
  PrintWatch watch(context, files, groups, context.Terminal() && !quiet);
  std::vector<JobOutcome> outcomes = host.PrintQueued(requests, &watch);
  for (size_t i = 0; i < outcomes.size(); ++i)
    if (outcomes[i].jobId == 0 && !outcomes[i].error.empty()) {
      watch.ClearLine();
      throw Failure{files[i].path + ": " + outcomes[i].error};
    }
  watch.Summary();
  return watch.AllPrinted() ? 0 : 1;
}

}  // namespace twspool
