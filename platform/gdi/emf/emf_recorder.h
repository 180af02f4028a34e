// Internal: the enhanced-metafile recorder a metafile DC carries. Every
// recordable call on the DC arrives here (before the DC applies it) and is
// written as its EMF record; objects are written when first selected, into
// the lowest free handle slot, and their slot is freed (EMR_DELETEOBJECT)
// when the object is deleted. The inked area of every drawing call, in
// reference-device pixels through the DC's transform and clip, accumulates
// into the header's rclBounds.
#pragma once
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "../dc.h"
#include "../gdiobj.h"
#include "emf_reader.h"

namespace tw::emf {

class EnhMetaFileData;

// Appends records to a growing buffer; the header is written last.
class RecordWriter {
 public:
  RecordWriter() { bytes_.resize(sizeof(ENHMETAHEADER)); }
  // A fixed-size record: `record.emr` is filled in.
  template <class T>
  void Fixed(DWORD type, T record) {
    record.emr.iType = type;
    record.emr.nSize = sizeof(T);
    Append(&record, sizeof(T));
    ++records_;
  }
  // A record of a fixed part followed by variable data: Begin, Append...,
  // End (which pads to 4 bytes and sets nSize).
  size_t Begin(DWORD type, const void* head, size_t headSize);
  void Append(const void* data, size_t size);
  void Pad();
  void End(size_t start);
  size_t Size() const { return bytes_.size(); }
  BYTE* At(size_t offset) { return bytes_.data() + offset; }
  DWORD Records() const { return records_; }
  std::vector<BYTE>& Bytes() { return bytes_; }
  // True once memory ran out: the recording is incomplete and must not be
  // handed out as a metafile.
  bool Failed() const { return failed_; }

 private:
  std::vector<BYTE> bytes_;
  bool failed_ = false;
  DWORD records_ = 1;  // the header
};

// Inclusive device-pixel bounds, empty until something is added.
struct BoundsBox {
  bool empty = true;
  RECTL box{0, 0, -1, -1};
  void Add(const RECTL& r);
  RECTL Get() const { return empty ? RECTL{0, 0, -1, -1} : box; }
};

class EmfRecorder : public tw::gdi::DcRecorder {
 public:
  // `frame` in 0.01 mm (null: computed from the bounds when closing),
  // `description` as passed (app\0title\0\0), `file` where CloseEnhMetaFile
  // writes the metafile (empty: memory only).
  EmfRecorder(const RECT* frame, std::u16string description, std::filesystem::path file);

  // Ends the metafile: EMR_EOF, then the header from the reference device's
  // capabilities. The bytes are moved out; the recorder is spent. Empty when
  // memory ran out while recording.
  std::vector<BYTE> Finish(const tw::gdi::DeviceCaps& caps);
  const std::filesystem::path& File() const { return file_; }

