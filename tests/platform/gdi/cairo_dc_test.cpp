// The GDI layer's vector backend (tw/gdi_cairo.h): the same calls drawn on
// a raster DC and on a cairo DC over a cairo image surface must cover the
// same pixels (within a pixel of antialiased edges); what PDF cannot say is
// left as a fallback box; images reach the owner's hook.
#include <gtest/gtest.h>
#include <windows.h>

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "gdi_test_util.h"
#include "tw/gdi_cairo.h"

namespace {

constexpr int kW = 400, kH = 300;

// A cairo DC over a white RGB image of kW x kH: device pixels are image pixels.
class CairoCanvas {
 public:
  explicit CairoCanvas(tw::gdi::CairoDcOptions options = {}) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kW, kH);
    cr_ = cairo_create(surface_);
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_paint(cr_);
    // Aliased shapes, as the raster engine draws them (a PDF viewer smooths
    // both the same way); text keeps its smoothing on both.
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    options.width = kW;
    options.height = kH;
    options.dpiX = options.dpiY = 96;
    options.fonts = tw::gdi::CreateCairoFonts();
    dc_ = tw::gdi::CreateCairoDC(cr_, options);
  }
  ~CairoCanvas() {
    if (dc_) DeleteDC(dc_);
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  HDC dc() const { return dc_; }
  cairo_t* cr() const { return cr_; }
  DWORD Pixel(int x, int y) {
    cairo_surface_flush(surface_);
    auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface_) +
                                                       y * cairo_image_surface_get_stride(surface_));
    return row[x] & 0xFFFFFF;
  }

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
  HDC dc_;
};

bool near(DWORD a, DWORD b, int tolerance) {
  for (int s : {0, 8, 16})
    if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > tolerance) return false;
  return true;
}

// Share of ink pixels (in either picture) with no pixel of nearly the same
// colour within one pixel in the other picture.
double mismatch(gditest::Canvas& raster, CairoCanvas& vector) {
  auto rasterPixel = [&](int x, int y) { return raster.Pixel(x, y) & 0xFFFFFF; };
  auto vectorPixel = [&](int x, int y) { return vector.Pixel(x, y); };
  auto matched = [&](auto&& from, auto&& other, int x, int y) {
    DWORD c = from(x, y);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        int nx = x + dx, ny = y + dy;
        if (nx >= 0 && ny >= 0 && nx < kW && ny < kH && near(c, other(nx, ny), 72)) return true;
      }
    return false;
  };
  int ink = 0, wrong = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      DWORD r = rasterPixel(x, y), v = vectorPixel(x, y);
      if (near(r, 0xFFFFFF, 8) && near(v, 0xFFFFFF, 8)) continue;
      ++ink;
      if (!matched(rasterPixel, vectorPixel, x, y) || !matched(vectorPixel, rasterPixel, x, y)) ++wrong;
    }
  return ink ? double(wrong) / ink : 1.0;
}

// Draws `scene` on both and returns the mismatch; no fallback expected.
double drawBoth(const std::function<void(HDC)>& scene) {
  gditest::Canvas raster(kW, kH, 32);
  CairoCanvas vector;
  scene(raster.dc());
  scene(vector.dc());
  RECT box;
  EXPECT_FALSE(tw::gdi::TakeFallbackRegion(vector.dc(), box)) << "unexpected fallback " << box.left << "," << box.top;
  EXPECT_EQ(cairo_status(vector.cr()), CAIRO_STATUS_SUCCESS);
  // TW_CAIRO_DUMP=/tmp/x keeps both pictures (x-vector.png, x-raster.png) to look at.
  if (const char* dump = std::getenv("TW_CAIRO_DUMP")) {
    cairo_surface_write_to_png(cairo_get_target(vector.cr()), (std::string(dump) + "-vector.png").c_str());
    cairo_surface_t* r = cairo_image_surface_create_for_data(raster.bits(), CAIRO_FORMAT_RGB24, kW, kH, raster.stride());
    cairo_surface_write_to_png(r, (std::string(dump) + "-raster.png").c_str());
    cairo_surface_destroy(r);
  }
  return mismatch(raster, vector);
}

