// twdriver: writes the command stream the printer driver sends to the port.
//   twdriver -o JOB.twj [options] PAGE...
// A PAGE is an EMF file, a BMP file (a raw page) or --text X,Y,STRING.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "job/devmode/devmode_dump.h"
#include "job/devmode/devmode_fields.h"
#include "tools/twdriver/stream_writer.h"
#include "tools/twdriver/text_pages.h"
#include "tw/utf.h"

namespace {

using tw::twdriver::Fault;

int Usage() {
  std::fputs(
      "usage: twdriver -o JOB.twj [--printer NAME] [--paper WxH] [--paper-size N] [--landscape]\n"
      "                [--dpi X[,Y]] [--color bw|grey|palette|true] [--devmode FILE]\n"
      "                [--font FACE,POINTS] [--text-grid enscript|LEFT,BASELINE,PITCH,LINES] [--set FIELD=VALUE]... [--split wrong-flag:N|wrong-size:N|truncate:N:BYTES] PAGE...\n"
      "       twdriver --pages-to DIR FILE.txt...   writes the typeset pages of text files as .emf files\n"
      "       twdriver --dump JOB.twj|DEVMODE.bin   prints the decoded DEVMODE record\n"
      "  PAGE: FILE.emf | FILE.bmp | FILE.txt (typeset in Courier New 10 pt) | --text X,Y,STRING\n"
      "  --text-grid: text lines on a fixed grid (points): enscript -B -f Courier10 on Letter is 23,49,11,65\n"
      "  (N counts commands from 0)\n",
      stderr);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "twdriver: %s\n", message.c_str());
  return 1;
}

bool ParseLong(const std::string& s, LONG& out) {
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || *end || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<LONG>(v);
  return true;
}

bool ParseFault(const std::string& s, Fault& fault) {
  auto colon = s.find(':');
  if (colon == std::string::npos) return false;
  std::string kind = s.substr(0, colon), rest = s.substr(colon + 1);
  LONG index = 0, bytes = 0;
  if (kind == "truncate") {
    auto second = rest.find(':');
    if (second == std::string::npos || !ParseLong(rest.substr(second + 1), bytes) || bytes < 0) return false;
    rest = rest.substr(0, second);
  }
  if (!ParseLong(rest, index) || index < 0) return false;
  if (kind == "wrong-flag") fault = {Fault::WrongFlag, static_cast<size_t>(index)};
  else if (kind == "wrong-size") fault = {Fault::WrongSize, static_cast<size_t>(index)};
  else if (kind == "truncate") fault = {Fault::Truncate, static_cast<size_t>(index), static_cast<DWORD>(bytes)};
  else return false;
  return true;
}

struct Page {
  bool text = false;
  std::string file;
  LONG x = 0, y = 0;
  std::u16string string;
};

// --dump: the record of a job's START_DOC, or a record file of its own.
int Dump(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail("cannot read " + path);
  std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::span<const BYTE> record(bytes);
  PORT_COMMAND head{};
  if (bytes.size() >= sizeof head) {
    std::memcpy(&head, bytes.data(), sizeof head);
    if (head.dwFlag == TARNWICK_CMD_FLAG) {
      if (head.dwCommandType != PORT_CMD_START_DOC || bytes.size() - sizeof head < head.dwDataSize)
        return Fail(path + ": the stream does not start with a whole START_DOC");
      record = record.subspan(sizeof head, head.dwDataSize);
    }
  }
  TarnwickDEVMODE dm{};
  std::u16string error;
  if (!tw::devmode::RecordFromBytes(record, dm, error)) return Fail(path + ": " + tw::ToUtf8(error));
  for (const auto& line : tw::devmode::DecodedRecordLines(dm)) std::printf("%s\n", tw::ToUtf8(line).c_str());
  return 0;
}

bool IsTextFile(const std::string& path) {
  return path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
}