  // --- DcRecorder ---
  bool SaveDC(tw::gdi::Dc& dc) override;
  bool RestoreDC(tw::gdi::Dc& dc, int savedDc) override;
  bool SetMapMode(tw::gdi::Dc& dc, int mode) override;
  bool SetWindowOrgEx(tw::gdi::Dc& dc, int x, int y) override;
  bool SetWindowExtEx(tw::gdi::Dc& dc, int cx, int cy) override;
  bool SetViewportOrgEx(tw::gdi::Dc& dc, int x, int y) override;
  bool SetViewportExtEx(tw::gdi::Dc& dc, int cx, int cy) override;
  bool ScaleWindowExtEx(tw::gdi::Dc& dc, int xNum, int xDenom, int yNum, int yDenom) override;
  bool ScaleViewportExtEx(tw::gdi::Dc& dc, int xNum, int xDenom, int yNum, int yDenom) override;
  bool SetWorldTransform(tw::gdi::Dc& dc, const XFORM& xform) override;
  bool ModifyWorldTransform(tw::gdi::Dc& dc, const XFORM& xform, DWORD mode) override;
  bool SetBkMode(tw::gdi::Dc& dc, int mode) override;
  bool SetBkColor(tw::gdi::Dc& dc, COLORREF color) override;
  bool SetTextColor(tw::gdi::Dc& dc, COLORREF color) override;
  bool SetTextAlign(tw::gdi::Dc& dc, UINT align) override;
  bool SetROP2(tw::gdi::Dc& dc, int rop2) override;
  bool SetPolyFillMode(tw::gdi::Dc& dc, int mode) override;
  bool SetStretchBltMode(tw::gdi::Dc& dc, int mode) override;
  bool SetBrushOrgEx(tw::gdi::Dc& dc, int x, int y) override;
  bool SetMiterLimit(tw::gdi::Dc& dc, FLOAT limit) override;
  bool SetArcDirection(tw::gdi::Dc& dc, int direction) override;
  bool SetMapperFlags(tw::gdi::Dc& dc, DWORD flags) override;
  bool SetLayout(tw::gdi::Dc& dc, DWORD layout) override;
  bool SetICMMode(tw::gdi::Dc& dc, int mode) override;
  bool SetColorAdjustment(tw::gdi::Dc& dc, const COLORADJUSTMENT& adjustment) override;
  bool SetTextJustification(tw::gdi::Dc& dc, int extra, int count) override;
  bool SetDCBrushColor(tw::gdi::Dc& dc, COLORREF color) override;
  bool SetDCPenColor(tw::gdi::Dc& dc, COLORREF color) override;
  bool MoveToEx(tw::gdi::Dc& dc, int x, int y) override;

  bool SelectObject(tw::gdi::Dc& dc, HGDIOBJ handle, const tw::gdi::GdiObject& object) override;
  bool SelectPalette(tw::gdi::Dc& dc, HPALETTE handle, const tw::gdi::Palette& palette, BOOL forceBackground) override;
  bool RealizePalette(tw::gdi::Dc& dc) override;
  void ObjectDeleted(HGDIOBJ handle, const tw::gdi::GdiObject& object) override;