struct Selected {
  HDC dc;
  HGDIOBJ object, old;
  Selected(HDC d, HGDIOBJ o) : dc(d), object(o), old(SelectObject(d, o)) {}
  ~Selected() {
    SelectObject(dc, old);
    DeleteObject(object);
  }
};

TEST(CairoDc, ShapesAndPensCoverWhatTheRasterEngineCovers) {
  double m = drawBoth([](HDC dc) {
    Selected pen(dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 160)));
    Selected brush(dc, CreateSolidBrush(RGB(250, 200, 0)));
    Rectangle(dc, 10, 10, 110, 60);
    Ellipse(dc, 130, 10, 230, 80);
    RoundRect(dc, 250, 10, 390, 70, 30, 20);
    POINT star[5] = {{60, 100}, {90, 190}, {15, 135}, {105, 135}, {30, 190}};
    SetPolyFillMode(dc, WINDING);
    Polygon(dc, star, 5);
    Pie(dc, 130, 100, 230, 200, 230, 150, 180, 100);
    Chord(dc, 250, 100, 350, 200, 250, 150, 350, 150);
    {
      LOGBRUSH lb{BS_SOLID, RGB(200, 0, 0), 0};
      Selected wide(dc, ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER, 9, &lb, 0, nullptr));
      POINT zig[4] = {{20, 230}, {80, 270}, {140, 220}, {200, 280}};
      Polyline(dc, zig, 4);
    }
    {
      Selected dashed(dc, CreatePen(PS_DASH, 1, RGB(0, 120, 0)));
      MoveToEx(dc, 220, 230, nullptr);
      LineTo(dc, 390, 230);
    }
    POINT curve[4] = {{220, 280}, {260, 200}, {330, 320}, {390, 250}};
    PolyBezier(dc, curve, 4);
  });
  EXPECT_LT(m, 0.03);
}

TEST(CairoDc, BrushesPathsAndClippingMatchTheRasterEngine) {
  double m = drawBoth([](HDC dc) {
    Selected hatch(dc, CreateHatchBrush(HS_DIAGCROSS, RGB(0, 0, 200)));
    SetBkMode(dc, TRANSPARENT);
    Rectangle(dc, 10, 10, 150, 120);
    BYTE bits[16] = {0xF0, 0, 0xF0, 0, 0xF0, 0, 0xF0, 0, 0x0F, 0, 0x0F, 0, 0x0F, 0, 0x0F, 0};  // rows of a WORD
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, bits);
    {
      Selected pattern(dc, CreatePatternBrush(mono));
      SetTextColor(dc, RGB(150, 0, 0));
      SetBkColor(dc, RGB(255, 255, 200));
      PatBlt(dc, 170, 10, 120, 110, PATCOPY);
    }
    DeleteObject(mono);
    // A path filled and stroked, then clipping by a rectangle.
    BeginPath(dc);
    MoveToEx(dc, 310, 20, nullptr);
    LineTo(dc, 390, 60);
    LineTo(dc, 320, 110);
    CloseFigure(dc);
    EndPath(dc);
    {
      Selected green(dc, CreateSolidBrush(RGB(0, 170, 0)));
      StrokeAndFillPath(dc);
    }
    IntersectClipRect(dc, 40, 150, 200, 250);
    Selected red(dc, CreateSolidBrush(RGB(220, 0, 0)));
    Ellipse(dc, 10, 140, 250, 290);
  });
  EXPECT_LT(m, 0.03);
}

