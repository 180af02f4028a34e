// Internal: device contexts. A Dc is a GdiObject (HDC) that holds the
// device's capabilities, the drawing state (saved and restored by SaveDC /
// RestoreDC), the selected objects and, for memory DCs, the bitmap it draws
// on. A metafile DC has no pixels: it carries a DcRecorder instead.
//
// One DC is used by one thread at a time (as on Windows); the objects it
// refers to are shared and may be deleted by other threads.
#pragma once
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "bitmap.h"
#include "gdiobj.h"
#include "path.h"
#include "recorder.h"
#include "region.h"
#include "transform.h"

namespace tw::gdi {

enum class DeviceKind { Memory, Display, Printer, Metafile };

struct DeviceCaps {
  int technology = DT_RASDISPLAY;
  int horzRes = 0;  // pixels
  int vertRes = 0;
  int logPixelsX = 96;
  int logPixelsY = 96;
  int bitsPixel = 32;
  int planes = 1;
  int horzSizeMm = 0;  // rounded millimetres (HORZSIZE, VERTSIZE)
  int vertSizeMm = 0;
  LONG widthUm = 0;    // exact size in micrometres (metafile headers, mapping modes)
  LONG heightUm = 0;
  int physicalWidth = 0;
  int physicalHeight = 0;
  int physicalOffsetX = 0;
  int physicalOffsetY = 0;
};

struct DcState {
  int graphicsMode = GM_COMPATIBLE;
  int mapMode = MM_TEXT;
  POINT windowOrg{0, 0};
  SIZE windowExt{1, 1};
  POINT viewportOrg{0, 0};
  SIZE viewportExt{1, 1};
  Matrix world;          // identity unless GM_ADVANCED set one
  POINT currentPos{0, 0};  // logical

  // Selected objects: the handle as selected (returned by the next
  // SelectObject) and the object, kept alive even if its handle is deleted.
  HGDIOBJ penHandle = nullptr;
  HGDIOBJ brushHandle = nullptr;
  HGDIOBJ fontHandle = nullptr;
  HGDIOBJ paletteHandle = nullptr;
  HGDIOBJ bitmapHandle = nullptr;
  std::shared_ptr<const Pen> pen;
  std::shared_ptr<const Brush> brush;
  std::shared_ptr<const Font> font;
  std::shared_ptr<Palette> palette;
  std::shared_ptr<Bitmap> bitmap;

  COLORREF bkColor = RGB(255, 255, 255);
  COLORREF textColor = RGB(0, 0, 0);
  int bkMode = OPAQUE;
  UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
  int rop2 = R2_COPYPEN;
  int polyFillMode = ALTERNATE;
  int stretchMode = BLACKONWHITE;
  POINT brushOrg{0, 0};  // device
  int arcDirection = AD_COUNTERCLOCKWISE;
  FLOAT miterLimit = 10.0f;
  COLORREF dcBrushColor = RGB(255, 255, 255);
  COLORREF dcPenColor = RGB(0, 0, 0);
  int charExtra = 0;
  int justifyExtra = 0;
  int justifyCount = 0;
  DWORD layout = 0;
  DWORD mapperFlags = 0;
  int icmMode = 1;  // ICM_OFF
  COLORADJUSTMENT colorAdjustment{sizeof(COLORADJUSTMENT), 0, 0, 10000, 10000, 10000, 0, 10000, 0, 0, 0, 0};

  std::optional<RegionData> clip;  // device coordinates; none = not clipped
  std::optional<RegionData> meta;
  Path path;
};

class TWCPPAPI Dc : public GdiObject {
 public:
  Dc(DeviceKind kind, const DeviceCaps& caps);
  ~Dc() override;
  DWORD Type() const override;  // OBJ_DC, OBJ_MEMDC or OBJ_ENHMETADC

  DeviceKind Kind() const { return kind_; }
  const DeviceCaps& Caps() const { return caps_; }
  DcState& State() { return state_; }
  const DcState& State() const { return state_; }

  // --- transforms ---
  // Logical -> device: world transform (GM_ADVANCED) then the page
  // transform of the mapping mode (window -> viewport).
  const Matrix& LogicalToDevice() const { return toDevice_; }
  // Device -> logical; false when the transform cannot be inverted.
  bool DeviceToLogical(Matrix& out) const;
  Matrix PageTransform() const;
  // Call after changing any transform field of State() directly.
  void TransformChanged();
  // Recomputes the viewport extent of MM_ISOTROPIC after an extent change.
  void FixIsotropic();
  // Sets the extents the mapping modes MM_TEXT ... MM_TWIPS imply.
  void ApplyMapModeExtents();
  POINT ToDevice(POINT logical) const;
  void ToDevice(double x, double y, double& dx, double& dy) const { toDevice_.Apply(x, y, dx, dy); }