  bool LineTo(tw::gdi::Dc& dc, int x, int y) override;
  bool Polyline(tw::gdi::Dc& dc, std::span<const POINT> points) override;
  bool PolylineTo(tw::gdi::Dc& dc, std::span<const POINT> points) override;
  bool PolyPolyline(tw::gdi::Dc& dc, std::span<const POINT> points, std::span<const DWORD> counts) override;
  bool Polygon(tw::gdi::Dc& dc, std::span<const POINT> points) override;
  bool PolyPolygon(tw::gdi::Dc& dc, std::span<const POINT> points, std::span<const INT> counts) override;
  bool PolyBezier(tw::gdi::Dc& dc, std::span<const POINT> points) override;
  bool PolyBezierTo(tw::gdi::Dc& dc, std::span<const POINT> points) override;
  bool PolyDraw(tw::gdi::Dc& dc, std::span<const POINT> points, std::span<const BYTE> types) override;
  bool Rectangle(tw::gdi::Dc& dc, const RECT& box) override;
  bool RoundRect(tw::gdi::Dc& dc, const RECT& box, int cornerWidth, int cornerHeight) override;
  bool Ellipse(tw::gdi::Dc& dc, const RECT& box) override;
  bool Arc(tw::gdi::Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool ArcTo(tw::gdi::Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool Chord(tw::gdi::Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool Pie(tw::gdi::Dc& dc, const RECT& box, POINT start, POINT end) override;
  bool AngleArc(tw::gdi::Dc& dc, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle) override;
  bool SetPixelV(tw::gdi::Dc& dc, int x, int y, COLORREF color) override;
  bool ExtFloodFill(tw::gdi::Dc& dc, int x, int y, COLORREF color, UINT type) override;
  bool GradientFill(tw::gdi::Dc& dc, std::span<const TRIVERTEX> vertices, const void* mesh, ULONG meshCount,
                    ULONG mode) override;
  bool FillRgn(tw::gdi::Dc& dc, const tw::gdi::RegionData& region, HBRUSH handle,
               const tw::gdi::Brush& brush) override;
  bool FrameRgn(tw::gdi::Dc& dc, const tw::gdi::RegionData& region, HBRUSH handle, const tw::gdi::Brush& brush,
                int width, int height) override;
  bool PaintRgn(tw::gdi::Dc& dc, const tw::gdi::RegionData& region) override;
  bool InvertRgn(tw::gdi::Dc& dc, const tw::gdi::RegionData& region) override;

  bool BeginPath(tw::gdi::Dc& dc) override;
  bool EndPath(tw::gdi::Dc& dc) override;
  bool AbortPath(tw::gdi::Dc& dc) override;
  bool CloseFigure(tw::gdi::Dc& dc) override;
  bool FillPath(tw::gdi::Dc& dc) override;
  bool StrokePath(tw::gdi::Dc& dc) override;
  bool StrokeAndFillPath(tw::gdi::Dc& dc) override;
  bool FlattenPath(tw::gdi::Dc& dc) override;
  bool WidenPath(tw::gdi::Dc& dc) override;
  bool SelectClipPath(tw::gdi::Dc& dc, int mode) override;

  bool IntersectClipRect(tw::gdi::Dc& dc, const RECT& rect) override;
  bool ExcludeClipRect(tw::gdi::Dc& dc, const RECT& rect) override;
  bool OffsetClipRgn(tw::gdi::Dc& dc, int x, int y) override;
  bool ExtSelectClipRgn(tw::gdi::Dc& dc, const tw::gdi::RegionData* region, int mode) override;
  bool SetMetaRgn(tw::gdi::Dc& dc) override;

  bool PatBlt(tw::gdi::Dc& dc, int x, int y, int width, int height, DWORD rop) override;
  bool BitBlt(tw::gdi::Dc& dc, int x, int y, int width, int height, tw::gdi::Dc* source, int xSrc, int ySrc,
              DWORD rop) override;
  bool StretchBlt(tw::gdi::Dc& dc, int x, int y, int width, int height, tw::gdi::Dc* source, int xSrc, int ySrc,
                  int widthSrc, int heightSrc, DWORD rop) override;
  bool MaskBlt(tw::gdi::Dc& dc, int x, int y, int width, int height, tw::gdi::Dc* source, int xSrc, int ySrc,
               const tw::gdi::Bitmap* mask, int xMask, int yMask, DWORD rop) override;
  bool PlgBlt(tw::gdi::Dc& dc, const POINT points[3], tw::gdi::Dc& source, int xSrc, int ySrc, int width,
              int height, const tw::gdi::Bitmap* mask, int xMask, int yMask) override;
  bool TransparentBlt(tw::gdi::Dc& dc, int x, int y, int width, int height, tw::gdi::Dc& source, int xSrc,
                      int ySrc, int widthSrc, int heightSrc, UINT transparent) override;
  bool AlphaBlend(tw::gdi::Dc& dc, int x, int y, int width, int height, tw::gdi::Dc& source, int xSrc, int ySrc,
                  int widthSrc, int heightSrc, BLENDFUNCTION blend) override;
  bool StretchDIBits(tw::gdi::Dc& dc, int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc,
                     int heightSrc, std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage,
                     DWORD rop) override;
  bool SetDIBitsToDevice(tw::gdi::Dc& dc, int x, int y, DWORD width, DWORD height, int xSrc, int ySrc,
                         UINT startScan, UINT lines, std::span<const BYTE> bits, std::span<const BYTE> info,
                         UINT usage) override;

  bool GdiComment(tw::gdi::Dc& dc, std::span<const BYTE> data) override;
  bool ExtTextOutW(tw::gdi::Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                   const INT* dx) override;
  bool ExtTextOutA(tw::gdi::Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                   const INT* dx) override;
  bool PolyTextOutW(tw::gdi::Dc& dc, std::span<const POLYTEXTW> items) override;
  bool PolyTextOutA(tw::gdi::Dc& dc, std::span<const POLYTEXTA> items) override;

  void DcDeleted(tw::gdi::Dc& dc) override;

 private:
  // --- helpers (emf_recorder.cpp) ---
  std::vector<BYTE> FinishLocked(const tw::gdi::DeviceCaps& caps);
  void Simple(DWORD type);
  void Dword(DWORD type, DWORD value);
  void Pair(DWORD type, LONG a, LONG b);
  // Bounds of logical points through the DC's transform, widened by the
  // pen; `exclusiveEdges` for fills whose right/bottom edge GDI leaves out.
  RECTL PointsBounds(tw::gdi::Dc& dc, std::span<const POINT> points, bool withPen, bool exclusiveEdges);
  RECTL BoxBounds(tw::gdi::Dc& dc, const RECT& box, bool withPen);
  // Adds a drawing's bounds (clipped by the DC's clip) to the metafile's,
  // or to the open path's. Returns what was added (inclusive, or empty).
  RECTL Ink(tw::gdi::Dc& dc, RECTL bounds);
  bool PenVisible(tw::gdi::Dc& dc) const;
  bool BrushVisible(tw::gdi::Dc& dc) const;
  // The box GDI draws: normalised, and in GM_COMPATIBLE with the right and
  // bottom edges made inclusive (the form the records keep).
  RECTL RecordedBox(tw::gdi::Dc& dc, const RECT& box) const;
  void PolyRecord(tw::gdi::Dc& dc, DWORD type, std::span<const POINT> points, const RECTL& bounds);
  bool Poly(tw::gdi::Dc& dc, DWORD type, std::span<const POINT> points, bool fill, bool fromCurrent);
  bool ArcRecord(tw::gdi::Dc& dc, DWORD type, const RECT& box, POINT start, POINT end);
  bool RegionRecord(tw::gdi::Dc& dc, DWORD type, const tw::gdi::RegionData& region, DWORD brushSlot, SIZE stroke);

  // --- objects (emf_recorder.cpp) ---
  // The slot of an object, writing its creation record first when the
  // metafile has none for it yet. 0 when the object cannot be recorded.
  DWORD SlotFor(tw::gdi::Dc& dc, const tw::gdi::GdiObject& object);
  DWORD FreeSlot();
  bool WritePen(DWORD slot, const tw::gdi::Pen& pen);
  bool WriteBrush(DWORD slot, const tw::gdi::Brush& brush);
  bool WriteFont(DWORD slot, const tw::gdi::Font& font);
  bool WritePalette(DWORD slot, const tw::gdi::Palette& palette);
  // DC_BRUSH / DC_PEN: a solid object of the DC's colour in its own slot.
  bool SelectDcColorObject(tw::gdi::Dc& dc, bool brush);

  // --- blits and text (emf_recorder_blits.cpp) ---
  bool BlitRecord(tw::gdi::Dc& dc, DWORD type, int x, int y, int width, int height, tw::gdi::Dc* source, int xSrc,
                  int ySrc, int widthSrc, int heightSrc, DWORD rop);
  RECTL DestinationBounds(tw::gdi::Dc& dc, int x, int y, int width, int height);
  RECTL TextBounds(tw::gdi::Dc& dc, int x, int y, UINT options, const RECT* rect, std::span<const INT> advances,
                   size_t count);
  std::vector<INT> Advances(tw::gdi::Dc& dc, std::u16string_view text, const INT* dx, UINT options);
  void TextHead(tw::gdi::Dc& dc, const RECTL& bounds, std::vector<BYTE>& head);

  std::mutex mutex_;  // ObjectDeleted may come from another thread
  RecordWriter writer_;
  BoundsBox bounds_;
  BoundsBox pathBounds_;
  bool pathOpen_ = false;
  std::optional<RECT> frame_;
  std::u16string description_;
  std::filesystem::path file_;

  std::vector<std::uint64_t> slots_{0};  // slot -> object serial (0: free); slot 0 is the metafile
  std::unordered_map<std::uint64_t, DWORD> slotOf_;
  DWORD dcBrushSlot_ = 0;  // the slots of the DC_BRUSH / DC_PEN stand-ins
  DWORD dcPenSlot_ = 0;
  bool dcBrushSelected_ = false;
  bool dcPenSelected_ = false;
};

}  // namespace tw::emf
