// Internal: the recording hook of a DC. A metafile DC (CreateEnhMetaFileW)
// carries a DcRecorder; every recordable GDI call made on that DC reaches
// the recorder with its original arguments (logical coordinates), and the
// drawing is not rasterised.
//
// Order: the API function validates its arguments, then calls the recorder
// BEFORE the DC applies the call, so the recorder sees the DC state the call
// is made in (transform, current position, selected pen) through the Dc
// accessors. When the recorder returns false the call fails (the recorder
// sets the last error) and the DC state is left unchanged. After a
// successful recording the DC applies the call to its own state as any DC
// does: transforms, selected objects, current position, path, clipping and
// SaveDC levels stay queryable on a metafile DC.
//
// Calls that are not recorded (queries, SetGraphicsMode) never reach it.
// A recorder belongs to its DC and is used from the DC's thread, except
// ObjectDeleted, which comes from whichever thread deletes an object.
#pragma once
#include <span>
#include <string_view>

#include "wingdi.h"

namespace tw::gdi {

class Dc;
class GdiObject;
class Palette;
class Bitmap;
class Brush;
class RegionData;

class DcRecorder {
 public:
  virtual ~DcRecorder() = default;

  // --- state ---
  virtual bool SaveDC(Dc& dc) = 0;
  virtual bool RestoreDC(Dc& dc, int savedDc) = 0;  // as passed: negative = relative
  virtual bool SetMapMode(Dc& dc, int mode) = 0;
  // Offset* calls arrive as Set* with the resulting origin.
  virtual bool SetWindowOrgEx(Dc& dc, int x, int y) = 0;
  virtual bool SetWindowExtEx(Dc& dc, int cx, int cy) = 0;
  virtual bool SetViewportOrgEx(Dc& dc, int x, int y) = 0;
  virtual bool SetViewportExtEx(Dc& dc, int cx, int cy) = 0;
  virtual bool ScaleWindowExtEx(Dc& dc, int xNum, int xDenom, int yNum, int yDenom) = 0;
  virtual bool ScaleViewportExtEx(Dc& dc, int xNum, int xDenom, int yNum, int yDenom) = 0;
  virtual bool SetWorldTransform(Dc& dc, const XFORM& xform) = 0;
  virtual bool ModifyWorldTransform(Dc& dc, const XFORM& xform, DWORD mode) = 0;  // xform identity for MWT_IDENTITY
  virtual bool SetBkMode(Dc& dc, int mode) = 0;
  virtual bool SetBkColor(Dc& dc, COLORREF color) = 0;
  virtual bool SetTextColor(Dc& dc, COLORREF color) = 0;
  virtual bool SetTextAlign(Dc& dc, UINT align) = 0;
  virtual bool SetROP2(Dc& dc, int rop2) = 0;
  virtual bool SetPolyFillMode(Dc& dc, int mode) = 0;
  virtual bool SetStretchBltMode(Dc& dc, int mode) = 0;
  virtual bool SetBrushOrgEx(Dc& dc, int x, int y) = 0;
  virtual bool SetMiterLimit(Dc& dc, FLOAT limit) = 0;
  virtual bool SetArcDirection(Dc& dc, int direction) = 0;
  virtual bool SetMapperFlags(Dc& dc, DWORD flags) = 0;
  virtual bool SetLayout(Dc& dc, DWORD layout) = 0;
  virtual bool SetICMMode(Dc& dc, int mode) = 0;
  virtual bool SetColorAdjustment(Dc& dc, const COLORADJUSTMENT& adjustment) = 0;
  virtual bool SetTextJustification(Dc& dc, int extra, int count) = 0;
  virtual bool SetDCBrushColor(Dc& dc, COLORREF color) = 0;
  virtual bool SetDCPenColor(Dc& dc, COLORREF color) = 0;
  virtual bool MoveToEx(Dc& dc, int x, int y) = 0;

  // --- objects ---
  // Pens, extended pens, brushes, fonts, and bitmaps (which a metafile DC
  // refuses: the recorder should fail that call). `handle` may be a stock
  // object (IsStockObject gives its index). The object data is read from
  // the object (Pen, Brush, Font in gdiobj.h).
  virtual bool SelectObject(Dc& dc, HGDIOBJ handle, const GdiObject& object) = 0;
  virtual bool SelectPalette(Dc& dc, HPALETTE handle, const Palette& palette, BOOL forceBackground) = 0;
  virtual bool RealizePalette(Dc& dc) = 0;
  // DeleteObject of any object while this recorder lives (any thread; the
  // handle is still valid during the call). Record EMR_DELETEOBJECT when the
  // metafile has a slot for it. Called under the lock of the list of
  // metafile DCs: it must not create or delete DCs.
  virtual void ObjectDeleted(HGDIOBJ handle, const GdiObject& object) = 0;

