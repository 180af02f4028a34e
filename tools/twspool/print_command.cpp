// twspool print: submits command-stream files as spooler jobs.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include <winspool.h>

#include "commands.h"
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

std::vector<BYTE> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure{"cannot open " + path};
  std::vector<BYTE> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
  bool seen = false;

  static void WINAPI Hook(void* context, const WCHAR* operation, DWORD) {
    auto* watch = static_cast<GroupFileWatch*>(context);
    const std::u16string_view op = operation ? operation : u"";
    if (watch->seen || op == u"SetDevMode" || op == u"StartDoc" || op == u"AbortDoc") return;
    watch->seen = true;
    WCHAR value[MAX_PATH] = {};
    GetPrivateProfileStringW(watch->printer.c_str(), u"Group File", u"", value, MAX_PATH, watch->groupIni.c_str());
    watch->groupFile = value;
  }
};

// The "FileName" of each page of a group file, in page order, read as the
// profile functions read it (names without case, the first of a name counts,
// values trimmed and one pair of quotes removed), in one pass over the file.
std::vector<std::u16string> PageFileNames(const GroupFileWatch& watch) {
  std::vector<std::u16string> names;
  if (watch.groupFile.empty()) return names;
  HANDLE file = CreateFileW(watch.groupFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return names;
  std::string bytes;
  char buffer[65536];
  for (DWORD got = 0; ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got;) bytes.append(buffer, got);
  CloseHandle(file);
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  } else if (!bytes.empty()) {
    text.resize(bytes.size());
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  }
  auto trim = [](std::u16string_view v) {
    while (!v.empty() && (v.front() == u' ' || (v.front() >= u'\t' && v.front() <= u'\r'))) v.remove_prefix(1);
    while (!v.empty() && (v.back() == u' ' || (v.back() >= u'\t' && v.back() <= u'\r'))) v.remove_suffix(1);
    return v;
  };
  auto upper = [](std::u16string_view v) {
    std::u16string u(v);
    for (auto& c : u) c = c >= u'a' && c <= u'z' ? c - 32 : c;
    return u;
  };
  const std::u16string printer = upper(trim(watch.printer));
  std::map<std::u16string, std::map<std::u16string, std::u16string>> sections;
  std::map<std::u16string, std::u16string>* section = nullptr;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string_view line = trim(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == u';') continue;
    if (size_t close; line[0] == u'[' && (close = line.rfind(u']')) != std::u16string_view::npos) {
      const std::u16string name = upper(trim(line.substr(1, close - 1)));
      section = sections.count(name) ? nullptr : &sections[name];
      continue;
    }
    const size_t eq = line.find(u'=');
    if (section && eq != std::u16string_view::npos) section->emplace(upper(trim(line.substr(0, eq))), trim(line.substr(eq + 1)));
  }
  auto value = [&](const std::u16string& sectionName, const std::u16string& key) {
    auto s = sections.find(sectionName);
    if (s == sections.end()) return std::u16string();
    auto k = s->second.find(key);
    std::u16string v = k == s->second.end() ? std::u16string() : k->second;
    if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
    return v;
  };
  // Pages beyond the sections the file holds are not there to list.
  const unsigned long pages =
      std::min<unsigned long>(wcstoul(value(printer, u"TOTAL NUMBER OF PAGES").c_str(), nullptr, 10),
                              static_cast<unsigned long>(sections.size()));
  for (unsigned long i = 1; i <= pages; ++i)
    if (std::u16string name = value(u"PAGE " + tw::FromUtf8(std::to_string(i)), u"FILENAME"); !name.empty())
      names.push_back(std::move(name));
  return names;
}

}  // namespace

int CmdPrint(Context& context, const std::vector<std::string>& argsIn) {
  auto args = argsIn;
  std::string printer = "Tarnwick Printer", document, user, blockSize, deleteAfter;
  TakeOption(args, "--printer", printer);
  bool named = TakeOption(args, "--document", document);
  TakeOption(args, "--user", user);
  PrintOptions options;
  if (TakeOption(args, "--block-size", blockSize)) {
    options.blockSize = ParseSize(blockSize, "--block-size");
    if (options.blockSize == 0) throw Failure{"--block-size must be at least 1", 2};
  }
  if (TakeOption(args, "--delete-after", deleteAfter)) options.deleteAfter = ParseSize(deleteAfter, "--delete-after");
  RejectOptions(args);
  if (args.empty()) throw Failure{"print needs at least one file", 2};

  // Read and check every file first, so that a bad one prints nothing.
  std::vector<std::vector<BYTE>> files;
  for (const auto& path : args) {
    auto data = ReadFile(path);
    if (!IsCommandStream(data)) data = StreamFromPageFile(path, U16(printer));
    files.push_back(std::move(data));
  }
  SpoolerHost& host = context.Host();
  options.printer = U16(printer);
  options.user = U16(user);
  bool allPrinted = true;
  for (size_t i = 0; i < files.size(); ++i) {
    options.document = U16(named ? document : std::filesystem::path(args[i]).filename().string());
    GroupFileWatch watch;
    watch.printer = options.printer;
    watch.groupIni = tw::settings::Read(tw::settings::ScopeForPrinter(options.printer, 0, PrinterIniFile(options.printer)),
                                        tw::settings::IniGroupIniFile, MAX_PATH);
    const bool watched = !GroupFileDisabled(files[i]) && host.SetJobOperationHook(&GroupFileWatch::Hook, &watch);
    JobOutcome outcome = host.Print(options, files[i]);
    if (watched) host.SetJobOperationHook(nullptr, nullptr);
    if (outcome.jobId == 0) throw Failure{args[i] + ": " + outcome.error};
    context.Out() << "job " << outcome.jobId << ": " << ResultName(outcome.result);
    if (outcome.result == JobResult::Failed) {
      bool duringWrite = false;
      for (const auto& c : outcome.controls)
        if (c.command == JOB_CONTROL_CANCEL && c.phase == "WritePort") duringWrite = true;
      if (duringWrite) context.Out() << " (the monitor cancelled it during WritePort)";
    }
    if (!outcome.error.empty()) context.Out() << " (" << outcome.error << ")";
    context.Out() << "\t" << args[i] << "\n";
    // The pages' files as the job's group file lists them.
    for (const auto& name : PageFileNames(watch)) context.Out() << "\t" << tw::ToUtf8(name) << "\n";
    if (outcome.result != JobResult::Printed) allPrinted = false;
  }
  return allPrinted ? 0 : 1;
}

}  // namespace twspool
