// The engine's settings as the finished file shows them: PDF/A-2b,
// linearization, compact fonts, the invisible OCR layer, links, viewer keys,
// drawing on the page (watermarks), image compression and colour depth.
#include <gtest/gtest.h>

#include <qpdf/QPDF.hh>

#include <cstring>

#include "engine_test_util.h"
#include "pdfa_check.h"

using namespace pdftest;
using twtest::QpdfClean;

namespace {

// pdftoppm's picture of a page as grey bytes (PGM), for comparing.
std::vector<unsigned char> grey(const std::filesystem::path& pdf, int page, int dpi = 50) {
  auto out = pdf.parent_path() / ("page-" + std::to_string(page));
  twtest::RunTool("pdftoppm -gray -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
                  std::to_string(page) + " -singlefile " + twtest::Quote(pdf.string()) + " " + twtest::Quote(out.string()));
  auto bytes = twtest::ReadBytes(out.string() + ".pgm");
  std::filesystem::remove(out.string() + ".pgm");
  return bytes;
}

int darkPixels(const std::vector<unsigned char>& pgm) {
  int n = 0;
  for (std::size_t i = pgm.size() > 64 ? 64 : 0; i < pgm.size(); ++i) n += pgm[i] < 128;
  return n;
}

TEST(PdfEngineFeatures, PdfA2bPassesEveryRuleAndShowsItsIdentification) {
  OutFolder out;
  // Greek text makes a CID font (which needs its CIDToGIDMap), the URL a link annotation.
  Metafile page = TextPage({u"Archived text \u20ac", u"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1", u"visit https://example.org/a"},
                           u"Arial");
  ASSERT_TRUE(WriteDocument(u"C:\\out\\pdfa.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetPdfType(2);
    pdf.SetUrlParsing(TRUE);
    CPDFDocInfo info(false);
    info.SetTitle(u"A & B <archive>");
    info.SetAuthor(u"J\u00f6rg");
    info.SetSubject(u"Subject");
    info.SetKeywords(u"one, two");
    info.SetCreator(u"Tarnwick Printer version 17.63");
    pdf.SetDocInfo(&info);
  }));
  auto file = out.Dir() / "pdfa.pdf";
  EXPECT_TRUE(QpdfClean(file));
  auto violations = PdfA2bViolations(file);
  EXPECT_TRUE(violations.empty()) << ::testing::PrintToString(violations);
  std::string meta = twtest::Tool("pdfinfo", "-meta", file).out;
  EXPECT_NE(meta.find("<pdfaid:part>2</pdfaid:part>"), std::string::npos) << meta;
  EXPECT_NE(meta.find("<pdfaid:conformance>B</pdfaid:conformance>"), std::string::npos);
  std::size_t xml = meta.find("<?xpacket");
  ASSERT_NE(xml, std::string::npos);
  auto xmpFile = out.Dir() / "meta.xml";
  std::ofstream(xmpFile) << meta.substr(xml);
  EXPECT_EQ(twtest::RunTool("xmllint --noout " + twtest::Quote(xmpFile.string())).status, 0);
  EXPECT_EQ(twtest::PdfInfo(file, "Metadata Stream"), "yes");
  EXPECT_EQ(twtest::PdfInfo(file, "Author"), "J\xC3\xB6rg");
  EXPECT_NE(twtest::PdfText(file).find("Archived text"), std::string::npos);
}

