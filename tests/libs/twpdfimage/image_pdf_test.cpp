// TwPdfImage.dll through its ordinals, as the image-PDF writer loads it:
// Group 4, JPEG and Flate pages checked with poppler and qpdf, appending,
// abandoned documents and bad input.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <regex>

#include "pdf_tools.h"
#include "tw/pathmap.h"
#include "tw/utf.h"
#include "tw_pdf_image.h"
#include "tw_test.h"

namespace {

struct ImagePdf {
  HMODULE module = LoadLibraryW(u"TwPdfImage.dll");
  PFN_pdf_Init_PDF init = get<PFN_pdf_Init_PDF>(TWPDF_ORD_INIT_PDF);
  PFN_pdf_Release_PDF release = get<PFN_pdf_Release_PDF>(TWPDF_ORD_RELEASE_PDF);
  PFN_pdf_GetLastError lastError = get<PFN_pdf_GetLastError>(TWPDF_ORD_GET_LAST_ERROR);
  PFN_pdf_GetErrorText errorText = get<PFN_pdf_GetErrorText>(TWPDF_ORD_GET_ERROR_TEXT);
  PFN_pdf_FinishPDF finish = get<PFN_pdf_FinishPDF>(TWPDF_ORD_FINISH_PDF);
  PFN_pdf_AbortPDF abort = get<PFN_pdf_AbortPDF>(TWPDF_ORD_ABORT_PDF);
  PFN_pdf_CreatePDF create = get<PFN_pdf_CreatePDF>(TWPDF_ORD_CREATE_PDF);
  PFN_pdf_SaveDIBAsPDFPage save = get<PFN_pdf_SaveDIBAsPDFPage>(TWPDF_ORD_SAVE_DIB_AS_PDF_PAGE);
  ~ImagePdf() {
    if (module) FreeLibrary(module);
  }
  template <class F>
  F get(int ordinal) {
    return module ? reinterpret_cast<F>(GetProcAddress(module, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(ordinal)))) : nullptr;
  }
  std::u16string Text(HANDLE h) {
    WCHAR buf[TWPDF_ERROR_TEXT_UNITS];
    std::fill(std::begin(buf), std::end(buf), u'#');
    errorText(h, buf);
    return buf;
  }
};

// A packed DIB in a movable block: header, colour table, rows (bottom-up).
struct Dib {
  HGLOBAL block = nullptr;
  ~Dib() {
    if (block) GlobalFree(block);
  }
  static std::size_t Stride(int w, int bpp) { return (std::size_t(w) * bpp + 31) / 32 * 4; }
  Dib(int w, int h, int bpp, std::vector<RGBQUAD> colors, const std::function<DWORD(int x, int y)>& pixel,
      int dpi = 300, DWORD compression = BI_RGB, std::vector<DWORD> masks = {}) {
    std::size_t stride = Stride(w, bpp), header = sizeof(BITMAPINFOHEADER) + masks.size() * 4 + colors.size() * 4;
    block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, header + stride * h);
    BYTE* p = static_cast<BYTE*>(GlobalLock(block));
    BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), w, h, 1, WORD(bpp), compression, DWORD(stride * h),
                         LONG(dpi / 0.0254 + 0.5), LONG(dpi / 0.0254 + 0.5), DWORD(colors.size()), 0};
    std::memcpy(p, &bih, sizeof bih);
    if (!masks.empty()) std::memcpy(p + sizeof bih, masks.data(), masks.size() * 4);
    if (!colors.empty()) std::memcpy(p + sizeof bih + masks.size() * 4, colors.data(), colors.size() * 4);
    for (int y = 0; y < h; ++y) {
      BYTE* row = p + header + std::size_t(h - 1 - y) * stride;
      for (int x = 0; x < w; ++x) {
        DWORD v = pixel(x, y);
        if (bpp == 1) row[x / 8] |= BYTE((v & 1) << (7 - x % 8));
        else if (bpp == 4) row[x / 2] |= BYTE((v & 15) << (x % 2 ? 0 : 4));
        else if (bpp == 8) row[x] = BYTE(v);
        else if (bpp == 16) row[2 * x] = BYTE(v), row[2 * x + 1] = BYTE(v >> 8);
        else if (bpp == 24) row[3 * x] = BYTE(v), row[3 * x + 1] = BYTE(v >> 8), row[3 * x + 2] = BYTE(v >> 16);
        else std::memcpy(row + 4 * x, &v, 4);
      }
    }
    GlobalUnlock(block);
  }
};

