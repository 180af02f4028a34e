// PDF output end to end: text documents written by `twdriver`, printed by
// `twspool print` through TarnwickMon.dll, the files checked with qpdf and
// poppler's tools.
#include <fstream>
#include <regex>

#include "event_entries.h"
#include "pdf_tools.h"
#include "pdfa_check.h"
#include "shell_run.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

using twtest::ShellRun;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr char kPdfKey[] = "Tarnwick Software LLC\\Tarnwick Printer\\Pdf Settings";

ShellRun Shell(const std::string& command) { return twtest::Shell(command + " 2>&1"); }

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PdfOutputEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Shell(Tool("twspool") + " init").status, 0);
    std::filesystem::create_directories(Out());
    doc_ = root_.Dir() / "doc.txt";
    std::ofstream(doc_) << "First page, first line\nFirst page, second line\n\fSecond page here\n\fThird page words\n";
  }

  std::string Tool(const std::string& name) {
    return "'" + (twtest::BinDir() / name).string() + "' --root '" + root_.Dir().string() + "'";
  }
  std::filesystem::path Out() const { return root_.Dir() / "drive_c" / "out"; }
  std::filesystem::path Pdf(const std::string& name = "doc.pdf") const { return Out() / name; }
  // A value of the printer's key of the job's user (alice).
  void Reg(const std::string& key, const std::string& name, const std::string& data, const char* type = "REG_SZ") {
    ShellRun run = Shell("TW_USER=alice " + Tool("twreg") + " add 'HKCU\\SOFTWARE\\" + key + "' /v '" + name +
                         "' /t " + type + " /d '" + data + "' /f");
    ASSERT_EQ(run.status, 0) << run.out;
  }
  void PdfSetting(const std::string& name, const std::string& value) { Reg(kPdfKey, name, value); }
  // Writes the text document as a job of `code` with the record's Flags and options, and prints it.
  ShellRun Print(int code, const std::string& flags, const std::string& options = "",
                 const std::filesystem::path& text = {}) {
    auto job = root_.Dir() / "job.twj";
    ShellRun written = Shell("'" + (twtest::BinDir() / "twdriver").string() + "' -o '" + job.string() +
                             "' --set FileGenerationMethod=6 --set 'OutputDirectory=C:\\out' --set Brightness=100" +
                             " --set FileFormat=" + std::to_string(code) + " --set Flags=" + flags + " " + options +
                             " '" + (text.empty() ? doc_ : text).string() + "'");
    EXPECT_EQ(written.status, 0) << written.out;
    return Shell(Tool("twspool") + " print --document doc.txt '" + job.string() + "'");
  }
  std::string Status() {
    WCHAR value[256] = {};
    GetPrivateProfileStringW(kPrinter, u"Print status", u"", value, 256, u"C:\\out\\doc.grp");
    return tw::ToUtf8(value);
  }

  twtest::TempRoot root_;
  std::filesystem::path doc_;
};

TEST_F(PdfOutputEndToEnd, TextDocumentIsOneVectorPdfWithEmbeddedFonts) {
  ShellRun run = Print(36, "0x20");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  const auto pdf = Pdf();
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_TRUE(twtest::QpdfClean(pdf));
  EXPECT_EQ(twtest::PdfInfo(pdf, "Pages"), "3");
  EXPECT_EQ(twtest::PdfInfo(pdf, "Page size"), "612 x 792 pts (letter)");
  EXPECT_EQ(twtest::PdfInfo(pdf, "Creator"), "Tarnwick Printer version 17.63");
  EXPECT_EQ(twtest::PdfInfo(pdf, "Encrypted"), "no");
  const auto fonts = twtest::ToolRows("pdffonts", "", pdf);
  ASSERT_FALSE(fonts.empty());
  for (const auto& row : fonts) EXPECT_TRUE(std::regex_search(row, std::regex(" yes +yes +yes +[0-9]"))) << row;
  const std::string text = twtest::PdfText(pdf, "-layout");
  for (const char* line : {"First page, first line", "First page, second line", "Second page here", "Third page words"})
    EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_EQ(twtest::PdfText(pdf, "-f 3 -l 3").find("Third page words"), 0u);
  EXPECT_TRUE(twtest::ToolRows("pdfimages", "-list", pdf).empty());
  EXPECT_EQ(Status(), "Printing finished successfully");
}

TEST_F(PdfOutputEndToEnd, WithoutMultipageEveryPageIsADocument) {
  ShellRun run = Print(36, "0");
  ASSERT_EQ(run.status, 0) << run.out;
  for (const char* name : {"doc.pdf", "doc_002.pdf", "doc_003.pdf"}) {
    ASSERT_TRUE(std::filesystem::exists(Pdf(name))) << name;
    EXPECT_TRUE(twtest::QpdfClean(Pdf(name)));
    EXPECT_EQ(twtest::PdfInfo(Pdf(name), "Pages"), "1") << name;
  }
  EXPECT_NE(twtest::PdfText(Pdf("doc_003.pdf")).find("Third page words"), std::string::npos);
}

