// PCX, DCX, CALS, raw CCITT, IOCA, MO:DCA and EMF output end to end: text
// documents written by `twdriver`, printed by `twspool print`, and the files
// read by independent decoders (netpbm, fax2tiff) against the BMP output of
// the same pages, the MO:DCA documents by a structured-field walker, turned
// EMF pages drawn by `emfrender` against the driver's pages.
#include <algorithm>
#include <fstream>

#include "../libs/twtiff/modca_walk.h"
#include "../output/encoder_test_support.h"
#include "shell_run.h"

namespace {

using codectest::Quote;

class ImageFormatsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = root_.Dir() / "drive_c" / "Users" / "Public" / "Documents" / "Tarnwick";
    ASSERT_EQ(Run(Tool("twspool") + " init").status, 0);
    text_ = root_.Dir() / "doc.txt";
    std::string text;
    for (const char* page : {"Alpha", "Beta", "Gamma"}) {
      if (!text.empty()) text += "\f";
      for (int line = 0; line < 10; ++line) text += std::string(page) + " line " + std::to_string(line) + "\n";
    }
    std::ofstream(text_, std::ios::binary) << text;
  }

  static twtest::ShellRun Run(const std::string& command) { return twtest::Shell(command + " 2>&1"); }
  std::string Bin(const std::string& name) { return "'" + (twtest::BinDir() / name).string() + "'"; }
  std::string Tool(const std::string& name) { return Bin(name) + " --root '" + root_.Dir().string() + "'"; }

  // Prints the three pages with the given record settings (and twdriver
  // options); the job must print.
  void Print(const std::vector<std::string>& sets, const std::string& document = "doc.txt",
             const std::string& driverOptions = "") {
    auto job = root_.Dir() / "job.twj";
    std::string options = " --dpi 200" + driverOptions;
    for (const auto& s : sets) options += " --set '" + s + "'";
    auto written = Run(Bin("twdriver") + " -o '" + job.string() + "'" + options + " '" + text_.string() + "'");
    ASSERT_EQ(written.status, 0) << written.out;
    auto run = Run(Tool("twspool") + " print --document '" + document + "' '" + job.string() + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  }
  // Removes the outputs and the group file of the previous job.
  void Clear() {
    for (const auto& e : std::filesystem::directory_iterator(output_)) std::filesystem::remove(e.path());
  }
  std::vector<std::string> Outputs(const std::string& extension) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(output_))
      if (e.path().extension() == extension) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The pages as the BMP writer stores them, as netpbm reads them.
  std::vector<enctest::Pnm> BmpPages() {
    Print({"FileFormat=0"});
    std::vector<enctest::Pnm> pages;
    for (const auto& name : Outputs(".bmp"))
      pages.push_back(enctest::DecodeWith("bmptopnm " + Quote(output_ / name) + " | pnmtopnm -plain | pnmtopnm"));
    Clear();
    EXPECT_EQ(pages.size(), 3u);
    return pages;
  }
  static bool SameInk(const enctest::Pnm& a, const enctest::Pnm& b) {
    if (!a.ok || !b.ok || a.width != b.width || a.height != b.height) return false;
    auto ra = enctest::PnmRgb(a), rb = enctest::PnmRgb(b);
    return ra == rb;
  }
  std::string Bytes(const std::string& name) { return codectest::ReadBytes(output_ / name); }
  // CCITT data decoded by fax2tiff and written as a PBM.
  enctest::Pnm Fax(const std::string& data, const char* option, std::uint32_t width, std::uint32_t height) {
    auto raw = root_.Dir() / "data.fax";
    codectest::WriteBytes(raw, data);
    auto tif = root_.Dir() / "data.tif";
    auto r = codectest::RunTool(std::string("fax2tiff -M ") + option + " -X " + std::to_string(width) + " -o " +
                                Quote(tif) + " " + Quote(raw));
    EXPECT_EQ(r.status, 0) << r.output;
    // The closing RTC or EOFB may read as blank rows past the page.
    return enctest::DecodeWith("tifftopnm " + Quote(tif) + " | pamcut -top 0 -height " + std::to_string(height) +
                               " | pnmtopnm");
  }

  twtest::TempRoot root_;
  std::filesystem::path output_, text_;
};

