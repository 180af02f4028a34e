// twsample OUT.emf: records a letter-size sample page (title, text lines, a
// frame, shapes) as an enhanced metafile, for the driver stand-in to print.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tw/utf.h"

namespace {

// Deletes a GDI object when it goes out of scope.
struct GdiObject {
  HGDIOBJ h;
  ~GdiObject() {
    if (h) DeleteObject(h);
  }
};

bool DrawPage(HDC dc) {
  // Logical units of 1/100 inch on a letter page, y downwards.
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 850, 1100, nullptr);
  SetViewportExtEx(dc, GetDeviceCaps(dc, LOGPIXELSX) * 850 / 100, GetDeviceCaps(dc, LOGPIXELSY) * 1100 / 100,
                   nullptr);

  GdiObject frame{CreatePen(PS_SOLID, 3, RGB(0, 0, 0))};
  GdiObject fill{CreateSolidBrush(RGB(200, 220, 255))};
  GdiObject title{CreateFontW(-36, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Arial")};
  GdiObject body{CreateFontW(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Times New Roman")};
  if (!frame.h || !fill.h || !title.h || !body.h) return false;

  SelectObject(dc, frame.h);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, 50, 50, 800, 1050);
  SelectObject(dc, fill.h);
  Ellipse(dc, 550, 120, 750, 320);
  Rectangle(dc, 100, 700, 750, 760);

  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, title.h);
  const std::u16string heading = u"TarnwickMon sample page";
  TextOutW(dc, 100, 100, heading.c_str(), static_cast<int>(heading.size()));
  SelectObject(dc, body.h);
  const char16_t* lines[] = {
      u"This page was recorded as an enhanced metafile by twsample,",
      u"written to the port as a command stream by twdriver,",
      u"and printed through the port monitor by twspool.",
  };
  int y = 200;
  for (const char16_t* line : lines) {
    std::u16string_view text(line);
    TextOutW(dc, 100, y, line, static_cast<int>(text.size()));
    y += 30;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: twsample OUT.emf\n", stderr);
    return 2;
  }
  std::u16string path = tw::FromUtf8(argv[1]);
  RECT frame{0, 0, 21590, 27940};  // letter, in 0.01 mm
  HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), &frame, u"twsample\0sample page\0");
  if (!dc) {
    std::fprintf(stderr, "twsample: cannot create %s (error %u)\n", argv[1], static_cast<unsigned>(GetLastError()));
    return 1;
  }
  bool drawn = DrawPage(dc);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  if (!emf || !drawn) {
    std::fprintf(stderr, "twsample: cannot record the page (error %u)\n", static_cast<unsigned>(GetLastError()));
    if (emf) DeleteEnhMetaFile(emf);
    return 1;
  }
  DeleteEnhMetaFile(emf);
  return 0;
}