TEST_F(PdfOutputEndToEnd, CompactCodesAreValidAndSmaller) {
  ASSERT_EQ(Print(36, "0x20").status, 0);
  const auto plain = std::filesystem::file_size(Pdf());
  std::filesystem::rename(Pdf(), Out() / "plain.pdf");
  std::filesystem::remove(Out() / "doc.grp");
  for (int code : {40, 41}) {
    SCOPED_TRACE(code);
    ShellRun run = Print(code, "0x20");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(twtest::QpdfClean(Pdf()));
    EXPECT_EQ(twtest::PdfInfo(Pdf(), "Pages"), "3");
    EXPECT_LT(std::filesystem::file_size(Pdf()), plain);
    EXPECT_NE(twtest::RunTool("qpdf --show-xref " + twtest::Quote(Pdf().string())).out.find("compressed"),
              std::string::npos);
    EXPECT_NE(twtest::PdfText(Pdf()).find("Second page here"), std::string::npos);
    std::filesystem::remove(Pdf());
    std::filesystem::remove(Out() / "doc.grp");
  }
}

TEST_F(PdfOutputEndToEnd, PdfAIsNeverEncrypted) {
  // Encryption asked for in the PDF keys must not reach a PDF/A file.
  PdfSetting("Document Encryption", "4");
  PdfSetting("Document User Password", "u");
  ShellRun run = Print(38, "0x20");
  ASSERT_EQ(run.status, 0) << run.out;
  const auto pdf = Pdf();
  EXPECT_TRUE(twtest::QpdfClean(pdf));
  EXPECT_EQ(twtest::PdfInfo(pdf, "Encrypted"), "no");
  EXPECT_EQ(twtest::PdfInfo(pdf, "Pages"), "3");
  const std::string meta = twtest::Tool("pdfinfo", "-meta", pdf).out;
  EXPECT_NE(meta.find("<pdfaid:part>2</pdfaid:part>"), std::string::npos) << meta;
  EXPECT_NE(meta.find("<pdfaid:conformance>B</pdfaid:conformance>"), std::string::npos) << meta;
  EXPECT_EQ(pdftest::PdfA2bViolations(pdf), std::vector<std::string>{});
}

