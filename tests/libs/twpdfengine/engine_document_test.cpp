// The engine's documents as the writers drive them: pages from metafiles,
// their order, sizes and text, memory output, abandoned saves and errors.
#include <gtest/gtest.h>

#include <cstring>

#include "../../output/encoder_test_support.h"
#include "engine_test_util.h"
#include "tw/utf.h"

using namespace pdftest;
using twtest::QpdfClean;

namespace {

TEST(PdfEngineDocument, TextPagesKeepRealEmbeddedTextAndLetterSize) {
  OutFolder out;
  twtest::LeakGuard leaks;
  Metafile p1 = TextPage(NumberedLines(u"Alpha", 3)), p2 = TextPage(NumberedLines(u"Beta", 3)),
           p3 = TextPage({u"Gr\u00fc\u00dfe \u20ac 10, \u0395\u03bb\u03bb\u03ac\u03b4\u03b1, \u0420\u0443\u0441\u0441\u043a\u0438\u0439"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\doc.pdf", {&p1, &p2, &p3}, [](CPDFInt& pdf, CPDF&) {
    CPDFDocInfo info(false);
    info.SetTitle(u"doc");
    info.SetCreator(u"Tarnwick Printer version 17.63");
    pdf.SetDocInfo(&info);
  }));
  auto file = out.Dir() / "doc.pdf";
  EXPECT_TRUE(QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Pages"), "3");
  EXPECT_EQ(twtest::PdfInfo(file, "Page size"), "612 x 792 pts (letter)");
  EXPECT_EQ(twtest::PdfInfo(file, "Creator"), "Tarnwick Printer version 17.63");
  EXPECT_EQ(twtest::PdfInfo(file, "Title"), "doc");
  EXPECT_EQ(twtest::PdfInfo(file, "Producer"), "TwPdfEngine 17.63");
  EXPECT_EQ(twtest::PdfInfo(file, "Encrypted"), "no");
  // Every font embedded, subset and mapped to Unicode; no page is an image.
  auto fonts = twtest::ToolRows("pdffonts", "", file);
  ASSERT_FALSE(fonts.empty());
  for (const std::string& row : fonts) EXPECT_NE(row.find("yes yes yes"), std::string::npos) << row;
  EXPECT_TRUE(twtest::ToolRows("pdfimages", "-list", file).empty());
  std::string text = twtest::PdfText(file);
  for (const char* line : {"Alpha line 1", "Alpha line 3", "Beta line 2"}) EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_NE(text.find("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 10"), std::string::npos) << text;
  EXPECT_NE(text.find("\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1"), std::string::npos) << text;
  EXPECT_NE(text.find("\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9"), std::string::npos) << text;
  // The save leaves no temporary file beside the document.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Dir()), {}), 1);
}

TEST(PdfEngineDocument, PageSizesFollowResolutionOrSetPageSize) {
  OutFolder out;
  Metafile a4 = TextPage({u"A4"}, u"Arial", 2480, 3508, 300), small = TextPage({u"200"}, u"Arial", 1700, 2200, 200);
  Engine e;
  ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\sizes.pdf"));
  ASSERT_TRUE(e.pdf->LoadMetaFile(a4.h));
  ASSERT_TRUE(e.pdf->ExecuteMetaFile(1, 1, TRUE));
  CPDFPage page = e.doc->GetPage(1);
  ASSERT_TRUE(page.SetPageSize(595.2, 841.92));
  ASSERT_TRUE(e.doc->WritePageToPDFFile(page));
  ASSERT_TRUE(e.pdf->LoadMetaFile(small.h));
  ASSERT_TRUE(e.pdf->ExecuteMetaFile(1, 2, TRUE));
  page = e.doc->GetPage(2);
  ASSERT_TRUE(e.doc->WritePageToPDFFile(page));
  // Rotated: a landscape page by its pixels.
  page = e.doc->AddPage(3300, 2550, 300, 300);
  ASSERT_TRUE(page.IsLegal());
  EXPECT_EQ(page.GetPageNumber(), 3);
  ASSERT_TRUE(e.doc->WritePageToPDFFile(page));
  ASSERT_TRUE(e.doc->EndSavePDFFile());
  auto file = out.Dir() / "sizes.pdf";
  EXPECT_TRUE(QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Page    1 size", "-f 1 -l 3"), "595.2 x 841.92 pts (A4)");
  EXPECT_EQ(twtest::PdfInfo(file, "Page    2 size", "-f 1 -l 3"), "612 x 792 pts (letter)");
  EXPECT_EQ(twtest::PdfInfo(file, "Page    3 size", "-f 1 -l 3"), "792 x 612 pts (letter)");
}

TEST(PdfEngineDocument, InsertedPagesGoBeforeThePageAtTheirPlace) {
  OutFolder out;
  Metafile a = TextPage({u"Page A"}), b = TextPage({u"Page B"}), cover = TextPage({u"Cover"}),
           middle = TextPage({u"Middle"});
  Engine e;
  ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\order.pdf"));
  ASSERT_TRUE(e.AddMetafilePage(a.h, 1));
  ASSERT_TRUE(e.AddMetafilePage(b.h, 2));
  EXPECT_EQ(e.doc->GetNumberOfPages(), 2);
  // A cover page made at the end goes in front (the writer inserts it at 1).
  ASSERT_TRUE(e.AddMetafilePage(cover.h, 1));
  ASSERT_TRUE(e.AddMetafilePage(middle.h, 3));
  EXPECT_EQ(e.doc->GetNumberOfPages(), 4);
  ASSERT_TRUE(e.doc->EndSavePDFFile());
  auto file = out.Dir() / "order.pdf";
  EXPECT_TRUE(QpdfClean(file));
  const char* expected[] = {"Cover", "Page A", "Middle", "Page B"};
  for (int p = 1; p <= 4; ++p) {
    std::string text = twtest::PdfText(file, "-f " + std::to_string(p) + " -l " + std::to_string(p));
    EXPECT_NE(text.find(expected[p - 1]), std::string::npos) << "page " << p << ": " << text;
  }
}

TEST(PdfEngineDocument, MetafileLayersStackOnOnePageScaledToItsResolution) {
  OutFolder out;
  // A page at 300 DPI and an overlay recorded at 150 DPI: the overlay's
  // pixels are scaled onto the page's.
  Metafile page = TextPage({u"Under the stamp"});
  Metafile overlay = RecordPage(
      [](HDC dc) {
        HFONT font = MakeFont(u"Arial", 40);
        HGDIOBJ old = SelectObject(dc, font);
        TextOutW(dc, 600, 1200, u"STAMPED", 7);
        SelectObject(dc, old);
        DeleteObject(font);
      },
      1275, 1650, 150);
  Engine e;
  ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\layers.pdf"));
  ASSERT_TRUE(e.pdf->LoadMetaFile(page.h));
  ASSERT_TRUE(e.pdf->ExecuteMetaFile(1, 1, TRUE));
  ASSERT_TRUE(e.pdf->LoadMetaFile(overlay.h));
  ASSERT_TRUE(e.pdf->ExecuteMetaFile(1, 1, FALSE));
  ASSERT_TRUE(e.pdf->CloseMetaFile());
  CPDFPage p = e.doc->GetPage(1);
  ASSERT_TRUE(e.doc->WritePageToPDFFile(p));
  ASSERT_TRUE(e.doc->EndSavePDFFile());
  auto file = out.Dir() / "layers.pdf";
  EXPECT_EQ(twtest::PdfInfo(file, "Pages"), "1");
  // The overlay's word at (600, 1200) of 150 DPI = 4 x 8 inches = 288 x 576 pt.
  std::string box = twtest::PdfText(file, "-bbox");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(box, m, std::regex("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>STAMPED<"))) << box;
  EXPECT_NEAR(std::stod(m[1]), 288, 3);
  EXPECT_NEAR(std::stod(m[2]), 576, 6);
  EXPECT_NE(box.find(">Under<"), std::string::npos);
}

TEST(PdfEngineDocument, MemoryOutputIsAMovableBlockHoldingTheDocument) {
  twtest::TempRoot root;
  Metafile page = TextPage({u"In memory"});
  Engine e;
  ASSERT_TRUE(e.doc->StartSavePDFToMemory(nullptr));
  ASSERT_TRUE(e.AddMetafilePage(page.h, 1));
  HGLOBAL block = e.doc->EndSavePDFToMemory();
  ASSERT_NE(block, nullptr);
  SIZE_T size = GlobalSize(block);
  const char* bytes = static_cast<const char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes, 5), "%PDF-");
  auto file = root.Dir() / "memory.pdf";
  std::ofstream(file, std::ios::binary).write(bytes, std::streamsize(size));
  GlobalUnlock(block);
  GlobalFree(block);
  EXPECT_TRUE(QpdfClean(file));
  EXPECT_NE(twtest::PdfText(file).find("In memory"), std::string::npos);
}