// The typeset pages of a text file on the job's paper, recorded on the
// printer context of the job's record.
bool TextFilePages(const std::string& path, const tw::twdriver::DevModeOptions& dm, const TarnwickDEVMODE& record,
                   tw::twdriver::TextLayout layout, std::vector<std::vector<BYTE>>& pages, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bool landscape = dm.orientation == 2;
  layout.paperWidth = landscape ? dm.paperLength : dm.paperWidth;
  layout.paperLength = landscape ? dm.paperWidth : dm.paperLength;
  if (!tw::twdriver::TypesetText(text, layout, record, pages, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--dump") return Dump(argv[2]);
  std::vector<std::u16string> assignments;
  std::string pagesTo;
  tw::twdriver::TextLayout textLayout;
  std::string output;
  tw::twdriver::DevModeOptions dm;
  std::vector<Fault> faults;
  std::vector<Page> pages;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](std::string& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string v;
    if (a == "-o" || a == "--output") {
      if (!next(output)) return Usage();
    } else if (a == "--printer") {
      if (!next(v)) return Usage();
      dm.printer = tw::FromUtf8(v);
    } else if (a == "--paper") {
      if (!next(v)) return Usage();
      auto x = v.find('x');
      if (x == std::string::npos || !ParseLong(v.substr(0, x), dm.paperWidth) ||
          !ParseLong(v.substr(x + 1), dm.paperLength) || dm.paperWidth <= 0 || dm.paperLength <= 0)
        return Fail("--paper wants WIDTHxLENGTH in tenths of a millimetre");
      dm.paperSize = 256;  // DMPAPER_USER
    } else if (a == "--paper-size") {
      LONG n = 0;
      if (!next(v) || !ParseLong(v, n)) return Fail("--paper-size wants a number");
      dm.paperSize = static_cast<SHORT>(n);
    } else if (a == "--landscape") {
      dm.orientation = 2;
    } else if (a == "--dpi") {
      if (!next(v)) return Usage();
      auto comma = v.find(',');
      if (!ParseLong(v.substr(0, comma), dm.xDpi) ||
          !ParseLong(comma == std::string::npos ? v : v.substr(comma + 1), dm.yDpi) || dm.xDpi <= 0 || dm.yDpi <= 0)
        return Fail("--dpi wants X or X,Y");
    } else if (a == "--color") {
      if (!next(v)) return Usage();
      if (v == "bw") dm.colorMode = 0;
      else if (v == "grey" || v == "gray") dm.colorMode = 1;
      else if (v == "palette") dm.colorMode = 2;
      else if (v == "true") dm.colorMode = 3;
      else return Fail("--color wants bw, grey, palette or true");
    } else if (a == "--devmode") {
      if (!next(v)) return Usage();
      std::ifstream in(v, std::ios::binary);
      if (!in) return Fail("cannot open " + v);
      dm.privatePart.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (dm.privatePart.size() != tw::devmode::kDevModeSize &&
          dm.privatePart.size() != tw::devmode::kPrivatePartSize)
        return Fail(v + ": a DEVMODE record has 6879 bytes (or 6659 for its private part)");
    } else if (a == "--split") {
      Fault fault{};
      if (!next(v) || !ParseFault(v, fault)) return Fail("--split wants wrong-flag:N, wrong-size:N or truncate:N:BYTES");
      faults.push_back(fault);
    } else if (a == "--text") {
      if (!next(v)) return Usage();
      auto c1 = v.find(','), c2 = c1 == std::string::npos ? c1 : v.find(',', c1 + 1);
      Page p;
      p.text = true;
      if (c2 == std::string::npos || !ParseLong(v.substr(0, c1), p.x) || !ParseLong(v.substr(c1 + 1, c2 - c1 - 1), p.y))
        return Fail("--text wants X,Y,STRING");
      p.string = tw::FromUtf8(v.substr(c2 + 1));
      pages.push_back(std::move(p));
    } else if (a == "--font") {
      LONG points = 0;
      auto comma = next(v) ? v.rfind(',') : std::string::npos;
      if (comma == std::string::npos || comma == 0 || !ParseLong(v.substr(comma + 1), points) || points < 1 ||
          points > 500)
        return Fail("--font wants FACE,POINTS (1 to 500 points)");
      textLayout.face = tw::FromUtf8(v.substr(0, comma));
      textLayout.points = static_cast<int>(points);
    } else if (a == "--text-grid") {
      if (!next(v)) return Usage();
      if (v == "enscript") {
        textLayout.margin = tw::twdriver::EnscriptLetterLayout().margin;
        textLayout.grid = tw::twdriver::EnscriptLetterLayout().grid;
        continue;
      }
      double left = 0, baseline = 0, pitch = 0;
      int lines = 0, used = 0;
      if (std::sscanf(v.c_str(), "%lf,%lf,%lf,%d%n", &left, &baseline, &pitch, &lines, &used) != 4 ||
          used != static_cast<int>(v.size()) || left < 0 || baseline < 0 || pitch <= 0 || lines < 1 || lines > 10000)
        return Fail("--text-grid wants enscript or LEFT,BASELINE,PITCH,LINES (points; at least one line)");
      textLayout.grid = {left, baseline, pitch, lines};
    } else if (a == "--pages-to") {
      if (!next(pagesTo)) return Usage();
    } else if (a == "--set") {
      if (!next(v)) return Usage();
      assignments.push_back(tw::FromUtf8(v));
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "twdriver: unknown option %s\n", a.c_str());
      return Usage();
    } else {
      pages.push_back(Page{false, a});
    }
  }
  TarnwickDEVMODE record = tw::twdriver::MakeDevMode(dm);
  std::u16string setError;
  if (!tw::devmode::ApplyFieldAssignments(record, assignments, setError)) return Fail(tw::ToUtf8(setError));
  if (!pagesTo.empty()) {
    // Only the text files' pages, as metafiles: page-0001.emf, ...
    size_t n = 0;
    for (const Page& p : pages) {
      if (p.text || !IsTextFile(p.file)) return Fail("--pages-to takes text files only");
      std::vector<std::vector<BYTE>> emfs;
      std::string error;
      if (!TextFilePages(p.file, dm, record, textLayout, emfs, error)) return Fail(error);
      for (const auto& emf : emfs) {
        char name[32];
        std::snprintf(name, sizeof name, "/page-%04zu.emf", ++n);
        std::ofstream out(pagesTo + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(emf.data()), static_cast<std::streamsize>(emf.size()));
        if (!out) return Fail("cannot write " + pagesTo + name);
      }
    }
    std::printf("%s: %zu pages\n", pagesTo.c_str(), n);
    return 0;
  }
  if (output.empty()) return Usage();
  tw::twdriver::StreamWriter stream;
  stream.StartDoc(record);
  bool pageOpen = false;
  for (const Page& p : pages) {
    if (!pageOpen) {
      stream.StartPage(record);
      pageOpen = true;
    }
    if (p.text) {
      stream.TextOut(p.x, p.y, p.string);
      continue;
    }
    std::string error;
    if (IsTextFile(p.file)) {
      std::vector<std::vector<BYTE>> emfs;
      if (!TextFilePages(p.file, dm, record, textLayout, emfs, error)) return Fail(error);
      for (size_t k = 0; k < emfs.size(); ++k) {
        if (k > 0) stream.StartPage(record);
        stream.EndPage(emfs[k]);
      }
      pageOpen = false;
      continue;
    }
    auto page = tw::twdriver::ReadPageFile(p.file, error);
    if (!page) return Fail(error);
    if (page->raw) stream.EndPageRaw(page->bytes);
    else stream.EndPage(page->bytes);
    pageOpen = false;
  }
  if (pageOpen) return Fail("text after the last page file: a page ends with an EMF or BMP file");
  stream.EndDoc();
  for (const Fault& f : faults) {
    if (f.command >= stream.CommandCount()) return Fail("--split names command " + std::to_string(f.command) +
                                                         " of " + std::to_string(stream.CommandCount()));
    stream.AddFault(f);
  }
  std::vector<BYTE> bytes = stream.Bytes();
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) return Fail("cannot write " + output);
  std::printf("%s: %zu commands, %zu bytes\n", output.c_str(), stream.CommandCount(), bytes.size());
  return 0;
}