TEST_F(ImageFormatsEndToEnd, PcxAndDcxPagesAreTheBmpPages) {
  const auto bmp = BmpPages();
  ASSERT_EQ(bmp.size(), 3u);
  ASSERT_EQ(bmp[0].width, 1700u);
  Print({"FileFormat=1"});
  const auto pcx = Outputs(".pcx");
  ASSERT_EQ(pcx, (std::vector<std::string>{"doc.pcx", "doc_002.pcx", "doc_003.pcx"}));
  for (std::size_t k = 0; k < 3; ++k)
    EXPECT_TRUE(SameInk(enctest::DecodeWith("pcxtoppm " + Quote(output_ / pcx[k])), bmp[k])) << pcx[k];

  // One DCX file for the multipage document: one table entry per page.
  Print({"FileFormat=2", "Flags=0x20"});
  ASSERT_EQ(Outputs(".dcx"), std::vector<std::string>{"doc.dcx"});
  const std::string dcx = Bytes("doc.dcx");
  std::vector<DWORD> offsets;
  for (std::size_t slot = 1; slot < 10024; ++slot) {
    DWORD v = 0;
    std::memcpy(&v, dcx.data() + 4 * slot, 4);
    if (!v) break;
    offsets.push_back(v);
  }
  ASSERT_EQ(offsets.size(), 3u);
  EXPECT_EQ(offsets[0], 40096u);
  offsets.push_back(static_cast<DWORD>(dcx.size()));
  for (std::size_t k = 0; k < 3; ++k) {
    auto page = root_.Dir() / "page.pcx";
    codectest::WriteBytes(page, dcx.substr(offsets[k], offsets[k + 1] - offsets[k]));
    EXPECT_TRUE(SameInk(enctest::DecodeWith("pcxtoppm " + Quote(page)), bmp[k])) << "DCX page " << k + 1;
  }
}

TEST_F(ImageFormatsEndToEnd, CalsAndRawCcittDecodeToTheBmpPages) {
  const auto bmp = BmpPages();
  ASSERT_EQ(bmp.size(), 3u);
  Print({"FileFormat=11"});
  const std::string cals = Bytes("doc.cg4");
  ASSERT_GT(cals.size(), 2048u);
  EXPECT_EQ(cals.substr(8 * 128, 128), "rpelcnt: 001700,002200" + std::string(106, ' '));
  EXPECT_EQ(cals.substr(9 * 128, 13), "rdensty: 0200");
  EXPECT_TRUE(SameInk(Fax(cals.substr(2048), "-4", 1700, 2200), bmp[0]));
  for (const auto& [code, option] : {std::pair{"12", "-1"}, std::pair{"14", "-2"}, std::pair{"15", "-4"}}) {
    Print({std::string("FileFormat=") + code});
    EXPECT_TRUE(SameInk(Fax(Bytes("doc_003.raw"), option, 1700, 2200), bmp[2])) << code;
    Clear();
  }
}

TEST_F(ImageFormatsEndToEnd, MoDcaDocumentsGrowByTheirJobsPages) {
  const auto bmp = BmpPages();
  ASSERT_EQ(bmp.size(), 3u);
  Print({"FileFormat=48", "Flags=0x20"});
  ASSERT_EQ(Outputs(".mca"), std::vector<std::string>{"doc.mca"});
  auto pages = modcawalk::Pages(modcawalk::WalkFields(Bytes("doc.mca")));
  ASSERT_EQ(pages.size(), 3u);
  for (const auto& page : pages) {
    EXPECT_EQ(page.imageObjects, 1);
    modcawalk::Ioca io = modcawalk::ParseIoca(page.segment);
    EXPECT_TRUE(io.ok);
    EXPECT_EQ(io.compression, 0x82u);
    EXPECT_EQ(io.width, 1700u);
  }
  // The first page decodes as Group 4.
  modcawalk::Ioca first = modcawalk::ParseIoca(pages[0].segment);
  EXPECT_TRUE(SameInk(Fax(std::string(first.data.begin(), first.data.end()), "-4", 1700, 2200), bmp[0]));
  // A later job adding to the document ("Append File" keeps the name).
  std::filesystem::remove(output_ / "doc.grp");
  Print({"FileFormat=48", "Flags=0x100020"});
  ASSERT_EQ(Outputs(".mca"), std::vector<std::string>{"doc.mca"});
  modcawalk::Walk walk = modcawalk::WalkFields(Bytes("doc.mca"));
  EXPECT_EQ(walk.error, "");
  EXPECT_EQ(modcawalk::Pages(walk).size(), 6u);
}

