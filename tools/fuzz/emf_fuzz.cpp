// libFuzzer target for the metafile reader, player and recorder: every
// input is opened as a metafile, played onto a small 24-bit bitmap, played
// through an enumeration callback that edits records before they play, and
// re-recorded into a metafile DC whose output must open again.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int CALLBACK editAndPlay(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  // Copy the record, flip an option bit where text records keep one, and
  // play the copy (as the vector page preparation does).
  std::vector<DWORD> copy(record->nSize / 4);
  std::memcpy(copy.data(), record, copy.size() * 4);
  if ((record->iType == EMR_EXTTEXTOUTW || record->iType == EMR_EXTTEXTOUTA) && record->nSize >= 76)
    copy[(36 + 16) / 4] &= ~DWORD(ETO_IGNORELANGUAGE);
  PlayEnhMetaFileRecord(hdc, table, reinterpret_cast<const ENHMETARECORD*>(copy.data()), UINT(handles));
  return 1;
}

void playOnBitmap(HENHMETAFILE emf) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 96, -64, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bmp) {
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT rect{0, 0, 95, 63};
    PlayEnhMetaFile(dc, emf, &rect);
    EnumEnhMetaFile(dc, emf, editAndPlay, nullptr, &rect);
    SelectObject(dc, old);
    DeleteObject(bmp);
  }
  DeleteDC(dc);
}

void rerecord(HENHMETAFILE emf) {
  HDC ref = GetDC(nullptr);
  RECT frame{0, 0, 2000, 1500};
  HDC meta = CreateEnhMetaFileW(ref, nullptr, &frame, nullptr);
  if (meta) {
    RECT rect{0, 0, 75, 56};
    PlayEnhMetaFile(meta, emf, &rect);
    if (HENHMETAFILE out = CloseEnhMetaFile(meta)) {
      // What the recorder writes must be a metafile again.
      UINT size = GetEnhMetaFileBits(out, 0, nullptr);
      std::vector<BYTE> bytes(size);
      GetEnhMetaFileBits(out, size, bytes.data());
      HENHMETAFILE again = SetEnhMetaFileBits(size, bytes.data());
      if (!again) std::abort();
      DeleteEnhMetaFile(again);
      DeleteEnhMetaFile(out);
    }
  }
  if (ref) ReleaseDC(nullptr, ref);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 22)) return 0;
  HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(size), data);
  if (!emf) return 0;
  ENHMETAHEADER header;
  GetEnhMetaFileHeader(emf, sizeof(header), &header);
  playOnBitmap(emf);
  rerecord(emf);
  DeleteEnhMetaFile(emf);
  return 0;
}