TEST(CairoDc, TextIsLaidOutAsTheRasterEngineLaysItOut) {
  double m = drawBoth([](HDC dc) {
    LOGFONTW lf{};
    lf.lfHeight = -28;
    std::u16string face = u"Arial";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    Selected font(dc, CreateFontIndirectW(&lf));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 10, 10, u"Hello, vector text", 18);
    SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
    TextOutW(dc, 390, 90, u"right aligned", 13);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    INT dx[5] = {40, 40, 40, 40, 40};
    ExtTextOutW(dc, 10, 110, 0, nullptr, u"Wider", 5, dx);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(255, 230, 230));
    RECT clip{10, 160, 150, 180};
    ExtTextOutW(dc, 10, 160, ETO_CLIPPED | ETO_OPAQUE, &clip, u"Clipped text runs on", 20, nullptr);
    // Turned and through a world transform.
    lf.lfEscapement = 300;
    lf.lfUnderline = TRUE;
    Selected turned(dc, CreateFontIndirectW(&lf));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 200, 280, u"Turned", 6);
    SetGraphicsMode(dc, GM_ADVANCED);
    XFORM scale{1.5f, 0, 0, 1.0f, 0, 0};
    SetWorldTransform(dc, &scale);
    TextOutW(dc, 150, 200, u"Wide", 4);
  });
  EXPECT_LT(m, 0.05);
}

TEST(CairoDc, ImagesAreNearestNeighbourAndReachTheHook) {
  std::vector<tw::gdi::CairoImage::Kind> kinds;
  tw::gdi::CairoDcOptions options;
  options.onImage = [&](tw::gdi::CairoImage& image) { kinds.push_back(image.kind); };
  gditest::Canvas raster(kW, kH, 32);
  CairoCanvas vector(options);
  auto scene = [](HDC dc) {
    // A 2 x 2 colour checker blown up 50 times: crisp blocks, no blur.
    BITMAPINFO rgb{{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
    BYTE px[16] = {0, 0, 255, 255, 0, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0};
    StretchDIBits(dc, 10, 10, 100, 100, 0, 0, 2, 2, px, &rgb, DIB_RGB_COLORS, SRCCOPY);
    // A one-bit picture, black on white.
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 8, 0);
    auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    *bih = {sizeof(BITMAPINFOHEADER), 8, 8, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
    std::memset(info.data() + sizeof(BITMAPINFOHEADER) + 4, 255, 3);
    BYTE mono[32] = {0x81, 0, 0, 0, 0x42, 0, 0, 0, 0x24, 0, 0, 0, 0x18, 0, 0, 0,
                     0x18, 0, 0, 0, 0x24, 0, 0, 0, 0x42, 0, 0, 0, 0x81, 0, 0, 0};
    StretchDIBits(dc, 150, 10, 80, 80, 0, 0, 8, 8, mono, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                  SRCCOPY);
    // A blit from a memory DC and a blend with per-pixel alpha.
    gditest::Canvas source(20, 20, 32);
    HBRUSH b = CreateSolidBrush(RGB(0, 128, 255));
    RECT r{0, 0, 20, 20};
    FillRect(source.dc(), &r, b);
    DeleteObject(b);
    StretchBlt(dc, 260, 10, 100, 60, source.dc(), 0, 0, 20, 20, SRCCOPY);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) reinterpret_cast<DWORD*>(source.Row(y))[x] = x < 10 ? 0x80400000u : 0xFF0000FFu;
    AlphaBlend(dc, 260, 100, 100, 100, source.dc(), 0, 0, 20, 20, {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
  };
  scene(raster.dc());
  scene(vector.dc());
  EXPECT_LT(mismatch(raster, vector), 0.02);
  using Kind = tw::gdi::CairoImage::Kind;
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::Rgb, Kind::Stencil, Kind::Rgb, Kind::Argb}));
  // Block edges stay sharp: the pixels either side of the boundary between
  // the top row's green and yellow blocks are pure.
  EXPECT_EQ(vector.Pixel(59, 30), 0x00FF00u);
  EXPECT_EQ(vector.Pixel(60, 30), 0xFFFF00u);
}

