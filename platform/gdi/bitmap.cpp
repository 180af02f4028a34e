// Bitmap objects: pixel memory in DIB layout, GetObject, DC ownership.
#include "bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "winerror.h"

namespace tw::gdi {
namespace {

// GDI refuses bitmaps whose pixels would not fit in 2 GB.
constexpr std::size_t kMaxBitmapBytes = 0x7FFFFFFF;

std::unique_ptr<BYTE[]> allocate(std::size_t bytes) {
  try {
    return std::make_unique<BYTE[]>(bytes);  // zeroed
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

bool sizeOk(int width, int height, int bpp, std::size_t& bytes) {
  if (width <= 0 || height <= 0 || width > 0x3FFFFFFF / std::max(bpp, 1)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::size_t stride = Dib::StrideFor(width, bpp);
  if (stride > kMaxBitmapBytes / static_cast<std::size_t>(height)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  bytes = stride * static_cast<std::size_t>(height);
  return true;
}

}  // namespace

std::shared_ptr<Bitmap> Bitmap::MakeDdb(int width, int height, int bpp) {
  std::size_t bytes;
  if (!sizeOk(width, height, bpp, bytes)) return nullptr;
  auto bitmap = std::make_shared<Bitmap>();
  if (!bitmap->dib.SetFormat(bpp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bitmap->memory_ = allocate(bytes);
  if (!bitmap->memory_) return nullptr;
  bitmap->dib.width = width;
  bitmap->dib.height = height;
  bitmap->dib.top = bitmap->memory_.get();
  bitmap->dib.pitch = static_cast<std::ptrdiff_t>(Dib::StrideFor(width, bpp));
  if (bpp == 1) bitmap->dib.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  return bitmap;
}

std::shared_ptr<Bitmap> Bitmap::MakeDibSection(int width, int height, bool topDown, int bpp,
                                               const std::vector<RGBQUAD>& colors, const DWORD masks[3],
                                               DWORD compression, const BITMAPINFOHEADER& header) {
  std::size_t bytes;
  if (!sizeOk(width, height, bpp, bytes)) return nullptr;
  auto bitmap = std::make_shared<Bitmap>();
  if (!bitmap->dib.SetFormat(bpp, masks[0], masks[1], masks[2])) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bitmap->memory_ = allocate(bytes);
  if (!bitmap->memory_) return nullptr;
  std::size_t stride = Dib::StrideFor(width, bpp);
  bitmap->dibSection = true;
  bitmap->dsCompression = compression;
  bitmap->dib.width = width;
  bitmap->dib.height = height;
  bitmap->dib.colors = colors;
  if (topDown) {
    bitmap->dib.top = bitmap->memory_.get();
    bitmap->dib.pitch = static_cast<std::ptrdiff_t>(stride);
  } else {
    bitmap->dib.top = bitmap->memory_.get() + stride * static_cast<std::size_t>(height - 1);
    bitmap->dib.pitch = -static_cast<std::ptrdiff_t>(stride);
  }
  bitmap->dsHeader = header;
  bitmap->dsHeader.biSize = sizeof(BITMAPINFOHEADER);
  bitmap->dsHeader.biWidth = width;
  bitmap->dsHeader.biHeight = topDown ? -height : height;
  bitmap->dsHeader.biPlanes = 1;
  bitmap->dsHeader.biBitCount = static_cast<WORD>(bpp);
  bitmap->dsHeader.biCompression = compression;
  bitmap->dsHeader.biSizeImage = static_cast<DWORD>(bytes);
  if (bpp <= 8) bitmap->dsHeader.biClrUsed = static_cast<DWORD>(colors.size());
  return bitmap;
}

int Bitmap::GetObjectData(int cb, void* pv) const {
  BITMAP bm{};
  bm.bmType = 0;
  bm.bmWidth = dib.width;
  bm.bmHeight = dib.height;
  bm.bmPlanes = 1;
  bm.bmBitsPixel = static_cast<WORD>(dib.bpp);
  if (dibSection) {
    bm.bmWidthBytes = static_cast<LONG>(Dib::StrideFor(dib.width, dib.bpp));
    bm.bmBits = memory_.get();
  } else {
    // Device-dependent bitmaps report WORD-aligned rows, as GetBitmapBits uses.
    bm.bmWidthBytes = static_cast<LONG>((static_cast<std::size_t>(dib.width) * dib.bpp + 15) / 16 * 2);
  }
  if (dibSection && (!pv || cb >= static_cast<int>(sizeof(DIBSECTION)))) {
    if (!pv) return sizeof(DIBSECTION);
    DIBSECTION ds{};
    ds.dsBm = bm;
    ds.dsBmih = dsHeader;
    if (dsCompression == BI_BITFIELDS) std::copy(dib.masks, dib.masks + 3, ds.dsBitfields);
    std::memcpy(pv, &ds, sizeof(ds));
    return sizeof(DIBSECTION);
  }
  if (!pv) return sizeof(BITMAP);
  if (cb < static_cast<int>(sizeof(BITMAP))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::memcpy(pv, &bm, sizeof(bm));
  return sizeof(BITMAP);
}

bool Bitmap::Select(const Dc* dc) {
  std::lock_guard lock(mutex_);
  if (owner_ && owner_ != dc) return false;
  owner_ = dc;
  return true;
}

void Bitmap::Deselect(const Dc* dc) {
  std::lock_guard lock(mutex_);
  if (owner_ == dc) owner_ = nullptr;
}

bool Bitmap::SelectedIn(const Dc* dc) const {
  std::lock_guard lock(mutex_);
  return owner_ == dc;
}

}  // namespace tw::gdi
