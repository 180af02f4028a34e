// Internal: the vector backend's recorder. Every drawing call made on a
// cairo DC reaches it (before the DC applies the call, so the DC's state is
// the state the call is made in) and is drawn into the cairo context.
// State calls need nothing here: drawing reads the DC's transform, objects,
// colours and clip when it happens, and cairo state (source, clip, line
// style) is set only when it changes.
//
// Geometry is in device pixels (cairo user units). Fills cover what the
// raster engine covers ([l, r) for a box); strokes of odd widths run along
// pixel centres (+0.5), as the raster engine's lines sit on whole pixels.
#pragma once
#include <cairo.h>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "../dc.h"
#include "../dibinfo.h"
#include "../raster/blit.h"
#include "../raster/scan.h"
#include "../text/text_layout.h"
#include "tw/gdi_cairo.h"

namespace tw::gdi {

// A device coordinate within what cairo's fixed-point paths can hold.
double CairoCoordinate(double v);

class CairoRecorder : public DcRecorder {
 public:
  CairoRecorder(cairo_t* cr, CairoDcOptions options);

  using Placement = BlitTarget;  // where the image's corners land (device)
  struct ImageSource {
    const Dib* dib = nullptr;
    const std::vector<BYTE>* defined = nullptr;  // RLE: 0 where nothing is set
    bool monoDdb = false;                        // 0 bits: text colour, 1 bits: background colour
    int x = 0, y = 0, width = 0, height = 0;     // top-down rows; may reach outside the DIB
  };
  enum class BlitMode { Rop, Alpha, Transparent };

  // The box of drawing left to the raster engine since the last call.
  bool TakeFallback(RECT& box);

  // --- state: read from the DC when drawing ---
  bool SaveDC(Dc&) override { return true; }
  bool RestoreDC(Dc&, int) override { return true; }
  bool SetMapMode(Dc&, int) override { return true; }
  bool SetWindowOrgEx(Dc&, int, int) override { return true; }
  bool SetWindowExtEx(Dc&, int, int) override { return true; }
  bool SetViewportOrgEx(Dc&, int, int) override { return true; }
  bool SetViewportExtEx(Dc&, int, int) override { return true; }
  bool ScaleWindowExtEx(Dc&, int, int, int, int) override { return true; }
  bool ScaleViewportExtEx(Dc&, int, int, int, int) override { return true; }
  bool SetWorldTransform(Dc&, const XFORM&) override { return true; }
  bool ModifyWorldTransform(Dc&, const XFORM&, DWORD) override { return true; }
  bool SetBkMode(Dc&, int) override { return true; }
  bool SetBkColor(Dc&, COLORREF) override { return true; }
  bool SetTextColor(Dc&, COLORREF) override { return true; }
  bool SetTextAlign(Dc&, UINT) override { return true; }
  bool SetROP2(Dc&, int) override { return true; }
  bool SetPolyFillMode(Dc&, int) override { return true; }
  bool SetStretchBltMode(Dc&, int) override { return true; }
  bool SetBrushOrgEx(Dc&, int, int) override { return true; }
  bool SetMiterLimit(Dc&, FLOAT) override { return true; }
  bool SetArcDirection(Dc&, int) override { return true; }
  bool SetMapperFlags(Dc&, DWORD) override { return true; }
  bool SetLayout(Dc&, DWORD) override { return true; }
  bool SetICMMode(Dc&, int) override { return true; }
  bool SetColorAdjustment(Dc&, const COLORADJUSTMENT&) override { return true; }
  bool SetTextJustification(Dc&, int, int) override { return true; }
  bool SetDCBrushColor(Dc&, COLORREF) override { return true; }
  bool SetDCPenColor(Dc&, COLORREF) override { return true; }
  bool MoveToEx(Dc&, int, int) override { return true; }
  bool SelectObject(Dc& dc, HGDIOBJ handle, const GdiObject& object) override;
  bool SelectPalette(Dc&, HPALETTE, const Palette&, BOOL) override { return true; }
  bool RealizePalette(Dc&) override { return true; }
  void ObjectDeleted(HGDIOBJ, const GdiObject&) override {}