TEST(PdfEngineDocument, AnAbandonedSaveLeavesNoFileItMade) {
  OutFolder out;
  Metafile page = TextPage({u"Never finished"});
  {
    Engine e;
    ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\gone.pdf"));
    // The target is made at the start, so a bad path fails there.
    EXPECT_TRUE(std::filesystem::exists(out.Dir() / "gone.pdf"));
    ASSERT_TRUE(e.AddMetafilePage(page.h, 1));
  }  // destroyed without EndSavePDFFile (a cancelled job)
  EXPECT_FALSE(std::filesystem::exists(out.Dir() / "gone.pdf"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Dir()), {}), 0) << "temporary files left";

  // A file that was there before an abandoned overwrite keeps its bytes.
  auto kept = out.Dir() / "kept.pdf";
  std::ofstream(kept) << "original bytes";
  {
    Engine e;
    ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\kept.pdf"));
    ASSERT_TRUE(e.AddMetafilePage(page.h, 1));
  }
  EXPECT_EQ(twtest::ReadBytes(kept), std::vector<unsigned char>({'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l', ' ', 'b', 'y', 't', 'e', 's'}));
}

// A page is finished while the next one is drawn: a page that cannot be
// written fails the save all the same, at the next page or at its end, and
// leaves no file behind; a file that was there keeps its bytes.
TEST(PdfEngineDocument, APageThatCannotBeWrittenFailsTheSave) {
  OutFolder out;
  std::vector<Metafile> pages;
  for (int i = 0; i < 12; ++i) pages.push_back(TextPage(NumberedLines(u"Page " + std::u16string(1, char16_t(u'A' + i)), 60)));
  auto kept = out.Dir() / "kept.pdf";
  std::ofstream(kept) << "original bytes";
  // Full while the pages are written, and while the document is finished.
  for (auto [name, room] : {std::pair{u"C:\\out\\new.pdf", 4096}, {u"C:\\out\\kept.pdf", 4096},
                            {u"C:\\out\\new.pdf", 16 * 1024}}) {
    SCOPED_TRACE(tw::ToUtf8(name) + " in " + std::to_string(room) + " bytes");
    Engine e;
    ASSERT_TRUE(e.doc->StartSavePDFFileW(name));
    bool ok = true;
    {
      enctest::FileSizeLimit full(room);
      for (std::size_t i = 0; ok && i < pages.size(); ++i) ok = e.AddMetafilePage(pages[i].h, int(i) + 1);
      ok = ok && e.doc->EndSavePDFFile();
    }
    EXPECT_FALSE(ok) << "twelve pages of text fit";
    const int error = e.doc->GetLastError();
    EXPECT_TRUE(error == PDF_ERROR_DRAWING || error == PDF_ERROR_OUTPUT) << "error " << error;
  }
  EXPECT_FALSE(std::filesystem::exists(out.Dir() / "new.pdf"));
  EXPECT_EQ(twtest::ReadBytes(kept), std::vector<unsigned char>({'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l', ' ', 'b', 'y', 't', 'e', 's'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Dir()), {}), 1) << "temporary files left";
}