TEST(CairoDc, RasterOperationsThatReadThePageBecomeFallbackBoxes) {
  CairoCanvas vector;
  HDC dc = vector.dc();
  RECT box;
  // XOR with a colour whose channels are all 0 or 255 is PDF's difference.
  SetROP2(dc, R2_XORPEN);
  {
    Selected white(dc, CreateSolidBrush(RGB(255, 255, 255)));
    Selected pen(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 10, 10, 50, 50);
  }
  EXPECT_FALSE(tw::gdi::TakeFallbackRegion(dc, box));
  // With another colour it cannot be said: the box is left to the raster engine.
  {
    Selected brush(dc, CreateSolidBrush(RGB(100, 150, 200)));
    Selected pen(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 100, 100, 150, 140);
  }
  ASSERT_TRUE(tw::gdi::TakeFallbackRegion(dc, box));
  EXPECT_LE(box.left, 100);
  EXPECT_LE(box.top, 100);
  EXPECT_GE(box.right, 149);
  EXPECT_GE(box.bottom, 139);
  EXPECT_LT(box.right - box.left, 60);
  EXPECT_FALSE(tw::gdi::TakeFallbackRegion(dc, box)) << "taken once";
  SetROP2(dc, R2_COPYPEN);
  // Flood fills read the page: the clip box goes.
  IntersectClipRect(dc, 20, 30, 120, 90);
  ExtFloodFill(dc, 50, 50, RGB(0, 0, 0), FLOODFILLBORDER);
  ASSERT_TRUE(tw::gdi::TakeFallbackRegion(dc, box));
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.bottom, 90);
  // The white XOR inverted the page (black on white).
  EXPECT_EQ(vector.Pixel(30, 30), 0x000000u);
  EXPECT_EQ(cairo_status(vector.cr()), CAIRO_STATUS_SUCCESS);
}

TEST(CairoDc, AbsurdCoordinatesLeaveCairoUsable) {
  CairoCanvas vector;
  HDC dc = vector.dc();
  POINT far[3] = {{-2000000000, -2000000000}, {2000000000, 0}, {0, 2000000000}};
  Polygon(dc, far, 3);
  Selected wide(dc, CreatePen(PS_DASH, 100000000, RGB(0, 0, 0)));
  MoveToEx(dc, -1000000000, 5, nullptr);
  LineTo(dc, 1000000000, 5);
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM huge{1e9f, 0, 0, 1e-9f, 0, 0};
  SetWorldTransform(dc, &huge);
  TextOutW(dc, 1, 1, u"x", 1);
  Ellipse(dc, 0, 0, 10, 10);
  EXPECT_EQ(cairo_status(vector.cr()), CAIRO_STATUS_SUCCESS);
}

TEST(CairoDc, LinksAndOutlineTextAreReported) {
  std::vector<std::pair<RECT, std::u16string>> links;
  std::vector<std::u16string> outlined;
  tw::gdi::CairoDcOptions options;
  options.onLink = [&](const RECT& box, std::u16string_view url) { links.push_back({box, std::u16string(url)}); };
  options.forbiddenFonts = {u"Courier New"};
  options.onOutlineText = [&](std::u16string_view text, const double (&)[4], const double (&)[4]) {
    outlined.emplace_back(text);
  };
  CairoCanvas vector(options);
  HDC dc = vector.dc();
  LOGFONTW lf{};
  lf.lfHeight = -20;
  std::u16string face = u"Arial";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  {
    Selected font(dc, CreateFontIndirectW(&lf));
    TextOutW(dc, 10, 10, u"go to www.example.org, then stop", 32);
  }
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].second, u"http://www.example.org");
  EXPECT_GT(links[0].first.left, 40);
  EXPECT_LT(links[0].first.right, 300);
  EXPECT_NEAR(links[0].first.top, 10, 3);
  face = u"Courier New";
  std::copy(face.begin(), face.end() + 1, lf.lfFaceName);
  Selected courier(dc, CreateFontIndirectW(&lf));
  TextOutW(dc, 10, 60, u"outlined", 8);
  EXPECT_EQ(outlined, std::vector<std::u16string>{u"outlined"});
  // Drawn all the same.
  int dark = 0;
  for (int x = 10; x < 120; ++x)
    for (int y = 60; y < 85; ++y) dark += vector.Pixel(x, y) < 0x404040u;
  EXPECT_GT(dark, 50);
}

