// The arithmetic of a page image: the page size a metafile header gives, the
// target page size for the job's resolution, the render bitmap's size,
// depth and resolution, and the trimming margins. Pure functions of their
// inputs (the bitmap geometry also stores the resolution it settles on in
// UserFlags, as the record asks); the GDI work is in emf_image.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::render {

// The largest page image rendered: its rows must fit one block of the
// layer's 32-bit sizes (biSizeImage).
inline constexpr std::uint64_t kMaxPageImageBytes = 0x7FFFFFFFu;

// Page size of a metafile in pixels of its reference device, with the
// reference resolution and the inked area moved to the frame's origin.
struct EmfPageSize {
  SIZE size{0, 0};      // (0, 0): the header gives no usable size
  LONG pelsPerMeter = 0;
  RECT bounds{0, 0, -1, -1};  // inclusive, reference pixels
};
EmfPageSize EmfPageSizeFromHeader(const ENHMETAHEADER& header);
// The inked bounds hold no pixel.
inline bool BoundsEmpty(const RECT& r) { return r.right < r.left || r.bottom < r.top; }

// What the target page size depends on.
struct TargetSizeInputs {
  SIZE reference{0, 0};  // the metafile's page size (cx, cy)
  LONG xDpi = 300;
  LONG yDpi = 300;
  bool landscape = false;
  bool anisotropic = false;  // "Allow Anisotropic DPI"
  bool vectorFormat = false;
  bool faxOutput = false;
  bool saveAs = false;       // Flags bit 31
  DWORD faxMode = 0;
};
struct TargetSize {
  LONG widthPixels = 0;
  LONG heightPixels = 0;
  LONG paperWidth = 0;   // 0.1 mm
  LONG paperLength = 0;  // 0.1 mm
};
// The page size in pixels and the paper size of a metafile page at the
// job's resolution; empty when the reference size is not positive.
std::optional<TargetSize> ComputeTargetSize(const TargetSizeInputs& in);

// Whether a metafile page is drawn at the metafile's own resolution and
// stretched onto the page: when the two resolutions differ by more than 10
// (with fax output only in FaxMode 3, and always in FaxMode 4), and always
// for the barcode separator page and cover pages.
bool ScaledRendering(LONG xDpi, LONG yDpi, bool faxOutput, DWORD faxMode, bool separatorOrCover);

// The render bitmap of a page.
struct BitmapGeometry {
  LONG width = 0;
  LONG height = 0;
  LONG xDpi = 0;
  LONG yDpi = 0;
  WORD bits = 1;  // 1 or 24
  LONG XPelsPerMeter() const;
  LONG YPelsPerMeter() const;
  std::uint64_t Stride() const;
  std::uint64_t ImageBytes() const { return Stride() * static_cast<std::uint64_t>(height); }
};
// The bitmap of a metafile page (raw = false) or of a raw page (raw = true)
// for the record, or for no record (null): forced resolution, fax sizes
// and depth. Forced resolution stores the resolution it uses in UserFlags.
// Empty when the size is not positive or the image would exceed
// kMaxPageImageBytes.
std::optional<BitmapGeometry> ComputeBitmapGeometry(TarnwickDEVMODE* dm, bool raw);
// The depth rule of a bitmap of a metafile page: 1 bit when the colour mode
// is black and white and there is no dithering, else 24.
WORD RenderBitsFor(const TarnwickDEVMODE* dm);
// pixels per metre of a resolution: trunc(dpi * 10000 / 254 + 0.5).
LONG PelsPerMeter(LONG dpi);

// Margins (pixels) cut from each side of a page.
struct Margins {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};
struct TrimSides {
  bool left = false;
  bool top = false;
  bool right = false;
  bool bottom = false;
  bool Any() const { return left || top || right || bottom; }
};
// Trimming by the metafile's inked bounds (reference pixels, inclusive):
// the margins in target pixels (page `target`) and in reference pixels
// (page `reference`). The bounds are scaled to the target and rounded
// outwards, so ink is never cut; margins are clamped so that at least one
// pixel of the page stays. Empty bounds trim nothing.
struct BoundsTrim {
  Margins target;
  Margins reference;
};
BoundsTrim ComputeBoundsTrim(const RECT& bounds, SIZE reference, SIZE target, TrimSides sides);

// The area "Crop Page" keeps of a page, from the "Crop" values (hundredths
// of an inch) at the page's resolution: mode 0 takes right and bottom as
// margins from the page's width and height, any other mode as the edges
// themselves. Right and bottom are exclusive edges; nothing is clamped.
RECT ComputeCropEdges(LONG width, LONG height, LONG xDpi, LONG yDpi, DWORD mode, DWORD left, DWORD top, DWORD right,
                      DWORD bottom);

}  // namespace tw::render
