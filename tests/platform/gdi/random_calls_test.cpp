// Random sequences of GDI calls with random (often absurd) arguments over
// surfaces of every depth: nothing may crash, write outside a surface (the
// sanitizer build checks) or leak a handle.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "gdi_test_util.h"
#include "tw_test.h"

using gditest::Canvas;

namespace {

class Random {
 public:
  explicit Random(unsigned seed) : engine_(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  // Mostly page-sized coordinates, sometimes far outside.
  int Coord() {
    switch (Int(0, 9)) {
      case 0: return Int(-2000000000, 2000000000);
      case 1: return Int(-5000, 5000);
      default: return Int(-20, 80);
    }
  }
  bool Chance(int percent) { return Int(0, 99) < percent; }

 private:
  std::mt19937 engine_;
};

HPEN randomPen(Random& r) {
  int width = r.Chance(10) ? r.Int(0, 100000) : r.Int(0, 12);
  if (r.Chance(50)) return CreatePen(r.Int(0, 8), width, RGB(r.Int(0, 255), r.Int(0, 255), 0));
  LOGBRUSH lb{static_cast<UINT>(r.Chance(70) ? BS_SOLID : BS_HATCHED), RGB(0, r.Int(0, 255), 255),
              static_cast<ULONG_PTR>(r.Int(0, 5))};
  DWORD style = PS_GEOMETRIC | static_cast<DWORD>(r.Int(0, 4)) | (static_cast<DWORD>(r.Int(0, 2)) << 8) |
                (static_cast<DWORD>(r.Int(0, 2)) << 12);
  return ExtCreatePen(style, static_cast<DWORD>(width), &lb, 0, nullptr);
}

HBRUSH randomBrush(Random& r) {
  switch (r.Int(0, 3)) {
    case 0: return CreateSolidBrush(RGB(r.Int(0, 255), 0, r.Int(0, 255)));
    case 1: return CreateHatchBrush(r.Int(0, 5), RGB(255, 0, 0));
    case 2: {
      BYTE dib[sizeof(BITMAPINFOHEADER) + 8 + 4 * 3] = {};
      BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), 3, 3, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
      std::memcpy(dib, &h, sizeof(h));
      dib[sizeof(h) + 4] = 0xFF;  // entry 1 blue
      for (int i = 0; i < 12; ++i) dib[sizeof(h) + 8 + i] = static_cast<BYTE>(r.Int(0, 255));
      return CreateDIBPatternBrushPt(dib, DIB_RGB_COLORS);
    }
    default: return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  }
}

void randomCall(Random& r, Canvas& c, Canvas& other) {
  HDC dc = c.dc();
  int x0 = r.Coord(), y0 = r.Coord(), x1 = r.Coord(), y1 = r.Coord();
  POINT pts[6];
  for (auto& p : pts) p = {r.Coord(), r.Coord()};
  int op = r.Int(0, 24);
  if (std::getenv("GDI_RANDOM_TRACE")) fprintf(stderr, "op %d %d %d %d %d\n", op, x0, y0, x1, y1);
  switch (op) {
    case 0: MoveToEx(dc, x0, y0, nullptr); LineTo(dc, x1, y1); break;
    case 1: Rectangle(dc, x0, y0, x1, y1); break;
    case 2: Ellipse(dc, x0, y0, x1, y1); break;
    case 3: RoundRect(dc, x0, y0, x1, y1, r.Coord(), r.Coord()); break;
    case 4: Pie(dc, x0, y0, x1, y1, pts[0].x, pts[0].y, pts[1].x, pts[1].y); break;
    case 5: Arc(dc, x0, y0, x1, y1, pts[0].x, pts[0].y, pts[1].x, pts[1].y); break;
    case 6: Polygon(dc, pts, r.Int(2, 6)); break;
    case 7: PolyBezier(dc, pts, 4); break;
    case 8: Polyline(dc, pts, r.Int(2, 6)); break;
    case 9: PatBlt(dc, x0, y0, x1, y1, static_cast<DWORD>(r.Int(0, 255)) << 16); break;
    case 10:
      SetStretchBltMode(dc, r.Int(1, 4));
      StretchBlt(dc, x0, y0, x1, y1, other.dc(), r.Int(-5, 20), r.Int(-5, 20), r.Int(-30, 30), r.Int(-30, 30),
                 static_cast<DWORD>(r.Int(0, 255)) << 16);
      break;
    case 11: {
      HPEN pen = randomPen(r);
      if (pen) {
        HGDIOBJ old = SelectObject(dc, pen);
        Polyline(dc, pts, r.Int(2, 6));
        Rectangle(dc, x0, y0, x1, y1);
        SelectObject(dc, old);
        DeleteObject(pen);
      }
      break;
    }
    case 12: {
      HBRUSH brush = randomBrush(r);
      HGDIOBJ old = SelectObject(dc, brush);
      Polygon(dc, pts, 5);
      PatBlt(dc, x0, y0, x1, y1, PATINVERT);
      SelectObject(dc, old);
      DeleteObject(brush);
      break;
    }
    case 13: SetROP2(dc, r.Int(1, 16)); break;
    case 14: {
      SetGraphicsMode(dc, GM_ADVANCED);
      XFORM x{static_cast<FLOAT>(r.Int(-300, 300) / 100.0), static_cast<FLOAT>(r.Int(-300, 300) / 100.0),
              static_cast<FLOAT>(r.Int(-300, 300) / 100.0), static_cast<FLOAT>(r.Int(-300, 300) / 100.0),
              static_cast<FLOAT>(r.Coord()), static_cast<FLOAT>(r.Coord())};
      SetWorldTransform(dc, &x);
      break;
    }
    case 15: ModifyWorldTransform(dc, nullptr, MWT_IDENTITY); break;
    case 16: IntersectClipRect(dc, x0, y0, x1, y1); break;
    case 17: ExcludeClipRect(dc, x0, y0, x1, y1); break;
    case 18: SelectClipRgn(dc, nullptr); break;
    case 19: {
      BeginPath(dc);
      Polygon(dc, pts, 4);
      PolyBezierTo(dc, pts + 1, 3);
      CloseFigure(dc);
      EndPath(dc);
      switch (r.Int(0, 3)) {
        case 0: FillPath(dc); break;
        case 1: StrokeAndFillPath(dc); break;
        case 2: WidenPath(dc); SelectClipPath(dc, r.Int(1, 5)); break;
        default: SelectClipPath(dc, RGN_AND); break;
      }
      break;
    }
    case 20: {
      // A small DIB of random format and contents, sometimes RLE.
      int bpp = std::vector<int>{1, 4, 8, 16, 24, 32}[static_cast<std::size_t>(r.Int(0, 5))];
      std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
      auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
      int w = r.Int(1, 9), h = r.Int(-9, 9);
      if (h == 0) h = 1;
      DWORD compression = BI_RGB;
      if (bpp == 8 && h > 0 && r.Chance(50)) compression = BI_RLE8;
      if (bpp == 4 && h > 0 && r.Chance(50)) compression = BI_RLE4;
      std::vector<BYTE> bits(400);
      for (auto& b : bits) b = static_cast<BYTE>(r.Int(0, 255));
      bmi->bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bpp), compression,
                        compression == BI_RGB ? 0u : 400u, 0, 0, 0, 0};
      for (int i = 0; i < 256 * 4; ++i) info[sizeof(BITMAPINFOHEADER) + i] = static_cast<BYTE>(r.Int(0, 255));
      StretchDIBits(dc, x0, y0, x1, y1, r.Int(-3, 10), r.Int(-3, 10), r.Int(-12, 12), r.Int(-12, 12), bits.data(),
                    bmi, DIB_RGB_COLORS, SRCCOPY);
      if (compression == BI_RGB)
        SetDIBitsToDevice(dc, x0, y0, static_cast<DWORD>(r.Int(0, 12)), static_cast<DWORD>(r.Int(0, 12)),
                          r.Int(-3, 10), r.Int(-3, 10), static_cast<UINT>(r.Int(0, 12)),
                          static_cast<UINT>(r.Int(0, 12)), bits.data(), bmi, DIB_RGB_COLORS);
      break;
    }
    case 21: {
      BLENDFUNCTION bf{AC_SRC_OVER, 0, static_cast<BYTE>(r.Int(0, 255)), static_cast<BYTE>(r.Int(0, 1))};
      AlphaBlend(dc, x0, y0, r.Int(-5, 40), r.Int(-5, 40), other.dc(), r.Int(-2, 10), r.Int(-2, 10), r.Int(-2, 30),
                 r.Int(-2, 30), bf);
      break;
    }
    case 22:
      TransparentBlt(dc, x0, y0, r.Int(1, 40), r.Int(1, 40), other.dc(), 0, 0, r.Int(1, 30), r.Int(1, 30),
                     RGB(255, 255, 255));
      break;
    case 23: {
      POINT plg[3] = {pts[0], pts[1], pts[2]};
      PlgBlt(dc, plg, other.dc(), r.Int(-2, 10), r.Int(-2, 10), r.Int(-2, 30), r.Int(-2, 30), nullptr, 0, 0);
      break;
    }
    default: {
      int saved = SaveDC(dc);
      SetMapMode(dc, r.Int(1, 8));
      SetWindowExtEx(dc, r.Coord(), r.Coord(), nullptr);
      SetViewportExtEx(dc, r.Coord(), r.Coord(), nullptr);
      ExtFloodFill(dc, r.Int(0, 40), r.Int(0, 40), RGB(0, 0, 0), static_cast<UINT>(r.Int(0, 1)));
      RestoreDC(dc, saved);
      break;
    }
  }
}

TEST(GdiRandomCalls, NothingCrashesOrLeaks) {
  twtest::LeakGuard guard;
  const char* seed = std::getenv("GDI_RANDOM_SEED");  // other sequences when exploring
  Random r(seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20260101u);
  for (int round = 0; round < 6; ++round) {
    int depths[] = {1, 24, 32};
    Canvas a(40, 30, depths[round % 3], round % 2 == 0), b(25, 20, depths[(round + 1) % 3]);
    for (int i = 0; i < 400; ++i) {
      randomCall(r, a, b);
      if (r.Chance(20)) randomCall(r, b, a);
    }
  }
}

}  // namespace