TEST(CairoDc, PageReferenceDcsHaveTheirPageExactly) {
  HDC dc = tw::gdi::CreatePageReferenceDC(2550, 3300, 300, 300);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2550);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 3300);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
  EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 216);
  DeleteDC(dc);
  EXPECT_EQ(tw::gdi::CreatePageReferenceDC(0, 10, 300, 300), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  // A cairo DC has no pixels to select a bitmap into or to read from.
  CairoCanvas vector;
  EXPECT_EQ(GetObjectType(vector.dc()), DWORD(OBJ_ENHMETADC));
  HBITMAP bitmap = CreateBitmap(4, 4, 1, 1, nullptr);
  EXPECT_EQ(SelectObject(vector.dc(), bitmap), nullptr);
  DeleteObject(bitmap);
  gditest::Canvas raster(10, 10, 24);
  EXPECT_FALSE(BitBlt(raster.dc(), 0, 0, 10, 10, vector.dc(), 0, 0, SRCCOPY));
  tw::gdi::CairoDcOptions noFonts;
  noFonts.width = noFonts.height = 10;
  EXPECT_EQ(tw::gdi::CreateCairoDC(vector.cr(), noFonts), nullptr);
}


// An RLE8 image: a run of index 1 in every row, index 0 elsewhere.
std::vector<BYTE> rle8Image(int width, int height, std::vector<BYTE>& info) {
  info.assign(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD), 0);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  h->biSize = sizeof(BITMAPINFOHEADER);
  h->biWidth = width;
  h->biHeight = height;
  h->biPlanes = 1;
  h->biBitCount = 8;
  h->biCompression = BI_RLE8;
  h->biClrUsed = 2;
  auto* colors = reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
  colors[0] = {255, 255, 255, 0};
  colors[1] = {0, 0, 200, 0};
  std::vector<BYTE> bits;
  for (int y = 0; y < std::min(height, 64); ++y) {
    int run = std::min(width, 200);
    for (int left = run; left > 0; left -= 255) bits.insert(bits.end(), {BYTE(std::min(left, 255)), 1});
    bits.insert(bits.end(), {0, 0});  // end of line
  }
  bits.insert(bits.end(), {0, 1});  // end of bitmap
  h->biSizeImage = static_cast<DWORD>(bits.size());
  return bits;
}

TEST(CairoDc, RleImagesDrawWhereTheyAreReadAndHugeOnesFallBack) {
  std::vector<BYTE> info;
  std::vector<BYTE> bits = rle8Image(200, 64, info);
  double m = drawBoth([&](HDC dc) {
    StretchDIBits(dc, 20, 20, 200, 64, 0, 0, 200, 64, bits.data(), reinterpret_cast<BITMAPINFO*>(info.data()),
                  DIB_RGB_COLORS, SRCCOPY);
  });
  EXPECT_LT(m, 0.02);

  // 16000 x 16000 in a few hundred bytes: never decoded whole into the page.
  std::vector<BYTE> hugeInfo;
  std::vector<BYTE> huge = rle8Image(16000, 16000, hugeInfo);
  CairoCanvas vector;
  EXPECT_GT(StretchDIBits(vector.dc(), 0, 0, 100, 100, 0, 0, 16000, 16000, huge.data(),
                          reinterpret_cast<BITMAPINFO*>(hugeInfo.data()), DIB_RGB_COLORS, SRCCOPY),
            0);
  RECT box;
  ASSERT_TRUE(tw::gdi::TakeFallbackRegion(vector.dc(), box));
  EXPECT_EQ(box.right - box.left, 100);
  EXPECT_EQ(box.bottom - box.top, 100);
}

}  // namespace