TEST(PdfEngineFeatures, ThePdfACheckerFindsWhatAnOrdinaryDocumentLacks) {
  OutFolder out;
  Metafile page = TextPage({u"Plain"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\plain.pdf", {&page}, [](CPDFInt& pdf, CPDF&) { pdf.SetEncryptionW(3, u"", u"o"); }));
  std::string found = ::testing::PrintToString(PdfA2bViolations(out.Dir() / "plain.pdf"));
  for (const char* rule : {"encrypted", "pdfaid:part is not 2", "no GTS_PDFA1 output intent"})
    EXPECT_NE(found.find(rule), std::string::npos) << rule << " in " << found;
}

TEST(PdfEngineFeatures, LinearizedFilesPassTheLinearizationCheck) {
  OutFolder out;
  Metafile a = TextPage({u"one"}), b = TextPage({u"two"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\lin.pdf", {&a, &b}, [](CPDFInt& pdf, CPDF&) { pdf.SetLinearized(TRUE); }));
  auto file = out.Dir() / "lin.pdf";
  auto r = twtest::Tool("qpdf", "--check-linearization", file);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(twtest::PdfInfo(file, "Optimized"), "yes");
}

TEST(PdfEngineFeatures, CompactDocumentsDropFontHintingAndUseObjectStreams) {
  OutFolder out;
  std::vector<std::u16string> lines = NumberedLines(u"The quick brown fox jumps over the lazy dog", 40);
  Metafile page = TextPage(lines, u"Arial");
  ASSERT_TRUE(WriteDocument(u"C:\\out\\plain.pdf", {&page}));
  ASSERT_TRUE(WriteDocument(u"C:\\out\\compact.pdf", {&page}, [](CPDFInt& pdf, CPDF&) { pdf.SetRemoveFontTables(TRUE); }));
  auto plain = out.Dir() / "plain.pdf", compact = out.Dir() / "compact.pdf";
  EXPECT_TRUE(QpdfClean(compact));
  EXPECT_LT(std::filesystem::file_size(compact), std::filesystem::file_size(plain));
  EXPECT_NE(twtest::Tool("qpdf", "--show-xref", compact).out.find("compressed"), std::string::npos);
  EXPECT_NE(twtest::PdfText(compact).find("lazy dog line 40"), std::string::npos);
  // The embedded subsets: no hinting tables left (the plain one has them).
  auto tables = [](const std::filesystem::path& file) {
    QPDF pdf;
    pdf.processFile(file.c_str());
    std::string tags;
    for (QPDFObjectHandle o : pdf.getAllObjects()) {
      if (!o.isDictionary() || o.getKey("/Type").unparse() != "/FontDescriptor" || !o.getKey("/FontFile2").isStream()) continue;
      auto data = o.getKey("/FontFile2").getStreamData(qpdf_dl_generalized);
      const unsigned char* p = data->getBuffer();
      int n = (p[4] << 8) | p[5];
      for (int i = 0; i < n && 12 + 16 * i + 4 <= int(data->getSize()); ++i)
        tags += std::string(reinterpret_cast<const char*>(p + 12 + 16 * i), 4) + ",";
    }
    return tags;
  };
  EXPECT_NE(tables(plain).find("fpgm"), std::string::npos) << tables(plain);
  std::string compactTables = tables(compact);
  for (const char* tag : {"cvt ", "fpgm", "prep"}) EXPECT_EQ(compactTables.find(tag), std::string::npos) << compactTables;
  EXPECT_NE(compactTables.find("glyf"), std::string::npos);
  // Still drawn the same.
  EXPECT_EQ(darkPixels(grey(plain, 1, 100)) / 50, darkPixels(grey(compact, 1, 100)) / 50);
}

TEST(PdfEngineFeatures, OcrWordsAreFoundButNeverSeen) {
  OutFolder out;
  Metafile page = TextPage({u"Visible words"});
  auto write = [&](const std::u16string& name, bool ocr) {
    Engine e;
    ASSERT_TRUE(e.doc->StartSavePDFFileW(name.c_str()));
    ASSERT_TRUE(e.pdf->LoadMetaFile(page.h));
    ASSERT_TRUE(e.pdf->ExecuteMetaFile(1, 1, TRUE));
    CPDFPage p = e.doc->GetPage(1);
    if (ocr) {
      ASSERT_TRUE(p.BeginOCRText());
      RECT w1{300, 1500, 900, 1560}, w2{950, 1500, 1500, 1560};
      ASSERT_TRUE(p.WriteOCRText(&w1, u"Recognised", u"Helvetica", 300 * 14 / 72.0, nullptr));
      ASSERT_TRUE(p.WriteOCRText(&w2, u"\u00e9l\u00e8ve", u"Helvetica", 0, nullptr));
      ASSERT_TRUE(p.EndOCRText());
    }
    ASSERT_TRUE(e.doc->WritePageToPDFFile(p));
    ASSERT_TRUE(e.doc->EndSavePDFFile());
  };
  write(u"C:\\out\\ocr.pdf", true);
  write(u"C:\\out\\plain.pdf", false);
  auto file = out.Dir() / "ocr.pdf";
  EXPECT_TRUE(QpdfClean(file));
  std::string box = twtest::PdfText(file, "-bbox");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(box, m, std::regex("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">Recognised<")))
      << box;
  // The word's box (300..900 x 1500..1560 px at 300 DPI) in points, within 5 pt.
  EXPECT_NEAR(std::stod(m[1]), 72, 5);
  EXPECT_NEAR(std::stod(m[3]), 216, 5);
  EXPECT_NEAR(std::stod(m[4]), 374.4, 5);
  EXPECT_NE(box.find(">\xC3\xA9l\xC3\xA8ve<"), std::string::npos);
  // Not one pixel differs from the page without the layer.
  EXPECT_EQ(grey(file, 1), grey(out.Dir() / "plain.pdf", 1));
  for (const std::string& row : twtest::ToolRows("pdffonts", "", file))
    if (row.find("TwOcrText") != std::string::npos) {
      EXPECT_NE(row.find("yes yes yes"), std::string::npos) << row;
    }
}

TEST(PdfEngineFeatures, UrlsInTheTextBecomeLinks) {
  OutFolder out;
  Metafile page = TextPage({u"See https://example.org/path?x=1.", u"or www.example.com and mailto:a@b.example", u"no link here"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\links.pdf", {&page}, [](CPDFInt& pdf, CPDF&) { pdf.SetUrlParsing(TRUE); }));
  auto file = out.Dir() / "links.pdf";
  EXPECT_TRUE(QpdfClean(file));
  QPDF pdf;
  pdf.processFile(file.string().c_str());
  QPDFObjectHandle annots = QPDFPageDocumentHelper(pdf).getAllPages()[0].getObjectHandle().getKey("/Annots");
  ASSERT_TRUE(annots.isArray());
  std::vector<std::string> uris;
  for (int i = 0; i < annots.getArrayNItems(); ++i) {
    QPDFObjectHandle a = annots.getArrayItem(i);
    EXPECT_EQ(a.getKey("/Subtype").unparse(), "/Link");
    EXPECT_EQ(a.getKey("/F").getIntValue(), 4);
    uris.push_back(a.getKey("/A").getKey("/URI").getStringValue());
    // Over the first line's text (half an inch from the top).
    if (i == 0) {
      EXPECT_NEAR(a.getKey("/Rect").getArrayItem(3).getNumericValue(), 792 - 36, 4);
    }
  }
  EXPECT_EQ(uris, (std::vector<std::string>{"https://example.org/path?x=1", "http://www.example.com", "mailto:a@b.example"}));
}

TEST(PdfEngineFeatures, ViewerKeysGoIntoTheCatalog) {
  OutFolder out;
  Metafile a = TextPage({u"1"}), b = TextPage({u"2"});
  ASSERT_TRUE(WriteDocument(u"C:\\out\\viewer.pdf", {&a, &b}, [](CPDFInt& pdf, CPDF& doc) {
    pdf.SetIntValue(PDF_KEY_PAGE_LAYOUT, 2);
    pdf.SetIntValue(PDF_KEY_PAGE_MODE, 3);
    pdf.SetIntValue(PDF_KEY_MAGNIFICATION, 6);
    pdf.SetBoolValue(PDF_KEY_HIDE_TOOLBAR, TRUE);
    pdf.SetBoolValue(PDF_KEY_DISPLAY_TITLE, TRUE);
    pdf.SetBoolValue(PDF_KEY_FIT_WINDOW, FALSE);
    doc.SetIntValue(PDF_KEY_OPEN_PAGE, 2);
    doc.SetIntValue(PDF_KEY_ZOOM, 150);
  }));
  QPDF pdf;
  pdf.processFile((out.Dir() / "viewer.pdf").string().c_str());
  QPDFObjectHandle root = pdf.getRoot();
  EXPECT_EQ(root.getKey("/PageLayout").unparse(), "/OneColumn");
  EXPECT_EQ(root.getKey("/PageMode").unparse(), "/FullScreen");
  EXPECT_EQ(root.getKey("/ViewerPreferences").unparse(), "<< /DisplayDocTitle true /HideToolbar true >>");
  QPDFObjectHandle open = root.getKey("/OpenAction");
  ASSERT_TRUE(open.isArray());
  EXPECT_EQ(open.getArrayItem(0).getObjGen(), QPDFPageDocumentHelper(pdf).getAllPages()[1].getObjectHandle().getObjGen());
  EXPECT_EQ(open.getArrayItem(1).unparse(), "/XYZ");
  EXPECT_DOUBLE_EQ(open.getArrayItem(4).getNumericValue(), 1.5);

  // Without an open action the end of the save only adds to the drawn file
  // (an update section): the keys are there all the same.
  ASSERT_TRUE(WriteDocument(u"C:\\out\\keys.pdf", {&a, &b}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetIntValue(PDF_KEY_PAGE_LAYOUT, 6);
    pdf.SetBoolValue(PDF_KEY_CENTER_WINDOW, TRUE);
  }));
  auto keys = out.Dir() / "keys.pdf";
  EXPECT_TRUE(QpdfClean(keys));
  QPDF updated;
  updated.processFile(keys.string().c_str());
  EXPECT_EQ(updated.getRoot().getKey("/PageLayout").unparse(), "/TwoPageRight");
  EXPECT_EQ(updated.getRoot().getKey("/ViewerPreferences").unparse(), "<< /CenterWindow true >>");
  EXPECT_TRUE(updated.getRoot().getKey("/Metadata").isStream());
  EXPECT_TRUE(updated.getTrailer().getKey("/ID").isArray());
  EXPECT_EQ(twtest::PdfInfo(keys, "Producer"), "TwPdfEngine 17.63");
}

// A 24-bit memory DC with a coloured picture, a source for page blits.
struct Picture {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap;
  HGDIOBJ old;
  Picture(int w, int h, int bpp) {
    BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), w, -h, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits;
    bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, w, h, WHITENESS);
  }
  ~Picture() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

TEST(PdfEngineFeatures, DrawingOnThePageLiesUnderTheMetafileLayers) {
  OutFolder out;
  Picture logo(400, 300, 24);
  HBRUSH red = CreateSolidBrush(RGB(220, 30, 30));
  RECT r{0, 0, 400, 300};
  FillRect(logo.dc, &r, red);
  DeleteObject(red);
  Metafile page = TextPage({u"Body text over the watermark"});
  Engine e;
  ASSERT_TRUE(e.doc->StartSavePDFFileW(u"C:\\out\\mark.pdf"));
  CPDFPage p = e.doc->AddPage(2550, 3300, 300, 300);
  ASSERT_TRUE(p.IsLegal());
  // As the image and text watermarks draw: a blit, a turned text.
  EXPECT_EQ(p.SetGraphicsMode(GM_ADVANCED), GM_COMPATIBLE);
  ASSERT_TRUE(p.BitBlt(1075, 1500, 400, 300, logo.dc, 0, 0, SRCCOPY));
  LOGFONTW lf{};
  lf.lfHeight = -200;
  lf.lfEscapement = lf.lfOrientation = 450;
  std::u16string face = u"Arial";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT font = p.CreateFontIndirectW(&lf);
  ASSERT_NE(font, nullptr);
  ASSERT_NE(p.SelectObject(font), nullptr);
  p.SetBkMode(TRANSPARENT);
  p.SetTextColor(RGB(128, 128, 128));
  UINT align = p.SetTextAlign(TA_BOTTOM);
  EXPECT_EQ(p.GetTextAlign(), UINT(TA_BOTTOM));
  ASSERT_TRUE(p.TextOutW(600, 2600, u"DRAFT", 5));
  p.SetTextAlign(align);
  // Then the page's metafile onto the same page.
  ASSERT_TRUE(e.pdf->LoadMetaFile(page.h));
  ASSERT_TRUE(e.pdf->ExecuteMetaFile(1, 1, FALSE));
  ASSERT_TRUE(e.doc->WritePageToPDFFile(p));
  ASSERT_TRUE(e.doc->EndSavePDFFile());
  auto file = out.Dir() / "mark.pdf";
  EXPECT_TRUE(QpdfClean(file));
  // Turned text comes out a letter per line: read it without line breaks.
  std::string text = twtest::PdfText(file, "-raw");
  std::erase(text, '\n');
  EXPECT_NE(text.find("DRAFT"), std::string::npos) << text;
  EXPECT_NE(text.find("Body text"), std::string::npos);
  // The blit is an image of its size, not interpolated.
  auto images = twtest::ToolRows("pdfimages", "-list", file);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_NE(images[0].find("400   300  rgb"), std::string::npos) << images[0];
  EXPECT_NE(images[0].find(" no "), std::string::npos) << images[0];
  // The watermark's content stream comes first: its text precedes the body's.
  EXPECT_LT(text.find("DRAFT"), text.find("Body text"));
}

TEST(PdfEngineFeatures, ImagesAreCodedAsTheFiltersSay) {
  OutFolder out;
  Metafile page = RecordPage([](HDC dc) {
    // A one-bit picture and a photo-like colour picture.
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 8, 0);
    auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    *bih = {sizeof(BITMAPINFOHEADER), 64, 64, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
    RGBQUAD white{255, 255, 255, 0};
    std::memcpy(info.data() + sizeof(BITMAPINFOHEADER) + 4, &white, 4);
    std::vector<BYTE> mono(64 * 8);
    for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = BYTE(i * 37 ^ (i / 8));
    StretchDIBits(dc, 300, 300, 640, 640, 0, 0, 64, 64, mono.data(), reinterpret_cast<BITMAPINFO*>(info.data()),
                  DIB_RGB_COLORS, SRCCOPY);
    BITMAPINFO rgb{{sizeof(BITMAPINFOHEADER), 64, 64, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<BYTE> px(64 * 64 * 3);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = BYTE((i * 7) % 251);
    StretchDIBits(dc, 1200, 300, 640, 640, 0, 0, 64, 64, px.data(), &rgb, DIB_RGB_COLORS, SRCCOPY);
  });
  ASSERT_TRUE(WriteDocument(u"C:\\out\\coded.pdf", {&page}));  // defaults: 307 and 207
  ASSERT_TRUE(WriteDocument(u"C:\\out\\flate.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    pdf.SetColorImageFilter(105);
    pdf.SetMonoImageFilter(105);
  }));
  auto coded = twtest::ToolRows("pdfimages", "-list", out.Dir() / "coded.pdf");
  ASSERT_EQ(coded.size(), 2u);
  EXPECT_TRUE(std::regex_search(coded[0], std::regex("stencil +64 +64 +- +1 +1 +ccitt"))) << coded[0];
  EXPECT_TRUE(std::regex_search(coded[1], std::regex("image +64 +64 +rgb +3 +8 +jpeg"))) << coded[1];
  auto flate = twtest::ToolRows("pdfimages", "-list", out.Dir() / "flate.pdf");
  ASSERT_EQ(flate.size(), 2u);
  EXPECT_TRUE(std::regex_search(flate[0], std::regex("stencil +64 +64 +- +1 +1 +image"))) << flate[0];
  EXPECT_TRUE(std::regex_search(flate[1], std::regex("image +64 +64 +rgb +3 +8 +image"))) << flate[1];
  // The Group 4 stencil draws the same pixels as the Flate one.
  EXPECT_EQ(grey(out.Dir() / "coded.pdf", 1, 100).size(), grey(out.Dir() / "flate.pdf", 1, 100).size());
  auto a = grey(out.Dir() / "coded.pdf", 1, 30), b = grey(out.Dir() / "flate.pdf", 1, 30);
  ASSERT_EQ(a.size(), b.size());
  int left = 0;
  for (std::size_t i = 64; i < a.size(); ++i)
    if ((i % 255) < 120) left += std::abs(int(a[i]) - int(b[i])) > 8;
  EXPECT_LT(left, int(a.size() / 200));
}

TEST(PdfEngineFeatures, BlackAndWhiteAndGreyDepthsDropColour) {
  OutFolder out;
  Metafile page = RecordPage([](HDC dc) {
    HBRUSH blue = CreateSolidBrush(RGB(20, 60, 200));
    RECT r{300, 300, 1300, 1300};
    FillRect(dc, &r, blue);
    DeleteObject(blue);
    BITMAPINFO rgb{{sizeof(BITMAPINFOHEADER), 32, 32, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<BYTE> px(32 * 32 * 3);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = BYTE(i % 3 == 2 ? 240 : 30);
    StretchDIBits(dc, 1500, 300, 640, 640, 0, 0, 32, 32, px.data(), &rgb, DIB_RGB_COLORS, SRCCOPY);
  });
  ASSERT_TRUE(WriteDocument(u"C:\\out\\grey.pdf", {&page}, [](CPDFInt&, CPDF& doc) { doc.SetColorDepth(2); }));
  ASSERT_TRUE(WriteDocument(u"C:\\out\\bw.pdf", {&page}, [](CPDFInt&, CPDF& doc) { doc.SetColorDepth(0); }));
  auto greyImages = twtest::ToolRows("pdfimages", "-list", out.Dir() / "grey.pdf");
  ASSERT_EQ(greyImages.size(), 1u);
  EXPECT_NE(greyImages[0].find("gray    1   8"), std::string::npos) << greyImages[0];
  auto bwImages = twtest::ToolRows("pdfimages", "-list", out.Dir() / "bw.pdf");
  ASSERT_EQ(bwImages.size(), 1u);
  EXPECT_NE(bwImages[0].find("   1  ccitt"), std::string::npos) << bwImages[0];
  // No colour left: pdftoppm's colour picture has equal channels everywhere.
  auto ppm = out.Dir() / "grey";
  twtest::RunTool("pdftoppm -r 20 -singlefile " + twtest::Quote((out.Dir() / "grey.pdf").string()) + " " + twtest::Quote(ppm.string()));
  auto bytes = twtest::ReadBytes(ppm.string() + ".ppm");
  ASSERT_GT(bytes.size(), 100u);
  int coloured = 0;
  for (std::size_t i = bytes.size() - 3 * 170 * 220; i + 2 < bytes.size(); i += 3)
    coloured += std::abs(int(bytes[i]) - int(bytes[i + 2])) > 6;
  EXPECT_EQ(coloured, 0);
}

TEST(PdfEngineFeatures, FontsThatMayNotBeEmbeddedBecomeOutlinesWithInvisibleText) {
  OutFolder out;
  Metafile page = TextPage({u"Forbidden face"}, u"Courier New");
  ASSERT_TRUE(WriteDocument(u"C:\\out\\forbid.pdf", {&page}, [](CPDFInt& pdf, CPDF&) {
    LPCWSTR names[] = {u"Courier New"};
    ASSERT_TRUE(pdf.SetForbidEmbedFontsW(names, 1));
  }));
  auto file = out.Dir() / "forbid.pdf";
  EXPECT_TRUE(QpdfClean(file));
  // Only the invisible layer's face is a font; the text is still found.
  auto fonts = twtest::ToolRows("pdffonts", "", file);
  ASSERT_EQ(fonts.size(), 1u);
  EXPECT_NE(fonts[0].find("TwOcrText"), std::string::npos);
  EXPECT_NE(twtest::PdfText(file).find("Forbidden face"), std::string::npos);
  EXPECT_GT(darkPixels(grey(file, 1, 100)), 200);
}

TEST(PdfEngineFeatures, XorDrawingIsPlacedAsTheRasterEnginesPicture) {
  OutFolder out;
  Metafile page = RecordPage([](HDC dc) {
    RECT grey{300, 300, 1300, 800};
    HBRUSH g = CreateSolidBrush(RGB(128, 128, 128));
    FillRect(dc, &grey, g);
    DeleteObject(g);
    HFONT font = MakeFont(u"Arial", 60);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 300, 1000, u"Still text", 10);
    SelectObject(dc, old);
    DeleteObject(font);
    // XOR with a colour PDF cannot blend exactly: left to the raster engine.
    SetROP2(dc, R2_XORPEN);
    HBRUSH x = CreateSolidBrush(RGB(100, 150, 200));
    HGDIOBJ oldBrush = SelectObject(dc, x);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 800, 500, 1800, 1500);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(x);
  });
  ASSERT_TRUE(WriteDocument(u"C:\\out\\xor.pdf", {&page}));
  auto file = out.Dir() / "xor.pdf";
  EXPECT_TRUE(QpdfClean(file));
  auto images = twtest::ToolRows("pdfimages", "-list", file);
  ASSERT_EQ(images.size(), 1u) << "one picture for the XOR rectangle";
  EXPECT_NE(twtest::PdfText(file).find("Still text"), std::string::npos);
  // Over the grey box the XOR gives (128^100, 128^150, 128^200), elsewhere
  // (255^100, ...): read the colour picture at 10 DPI (85 x 110).
  auto ppm = out.Dir() / "xor";
  twtest::RunTool("pdftoppm -r 10 -singlefile " + twtest::Quote(file.string()) + " " + twtest::Quote(ppm.string()));
  auto bytes = twtest::ReadBytes(ppm.string() + ".ppm");
  ASSERT_GT(bytes.size(), 85u * 110 * 3);
  const unsigned char* px = bytes.data() + (bytes.size() - 85 * 110 * 3);
  auto at = [&](int x, int y, int c) { return int(px[(y * 85 + x) * 3 + c]); };
  // (1000, 650) lies in both: 128 ^ (100, 150, 200); (1600, 1300) in the XOR only.
  EXPECT_NEAR(at(33, 21, 0), 128 ^ 100, 6);
  EXPECT_NEAR(at(33, 21, 2), 128 ^ 200, 6);
  EXPECT_NEAR(at(53, 43, 0), 255 ^ 100, 6);
  EXPECT_NEAR(at(53, 43, 1), 255 ^ 150, 6);
}

TEST(PdfEngineFeatures, FlippingMirrorsThePage) {
  OutFolder out;
  Metafile page = RecordPage([](HDC dc) {
    RECT r{0, 0, 500, 500};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  });
  ASSERT_TRUE(WriteDocument(u"C:\\out\\flip.pdf", {&page}, [](CPDFInt& pdf, CPDF&) { pdf.SetFlipping(TRUE, FALSE); }));
  auto pgm = grey(out.Dir() / "flip.pdf", 1, 10);  // 85 x 110 pixels
  ASSERT_GT(pgm.size(), 85u * 110u);
  const unsigned char* px = pgm.data() + (pgm.size() - 85 * 110);
  EXPECT_LT(px[5 * 85 + 82], 64) << "top right is black";
  EXPECT_GT(px[5 * 85 + 2], 192) << "top left is white";
}

}  // namespace