  // Width of the selected pen in device pixels: 1 for cosmetic pens (and
  // width 0), else the logical width scaled by the transform's x axis and
  // rounded to whole pixels (at least 1); 0 for PS_NULL.
  double PenWidthDevice() const;

  // --- surface ---
  // The pixels this DC draws on, null for DCs without any (printer, screen
  // and metafile DCs: drawing there succeeds and changes nothing).
  Dib* Surface();
  bool SurfaceIsMonoDdb() const;
  // Selects a bitmap (memory DCs only); false with the last error set.
  bool SelectBitmap(HGDIOBJ handle, const std::shared_ptr<Bitmap>& bitmap);

  // --- clipping ---
  // The region every primitive is clipped to, in device pixels: the surface
  // (or device) bounds intersected with the meta region and the clip region.
  const RegionData& EffectiveClip();
  void ClipChanged() { clipValid_ = false; }
  // The surface / device rectangle (0, 0, width, height).
  RECT DeviceBounds();

  // --- SaveDC / RestoreDC ---
  int SaveLevel() const { return static_cast<int>(saved_.size()); }
  int Save();
  // `level` as RestoreDC takes it (negative = relative). False with
  // ERROR_INVALID_PARAMETER for a level that does not exist.
  bool Restore(int level);

  // --- recording ---
  DcRecorder* Recorder() const { return recorder_.get(); }
  void SetRecorder(std::unique_ptr<DcRecorder> recorder) { recorder_ = std::move(recorder); }
  std::unique_ptr<DcRecorder> DetachRecorder() { return std::move(recorder_); }

  // Called once when the DC's handle is deleted: deselects the bitmap.
  void Release();

 private:
  void ApplyRestoredState(DcState&& state);

  DeviceKind kind_;
  DeviceCaps caps_;
  DcState state_;
  std::vector<DcState> saved_;
  Matrix toDevice_;
  RegionData effectiveClip_;
  bool clipValid_ = false;
  std::unique_ptr<DcRecorder> recorder_;
  Dib defaultSurface_;  // 1x1 monochrome surface of the stock bitmap
  BYTE defaultPixel_[4] = {0, 0, 0, 0};
};

// The DC behind an HDC, or null with ERROR_INVALID_HANDLE.
TWCPPAPI std::shared_ptr<Dc> LookupDc(HDC hdc);

// Creates a metafile DC: no pixels, the capabilities of `reference` (the
// screen when null), and `recorder` receiving every recordable call. The
// DC's GetObjectType is OBJ_ENHMETADC; null with the last error set when
// `reference` is not a DC. The metafile area's CreateEnhMetaFileW uses it;
// CloseEnhMetaFile takes the recorder back with Dc::DetachRecorder and then
// deletes the DC with DeleteDC.
TWCPPAPI HDC CreateRecordingDc(HDC reference, std::unique_ptr<DcRecorder> recorder);

// Copies device rectangle `rect` of a source DC's surface into a bottom-up
// DIB: `info` receives a BITMAPINFOHEADER and colour table (1, 4 and 8 bits
// keep the surface's table; 16-bit surfaces become 24-bit), `bits` the rows.
// Parts of the rectangle outside the surface come out black. False (with
// the last error) when the DC has no pixels or the rectangle is empty.
TWCPPAPI bool ReadSourceBits(Dc& source, const RECT& rect, std::vector<BYTE>& info, std::vector<BYTE>& bits);

// StretchDIBits for the metafile player's bitmap blits whose source is
// compressed: the DIB is read row by row where it is (an RLE image is never
// decoded whole), pixels the stream leaves unset draw as index 0 (as in a
// bitmap made from the DIB), and `sourceBkColor` is the record's source
// background colour, used for monochrome targets.
TWCPPAPI int StretchDibAsBitmap(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                                int SrcWidth, int SrcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                                DWORD rop, COLORREF sourceBkColor);

// Capabilities of the screen (96 DPI, 1920 x 1080, 32 bits).
TWCPPAPI DeviceCaps ScreenCaps();
// Capabilities of a printer made from a DEVMODEW (null: Letter, portrait,
// 300 DPI, 24 bits). `size` is the number of readable bytes at `devmode`
// (dmSize + dmDriverExtra when the caller knows no better).
TWCPPAPI DeviceCaps PrinterCapsFromDevmode(const DEVMODEW* devmode, std::size_t size);

// Where the driver's private part of a printer settings record (the bytes
// after the DEVMODEW head) adjusts a printer DC's capabilities.
void ApplyDriverPrivatePart(std::span<const BYTE> privatePart, DeviceCaps& caps);

// Tells every live metafile DC's recorder that an object is being deleted.
void NotifyRecordersOfDelete(HGDIOBJ handle, const GdiObject& object);

}  // namespace tw::gdi
