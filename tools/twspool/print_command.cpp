// twspool print: submits command-stream files as spooler jobs.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "commands.h"
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
    JobOutcome outcome = host.Print(options, files[i]);
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
    if (outcome.result != JobResult::Printed) allPrinted = false;
  }
  return allPrinted ? 0 : 1;
}

}  // namespace twspool