  // --- drawing (cairo_recorder.cpp) ---
  bool LineTo(Dc& dc, int x, int y) override;
  bool Polyline(Dc& dc, std::span<const POINT> points) override;
  bool PolylineTo(Dc& dc, std::span<const POINT> points) override;
  bool PolyPolyline(Dc& dc, std::span<const POINT> points, std::span<const DWORD> counts) override;
  bool Polygon(Dc& dc, std::span<const POINT> points) override;
  bool PolyPolygon(Dc& dc, std::span<const POINT> points, std::span<const INT> counts) override;
  bool PolyBezier(Dc& dc, std::span<const POINT> points) override;
  bool PolyBezierTo(Dc& dc, std::span<const POINT> points) override;
  bool PolyDraw(Dc& dc, std::span<const POINT> points, std::span<const BYTE> types) override;
  bool Rectangle(Dc& dc, const RECT& box) override;
  bool RoundRect(Dc& dc, const RECT& box, int cornerWidth, int cornerHeight) override;
  bool Ellipse(Dc& dc, const RECT& box) override;
  bool Arc(Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool ArcTo(Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool Chord(Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool Pie(Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool AngleArc(Dc& dc, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle) override;
  bool SetPixelV(Dc& dc, int x, int y, COLORREF color) override;
  bool ExtFloodFill(Dc& dc, int x, int y, COLORREF color, UINT type) override;
  bool GradientFill(Dc& dc, std::span<const TRIVERTEX> vertices, const void* mesh, ULONG meshCount,
                    ULONG mode) override;
  bool FillRgn(Dc& dc, const RegionData& region, HBRUSH handle, const Brush& brush) override;
  bool FrameRgn(Dc& dc, const RegionData& region, HBRUSH handle, const Brush& brush, int width,
                int height) override;
  bool PaintRgn(Dc& dc, const RegionData& region) override;
  bool InvertRgn(Dc& dc, const RegionData& region) override;

  // --- paths: the DC builds them; filling and stroking draw them ---
  bool BeginPath(Dc&) override { return true; }
  bool EndPath(Dc&) override { return true; }
  bool AbortPath(Dc&) override { return true; }
  bool CloseFigure(Dc&) override { return true; }
  bool FillPath(Dc& dc) override;
  bool StrokePath(Dc& dc) override;
  bool StrokeAndFillPath(Dc& dc) override;
  bool FlattenPath(Dc&) override { return true; }
  bool WidenPath(Dc&) override { return true; }
  bool SelectClipPath(Dc&, int) override { return true; }

  // --- clipping: the DC keeps it; drawing applies it ---
  bool IntersectClipRect(Dc&, const RECT&) override { return true; }
  bool ExcludeClipRect(Dc&, const RECT&) override { return true; }
  bool OffsetClipRgn(Dc&, int, int) override { return true; }
  bool ExtSelectClipRgn(Dc&, const RegionData*, int) override { return true; }
  bool SetMetaRgn(Dc&) override { return true; }

  // --- blits (cairo_recorder_images.cpp) ---
  bool PatBlt(Dc& dc, int x, int y, int width, int height, DWORD rop) override;
  bool BitBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc, DWORD rop) override;
  bool StretchBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc, int widthSrc,
                  int heightSrc, DWORD rop) override;
  bool MaskBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc, const Bitmap* mask,
               int xMask, int yMask, DWORD rop) override;
  bool PlgBlt(Dc& dc, const POINT points[3], Dc& source, int xSrc, int ySrc, int width, int height,
              const Bitmap* mask, int xMask, int yMask) override;
  bool TransparentBlt(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc, int widthSrc,
                      int heightSrc, UINT transparent) override;
  bool AlphaBlend(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc, int widthSrc,
                  int heightSrc, BLENDFUNCTION blend) override;
  bool StretchDIBits(Dc& dc, int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc, int heightSrc,
                     std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage, DWORD rop) override;
  bool SetDIBitsToDevice(Dc& dc, int x, int y, DWORD width, DWORD height, int xSrc, int ySrc, UINT startScan,
                         UINT lines, std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage) override;

  // --- comments and text (cairo_recorder_text.cpp) ---
  bool GdiComment(Dc&, std::span<const BYTE>) override { return true; }
  bool ExtTextOutW(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                   const INT* dx) override;
  bool ExtTextOutA(Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                   const INT* dx) override;
  bool PolyTextOutW(Dc& dc, std::span<const POLYTEXTW> items) override;
  bool PolyTextOutA(Dc& dc, std::span<const POLYTEXTA> items) override;

  void DcDeleted(Dc&) override {}

 private:
  // How a ROP2 maps onto cairo: a colour replacing the source's (black,
  // white, the inverse) and a blend operator.
  struct Rop2Mapping {
    std::optional<DWORD> color;
    cairo_operator_t op = CAIRO_OPERATOR_OVER;
  };
  static std::optional<Rop2Mapping> MapRop2(int rop2, std::optional<DWORD> solid);
  void ApplyRop2(const Rop2Mapping& mapping);

  // --- colours and sources ---
  // rgb (0x00RRGGBB) of a COLORREF on this DC, grey when the colours are.
  DWORD DeviceRgb(Dc& dc, COLORREF color) const;
  void SetSourceRgb(DWORD rgb);
  // A brush as the cairo source; false for a null brush.
  bool SetBrushSource(Dc& dc, const Brush& brush);
  // The selected pen (colour or brush) as the source and line style; false
  // for a null pen. `offset` receives the stroke's offset (0.5 for odd widths).
  bool SetPenSource(Dc& dc, double& offset);
  void SetDashes(Dc& dc, const Pen& pen, double width);

  // --- clip ---
  // Applies the DC's effective clip (and `extra`, device pixels) to cairo;
  // false when nothing can be drawn.
  bool ApplyClip(Dc& dc, const RegionData* extra = nullptr);

  // --- geometry ---
  void AddPolyline(std::span<const PointF> points, bool closed, double offset);
  // Fills the figure with the DC's brush, then strokes it with the pen
  // (either may be absent); `figure(offset)` adds the path.
  template <class Figure>
  bool FillAndStroke(Dc& dc, bool fill, bool stroke, int fillMode, Figure&& figure);
  bool StrokeFigure(Dc& dc, const std::function<void(double offset)>& figure);
  bool DrawPathFigures(Dc& dc, bool fill, bool stroke);
  bool DrawBox(Dc& dc, const RECT& logical, int kind, int cornerWidth, int cornerHeight);
  bool DrawArc(Dc& dc, const RECT& box, POINT start, POINT end, int kind);
  void FillDeviceRects(const std::vector<RECT>& rects);
  std::vector<PointF> DevicePoints(Dc& dc, std::span<const POINT> points) const;

  // --- images (cairo_recorder_images.cpp) ---
  Placement LogicalPlacement(Dc& dc, int x, int y, int width, int height) const;
  bool PatternRect(Dc& dc, const Placement& where, DWORD rop);
  bool PlaceImage(Dc& dc, Placement target, ImageSource src, DWORD rop, BlitMode mode, DWORD transparentRgb,
                  BLENDFUNCTION blend);
  // Colour depth, brightness and contrast of the engine's options.
  void ConvertPixels(std::vector<DWORD>& pixels, int w, int h, bool premultiplied) const;
  bool PlaceDcPixels(Dc& dc, Placement target, Dc& source, int xSrc, int ySrc, int widthSrc, int heightSrc, DWORD rop,
                     BlitMode mode, DWORD transparentRgb, BLENDFUNCTION blend);
  bool PlaceDibBits(Dc& dc, Placement target, std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage,
                    int xSrc, int ySrc, int widthSrc, int heightSrc, DWORD rop, bool ySrcFromTop);
  bool DecodeRleSource(Dc& dc, const Placement& target, const DibHeader& header, std::span<const BYTE> bits,
                       ImageSource& src, std::vector<BYTE>& pixels, std::vector<BYTE>& defined, Dib& dib);
  bool PlaceCompressedDib(Dc& dc, const Placement& target, const DibHeader& header, std::span<const BYTE> bits);

  // --- text (cairo_recorder_text.cpp) ---
  bool DrawText(Dc& dc, const text::TextLayout& layout, UINT options, const RECT* rect, std::u16string_view text);
  cairo_font_face_t* FontFace(const text::RealizedFont& font, bool& outlineOnly);
  void ReportLinks(const text::TextLayout& layout, std::u16string_view text);

  // --- fallback ---
  void Fallback(Dc& dc, RECT deviceBox);
  void FallbackQuad(Dc& dc, const double (&px)[4], const double (&py)[4]);

  cairo_t* cr_;
  CairoDcOptions options_;
  cairo_matrix_t base_;       // device pixel -> cairo device space, as the caller set it
  RegionData appliedClip_;    // the clip cairo has now
  bool clipApplied_ = false;  // cairo has a clip set by us
  std::optional<RECT> fallback_;
};

}  // namespace tw::gdi
