// Internal: the object behind HBITMAP. Every bitmap keeps its pixels in DIB
// layout: device-dependent bitmaps (CreateBitmap, CreateCompatibleBitmap,
// CreateDIBitmap) as a top-down DIB of the device's depth, DIB sections in
// exactly the layout their header asked for, so the bits pointer handed out
// is the live pixel memory.
#pragma once
#include <memory>
#include <mutex>

#include "dib.h"
#include "objects.h"

namespace tw::gdi {

class Dc;

class Bitmap : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_BITMAP; }
  int GetObjectData(int cb, void* pv) const override;

  // A new bitmap of the given size and depth with zeroed pixels; null with
  // ERROR_NOT_ENOUGH_MEMORY (or ERROR_INVALID_PARAMETER for a size GDI
  // refuses). Depth 1 without a table is monochrome (black 0, white 1).
  static std::shared_ptr<Bitmap> MakeDdb(int width, int height, int bpp);
  // A DIB section for a parsed header (colour table and masks taken over).
  static std::shared_ptr<Bitmap> MakeDibSection(int width, int height, bool topDown, int bpp,
                                                const std::vector<RGBQUAD>& colors, const DWORD masks[3],
                                                DWORD compression, const BITMAPINFOHEADER& header);

  Dib dib;                       // the pixels (owned by `memory_`)
  bool dibSection = false;
  BITMAPINFOHEADER dsHeader{};   // DIB sections: the header as GetObject reports it
  DWORD dsCompression = BI_RGB;
  SIZE dimension{0, 0};          // SetBitmapDimensionEx (0.1 mm)

  // Monochrome device-dependent bitmap: blits map its bits through the text
  // and background colours of the DC they meet.
  bool MonoDdb() const { return !dibSection && dib.bpp == 1; }

  // One DC at a time: Select fails when another DC has it.
  bool Select(const Dc* dc);
  void Deselect(const Dc* dc);
  bool SelectedIn(const Dc* dc) const;

 private:
  std::unique_ptr<BYTE[]> memory_;
  mutable std::mutex mutex_;
  const Dc* owner_ = nullptr;
};

}  // namespace tw::gdi
