// The recording hook of metafile DCs: every recordable call reaches the
// recorder first, with logical arguments, and is not rasterised; the DC
// keeps its own state so queries answer.
#include <windows.h>

#include <string>
#include <vector>

#include "../../../platform/gdi/dc.h"
#include "tw_test.h"

namespace {

using tw::gdi::Dc;
using tw::gdi::DcRecorder;
using tw::gdi::GdiObject;

// Logs every call as "Name" (with a few arguments where tests look at them).
class LogRecorder : public DcRecorder {
 public:
  explicit LogRecorder(std::vector<std::string>* log) : log_(log) {}
#define TW_LOG(name, ...) \
  bool name(__VA_ARGS__) override { return Log(#name); }
  TW_LOG(SaveDC, Dc&)
  TW_LOG(RestoreDC, Dc&, int)
  TW_LOG(SetMapMode, Dc&, int)
  TW_LOG(SetWindowExtEx, Dc&, int, int)
  TW_LOG(SetViewportOrgEx, Dc&, int, int)
  TW_LOG(SetViewportExtEx, Dc&, int, int)
  TW_LOG(ScaleWindowExtEx, Dc&, int, int, int, int)
  TW_LOG(ScaleViewportExtEx, Dc&, int, int, int, int)
  TW_LOG(SetWorldTransform, Dc&, const XFORM&)
  TW_LOG(ModifyWorldTransform, Dc&, const XFORM&, DWORD)
  TW_LOG(SetBkMode, Dc&, int)
  TW_LOG(SetBkColor, Dc&, COLORREF)
  TW_LOG(SetTextColor, Dc&, COLORREF)
  TW_LOG(SetTextAlign, Dc&, UINT)
  TW_LOG(SetROP2, Dc&, int)
  TW_LOG(SetPolyFillMode, Dc&, int)
  TW_LOG(SetStretchBltMode, Dc&, int)
  TW_LOG(SetBrushOrgEx, Dc&, int, int)
  TW_LOG(SetMiterLimit, Dc&, FLOAT)
  TW_LOG(SetArcDirection, Dc&, int)
  TW_LOG(SetMapperFlags, Dc&, DWORD)
  TW_LOG(SetLayout, Dc&, DWORD)
  TW_LOG(SetICMMode, Dc&, int)
  TW_LOG(SetColorAdjustment, Dc&, const COLORADJUSTMENT&)
  TW_LOG(SetTextJustification, Dc&, int, int)
  TW_LOG(SetDCBrushColor, Dc&, COLORREF)
  TW_LOG(SetDCPenColor, Dc&, COLORREF)
  TW_LOG(SelectPalette, Dc&, HPALETTE, const tw::gdi::Palette&, BOOL)
  TW_LOG(RealizePalette, Dc&)
  TW_LOG(Polyline, Dc&, std::span<const POINT>)
  TW_LOG(PolylineTo, Dc&, std::span<const POINT>)
  TW_LOG(PolyPolyline, Dc&, std::span<const POINT>, std::span<const DWORD>)
  TW_LOG(Polygon, Dc&, std::span<const POINT>)
  TW_LOG(PolyPolygon, Dc&, std::span<const POINT>, std::span<const INT>)
  TW_LOG(PolyBezier, Dc&, std::span<const POINT>)
  TW_LOG(PolyBezierTo, Dc&, std::span<const POINT>)
  TW_LOG(PolyDraw, Dc&, std::span<const POINT>, std::span<const BYTE>)
  TW_LOG(RoundRect, Dc&, const RECT&, int, int)
  TW_LOG(Ellipse, Dc&, const RECT&)
  TW_LOG(Arc, Dc&, const RECT&, POINT, POINT)
  TW_LOG(ArcTo, Dc&, const RECT&, POINT, POINT)
  TW_LOG(Chord, Dc&, const RECT&, POINT, POINT)
  TW_LOG(Pie, Dc&, const RECT&, POINT, POINT)
  TW_LOG(AngleArc, Dc&, int, int, DWORD, FLOAT, FLOAT)
  TW_LOG(SetPixelV, Dc&, int, int, COLORREF)
  TW_LOG(ExtFloodFill, Dc&, int, int, COLORREF, UINT)
  TW_LOG(GradientFill, Dc&, std::span<const TRIVERTEX>, const void*, ULONG, ULONG)
  TW_LOG(FillRgn, Dc&, const tw::gdi::RegionData&, HBRUSH, const tw::gdi::Brush&)
  TW_LOG(FrameRgn, Dc&, const tw::gdi::RegionData&, HBRUSH, const tw::gdi::Brush&, int, int)
  TW_LOG(PaintRgn, Dc&, const tw::gdi::RegionData&)
  TW_LOG(InvertRgn, Dc&, const tw::gdi::RegionData&)
  TW_LOG(BeginPath, Dc&)
  TW_LOG(EndPath, Dc&)
  TW_LOG(AbortPath, Dc&)
  TW_LOG(CloseFigure, Dc&)
  TW_LOG(FillPath, Dc&)
  TW_LOG(StrokePath, Dc&)
  TW_LOG(StrokeAndFillPath, Dc&)
  TW_LOG(FlattenPath, Dc&)
  TW_LOG(WidenPath, Dc&)
  TW_LOG(SelectClipPath, Dc&, int)
  TW_LOG(IntersectClipRect, Dc&, const RECT&)
  TW_LOG(ExcludeClipRect, Dc&, const RECT&)
  TW_LOG(OffsetClipRgn, Dc&, int, int)
  TW_LOG(ExtSelectClipRgn, Dc&, const tw::gdi::RegionData*, int)
  TW_LOG(SetMetaRgn, Dc&)
  TW_LOG(PatBlt, Dc&, int, int, int, int, DWORD)
  TW_LOG(BitBlt, Dc&, int, int, int, int, Dc*, int, int, DWORD)
  TW_LOG(MaskBlt, Dc&, int, int, int, int, Dc*, int, int, const tw::gdi::Bitmap*, int, int, DWORD)
  TW_LOG(PlgBlt, Dc&, const POINT*, Dc&, int, int, int, int, const tw::gdi::Bitmap*, int, int)
  TW_LOG(TransparentBlt, Dc&, int, int, int, int, Dc&, int, int, int, int, UINT)
  TW_LOG(AlphaBlend, Dc&, int, int, int, int, Dc&, int, int, int, int, BLENDFUNCTION)
  TW_LOG(SetDIBitsToDevice, Dc&, int, int, DWORD, DWORD, int, int, UINT, UINT, std::span<const BYTE>,
         std::span<const BYTE>, UINT)
  TW_LOG(ExtTextOutA, Dc&, int, int, UINT, const RECT*, std::string_view, const INT*)
  TW_LOG(PolyTextOutW, Dc&, std::span<const POLYTEXTW>)
  TW_LOG(PolyTextOutA, Dc&, std::span<const POLYTEXTA>)
#undef TW_LOG

  // Calls whose arguments or timing the tests check.
  bool SetWindowOrgEx(Dc& dc, int x, int y) override {
    // Called before the DC changes: the old origin is still in place.
    return Log("SetWindowOrgEx " + std::to_string(x) + "," + std::to_string(y) + " was " +
               std::to_string(dc.State().windowOrg.x));
  }
  bool MoveToEx(Dc&, int x, int y) override { return Log("MoveToEx " + std::to_string(x) + "," + std::to_string(y)); }
  bool LineTo(Dc& dc, int x, int y) override {
    return Log("LineTo " + std::to_string(x) + "," + std::to_string(y) + " from " +
               std::to_string(dc.State().currentPos.x) + "," + std::to_string(dc.State().currentPos.y));
  }
  bool Rectangle(Dc& dc, const RECT& r) override {
    POINT p = dc.ToDevice({r.right, r.bottom});
    return Log("Rectangle " + std::to_string(r.right) + " device " + std::to_string(p.x) + " pen " +
               std::to_string(static_cast<int>(dc.PenWidthDevice())));
  }
  bool SelectObject(Dc&, HGDIOBJ, const GdiObject& object) override {
    if (object.Type() == OBJ_BITMAP) {  // metafile DCs take no bitmaps
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    return Log("SelectObject " + std::to_string(object.Type()));
  }
  void ObjectDeleted(HGDIOBJ, const GdiObject& object) override { Log("ObjectDeleted " + std::to_string(object.Type())); }
  bool StretchBlt(Dc&, int, int, int, int, Dc* source, int xs, int ys, int ws, int hs, DWORD) override {
    std::vector<BYTE> info, bits;
    POINT a = source->ToDevice({xs, ys}), b = source->ToDevice({xs + ws, ys + hs});
    bool ok = tw::gdi::ReadSourceBits(*source, {a.x, a.y, b.x, b.y}, info, bits);
    return Log("StretchBlt " + std::string(ok ? "bits " : "no bits ") + std::to_string(bits.size()) + " first " +
               std::to_string(bits.empty() ? -1 : bits[0]));
  }
  bool StretchDIBits(Dc&, int, int, int, int, int, int, int, int, std::span<const BYTE> bits,
                     std::span<const BYTE> info, UINT, DWORD) override {
    return Log("StretchDIBits " + std::to_string(info.size()) + " " + std::to_string(bits.size()));
  }
  bool GdiComment(Dc&, std::span<const BYTE> data) override { return Log("GdiComment " + std::to_string(data.size())); }
  bool ExtTextOutW(Dc&, int, int, UINT options, const RECT*, std::u16string_view text, const INT*) override {
    return Log("ExtTextOutW " + std::to_string(options) + " " + std::to_string(text.size()));
  }
  void DcDeleted(Dc&) override { log_->push_back("DcDeleted"); }

  bool Log(const std::string& entry) {
    log_->push_back(entry);
    return true;
  }

 private:
  std::vector<std::string>* log_;
};

struct RecordingDc {
  std::vector<std::string> log;
  HDC ref = nullptr;
  HDC dc = nullptr;
  RecordingDc() {
    DEVMODEW dm{};
    dm.dmSize = sizeof(dm);
    dm.dmFields = DM_PAPERSIZE | DM_PRINTQUALITY | DM_YRESOLUTION;
    dm.dmPaperSize = DMPAPER_LETTER;
    dm.dmPrintQuality = dm.dmYResolution = 300;
    ref = CreateDCW(u"WINSPOOL", u"P", nullptr, &dm);
    dc = tw::gdi::CreateRecordingDc(ref, std::make_unique<LogRecorder>(&log));
  }
  ~RecordingDc() {
    if (dc) DeleteDC(dc);
    DeleteDC(ref);
  }
};

TEST(GdiRecorder, CallsReachTheRecorderBeforeTheDcChanges) {
  twtest::LeakGuard guard;
  RecordingDc r;
  ASSERT_NE(r.dc, nullptr);
  EXPECT_EQ(GetObjectType(r.dc), static_cast<DWORD>(OBJ_ENHMETADC));
  EXPECT_EQ(GetDeviceCaps(r.dc, HORZRES), 2550);  // the reference device's
  EXPECT_TRUE(SetWindowOrgEx(r.dc, 10, 0, nullptr));
  EXPECT_TRUE(OffsetWindowOrgEx(r.dc, 5, 0, nullptr));  // recorded as the resulting origin
  MoveToEx(r.dc, 1, 2, nullptr);
  LineTo(r.dc, 30, 40);
  HPEN pen = CreatePen(PS_SOLID, 4, 0);
  SelectObject(r.dc, pen);
  Rectangle(r.dc, 0, 0, 100, 50);
  DeleteObject(pen);
  ASSERT_GE(r.log.size(), 7u);
  EXPECT_EQ(r.log[0], "SetWindowOrgEx 10,0 was 0");
  EXPECT_EQ(r.log[1], "SetWindowOrgEx 15,0 was 10");
  EXPECT_EQ(r.log[2], "MoveToEx 1,2");
  EXPECT_EQ(r.log[3], "LineTo 30,40 from 1,2");
  EXPECT_EQ(r.log[4], "SelectObject 1");
  EXPECT_EQ(r.log[5], "Rectangle 100 device 85 pen 4");
  EXPECT_EQ(r.log[6], "ObjectDeleted 1");
  // The DC kept its state: queries answer as on any DC.
  POINT cp;
  GetCurrentPositionEx(r.dc, &cp);
  EXPECT_EQ(cp.x, 30);
  POINT p{20, 0};
  LPtoDP(r.dc, &p, 1);
  EXPECT_EQ(p.x, 5);
}

TEST(GdiRecorder, BlitsTextCommentsAndRefusals) {
  twtest::LeakGuard guard;
  RecordingDc r;
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateBitmap(8, 2, 1, 1, nullptr);  // black
  HGDIOBJ old = SelectObject(mem, bmp);
  ASSERT_TRUE(StretchBlt(r.dc, 0, 0, 16, 4, mem, 0, 0, 8, 2, SRCCOPY));
  EXPECT_EQ(r.log.back(), "StretchBlt bits 8 first 0");  // 2 rows of 4 bytes, black
  // A metafile DC does not take bitmaps.
  EXPECT_EQ(SelectObject(r.dc, bmp), nullptr);
  BYTE comment[4] = {};
  ASSERT_TRUE(GdiComment(r.dc, 4, comment));
  EXPECT_EQ(r.log.back(), "GdiComment 4");
  ASSERT_TRUE(TextOutW(r.dc, 1, 1, u"abc", 3));
  EXPECT_EQ(r.log.back(), "ExtTextOutW 0 3");
  BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  BYTE bits[16] = {};
  ASSERT_EQ(StretchDIBits(r.dc, 0, 0, 2, 2, 0, 0, 2, 2, bits, &bmi, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(r.log.back(), "StretchDIBits 40 16");
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  DeleteDC(r.dc);
  r.dc = nullptr;
  EXPECT_EQ(r.log.back(), "DcDeleted");
}

TEST(GdiRecorder, RecordingDcWithoutReferenceUsesTheScreen) {
  twtest::LeakGuard guard;
  std::vector<std::string> log;
  HDC dc = tw::gdi::CreateRecordingDc(nullptr, std::make_unique<LogRecorder>(&log));
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  auto recorder = tw::gdi::LookupDc(dc)->DetachRecorder();  // as CloseEnhMetaFile takes it back
  EXPECT_NE(recorder, nullptr);
  DeleteDC(dc);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(tw::gdi::CreateRecordingDc(reinterpret_cast<HDC>(0x99), std::make_unique<LogRecorder>(&log)), nullptr);
}

}  // namespace