const RGBQUAD kBlack{0, 0, 0, 0}, kWhite{255, 255, 255, 0};

// A black box on white: the top-left quarter's inner part.
DWORD boxPixel(int x, int y, int w, int h, DWORD ink, DWORD paper) {
  return x > w / 8 && x < w / 2 && y > h / 8 && y < h / 2 ? ink : paper;
}

std::filesystem::path host(std::u16string_view path) {
  std::filesystem::path out;
  tw::path::ToHost(path, out);
  return out;
}

class ImagePdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib.module, nullptr) << "TwPdfImage.dll not found beside the test";
    for (void* f : {(void*)lib.init, (void*)lib.release, (void*)lib.lastError, (void*)lib.errorText, (void*)lib.finish,
                    (void*)lib.abort, (void*)lib.create, (void*)lib.save})
      ASSERT_NE(f, nullptr);
    std::filesystem::create_directories(host(u"C:\\out"));
  }
  // One document of `pages`, each with its flag; the writer's calls in order.
  void Write(const std::u16string& name, const std::vector<std::pair<const Dib*, DWORD>>& pages, int quality = 75) {
    HANDLE h = nullptr;
    ASSERT_EQ(lib.init(&h, name.c_str()), 0);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(lib.create(h, name.c_str()), 0) << tw::ToUtf8(lib.Text(h));
    for (auto [dib, flag] : pages) ASSERT_EQ(lib.save(h, dib->block, u"", flag, quality), 0) << tw::ToUtf8(lib.Text(h));
    ASSERT_EQ(lib.finish(h), 0) << tw::ToUtf8(lib.Text(h));
    ASSERT_EQ(lib.release(h), 0);
  }
  std::size_t FilesInOut() { return std::size_t(std::distance(std::filesystem::directory_iterator(host(u"C:\\out")), {})); }

  twtest::TempRoot root;
  ImagePdf lib;
};

// Mean grey of a square of pdftoppm's picture (0 black .. 255 white).
double meanGrey(const std::filesystem::path& pdf, int page, double fx0, double fy0, double fx1, double fy1) {
  auto out = pdf.parent_path() / "pic";
  twtest::RunTool("pdftoppm -gray -r 30 -singlefile -f " + std::to_string(page) + " -l " + std::to_string(page) + " " +
                  twtest::Quote(pdf.string()) + " " + twtest::Quote(out.string()));
  auto bytes = twtest::ReadBytes(out.string() + ".pgm");
  std::filesystem::remove(out.string() + ".pgm");
  int w = 0, h = 0, max = 0, at = 0;
  if (std::sscanf(reinterpret_cast<const char*>(bytes.data()), "P5 %d %d %d%n", &w, &h, &max, &at) < 3) return -1;
  const unsigned char* px = bytes.data() + at + 1;
  double sum = 0;
  int n = 0;
  for (int y = int(fy0 * h); y < int(fy1 * h); ++y)
    for (int x = int(fx0 * w); x < int(fx1 * w); ++x) sum += px[y * w + x], ++n;
  return n ? sum / n : -1;
}

