// Pages end to end: text documents written by `twdriver`, printed by
// `twspool print` through TarnwickMon.dll as BMP files in the output folder
// of `twspool init`, compared with what `emfrender` draws of the same pages;
// page selection, blank pages, cancellation, the password, the plug-in's
// page calls and formats without a writer.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "core/log/event_messages.h"
#include "event_entries.h"
#include "shell_run.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

constexpr WCHAR kPrinterKey[] = u".DEFAULT\\SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer";
constexpr WCHAR kPrinterIni[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\TARNWICK.INI";

std::vector<BYTE> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
T At(const std::vector<BYTE>& bytes, size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

// Which pixels of a BMP file are dark (1-, 8- and 24-bit, bottom-up), row by row from the top.
struct InkMap {
  LONG width = 0, height = 0;
  std::vector<bool> ink;
  bool operator==(const InkMap&) const = default;
};
InkMap Ink(const std::vector<BYTE>& bmp) {
  InkMap map;
  if (bmp.size() < 54 || At<WORD>(bmp, 0) != 0x4D42) return map;
  const LONG w = At<LONG>(bmp, 18), h = At<LONG>(bmp, 22);
  const WORD bits = At<WORD>(bmp, 28);
  const DWORD offset = At<DWORD>(bmp, 10);
  const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
  if (w <= 0 || h <= 0 || offset + stride * h > bmp.size()) return map;
  map.width = w;
  map.height = h;
  map.ink.resize(static_cast<size_t>(w) * h);
  auto dark = [](BYTE b, BYTE g, BYTE r) { return b + g + r < 384; };
  for (LONG y = 0; y < h; ++y) {
    const BYTE* row = bmp.data() + offset + stride * (h - 1 - y);
    for (LONG x = 0; x < w; ++x) {
      bool d;
      if (bits == 24) {
        d = dark(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
      } else {
        DWORD index = bits == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
        const BYTE* entry = bmp.data() + 54 + index * 4;
        d = dark(entry[0], entry[1], entry[2]);
      }
      map.ink[static_cast<size_t>(y) * w + x] = d;
    }
  }
  return map;
}

size_t InkCount(const InkMap& m) { return static_cast<size_t>(std::count(m.ink.begin(), m.ink.end(), true)); }

class PageProcessingEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = root_.Dir() / "drive_c" / "Users" / "Public" / "Documents" / "Tarnwick";
    std::filesystem::remove_all(output_);
    ASSERT_EQ(Run(Tool("twspool") + " init").status, 0);
    ASSERT_TRUE(std::filesystem::is_directory(output_)) << "twspool init makes the output folder";
  }

  static twtest::ShellRun Run(const std::string& command) { return twtest::Shell(command + " 2>&1"); }
  std::string Bin(const std::string& name) { return "'" + (twtest::BinDir() / name).string() + "'"; }
  std::string Tool(const std::string& name) { return Bin(name) + " --root '" + root_.Dir().string() + "'"; }

  // Pages of text: each string is a page, filled with numbered lines.
  std::filesystem::path TextFile(const std::vector<std::string>& pages) {
    std::string text;
    for (size_t i = 0; i < pages.size(); ++i) {
      if (i) text += "\f";
      if (pages[i].empty()) continue;
      for (int line = 0; line < 12; ++line) text += pages[i] + " line " + std::to_string(line) + "\n";
    }
    auto path = root_.Dir() / ("doc" + std::to_string(++files_) + ".txt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Writes the job of `text` and prints it as document `document`.
  twtest::ShellRun Print(const std::filesystem::path& text, const std::string& options = "",
                         const std::string& document = "doc.txt", const std::string& env = "") {
    auto job = root_.Dir() / "job.twj";
    auto written = Run(Bin("twdriver") + " -o '" + job.string() + "' " + options + " '" + text.string() + "'");
    EXPECT_EQ(written.status, 0) << written.out;
    return Run(env + " " + Tool("twspool") + " print --document '" + document + "' '" + job.string() + "'");
  }
  std::vector<std::string> Outputs() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(output_))
      if (e.path().extension() == ".bmp") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void ClearOutputs() {
    for (const auto& e : std::filesystem::directory_iterator(output_)) std::filesystem::remove(e.path());
  }
  InkMap Output(const std::string& name) { return Ink(ReadAll(output_ / name)); }
  // What the metafile renderer draws of page k of the text, recorded as twdriver records it.
  InkMap Reference(const std::filesystem::path& text, int page, const std::string& options = "") {
    auto dir = root_.Dir() / "pages";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    auto split = Run(Bin("twdriver") + " " + options + " --pages-to '" + dir.string() + "' '" + text.string() + "'");
    EXPECT_EQ(split.status, 0) << split.out;
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.emf", page);
    auto bmp = dir / "ref.bmp";
    auto render = Run(Bin("emfrender") + " '" + (dir / name).string() + "' --bits 1 --dpi 300 -o '" + bmp.string() + "'");
    EXPECT_EQ(render.status, 0) << render.out;
    return Ink(ReadAll(bmp));
  }
  static void SetDword(const std::u16string& subkey, const WCHAR* name, DWORD value) {
    HKEY key = nullptr;
    std::u16string path = std::u16string(kPrinterKey) + (subkey.empty() ? u"" : u"\\" + subkey);
    ASSERT_EQ(RegCreateKeyExW(HKEY_USERS, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  static void SetText(const std::u16string& subkey, const WCHAR* name, const std::u16string& value) {
    HKEY key = nullptr;
    std::u16string path = std::u16string(kPrinterKey) + u"\\" + subkey;
    ASSERT_EQ(RegCreateKeyExW(HKEY_USERS, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(key);
  }
  static bool EventHas(WORD type, const std::u16string& text) {
    for (const auto& e : twtest::ReadEventEntries())
      if (e.type == type)
        for (const auto& s : e.strings)
          if (s.find(text) != std::u16string::npos) return true;
    return false;
  }
  static DWORD JobId(const std::string& out) {
    std::smatch m;
    return std::regex_search(out, m, std::regex("job ([0-9]+):")) ? std::stoul(m[1]) : 0;
  }

  twtest::TempRoot root_;
  std::filesystem::path output_;
  int files_ = 0;
};

TEST_F(PageProcessingEndToEnd, ThreeTextPagesBecomeThreeOneBitBmpsAsTheRendererDrawsThem) {
  auto text = TextFile({"Alpha", "Beta", "Gamma"});
  auto run = Print(text, "--dpi 300");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  ASSERT_EQ(Outputs(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp", "doc_003.bmp"}));
  const char* names[] = {"doc.bmp", "doc_002.bmp", "doc_003.bmp"};
  for (int page = 1; page <= 3; ++page) {
    auto bytes = ReadAll(output_ / names[page - 1]);
    ASSERT_EQ(bytes.size(), 1056062u) << names[page - 1];
    EXPECT_EQ(At<DWORD>(bytes, 10), 62u);
    EXPECT_EQ(At<LONG>(bytes, 18), 2550);
    EXPECT_EQ(At<LONG>(bytes, 22), 3300);
    EXPECT_EQ(At<WORD>(bytes, 28), 1);
    EXPECT_EQ(At<LONG>(bytes, 38), 11811);
    EXPECT_EQ(At<LONG>(bytes, 42), 11811);
    InkMap out = Ink(bytes), ref = Reference(text, page, "--dpi 300");
    EXPECT_GT(InkCount(out), 1000u);
    EXPECT_TRUE(out == ref) << "page " << page << ": " << InkCount(out) << " ink pixels, reference " << InkCount(ref);
  }
}

TEST_F(PageProcessingEndToEnd, ColourModesGiveTheirDepthsAndTables) {
  auto text = TextFile({"Colour"});
  struct Mode {
    const char* option;
    WORD bits;
    size_t size;  // 0: palette, checked by its table
  } modes[] = {{"grey", 8, 8422678}, {"palette", 8, 0}, {"true", 24, 25251654}};
  const InkMap ref = Reference(text, 1);
  for (const auto& m : modes) {
    ClearOutputs();
    auto run = Print(text, std::string("--color ") + m.option);
    ASSERT_EQ(run.status, 0) << m.option << ": " << run.out;
    auto bytes = ReadAll(output_ / "doc.bmp");
    EXPECT_EQ(At<WORD>(bytes, 28), m.bits) << m.option;
    const DWORD used = At<DWORD>(bytes, 46);
    if (m.size) {
      EXPECT_EQ(bytes.size(), m.size) << m.option;
    }
    if (m.bits == 24) {
      EXPECT_EQ(used, 0u);
    }
    if (m.bits == 8) {
      ASSERT_GE(used, 1u);
      ASSERT_LE(used, 256u);
      EXPECT_EQ(At<DWORD>(bytes, 10), 54 + 4 * used) << m.option;
      EXPECT_EQ(bytes.size(), 54 + 4 * used + 2552u * 3300u) << m.option;
    }
    if (std::string(m.option) == "grey") {
      EXPECT_EQ(used, 256u);
      for (DWORD i = 0; i < 256; i += 51) EXPECT_EQ(At<DWORD>(bytes, 54 + 4 * i), i * 0x010101u) << i;
    }
    // The same page, drawn with smoothed text at these depths.
    InkMap ink = Ink(bytes);
    EXPECT_EQ(ink.width, ref.width);
    EXPECT_NEAR(static_cast<double>(InkCount(ink)), static_cast<double>(InkCount(ref)), InkCount(ref) * 0.25)
        << m.option;
  }
}

TEST_F(PageProcessingEndToEnd, PageSelectionAndBlankPagesKeepThePagesInTheirPlaces) {
  auto five = TextFile({"P1", "P2", "P3", "P4", "P5"});
  SetDword(u"Page Settings", u"Print Selected Pages Only", 1);
  SetText(u"Page Settings", u"Selected Pages", u"2");
  ASSERT_EQ(Print(five).status, 0);
  ASSERT_EQ(Outputs(), std::vector<std::string>{"doc.bmp"});
  EXPECT_TRUE(Output("doc.bmp") == Reference(five, 2));

  // "1,3" with blank removal over P1, blank, P3, P4: P1 and P3.
  ClearOutputs();
  auto gap = TextFile({"P1", "", "P3", "P4"});
  SetText(u"Page Settings", u"Selected Pages", u"1,3");
  SetDword(u"Page Settings", u"Remove Blank Pages", 1);
  ASSERT_EQ(Print(gap).status, 0);
  ASSERT_EQ(Outputs(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp"}));
  EXPECT_TRUE(Output("doc.bmp") == Reference(gap, 1));
  EXPECT_TRUE(Output("doc_002.bmp") == Reference(gap, 3));

  // Blank removal alone: the blank page goes, the next takes its name.
  ClearOutputs();
  SetDword(u"Page Settings", u"Print Selected Pages Only", 0);
  auto blank = TextFile({"P1", "", "P3"});
  ASSERT_EQ(Print(blank).status, 0);
  ASSERT_EQ(Outputs(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp"}));
  EXPECT_TRUE(Output("doc_002.bmp") == Reference(blank, 3));

  // Without removal the blank page is written, white.
  ClearOutputs();
  SetDword(u"Page Settings", u"Remove Blank Pages", 0);
  ASSERT_EQ(Print(blank).status, 0);
  ASSERT_EQ(Outputs().size(), 3u);
  EXPECT_EQ(InkCount(Output("doc_002.bmp")), 0u);

  // Only blank pages: nothing is written, and the log says so.
  ClearOutputs();
  SetDword(u"Page Settings", u"Remove Blank Pages", 1);
  auto run = Print(TextFile({"", ""}));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(Outputs().empty());
  EXPECT_TRUE(EventHas(EVENTLOG_WARNING_TYPE, u"The printed document was blank."));
}

TEST_F(PageProcessingEndToEnd, AbortJobCancelsBeforeTheJobAndWhileItPrints) {
  auto text = TextFile({"P1", "P2", "P3"});
  // The first job of a fresh machine is job 1; its key says "Abort Job" before it starts.
  SetDword(u"1", u"Abort Job", 1);
  auto run = Print(text);
  ASSERT_EQ(JobId(run.out), 1u) << run.out;
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  EXPECT_TRUE(Outputs().empty());

  // The plug-in cancels job 2 at the end of its page 2: pages 1 and 2 only.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", kPrinterIni));
  run = Print(text, "", "doc.txt",
              "TW_TEST_PLUGIN_ABORT_PAGE=2 TW_TEST_PLUGIN_ABORT_KEY='SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\2'");
  ASSERT_EQ(JobId(run.out), 2u) << run.out;
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp"}));
}

TEST_F(PageProcessingEndToEnd, ThePasswordMustBeInTheDocumentName) {
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Password", u"4711", kPrinterIni));
  auto text = TextFile({"P1", "P2"});
  auto run = Print(text, "", "Q3 report.txt");
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  EXPECT_TRUE(Outputs().empty());
  // With the password both pages print; the first page's name was made
  // before the first page took the password out of the document name.
  run = Print(text, "", "Q3 report 4711.txt");
  EXPECT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  EXPECT_EQ(Outputs().size(), 2u);
}

TEST_F(PageProcessingEndToEnd, ThePluginSeesEveryPageAndMayRefuseOne) {
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", kPrinterIni));
  auto log = root_.Dir() / "plugin.log";
  auto text = TextFile({"P1", "P2"});
  auto run = Print(text, "", "doc.txt", "TW_TEST_PLUGIN_LOG='" + log.string() + "'");
  ASSERT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "TwStartDoc Tarnwick Printer 2550x3300", "TwStartPage Tarnwick Printer 2550x3300 20823",
                       "TwEndPage Tarnwick Printer 2550x3300 20823 1", "TwStartPage Tarnwick Printer 2550x3300 20823",
                       "TwEndPage Tarnwick Printer 2550x3300 20823 2", "TwEndDoc Tarnwick Printer 2550x3300 20823"}));

  ClearOutputs();
  run = Print(text, "", "doc.txt", "TW_TEST_PLUGIN_REFUSE_PAGE=2");
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  EXPECT_EQ(Outputs(), std::vector<std::string>{"doc.bmp"});
}

TEST_F(PageProcessingEndToEnd, AFormatWithoutWriterFailsWithNothingWritten) {
  auto text = TextFile({"P1"});
  // 37 and 39 have no writer, 49 is no format.
  for (const char* format : {"37", "39", "49"}) {
    auto run = Print(text, std::string("--set FileFormat=") + format);
    EXPECT_NE(run.out.find(": failed"), std::string::npos) << format << ": " << run.out;
    EXPECT_TRUE(Outputs().empty()) << format;
  }
}

}  // namespace
