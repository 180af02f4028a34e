// The image watermark on a PDF page: where its bitmap goes by the
// placement code, turned with the page.
#include <algorithm>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/effective.h"
#include "output/pdf/pdf_seams.h"
#include "output/twfile/tw_file.h"
#include "tw_pdf_engine.h"

namespace st = tw::settings;

namespace tw::output {
namespace {

enum class Align { Start, Centre, End };

struct Span {
  LONG target;
  LONG source;
  LONG length;
};
// One direction of a blit: a bitmap larger than the page gives its middle part.
Span Place(LONG page, LONG bitmap, Align align) {
  if (bitmap > page) return {0, (bitmap - page) / 2, page};
  switch (align) {
    case Align::Start: return {0, 0, bitmap};
    case Align::End: return {page - bitmap, 0, bitmap};
    case Align::Centre: break;
  }
  return {(page - bitmap) / 2, 0, bitmap};
}

WatermarkBlit Copy(Span x, Span y) {
  return {{x.target, y.target, x.target + x.length, y.target + y.length},
          {x.source, y.source, x.source + x.length, y.source + y.length},
          false};
}

// A tiled page is bounded: tiles of a few pixels would mean millions of blits.
constexpr std::size_t kMaxTiles = 65536;

}  // namespace

std::vector<WatermarkBlit> WatermarkLayout(DWORD placement, SIZE page, SIZE bitmap, LONG paperWidth) {
  const LONG W = page.cx, H = page.cy, w = bitmap.cx, h = bitmap.cy;
  std::vector<WatermarkBlit> blits;
  if (W <= 0 || H <= 0 || w <= 0 || h <= 0) return blits;
  const RECT whole{0, 0, w, h};
  switch (placement) {
    case 1:  // fit
      blits.push_back({{0, 0, paperWidth, H}, whole, true});
      break;
    case 2:    // fit to width, centred
    case 32:   // fit to width, bottom
    case 128: {  // fit to width, top
      const LONG t = static_cast<LONG>(static_cast<long long>(paperWidth) * h / w);
      LONG y = placement == 128 ? 0 : placement == 32 ? H - t : (H - t) / 2;
      y = std::max<LONG>(y, 0);
      blits.push_back({{0, y, paperWidth, y + t}, whole, true});
      break;
    }
    case 8:  // tile
      for (LONG y = 0; y < H && blits.size() < kMaxTiles; y += h)
        for (LONG x = 0; x < std::max<LONG>(paperWidth, 1) && blits.size() < kMaxTiles; x += w)
          blits.push_back({{x, y, x + w, y + h}, whole, false});
      break;
    case 16: blits.push_back(Copy(Place(W, w, Align::Centre), Place(H, h, Align::End))); break;
    case 272: blits.push_back(Copy(Place(W, w, Align::Start), Place(H, h, Align::End))); break;
    case 528: blits.push_back(Copy(Place(W, w, Align::End), Place(H, h, Align::End))); break;
    case 64: blits.push_back(Copy(Place(W, w, Align::Centre), Place(H, h, Align::Start))); break;
    case 320: blits.push_back(Copy(Place(W, w, Align::Start), Place(H, h, Align::Start))); break;
    case 576: blits.push_back(Copy(Place(W, w, Align::End), Place(H, h, Align::Start))); break;
    default: blits.push_back(Copy(Place(W, w, Align::Centre), Place(H, h, Align::Centre))); break;
  }
  return blits;
}

}  // namespace tw::output

BOOL PrintWatermarkToPDF(CTWFile& writer, HDC hdc, CPDFPage& page, SIZE size, CTWJob& job) {
  Trace(u"PrintWatermarkToPDF: starts");
  BITMAP bm{};
  HGDIOBJ bitmap = GetCurrentObject(hdc, OBJ_BITMAP);
  if (!bitmap || !GetObjectW(bitmap, sizeof bm, &bm)) return FALSE;
  Trace(u"PrintWatermarkToPDF: page %d x %d, watermark %d x %d", static_cast<int>(size.cx), static_cast<int>(size.cy),
        static_cast<int>(bm.bmWidth), static_cast<int>(bm.bmHeight));
  const TarnwickDEVMODE& record = writer.m_DevMode;
  const std::optional<DWORD> placement = tw::output::WatermarkPlacement(job, record);
  if (!placement) return TRUE;

  st::SettingsScope scope = job.SettingsScope();
  st::EffectiveContext ctx{scope, &record, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
  LONG rotation = st::Effective(ctx, st::PageRotation);
  if (record.Flags & tw::devmode::flags::RotatePaper) rotation = record.DM.dmOrientation == 2 ? 3 : 0;
  LONG W = size.cx, H = size.cy;
  XFORM xf{1, 0, 0, 1, 0, 0};
  switch (rotation) {
    case 1: xf = {0, -1, 1, 0, 0, static_cast<FLOAT>(H)}; std::swap(W, H); break;
    case 2: xf = {-1, 0, 0, -1, static_cast<FLOAT>(W), static_cast<FLOAT>(H)}; break;
    case 3: xf = {0, 1, -1, 0, static_cast<FLOAT>(W), 0}; std::swap(W, H); break;
    default: break;
  }
  page.SetGraphicsMode(GM_ADVANCED);
  page.SetWorldTransform(&xf);
  for (const auto& b : tw::output::WatermarkLayout(*placement, {W, H}, {bm.bmWidth, bm.bmHeight},
                                                   record.PaperWidthInPixels)) {
    const RECT& t = b.target;
    const RECT& s = b.source;
    if (b.stretch) {
      if (!page.StretchBlt(t.left, t.top, t.right - t.left, t.bottom - t.top, hdc, s.left, s.top, s.right - s.left,
                           s.bottom - s.top, SRCCOPY))
        Trace(u"PrintWatermarkToPDF: StretchBlt failed (2). Error: %d", GetLastError());
    } else if (!page.BitBlt(t.left, t.top, t.right - t.left, t.bottom - t.top, hdc, s.left, s.top, SRCCOPY)) {
      Trace(u"PrintWatermarkToPDF: BitBlt failed (1). Error: %d", GetLastError());
    }
  }
  return TRUE;
}