TEST(PdfEngineDocument, CallsOutOfPlaceFailWithTheEngineError) {
  OutFolder out;
  Metafile page = TextPage({u"x"});
  Engine e;
  // No save yet.
  EXPECT_FALSE(e.doc->AddPage(100, 100, 300, 300).IsLegal());
  EXPECT_EQ(e.doc->GetLastError(), PDF_ERROR_ARGUMENT);
  EXPECT_EQ(e.doc->GetNumberOfPages(), -1);
  // A bad path fails at the start.
  EXPECT_FALSE(e.doc->StartSavePDFFileW(u"C:\\nowhere\\doc.pdf"));
  EXPECT_EQ(e.doc->GetLastError(), PDF_ERROR_OUTPUT);
  ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\errors.pdf"));
  EXPECT_FALSE(e.doc->StartSavePDFFileW(u"C:\\out\\again.pdf"));
  // Nothing loaded; not a metafile; a page that is not open.
  EXPECT_FALSE(e.pdf->ExecuteMetaFile(1, 1, TRUE));
  EXPECT_EQ(e.pdf->GetLastError(), PDF_ERROR_METAFILE);
  EXPECT_FALSE(e.pdf->LoadMetaFile(reinterpret_cast<HENHMETAFILE>(0x1234)));
  EXPECT_EQ(e.pdf->GetLastError(), PDF_ERROR_METAFILE);
  ASSERT_TRUE(e.pdf->LoadMetaFile(page.h));
  EXPECT_FALSE(e.pdf->ExecuteMetaFile(1, 1, FALSE));
  EXPECT_EQ(e.pdf->GetLastError(), PDF_ERROR_PAGE);
  EXPECT_FALSE(e.pdf->ExecuteMetaFile(2, 1, TRUE));
  CPDFPage none = e.doc->GetPage(1);
  EXPECT_FALSE(none.IsLegal());
  EXPECT_EQ(e.doc->GetLastError(), PDF_ERROR_PAGE);
  EXPECT_FALSE(e.doc->WritePageToPDFFile(none));
  // A page made while another is open replaces it; the old value is illegal.
  CPDFPage first = e.doc->AddPage(200, 200, 72, 72);
  CPDFPage second = e.doc->AddPage(300, 300, 72, 72);
  EXPECT_FALSE(first.IsLegal());
  EXPECT_TRUE(second.IsLegal());
  EXPECT_FALSE(first.SetPageSize(10, 10));
  EXPECT_FALSE(second.SetPageSize(-1, 10));
  EXPECT_FALSE(second.WriteOCRText(nullptr, u"x", u"Helvetica", 12, nullptr));
  ASSERT_TRUE(e.doc->WritePageToPDFFile(second));
  EXPECT_FALSE(second.IsLegal());
  ASSERT_TRUE(e.doc->EndSavePDFFile());
  EXPECT_EQ(twtest::PdfInfo(out.Dir() / "errors.pdf", "Page size"), "300 x 300 pts");
  // A destroyed interface's pages are illegal, not dangling.
  CPDFPage orphan;
  {
    Engine other;
    ASSERT_TRUE(other.doc->StartSavePDFToMemory(nullptr));
    orphan = other.doc->AddPage(10, 10, 72, 72);
    EXPECT_TRUE(orphan.IsLegal());
  }
  EXPECT_FALSE(orphan.IsLegal());
  EXPECT_FALSE(orphan.SetPageSize(1, 1));
  EXPECT_EQ(orphan.GetDC(), nullptr);
}