TEST_F(ImagePdfTest, OneBitPagesAreGroup4ImagesOfThePageSize) {
  // Both palette orders: black first (the raster pages) and white first.
  Dib blackFirst(2550, 3300, 1, {kBlack, kWhite}, [](int x, int y) { return boxPixel(x, y, 2550, 3300, 0, 1); });
  Dib whiteFirst(2550, 3300, 1, {kWhite, kBlack}, [](int x, int y) { return boxPixel(x, y, 2550, 3300, 1, 0); });
  Write(u"C:\\out\\g4.pdf", {{&blackFirst, TWPDF_COMPRESS_G4}, {&whiteFirst, TWPDF_COMPRESS_G4}});
  auto file = host(u"C:\\out\\g4.pdf");
  EXPECT_TRUE(twtest::QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Page size"), "612 x 792 pts (letter)");
  EXPECT_EQ(twtest::PdfInfo(file, "Producer"), "TwPdfImage 17.63");
  auto images = twtest::ToolRows("pdfimages", "-list", file);
  ASSERT_EQ(images.size(), 2u);
  for (const std::string& row : images)
    EXPECT_TRUE(std::regex_search(row, std::regex("image +2550 +3300 +gray +1 +1 +ccitt +no .* 300 +300 "))) << row;
  for (int page : {1, 2}) {
    EXPECT_LT(meanGrey(file, page, 0.2, 0.2, 0.45, 0.45), 20) << "the box is black on page " << page;
    EXPECT_GT(meanGrey(file, page, 0.6, 0.6, 0.9, 0.9), 235) << "the paper is white on page " << page;
  }
  EXPECT_EQ(FilesInOut(), 1u) << "a staging file is left";
}

TEST_F(ImagePdfTest, DeeperPagesAreJpegOrKeepTheirPaletteOrBecomeRgb) {
  std::vector<RGBQUAD> ramp(256), palette(256), sixteen(16);
  for (int i = 0; i < 256; ++i) ramp[i] = {BYTE(i), BYTE(i), BYTE(i), 0}, palette[i] = {BYTE(i), BYTE(255 - i), 40, 0};
  for (int i = 0; i < 16; ++i) sixteen[i] = {BYTE(i * 16), 0, BYTE(255 - i * 16), 0};
  Dib colour(600, 400, 24, {}, [](int x, int y) { return DWORD(boxPixel(x, y, 600, 400, 0x2040C0, 0xFFFFFF)); }, 150);
  Dib grey(600, 400, 8, ramp, [](int x, int y) { return DWORD(boxPixel(x, y, 600, 400, 0, 255)); }, 150);
  Dib indexed(600, 400, 8, palette, [](int x, int) { return DWORD(x % 256); }, 150);
  Dib nibbles(600, 400, 4, sixteen, [](int x, int) { return DWORD(x % 16); }, 150);
  Dib sixteenBit(600, 400, 16, {}, [](int x, int y) { return DWORD(boxPixel(x, y, 600, 400, 0x001F, 0xFFFF)); }, 150,
                 BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
  Dib thirtyTwo(600, 400, 32, {}, [](int x, int y) { return DWORD(boxPixel(x, y, 600, 400, 0x00C00000, 0x00FFFFFF)); }, 150);
  Write(u"C:\\out\\deep.pdf", {{&colour, TWPDF_COMPRESS_JPEG},
                               {&colour, TWPDF_COMPRESS_FLATE},
                               {&grey, TWPDF_COMPRESS_FLATE},
                               {&indexed, TWPDF_COMPRESS_FLATE},
                               {&nibbles, TWPDF_COMPRESS_FLATE},
                               {&sixteenBit, TWPDF_COMPRESS_FLATE},
                               {&thirtyTwo, TWPDF_COMPRESS_JPEG},
                               {&grey, TWPDF_COMPRESS_G4}});  // Group 4 does not apply: Flate
  auto file = host(u"C:\\out\\deep.pdf");
  EXPECT_TRUE(twtest::QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Page size"), "288 x 192 pts");
  auto images = twtest::ToolRows("pdfimages", "-list", file);
  ASSERT_EQ(images.size(), 8u);
  const char* expected[] = {"rgb +3 +8 +jpeg", "rgb +3 +8 +image", "gray +1 +8 +image", "index +1 +8 +image",
                            "index +1 +4 +image", "rgb +3 +8 +image", "rgb +3 +8 +jpeg", "gray +1 +8 +image"};
  for (std::size_t i = 0; i < images.size(); ++i)
    EXPECT_TRUE(std::regex_search(images[i], std::regex(std::string("600 +400 +") + expected[i]))) << images[i];
  // The colours survive: the box of the 16-bit page is blue, of the 32-bit red.
  EXPECT_LT(meanGrey(file, 1, 0.2, 0.2, 0.45, 0.45), 110);
  EXPECT_GT(meanGrey(file, 3, 0.6, 0.6, 0.9, 0.9), 240);
  EXPECT_LT(meanGrey(file, 3, 0.2, 0.2, 0.45, 0.45), 15);
}

TEST_F(ImagePdfTest, AnExistingPdfGetsThePagesBehindItsOwn) {
  Dib first(200, 200, 1, {kBlack, kWhite}, [](int, int) { return 1; }, 72);
  Write(u"C:\\out\\doc.pdf", {{&first, TWPDF_COMPRESS_G4}});
  Dib more(2550, 3300, 1, {kBlack, kWhite}, [](int x, int y) { return boxPixel(x, y, 2550, 3300, 0, 1); });
  Write(u"C:\\out\\doc.pdf", {{&more, TWPDF_COMPRESS_G4}, {&more, TWPDF_COMPRESS_FLATE}});
  auto file = host(u"C:\\out\\doc.pdf");
  EXPECT_TRUE(twtest::QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Pages"), "3");
  EXPECT_EQ(twtest::PdfInfo(file, "Page    1 size", "-f 1 -l 3"), "200 x 200 pts");
  EXPECT_EQ(twtest::PdfInfo(file, "Page    3 size", "-f 1 -l 3"), "612 x 792 pts (letter)");
  EXPECT_EQ(FilesInOut(), 1u) << "a staging file is left";
}

TEST_F(ImagePdfTest, FilesThatCannotBeAppendedToFailTheCreateAndStayAsTheyWere) {
  auto text = host(u"C:\\out\\notes.pdf");
  std::ofstream(text) << "plain text, not a PDF";
  auto before = twtest::ReadBytes(text);
  HANDLE h = nullptr;
  ASSERT_EQ(lib.init(&h, u"C:\\out\\notes.pdf"), 0);
  EXPECT_EQ(lib.create(h, u"C:\\out\\notes.pdf"), TWPDF_IMAGE_ERROR_NOT_PDF);
  EXPECT_EQ(lib.lastError(h), TWPDF_IMAGE_ERROR_NOT_PDF);
  EXPECT_NE(lib.Text(h).find(u"not a PDF"), std::u16string::npos);
  EXPECT_EQ(lib.abort(h, 0), 0);
  EXPECT_EQ(lib.release(h), 0);
  EXPECT_EQ(twtest::ReadBytes(text), before);

  // An encrypted PDF (qpdf makes one from a document of ours).
  Dib page(100, 100, 1, {kBlack, kWhite}, [](int, int) { return 1; }, 72);
  Write(u"C:\\out\\open.pdf", {{&page, TWPDF_COMPRESS_G4}});
  auto locked = host(u"C:\\out\\locked.pdf");
  ASSERT_EQ(twtest::RunTool("qpdf --encrypt u o 256 -- " + twtest::Quote(host(u"C:\\out\\open.pdf").string()) + " " +
                            twtest::Quote(locked.string()))
                .status,
            0);
  auto lockedBytes = twtest::ReadBytes(locked);
  ASSERT_EQ(lib.init(&h, u"C:\\out\\locked.pdf"), 0);
  EXPECT_EQ(lib.create(h, u"C:\\out\\locked.pdf"), TWPDF_IMAGE_ERROR_ENCRYPTED);
  EXPECT_EQ(lib.release(h), 0);
  EXPECT_EQ(twtest::ReadBytes(locked), lockedBytes);
  EXPECT_EQ(FilesInOut(), 3u);
}

TEST_F(ImagePdfTest, AbandonedOrUnfinishedDocumentsLeaveNoFile) {
  Dib page(300, 300, 1, {kBlack, kWhite}, [](int, int) { return 0; }, 300);
  HANDLE h = nullptr;
  ASSERT_EQ(lib.init(&h, u"C:\\out\\a.pdf"), 0);
  ASSERT_EQ(lib.create(h, u"C:\\out\\a.pdf"), 0);
  ASSERT_EQ(lib.save(h, page.block, nullptr, TWPDF_COMPRESS_G4, 0), 0);
  EXPECT_EQ(lib.abort(h, 201), 0);
  EXPECT_EQ(lib.lastError(h), 201);
  EXPECT_NE(lib.finish(h), 0) << "an abandoned document cannot be finished";
  EXPECT_EQ(lib.release(h), 0);
  // Released without finishing (a page failed in a one-page document).
  ASSERT_EQ(lib.init(&h, u"C:\\out\\b.pdf"), 0);
  ASSERT_EQ(lib.create(h, u"C:\\out\\b.pdf"), 0);
  ASSERT_EQ(lib.save(h, page.block, nullptr, TWPDF_COMPRESS_G4, 0), 0);
  EXPECT_EQ(lib.release(h), 0);
  EXPECT_EQ(FilesInOut(), 0u);
  // An existing PDF appended to and abandoned keeps its bytes.
  Write(u"C:\\out\\c.pdf", {{&page, TWPDF_COMPRESS_G4}});
  auto before = twtest::ReadBytes(host(u"C:\\out\\c.pdf"));
  ASSERT_EQ(lib.init(&h, u"C:\\out\\c.pdf"), 0);
  ASSERT_EQ(lib.create(h, u"C:\\out\\c.pdf"), 0);
  ASSERT_EQ(lib.save(h, page.block, nullptr, TWPDF_COMPRESS_G4, 0), 0);
  EXPECT_EQ(lib.release(h), 0);
  EXPECT_EQ(twtest::ReadBytes(host(u"C:\\out\\c.pdf")), before);
  EXPECT_EQ(FilesInOut(), 1u);
}

TEST_F(ImagePdfTest, BadInputFailsWithItsCodeAndText) {
  twtest::LeakGuard leaks;
  HANDLE h = nullptr;
  EXPECT_EQ(lib.init(nullptr, u"x"), TWPDF_IMAGE_ERROR_ARGUMENT);
  ASSERT_EQ(lib.init(&h, u"C:\\nowhere\\x.pdf"), 0);
  Dib page(10, 10, 1, {kBlack, kWhite}, [](int, int) { return 0; });
  EXPECT_EQ(lib.save(h, page.block, nullptr, 0, 0), TWPDF_IMAGE_ERROR_STATE) << "not created";
  EXPECT_EQ(lib.create(h, u"C:\\nowhere\\x.pdf"), TWPDF_IMAGE_ERROR_OUTPUT) << "a folder that is not there";
  EXPECT_EQ(lib.create(h, nullptr), TWPDF_IMAGE_ERROR_ARGUMENT);
  ASSERT_EQ(lib.create(h, u"C:\\out\\bad.pdf"), 0);
  EXPECT_EQ(lib.save(h, nullptr, nullptr, 0, 0), TWPDF_IMAGE_ERROR_ARGUMENT);
  // A header promising more rows than the block holds; an RLE bitmap; a
  // block too short for any header.
  HGLOBAL shortBlock = GlobalAlloc(GMEM_MOVEABLE, 60);
  BYTE* p = static_cast<BYTE*>(GlobalLock(shortBlock));
  BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), 1000, 1000, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::memcpy(p, &bih, sizeof bih);
  GlobalUnlock(shortBlock);
  EXPECT_EQ(lib.save(h, shortBlock, nullptr, 0, 0), TWPDF_IMAGE_ERROR_DIB);
  EXPECT_NE(lib.Text(h).find(u"cut short"), std::u16string::npos) << tw::ToUtf8(lib.Text(h));
  p = static_cast<BYTE*>(GlobalLock(shortBlock));
  bih.biCompression = BI_RLE8;
  bih.biBitCount = 8;
  std::memcpy(p, &bih, sizeof bih);
  GlobalUnlock(shortBlock);
  EXPECT_EQ(lib.save(h, shortBlock, nullptr, 0, 0), TWPDF_IMAGE_ERROR_DIB);
  HGLOBAL tiny = GlobalReAlloc(shortBlock, 8, GMEM_MOVEABLE);
  ASSERT_NE(tiny, nullptr);
  EXPECT_EQ(lib.save(h, tiny, nullptr, 0, 0), TWPDF_IMAGE_ERROR_DIB);
  GlobalFree(tiny);
  // The error text always ends within the 260 units.
  std::u16string text = lib.Text(h);
  EXPECT_LT(text.size(), std::size_t(TWPDF_ERROR_TEXT_UNITS));
  // The document still finishes with what it has (no pages).
  EXPECT_EQ(lib.finish(h), 0);
  EXPECT_EQ(lib.release(h), 0);
  EXPECT_EQ(lib.release(h), TWPDF_RELEASE_FAILED) << "released twice";
  EXPECT_EQ(lib.release(reinterpret_cast<HANDLE>(0x1234)), TWPDF_RELEASE_FAILED);
  EXPECT_EQ(lib.lastError(reinterpret_cast<HANDLE>(0x1234)), TWPDF_IMAGE_ERROR_ARGUMENT);
}

}  // namespace