TEST_F(ImageFormatsEndToEnd, EmfPagesAreTheDriversMetafiles) {
  Print({"FileFormat=18"});
  const auto emf = Outputs(".emf");
  ASSERT_EQ(emf, (std::vector<std::string>{"doc.emf", "doc_002.emf", "doc_003.emf"}));
  auto dir = root_.Dir() / "pages";
  std::filesystem::create_directories(dir);
  auto split = Run(Bin("twdriver") + " --dpi 200 --pages-to '" + dir.string() + "' '" + text_.string() + "'");
  ASSERT_EQ(split.status, 0) << split.out;
  for (int k = 1; k <= 3; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.emf", k);
    EXPECT_EQ(Bytes(emf[k - 1]), codectest::ReadBytes(dir / name)) << emf[k - 1];
  }
}

// The inked area of a metafile drawn by emfrender at 100 dpi, and its size.
struct Ink {
  std::uint32_t width = 0, height = 0;
  std::uint32_t left = ~0u, top = ~0u, right = 0, bottom = 0;
  std::size_t pixels = 0;
};

TEST_F(ImageFormatsEndToEnd, EmfLandscapePagesWithRotatePaperAreStoredTurned) {
  Print({"FileFormat=18", "Flags=0x40000"}, "doc.txt", " --landscape");
  const auto emf = Outputs(".emf");
  ASSERT_EQ(emf, (std::vector<std::string>{"doc.emf", "doc_002.emf", "doc_003.emf"}));
  auto dir = root_.Dir() / "pages";
  std::filesystem::create_directories(dir);
  auto split = Run(Bin("twdriver") + " --dpi 200 --landscape --pages-to '" + dir.string() + "' '" + text_.string() + "'");
  ASSERT_EQ(split.status, 0) << split.out;
  auto ink = [&](const std::filesystem::path& file) {
    auto bmp = root_.Dir() / "drawn.bmp";
    auto drawn = Run(Bin("emfrender") + " " + Quote(file) + " --dpi 100 -o " + Quote(bmp));
    EXPECT_EQ(drawn.status, 0) << drawn.out;
    const enctest::Pnm drawnPnm = enctest::DecodeWith("bmptopnm " + Quote(bmp));
    const auto rgb = enctest::PnmRgb(drawnPnm);
    Ink k;
    k.width = drawnPnm.width;
    k.height = drawnPnm.height;
    for (std::uint32_t y = 0; y < k.height; ++y)
      for (std::uint32_t x = 0; x < k.width; ++x) {
        const BYTE* p = rgb.data() + (std::size_t(y) * k.width + x) * 3;
        if (p[0] + p[1] + p[2] >= 3 * 192) continue;
        ++k.pixels;
        k.left = std::min(k.left, x), k.top = std::min(k.top, y);
        k.right = std::max(k.right, x), k.bottom = std::max(k.bottom, y);
      }
    return k;
  };
  auto frame = [](const std::string& bytes) {
    RECTL f{};
    if (bytes.size() >= 40) std::memcpy(&f, bytes.data() + 24, sizeof f);
    return f;
  };
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(emf[k - 1]);
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.emf", k);
    // The frame of the landscape page, turned to portrait.
    const RECTL page = frame(codectest::ReadBytes(dir / name)), turned = frame(Bytes(emf[k - 1]));
    ASSERT_GT(page.right, page.bottom);
    EXPECT_EQ(turned.right - turned.left, page.bottom - page.top);
    EXPECT_EQ(turned.bottom - turned.top, page.right - page.left);
    // The text lies where a quarter turn puts it: (x, y) -> (H - y, x).
    const Ink before = ink(dir / name), after = ink(output_ / emf[k - 1]);
    ASSERT_GT(before.pixels, 100u);
    EXPECT_EQ(after.width, before.height);
    EXPECT_EQ(after.height, before.width);
    EXPECT_NEAR(after.left, before.height - 1 - before.bottom, 2);
    EXPECT_NEAR(after.right, before.height - 1 - before.top, 2);
    EXPECT_NEAR(after.top, before.left, 2);
    EXPECT_NEAR(after.bottom, before.right, 2);
    EXPECT_NEAR(static_cast<double>(after.pixels), static_cast<double>(before.pixels), before.pixels * 0.1);
  }
}

}  // namespace