TEST(PdfEngineDocument, DestroyIgnoresAnInterfaceItDoesNotKnow) {
  CPDFInt* pdf = CPDFInt::CreateInterface();
  ASSERT_NE(pdf, nullptr);
  pdf->Destroy();
  // A second Destroy of the same pointer (the writer's double clean-up)
  // finds it gone and does nothing.
  pdf->Destroy();
  SUCCEED();
}

TEST(PdfEngineDocument, DamagedMetafilesFailTheirPageCleanly) {
  auto shared = twtest::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "../shared is absent: the damaged corpus files are not tested";
  OutFolder out;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(shared / "corpus" / "emf-bad")) {
    auto bytes = twtest::ReadBytes(entry.path());
    Metafile emf(SetEnhMetaFileBits(UINT(bytes.size()), bytes.data()));
    Engine e;
    ASSERT_TRUE(e.doc->StartSavePDFToMemory(nullptr));
    if (!emf.h) {
      EXPECT_FALSE(e.pdf->LoadMetaFile(emf.h));
      continue;
    }
    ++files;
    // Either the page cannot be made (no usable size) or what can be drawn is.
    if (e.AddMetafilePage(emf.h, 1)) {
      HGLOBAL block = e.doc->EndSavePDFToMemory();
      EXPECT_NE(block, nullptr) << entry.path();
      if (block) GlobalFree(block);
    } else {
      EXPECT_NE(e.pdf->GetLastError(), PDF_ERROR_NONE) << entry.path();
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
