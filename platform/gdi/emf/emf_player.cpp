// EnumEnhMetaFile, PlayEnhMetaFile and PlayEnhMetaFileRecord.
//
// Before the first record the player saves the DC, maps the metafile's frame
// onto the destination rectangle (through whatever transform the caller had
// set), and puts the DC in the state a metafile is recorded from; after the
// last record it restores the DC, so the caller finds its alignment,
// colours, transform, objects, clip and current position as they were, and
// deletes every object the metafile left in its handle table.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "emf_playback.h"
#include "enh_metafile.h"
#include "winerror.h"

namespace tw::emf {
namespace {

// Playbacks in progress on this thread, innermost last: a callback's
// PlayEnhMetaFileRecord finds its playback here by DC and handle table.
thread_local std::vector<PlaybackContext*> t_playbacks;

struct PlaybackRegistration {
  explicit PlaybackRegistration(PlaybackContext* c) { t_playbacks.push_back(c); }
  ~PlaybackRegistration() { t_playbacks.pop_back(); }
};

PlaybackContext* findPlayback(HDC hdc, const HANDLETABLE* table) {
  for (auto it = t_playbacks.rbegin(); it != t_playbacks.rend(); ++it)
    if ((*it)->hdc == hdc && (*it)->table == table) return *it;
  return nullptr;
}

// The caller's logical -> device transform: world transform, then its
// window/viewport mapping.
Matrix callerTransform(HDC hdc) {
  XFORM w{1, 0, 0, 1, 0, 0};
  if (!GetWorldTransform(hdc, &w)) w = {1, 0, 0, 1, 0, 0};
  POINT wo{}, vo{};
  SIZE we{1, 1}, ve{1, 1};
  GetWindowOrgEx(hdc, &wo);
  GetViewportOrgEx(hdc, &vo);
  GetWindowExtEx(hdc, &we);
  GetViewportExtEx(hdc, &ve);
  Matrix mapping;
  if (we.cx != 0 && we.cy != 0) {
    mapping.m11 = double(ve.cx) / we.cx;
    mapping.m22 = double(ve.cy) / we.cy;
  }
  mapping.dx = vo.x - wo.x * mapping.m11;
  mapping.dy = vo.y - wo.y * mapping.m22;
  return Matrix::FromXform(w).Then(mapping);
}

// Reference-device pixels -> the caller's logical units: the frame (0.01 mm,
// converted with the reference device's resolution) onto the rectangle,
// edge to edge (both edges of the rectangle are part of the picture).
Matrix frameMapping(const ENHMETAHEADER& h, const RECT& rect) {
  double umx = h.szlMillimeters.cx > 0 ? h.szlMillimeters.cx * 1000.0 : h.szlMicrometers.cx;
  double umy = h.szlMillimeters.cy > 0 ? h.szlMillimeters.cy * 1000.0 : h.szlMicrometers.cy;
  double kx = umx > 0 && h.szlDevice.cx > 0 ? h.szlDevice.cx / (umx / 10.0) : 1.0;  // pixels per 0.01 mm
  double ky = umy > 0 && h.szlDevice.cy > 0 ? h.szlDevice.cy / (umy / 10.0) : 1.0;
  double l = h.rclFrame.left * kx, r = h.rclFrame.right * kx;
  double t = h.rclFrame.top * ky, b = h.rclFrame.bottom * ky;
  if (r == l || b == t) {  // no frame: the inked bounds stand in for it
    l = h.rclBounds.left;
    r = h.rclBounds.right;
    t = h.rclBounds.top;
    b = h.rclBounds.bottom;
  }
  Matrix m;
  m.m11 = r != l ? (double(rect.right) - rect.left) / (r - l) : 1.0;
  m.m22 = b != t ? (double(rect.bottom) - rect.top) / (b - t) : 1.0;
  m.dx = rect.left - l * m.m11;
  m.dy = rect.top - t * m.m22;
  return m;
}

// The DC state a metafile is recorded from.
void resetToDefaults(HDC hdc) {
  SetMapMode(hdc, MM_TEXT);
  SetWindowOrgEx(hdc, 0, 0, nullptr);
  SetViewportOrgEx(hdc, 0, 0, nullptr);
  SetGraphicsMode(hdc, GM_ADVANCED);
  SelectObject(hdc, GetStockObject(BLACK_PEN));
  SelectObject(hdc, GetStockObject(WHITE_BRUSH));
  SelectObject(hdc, GetStockObject(SYSTEM_FONT));
  SelectPalette(hdc, HPALETTE(GetStockObject(DEFAULT_PALETTE)), TRUE);
  SetBkColor(hdc, RGB(255, 255, 255));
  SetTextColor(hdc, RGB(0, 0, 0));
  SetBkMode(hdc, OPAQUE);
  SetPolyFillMode(hdc, ALTERNATE);
  SetROP2(hdc, R2_COPYPEN);
  SetStretchBltMode(hdc, BLACKONWHITE);
  SetTextAlign(hdc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  SetArcDirection(hdc, AD_COUNTERCLOCKWISE);
  SetMiterLimit(hdc, 10.0f, nullptr);
  SetBrushOrgEx(hdc, 0, 0, nullptr);
  // The caller's clip becomes the meta region: the metafile's own clipping
  // then works inside it and can never widen it.
  SetMetaRgn(hdc);
}

// Plays one record given to PlayEnhMetaFileRecord: bounded by the
// metafile's buffer when it lies in it, else by its own nSize (and by the
// memory block when it is one of the layer's global blocks).
PlayResult playGiven(PlaybackContext& c, const ENHMETARECORD* pmr) {
  const BYTE* p = reinterpret_cast<const BYTE*>(pmr);
  DWORD size = pmr->nSize;
  if (size < 8 || size % 4 != 0) return PlayResult::Malformed;
  if (c.dataBegin && p >= c.dataBegin && p < c.dataEnd) {
    if (size > size_t(c.dataEnd - p)) return PlayResult::Malformed;
  } else if (HGLOBAL block = GlobalHandle(p)) {
    if (GlobalLock(block) == p) {
      SIZE_T blockSize = GlobalSize(block);
      GlobalUnlock(block);
      if (size > blockSize) return PlayResult::Malformed;
    }
  }
  if (reinterpret_cast<uintptr_t>(p) % 4 != 0) {
    // Record structures need 4-byte alignment: play an aligned copy.
    std::vector<DWORD> copy(size / 4);
    std::memcpy(copy.data(), p, size);
    return PlayRecord(c, RecordView(reinterpret_cast<const BYTE*>(copy.data()), size));
  }
  return PlayRecord(c, RecordView(p, size));
}

int CALLBACK playEveryRecord(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  PlayEnhMetaFileRecord(hdc, table, record, static_cast<UINT>(handles));
  return 1;  // a record that fails does not stop the picture
}

}  // namespace

PlayResult PlayRecord(PlaybackContext& c, const RecordView& r) {
  try {
    bool handled = false;
    PlayResult result = PlayStateRecord(c, r, handled);
    if (!handled) result = PlayObjectRecord(c, r, handled);
    if (!handled) result = PlayDrawingRecord(c, r, handled);
    if (!handled) result = PlayBitmapRecord(c, r, handled);
    if (!handled) result = PlayTextRecord(c, r, handled);
    if (!handled) return PlayResult::Ok;  // a record type we do not know changes nothing we draw
    return result;
  } catch (const std::bad_alloc&) {
    // A record too large for memory fails alone; nothing escapes the API.
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return PlayResult::Failed;
  }
}

}  // namespace tw::emf

using namespace tw::emf;

BOOL WINAPI EnumEnhMetaFile(HDC hdc, HENHMETAFILE hmf, ENHMFENUMPROC proc, LPVOID param, CONST RECT* lpRect) {
  auto data = LookupEnhMetaFile(hmf);
  if (!data) return FALSE;  // LookupEnhMetaFile set ERROR_INVALID_HANDLE
  if (!proc || (hdc && !lpRect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const HeaderInfo& info = data->Header();
  UINT handles = info.header.nHandles ? info.header.nHandles : 1;
  std::vector<HGDIOBJ> slots(handles, nullptr);
  slots[0] = hmf;

  PlaybackContext c;
  c.hdc = hdc;
  c.table = reinterpret_cast<HANDLETABLE*>(slots.data());
  c.tableSize = handles;
  c.dataBegin = data->Bytes().data();
  c.dataEnd = c.dataBegin + data->Bytes().size();
  c.header = info.header;

  int savedLevel = 0;
  if (hdc) {
    Matrix caller = callerTransform(hdc);
    savedLevel = SaveDC(hdc);
    if (savedLevel == 0) return FALSE;
    c.init = frameMapping(info.header, *lpRect).Then(caller);
    resetToDefaults(hdc);
    if (!ApplyTransform(c)) {
      // The rectangle or the caller's transform collapses the picture.
      RestoreDC(hdc, savedLevel);
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    MoveToEx(hdc, 0, 0, nullptr);
  }

  BOOL result = TRUE;
  {
    PlaybackRegistration registration(&c);
    RecordReader reader(data->Bytes());
    BYTE* record;
    DWORD size;
    RecordReader::Status status;
    while ((status = reader.Next(record, size)) == RecordReader::Status::Record) {
      c.malformed = false;
      int go = proc(hdc, c.table, reinterpret_cast<ENHMETARECORD*>(record), static_cast<int>(handles),
                    reinterpret_cast<LPARAM>(param));
      if (c.malformed) {
        SetLastError(ERROR_INVALID_DATA);
        result = FALSE;
        break;
      }
      if (!go) {
        result = FALSE;
        break;
      }
    }
    if (status == RecordReader::Status::Malformed) {
      SetLastError(ERROR_INVALID_DATA);
      result = FALSE;
    }
  }

  if (hdc) RestoreDC(hdc, savedLevel);  // also undoes the metafile's unbalanced saves
  for (UINT i = 1; i < handles; ++i)
    if (slots[i]) DeleteObject(slots[i]);
  return result;
}

BOOL WINAPI PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, CONST RECT* lprect) {
  if (!hdc || !lprect) {
    SetLastError(hdc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return EnumEnhMetaFile(hdc, hmf, playEveryRecord, nullptr, lprect);
}

BOOL WINAPI PlayEnhMetaFileRecord(HDC hdc, LPHANDLETABLE pht, CONST ENHMETARECORD* pmr, UINT cht) {
  if (!pmr || !pht || cht == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!hdc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  PlaybackContext* c = findPlayback(hdc, pht);
  PlaybackContext adHoc;  // a record played outside an enumeration: the DC as it is
  if (!c) {
    adHoc.hdc = hdc;
    adHoc.table = pht;
    adHoc.tableSize = cht;
    c = &adHoc;
  }
  PlayResult result = playGiven(*c, pmr);
  if (result == PlayResult::Malformed) {
    c->malformed = true;
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  return result == PlayResult::Ok;
}
