// Internal to the page image: handle owners, the settings a page reads, the
// printer context and the playing of a page's records.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "job/job/gdi_mutex_time.h"
#include "job/settings/effective.h"
#include "render/emf/emf_geometry.h"
#include "render/emf/emf_image.h"
#include "render/emf/page_seams.h"

namespace tw::render {

// --- owners of GDI handles ----------------------------------------------------
struct DcDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
struct ObjectDeleter {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct FixedBlockDeleter {
  void operator()(void* p) const { GlobalFree(p); }
};
using DcPtr = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
using BitmapPtr = std::unique_ptr<std::remove_pointer_t<HBITMAP>, ObjectDeleter>;
using HeaderPtr = std::unique_ptr<BITMAPINFO, FixedBlockDeleter>;

// Selects an object into a DC and puts the previous one back.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectGuard() { Restore(); }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;
  void Restore() {
    if (old_) SelectObject(dc_, old_);
    old_ = nullptr;
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The GDI mutex of the job for one enumeration of a page's records. A wait
// that times out (or a job without the mutex) lets the rendering go on
// unguarded; only a mutex this thread obtained is released.
class GdiMutexScope {
 public:
  explicit GdiMutexScope(CTWJob& job);
  ~GdiMutexScope();
  GdiMutexScope(const GdiMutexScope&) = delete;
  GdiMutexScope& operator=(const GdiMutexScope&) = delete;
  bool Owned() const { return owned_; }

 private:
  CTWJob& job_;
  HANDLE mutex_;
  tw::job::GdiMutexTime::Clock::time_point asked_;
  tw::job::GdiMutexTime::Clock::time_point obtained_;
  bool owned_;
};

// What one page reads from the settings, afresh for every page.
struct PageSettings {
  tw::settings::SettingsScope scope;  // the job's settings, as the page found them
  PageRoles roles;
  DWORD format = 4;
  bool vectorFormat = false;
  TrimSides trim;
  bool trimByIntensity = false;
  DWORD intensity = 0;
  bool crop = false;
  DWORD cropMode = 0, cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;
  LONG rotation = 0;
  DWORD antialiasing = 4;
  bool useWindowsSessionId = false;
  bool checkFonts = false;  // "Debug Logging Enable" or the debug switch
  bool imageWatermark = false;
  bool textWatermark = false;  // with its first-page rule applied
  bool textStamp = false;
  bool header = false;
  bool footer = false;
  bool contentBasedEmail = false;
  bool simpleContentBasedEmail = false;
};
PageSettings ReadPageSettings(CTWJob& job, const TarnwickDEVMODE* dm);

// The job's printer context on a copy of the record, with the messaging
// interface ID (of `scope`) kept when the Windows session ID is in use.
// Null: none.
DcPtr CreatePrinterDC(CTWJob& job, TarnwickDEVMODE* dm, const tw::settings::SettingsScope& scope,
                      bool keepInterfaceId);

// The debug font check: every face of the page the printer does not know
// is reported to the job.
void CheckPageFonts(CTWJob& job, HDC printer, HENHMETAFILE emf);

// The shortest metafile header (without its pixel-format and micrometre fields).
inline constexpr std::size_t kMinEmfHeaderSize = 88;

// The page's metafile from its data block; with `report`, failures are
// reported through the job as internal errors 100 to 104.
HENHMETAFILE ReadPageMetaFile(HGLOBAL hData, CTWJob* job, bool report);

// How a page's records are played.
struct PlayOptions {
  CTWJob* job = nullptr;
  const TarnwickDEVMODE* dm = nullptr;
  DWORD antialiasing = 4;
  bool noText = false;           // every record but the text records
  bool textToCollector = false;  // text records go to the text collector, which plays them
  bool collectFirst = false;     // the collector's first pass runs before the play
};
// Plays the page into `rect` of `hdc`: the EUDC look-ahead, the collector's
// first pass and the play itself, each inside the job's GDI mutex.
BOOL PlayPage(HENHMETAFILE emf, HDC hdc, const RECT& rect, const PlayOptions& options);
// The lfQuality a font record is played with, by "Antialiasing".
BYTE FontQualityFor(DWORD antialiasing, DWORD colorMode, LONG xDpi, BYTE asked);

// The rows of a page DIB past `width` pixels (the end of the last byte and
// the row's padding) set to 0, so that the bytes of a page never vary.
void ClearRowPadding(BYTE* row, std::size_t stride, LONG width, WORD bits);
// A header in a fixed global block: 40 bytes and the black and white table
// for 1 bit. Null when it cannot be had (reported by the callers).
HeaderPtr MakeBitmapHeader(LONG width, LONG height, WORD bits, LONG xPelsPerMeter, LONG yPelsPerMeter);

}  // namespace tw::render
