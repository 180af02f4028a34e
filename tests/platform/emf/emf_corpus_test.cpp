// The shared metafile corpus: damaged files never crash, hang or leak, and
// the rendering of the real-world files does not fall behind its baseline
// (tests/platform/emf/corpus_baseline.tsv, checked by the emfcompare tool);
// the repository's text pages likewise (text-corpus, text-corpus-300).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emf_canvas.h"
#include "tw_test.h"

namespace fs = std::filesystem;

namespace {

std::vector<BYTE> readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> metafilesIn(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().extension() == ".emf") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

int CALLBACK playAll(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  PlayEnhMetaFileRecord(hdc, table, record, static_cast<UINT>(handles));
  return 1;
}

}  // namespace

TEST(EmfCorpus, DamagedFilesNeverCrashHangOrLeak) {
  fs::path shared = twtest::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "no shared corpus beside the checkout (../shared): damaged-file test skipped";
  auto files = metafilesIn(shared / "corpus" / "emf-bad");
  ASSERT_FALSE(files.empty());
  int refused = 0, played = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    twtest::LeakGuard leaks;
    auto start = std::chrono::steady_clock::now();
    std::vector<BYTE> bytes = readAll(file);
    HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    if (!h) {
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
      ++refused;
      continue;
    }
    ++played;
    {
      // Onto a small page, through the default player and a callback, and
      // into a recorder whose output must open again.
      twtest::Canvas canvas(300, 200);
      RECT rect{0, 0, 300, 200};
      PlayEnhMetaFile(canvas.Dc(), h, &rect);
      EnumEnhMetaFile(canvas.Dc(), h, playAll, nullptr, &rect);
      HDC meta = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
      PlayEnhMetaFile(meta, h, &rect);
      HENHMETAFILE again = CloseEnhMetaFile(meta);
      ASSERT_NE(again, nullptr);
      std::vector<BYTE> out(GetEnhMetaFileBits(again, 0, nullptr));
      GetEnhMetaFileBits(again, UINT(out.size()), out.data());
      HENHMETAFILE reopened = SetEnhMetaFileBits(UINT(out.size()), out.data());
      EXPECT_NE(reopened, nullptr);
      if (reopened) DeleteEnhMetaFile(reopened);
      DeleteEnhMetaFile(again);
    }
    DeleteEnhMetaFile(h);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 60.0) << "a damaged file must not stall the player";
  }
  // The three files the reference renderer refused at open are refused here
  // too (record type, truncation); the others play what they can.
  EXPECT_GE(refused, 3);
  EXPECT_GT(played, 0);
}

namespace {

// Runs emfcompare --check on a corpus against a baseline of this folder.
void checkCorpus(const fs::path& corpus, const char* baselineName) {
  // The tools are built beside the test executables (bin/).
  fs::path bin = twtest::BinDir();
  if (bin.empty()) bin = fs::read_symlink("/proc/self/exe").parent_path();
  fs::path tool = bin / "emfcompare";
  ASSERT_TRUE(fs::exists(tool)) << tool << " is missing: build the emfcompare target";
  fs::path baseline = twtest::SourcePath("tests/platform/emf") / baselineName;
  ASSERT_TRUE(fs::exists(baseline)) << baseline;
  fs::path logFile = fs::temp_directory_path() / ("emfcompare-" + std::to_string(getpid()) + ".log");
  std::string command = "'" + tool.string() + "' --corpus '" + corpus.string() + "' --baseline '" +
                        baseline.string() + "' --check > '" + logFile.string() + "' 2>&1";
  int status = std::system(command.c_str());
  std::ifstream log(logFile);
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  std::error_code ec;
  fs::remove(logFile, ec);
  ASSERT_TRUE(WIFEXITED(status)) << text;
  EXPECT_EQ(WEXITSTATUS(status), 0) << text;
}

}  // namespace

TEST(EmfCorpus, RenderingsKeepTheirBaseline) {
  fs::path shared = twtest::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "no shared corpus beside the checkout (../shared): corpus comparison skipped";
  checkCorpus(shared / "corpus", "corpus_baseline.tsv");
}

// Text pages of real documents (plain text, headings, a table) as an
// office application prints them, 8-bit text in four character sets and
// one 10-point line, with references of the reference GDI at 150 and 300
// DPI (tests/platform/emf/text-corpus*): every page within the tolerance,
// and as close to its reference as its baseline says (greyscale text as
// light as GDI draws it, 8-bit text in the font's code page).
TEST(EmfCorpus, TextPagesStayWithinToleranceOfTheirReferences) {
  checkCorpus(twtest::SourcePath("tests/platform/emf/text-corpus"), "text_corpus_baseline.tsv");
  checkCorpus(twtest::SourcePath("tests/platform/emf/text-corpus-300"), "text_corpus_300_baseline.tsv");
}
