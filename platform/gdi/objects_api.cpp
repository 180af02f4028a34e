// GetStockObject, SelectObject, DeleteObject, GetObject, GetObjectType,
// GetCurrentObject.
#include <cstring>

#include "dc.h"
#include "winerror.h"

using namespace tw::gdi;

namespace tw::gdi {
// Selects a clip region (SelectObject with an HRGN): clip_api.cpp.
int SelectClipRegion(Dc& dc, const RegionData* region, int mode);
}  // namespace tw::gdi

HGDIOBJ GetStockObject(int i) {
  HGDIOBJ handle = StockHandle(i);
  if (!handle) SetLastError(ERROR_INVALID_PARAMETER);
  return handle;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  auto object = LookupObject(h);
  if (!object) return nullptr;
  DcState& s = dc->State();
  DWORD type = object->Type();
  if (type == OBJ_REGION) {
    // Selecting a region sets the clip region; the result is its complexity.
    RegionData data = static_cast<Region&>(*object).Get();
    int result = SelectClipRegion(*dc, &data, RGN_COPY);
    return result == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(result));
  }
  if (type != OBJ_PEN && type != OBJ_EXTPEN && type != OBJ_BRUSH && type != OBJ_FONT && type != OBJ_BITMAP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (type == OBJ_BITMAP && dc->Kind() != DeviceKind::Memory) {
    SetLastError(ERROR_INVALID_PARAMETER);  // only memory DCs draw on bitmaps
    return nullptr;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SelectObject(*dc, h, *object)) return nullptr;
  HGDIOBJ previous = nullptr;
  switch (type) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
      previous = s.penHandle;
      s.penHandle = h;
      s.pen = std::static_pointer_cast<const Pen>(std::static_pointer_cast<Pen>(object));
      break;
    case OBJ_BRUSH:
      previous = s.brushHandle;
      s.brushHandle = h;
      s.brush = std::static_pointer_cast<Brush>(object);
      break;
    case OBJ_FONT:
      previous = s.fontHandle;
      s.fontHandle = h;
      s.font = std::static_pointer_cast<Font>(object);
      break;
    case OBJ_BITMAP:
      previous = s.bitmapHandle;
      if (!dc->SelectBitmap(h, std::static_pointer_cast<Bitmap>(object))) return nullptr;
      break;
    default: break;
  }
  return previous;
}

BOOL DeleteObject(HGDIOBJ ho) {
  auto object = LookupObject(ho);
  if (!object) return FALSE;
  DWORD type = object->Type();
  if (type == OBJ_DC || type == OBJ_MEMDC || type == OBJ_ENHMETADC || type == OBJ_ENHMETAFILE ||
      type == OBJ_METAFILE || type == OBJ_METADC) {
    SetLastError(ERROR_INVALID_HANDLE);  // DeleteDC / DeleteEnhMetaFile own these
    return FALSE;
  }
  if (IsStockObject(ho)) return TRUE;  // deleting a stock object is a harmless no-op
  NotifyRecordersOfDelete(ho, *object);
  return RemoveObject(ho) ? TRUE : FALSE;
}

int GetObjectW(HANDLE h, int c, LPVOID pv) {
  auto object = LookupObject(h);
  if (!object) return 0;
  if (pv && c < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return object->GetObjectData(c, pv);
}

int GetObjectA(HANDLE h, int c, LPVOID pv) {
  auto object = LookupObject(h);
  if (!object) return 0;
  if (object->Type() != OBJ_FONT) return GetObjectW(h, c, pv);
  // LOGFONTA: the face name narrowed (faces are ASCII in practice; others become '?').
  const LOGFONTW& w = static_cast<const Font&>(*object).logfont;
  LOGFONTA a{};
  std::memcpy(&a, &w, offsetof(LOGFONTW, lfFaceName));
  for (int i = 0; i < LF_FACESIZE && w.lfFaceName[i]; ++i)
    a.lfFaceName[i] = w.lfFaceName[i] < 0x80 ? static_cast<CHAR>(w.lfFaceName[i]) : '?';
  if (!pv) return sizeof(a);
  int n = c < static_cast<int>(sizeof(a)) ? c : static_cast<int>(sizeof(a));
  if (n <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::memcpy(pv, &a, static_cast<std::size_t>(n));
  return n;
}

DWORD GetObjectType(HGDIOBJ h) {
  auto object = LookupObject(h);
  return object ? object->Type() : 0;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  const DcState& s = dc->State();
  switch (type) {
    case OBJ_PEN:
    case OBJ_EXTPEN: return s.penHandle;
    case OBJ_BRUSH: return s.brushHandle;
    case OBJ_FONT: return s.fontHandle;
    case OBJ_PAL: return s.paletteHandle;
    case OBJ_BITMAP: return s.bitmapHandle;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

BOOL UnrealizeObject(HGDIOBJ h) { return LookupObject(h) ? TRUE : FALSE; }