TEST_F(PdfOutputEndToEnd, EncryptionLevelsAndPermissions) {
  struct Case {
    const char* level;
    const char* user;
    const char* owner;
    const char* flags;
    std::string encrypted;  // pdfinfo's line, opened with the user password
  };
  const Case cases[] = {
      {"1", "u", "o", "15", "yes (print:yes copy:yes change:yes addNotes:yes algorithm:RC4)"},
      {"2", "u", "o", "1", "yes (print:yes copy:no change:no addNotes:no algorithm:RC4)"},
      {"3", "", "o", "15", "yes (print:yes copy:yes change:yes addNotes:yes algorithm:AES)"},
      // A user password alone: the owner password is random, the flags 0 grant nothing.
      {"4", "u", "", "0", "yes (print:no copy:no change:no addNotes:no algorithm:AES-256)"},
      // No password: not encrypted whatever the level.
      {"2", "", "", "0", "no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("level ") + c.level + " user '" + c.user + "' owner '" + c.owner + "'");
    PdfSetting("Document Encryption", c.level);
    PdfSetting("Document User Password", c.user);
    PdfSetting("Document Owner Password", c.owner);
    PdfSetting("Document Security Flag", c.flags);
    std::filesystem::remove(Pdf());
    std::filesystem::remove(Out() / "doc.grp");
    ShellRun run = Print(36, "0x20");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string upw = *c.user ? std::string("-upw ") + c.user : std::string();
    EXPECT_EQ(twtest::PdfInfo(Pdf(), "Encrypted", upw), c.encrypted);
    if (*c.user) {
      EXPECT_NE(twtest::Tool("pdftotext", "", Pdf()).status, 0);  // no text without the password
    }
  }
  // The owner password opens the level-2 document as its owner (revision 3).
  PdfSetting("Document Encryption", "2");
  PdfSetting("Document User Password", "u");
  PdfSetting("Document Owner Password", "o");
  std::filesystem::remove(Pdf());
  std::filesystem::remove(Out() / "doc.grp");
  ASSERT_EQ(Print(36, "0x20").status, 0);
  const std::string shown = twtest::Tool("qpdf", "--show-encryption --password=o", Pdf()).out;
  EXPECT_NE(shown.find("R = 3"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Supplied password is owner password"), std::string::npos) << shown;
}

TEST_F(PdfOutputEndToEnd, LinearizedOnRequest) {
  PdfSetting("Linearized", "1");
  ASSERT_EQ(Print(36, "0x20").status, 0);
  EXPECT_EQ(twtest::Tool("qpdf", "--check-linearization", Pdf()).status, 0);
  EXPECT_EQ(twtest::PdfInfo(Pdf(), "Optimized"), "yes");
}

TEST_F(PdfOutputEndToEnd, AddingToAnExistingPdfKeepsItsPagesFirst) {
  ASSERT_EQ(Print(36, "0x20").status, 0);
  std::filesystem::remove(Out() / "doc.grp");
  auto next = root_.Dir() / "next.txt";
  std::ofstream(next) << "Added page one\n\fAdded page two\n";
  // Flags 0x100000: add to the existing file.
  ShellRun run = Print(36, "0x100020", "", next);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(twtest::QpdfClean(Pdf()));
  EXPECT_EQ(twtest::PdfInfo(Pdf(), "Pages"), "5");
  EXPECT_NE(twtest::PdfText(Pdf(), "-f 1 -l 1").find("First page, first line"), std::string::npos);
  EXPECT_NE(twtest::PdfText(Pdf(), "-f 4 -l 4").find("Added page one"), std::string::npos);
  EXPECT_NE(twtest::PdfText(Pdf(), "-f 5 -l 5").find("Added page two"), std::string::npos);
}

TEST_F(PdfOutputEndToEnd, AFileThatIsNotAPdfIsLeftAsItWas) {
  std::ofstream(Pdf(), std::ios::binary) << "not a PDF at all\n";
  const std::string before = Slurp(Pdf());
  ShellRun run = Print(36, "0x100020");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Slurp(Pdf()), before);
  EXPECT_EQ(Status(), "Internal error: 314.");
  bool reported = false;
  for (const auto& e : twtest::ReadEventEntries())
    reported = reported || (e.strings.size() > 10 && e.strings[10] == u"314");
  EXPECT_TRUE(reported);
  // The image writer leaves it alone too.
  std::filesystem::remove(Out() / "doc.grp");
  run = Print(20, "0x100020", "--color bw");
  EXPECT_EQ(Slurp(Pdf()), before);
}

TEST_F(PdfOutputEndToEnd, RotationTurnsThePages) {
  Reg("Tarnwick Software LLC\\Tarnwick Printer\\Page Settings", "Rotation", "1");
  ASSERT_EQ(Print(36, "0x20").status, 0);
  EXPECT_EQ(twtest::PdfInfo(Pdf(), "Page size"), "792 x 612 pts (letter)");
  // The first word now runs up the page's left edge.
  std::smatch m;
  const std::string boxes = twtest::PdfText(Pdf(), "-bbox -f 1 -l 1");
  ASSERT_TRUE(std::regex_search(boxes, m, std::regex(R"re(xMin="([0-9.]+)" yMin="([0-9.]+)")re"))) << boxes;
  EXPECT_LT(std::stod(m[1].str()), 100.0);
  EXPECT_GT(std::stod(m[2].str()), 400.0);
}

TEST_F(PdfOutputEndToEnd, ImagePdfCodesGroup4AndJpeg) {
  ShellRun run = Print(20, "0x20", "--color bw --set ImagePdfCompression=0x800");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(twtest::QpdfClean(Pdf()));
  auto rows = twtest::ToolRows("pdfimages", "-list", Pdf());
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows)
    EXPECT_TRUE(std::regex_search(row, std::regex("image +2550 +3300 +gray +1 +1 +ccitt .* 300 +300 "))) << row;
  EXPECT_EQ(twtest::PdfInfo(Pdf(), "Page size"), "612 x 792 pts (letter)");

  // Colour with JPEG; the existing file is added to, not replaced.
  std::filesystem::remove(Out() / "doc.grp");
  run = Print(20, "0x100020", "--color true --set ImagePdfCompression=0x1000");
  ASSERT_EQ(run.status, 0) << run.out;
  rows = twtest::ToolRows("pdfimages", "-list", Pdf());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_NE(rows[0].find("ccitt"), std::string::npos) << rows[0];
  EXPECT_TRUE(std::regex_search(rows[5], std::regex("rgb +3 +8 +jpeg"))) << rows[5];

  // Group 4 asked of a colour page is Flate.
  std::filesystem::remove(Pdf());
  std::filesystem::remove(Out() / "doc.grp");
  ASSERT_EQ(Print(20, "0", "--color true --set ImagePdfCompression=0x800").status, 0);
  rows = twtest::ToolRows("pdfimages", "-list", Pdf());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(std::regex_search(rows[0], std::regex("rgb +3 +8 +image"))) << rows[0];
  EXPECT_TRUE(std::filesystem::exists(Pdf("doc_003.pdf")));
}

}  // namespace