  // --- drawing (logical coordinates) ---
  virtual bool LineTo(Dc& dc, int x, int y) = 0;
  virtual bool Polyline(Dc& dc, std::span<const POINT> points) = 0;
  virtual bool PolylineTo(Dc& dc, std::span<const POINT> points) = 0;
  virtual bool PolyPolyline(Dc& dc, std::span<const POINT> points, std::span<const DWORD> counts) = 0;
  virtual bool Polygon(Dc& dc, std::span<const POINT> points) = 0;
  virtual bool PolyPolygon(Dc& dc, std::span<const POINT> points, std::span<const INT> counts) = 0;
  virtual bool PolyBezier(Dc& dc, std::span<const POINT> points) = 0;
  virtual bool PolyBezierTo(Dc& dc, std::span<const POINT> points) = 0;
  virtual bool PolyDraw(Dc& dc, std::span<const POINT> points, std::span<const BYTE> types) = 0;
  virtual bool Rectangle(Dc& dc, const RECT& box) = 0;
  virtual bool RoundRect(Dc& dc, const RECT& box, int cornerWidth, int cornerHeight) = 0;
  virtual bool Ellipse(Dc& dc, const RECT& box) = 0;
  virtual bool Arc(Dc& dc, const RECT& box, POINT start, POINT end) = 0;
  virtual bool ArcTo(Dc& dc, const RECT& box, POINT start, POINT end) = 0;
  virtual bool Chord(Dc& dc, const RECT& box, POINT start, POINT end) = 0;
  virtual bool Pie(Dc& dc, const RECT& box, POINT start, POINT end) = 0;
  virtual bool AngleArc(Dc& dc, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle) = 0;
  virtual bool SetPixelV(Dc& dc, int x, int y, COLORREF color) = 0;
  virtual bool ExtFloodFill(Dc& dc, int x, int y, COLORREF color, UINT type) = 0;
  virtual bool GradientFill(Dc& dc, std::span<const TRIVERTEX> vertices, const void* mesh, ULONG meshCount,
                            ULONG mode) = 0;
  // The region object's own rectangles, which these calls take as logical
  // coordinates (the DC's transform applies when they draw).
  virtual bool FillRgn(Dc& dc, const RegionData& region, HBRUSH handle, const Brush& brush) = 0;
  virtual bool FrameRgn(Dc& dc, const RegionData& region, HBRUSH handle, const Brush& brush, int width,
                        int height) = 0;
  virtual bool PaintRgn(Dc& dc, const RegionData& region) = 0;
  virtual bool InvertRgn(Dc& dc, const RegionData& region) = 0;

  // --- paths ---
  virtual bool BeginPath(Dc& dc) = 0;
  virtual bool EndPath(Dc& dc) = 0;
  virtual bool AbortPath(Dc& dc) = 0;
  virtual bool CloseFigure(Dc& dc) = 0;
  virtual bool FillPath(Dc& dc) = 0;
  virtual bool StrokePath(Dc& dc) = 0;
  virtual bool StrokeAndFillPath(Dc& dc) = 0;
  virtual bool FlattenPath(Dc& dc) = 0;
  virtual bool WidenPath(Dc& dc) = 0;
  virtual bool SelectClipPath(Dc& dc, int mode) = 0;

  // --- clipping ---
  virtual bool IntersectClipRect(Dc& dc, const RECT& rect) = 0;  // logical
  virtual bool ExcludeClipRect(Dc& dc, const RECT& rect) = 0;    // logical
  virtual bool OffsetClipRgn(Dc& dc, int x, int y) = 0;          // logical
  // Device coordinates; region null with RGN_COPY resets the clip.
  virtual bool ExtSelectClipRgn(Dc& dc, const RegionData* region, int mode) = 0;
  virtual bool SetMetaRgn(Dc& dc) = 0;

  // --- blits (destination in logical coordinates) ---
  // Source DCs are given so their pixels can be embedded: ReadSourceBits
  // (dc.h) turns a device rectangle of a source DC into DIB bits.
  virtual bool PatBlt(Dc& dc, int x, int y, int width, int height, DWORD rop) = 0;
  virtual bool BitBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc, DWORD rop) = 0;
  virtual bool StretchBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc,
                          int widthSrc, int heightSrc, DWORD rop) = 0;
  virtual bool MaskBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc,
                       const Bitmap* mask, int xMask, int yMask, DWORD rop) = 0;
  virtual bool PlgBlt(Dc& dc, const POINT points[3], Dc& source, int xSrc, int ySrc, int width, int height,
                      const Bitmap* mask, int xMask, int yMask) = 0;
  virtual bool TransparentBlt(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc,
                              int widthSrc, int heightSrc, UINT transparent) = 0;
  virtual bool AlphaBlend(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc,
                          int widthSrc, int heightSrc, BLENDFUNCTION blend) = 0;
  // `info` holds the header and colour table (validated), `bits` the pixel
  // bytes as the header describes them.
  virtual bool StretchDIBits(Dc& dc, int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc,
                             int heightSrc, std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage,
                             DWORD rop) = 0;
  virtual bool SetDIBitsToDevice(Dc& dc, int x, int y, DWORD width, DWORD height, int xSrc, int ySrc,
                                 UINT startScan, UINT lines, std::span<const BYTE> bits,
                                 std::span<const BYTE> info, UINT usage) = 0;

  // --- comments and text ---
  virtual bool GdiComment(Dc& dc, std::span<const BYTE> data) = 0;
  // dx: null, or one advance per character (two with ETO_PDY).
  virtual bool ExtTextOutW(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                           const INT* dx) = 0;
  virtual bool ExtTextOutA(Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                           const INT* dx) = 0;
  virtual bool PolyTextOutW(Dc& dc, std::span<const POLYTEXTW> items) = 0;
  virtual bool PolyTextOutA(Dc& dc, std::span<const POLYTEXTA> items) = 0;

  // DeleteDC on the metafile DC without CloseEnhMetaFile: drop everything.
  virtual void DcDeleted(Dc& dc) = 0;
};

}  // namespace tw::gdi
