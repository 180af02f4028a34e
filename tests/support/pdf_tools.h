// Independent checks of PDF files for tests: qpdf and poppler's command-line
// tools (packages qpdf and poppler-utils, installed by
// scripts/install-deps.sh), run on a file and their output captured.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "shell_run.h"

namespace twtest {

using ToolResult = ShellRun;  // stdout and stderr, exit status

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command line; its output (with errors) and exit status.
inline ToolResult RunTool(const std::string& command) { return Shell(command + " 2>&1"); }

inline ToolResult Tool(const std::string& tool, const std::string& args, const std::filesystem::path& pdf) {
  return RunTool(tool + " " + args + " " + Quote(pdf.string()));
}

// qpdf --check without warnings or errors.
inline ::testing::AssertionResult QpdfClean(const std::filesystem::path& pdf) {
  ToolResult r = Tool("qpdf", "--check", pdf);
  if (r.status == 0 && r.out.find("WARNING") == std::string::npos)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "qpdf --check " << pdf << " (" << r.status << "):\n" << r.out;
}

// A "Key: value" line of pdfinfo.
inline std::string PdfInfo(const std::filesystem::path& pdf, const std::string& key, const std::string& args = "") {
  ToolResult r = Tool("pdfinfo", args, pdf);
  std::smatch m;
  std::regex line("(^|\n)" + key + ":[ \t]*([^\n]*)");
  return std::regex_search(r.out, m, line) ? m[2].str() : std::string();
}

inline std::string PdfText(const std::filesystem::path& pdf, const std::string& args = "") {
  return RunTool("pdftotext " + args + " " + Quote(pdf.string()) + " -").out;
}

// The rows of `pdffonts` or `pdfimages -list` after the two header lines.
inline std::vector<std::string> ToolRows(const std::string& tool, const std::string& args,
                                         const std::filesystem::path& pdf) {
  ToolResult r = Tool(tool, args, pdf);
  std::vector<std::string> rows;
  std::size_t at = 0;
  for (int line = 0; at < r.out.size(); ++line) {
    std::size_t end = r.out.find('\n', at);
    if (end == std::string::npos) end = r.out.size();
    if (line >= 2 && end > at) rows.push_back(r.out.substr(at, end - at));
    at = end + 1;
  }
  return rows;
}

inline std::vector<unsigned char> ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace twtest
