// Where the ink of a page image lies, and whether a page has any.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>

#include "job/job/tw_job.h"
#include "render/emf/emf_internal.h"
#include "tw/packed_dib.h"

using namespace tw::render;

namespace {

// Finds inked pixels in the rows of a 1-, 8- or 24-bit DIB: a pixel is
// inked when R + G + B <= 3 x threshold (through the table for palette
// pixels).
class InkFinder {
 public:
  static std::optional<InkFinder> For(const tw::dib::Layout& layout, const BYTE* block, BYTE threshold) {
    if (layout.bits != 1 && layout.bits != 8 && layout.bits != 24) return std::nullopt;
    InkFinder f(layout.width, layout.bits, threshold);
    if (layout.bits <= 8) {
      // Entries the table does not hold are black.
      for (DWORD i = 0; i < (DWORD{1} << layout.bits); ++i) {
        RGBQUAD q{0, 0, 0, 0};
        if (i < layout.colors) {
          if (layout.Core()) {
            RGBTRIPLE t;
            std::memcpy(&t, block + layout.tableOffset + 3 * i, sizeof t);
            q = {t.rgbtBlue, t.rgbtGreen, t.rgbtRed, 0};
          } else {
            std::memcpy(&q, block + layout.tableOffset + 4 * i, sizeof q);
          }
        }
        f.ink_[i] = f.Inked(q.rgbRed, q.rgbGreen, q.rgbBlue);
      }
    }
    return f;
  }

  // The first inked pixel of a row, or -1.
  LONG First(const BYTE* row) const {
    switch (bits_) {
      case 1: return FirstMono(row);
      case 8:
        for (LONG x = 0; x < width_; ++x)
          if (ink_[row[x]]) return x;
        return -1;
      default:
        for (LONG x = 0; x < width_; ++x, row += 3)
          if (Inked(row[2], row[1], row[0])) return x;
        return -1;
    }
  }
  // The last inked pixel of a row that has one at `first` or later.
  LONG Last(const BYTE* row, LONG first) const {
    for (LONG x = width_ - 1; x > first; --x)
      if (At(row, x)) return x;
    return first;
  }

 private:
  InkFinder(LONG width, WORD bits, BYTE threshold) : width_(width), bits_(bits), limit_(3 * threshold) {}
  bool Inked(unsigned r, unsigned g, unsigned b) const { return r + g + b <= limit_; }
  bool At(const BYTE* row, LONG x) const {
    switch (bits_) {
      case 1: return ink_[(row[x / 8] >> (7 - x % 8)) & 1];
      case 8: return ink_[row[x]];
      default: return Inked(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
  }
  // One-bit rows are looked at a byte (or eight) at a time.
  LONG FirstMono(const BYTE* row) const {
    if (ink_[0] == ink_[1]) return ink_[0] ? 0 : -1;
    const BYTE clean = ink_[0] ? 0xFF : 0x00;  // a byte without ink
    const std::size_t whole = static_cast<std::size_t>(width_) / 8;
    std::size_t i = 0;
    const std::uint64_t clean8 = clean ? ~std::uint64_t{0} : 0;
    for (; i + 8 <= whole; i += 8) {
      std::uint64_t v;
      std::memcpy(&v, row + i, sizeof v);
      if (v != clean8) break;
    }
    for (; i < whole; ++i)
      if (row[i] != clean) return static_cast<LONG>(8 * i) + std::countl_zero(static_cast<BYTE>(row[i] ^ clean));
    if (unsigned rest = static_cast<unsigned>(width_ % 8)) {
      BYTE inked = static_cast<BYTE>((row[whole] ^ clean) & ~(0xFFu >> rest));
      if (inked) return static_cast<LONG>(8 * whole) + std::countl_zero(inked);
    }
    return -1;
  }

  LONG width_;
  WORD bits_;
  unsigned limit_;
  std::array<bool, 256> ink_{};
};

struct InkExtent {
  bool any = false;
  LONG minX = 0, maxX = 0;
  LONG firstRow = 0, lastRow = 0;  // memory rows
};

// The inked extent of a DIB; stops at the first ink when `firstOnly`.
// Empty when the DIB cannot be read or is of another depth.
std::optional<InkExtent> ScanInk(HGLOBAL hDIB, BYTE threshold, bool firstOnly) {
  tw::dib::BlockLock lock(hDIB);
  if (!lock.ok()) return std::nullopt;
  auto layout = tw::dib::ReadLayout(lock.bytes());
  if (!layout) return std::nullopt;
  auto finder = InkFinder::For(*layout, lock.data(), threshold);
  if (!finder) return std::nullopt;
  InkExtent e;
  for (LONG m = 0; m < layout->height; ++m) {
    const BYTE* row = lock.data() + layout->MemoryRow(m);
    LONG first = finder->First(row);
    if (first < 0) continue;
    if (firstOnly) return InkExtent{true, first, first, m, m};
    LONG last = finder->Last(row, first);
    if (!e.any) {
      e = {true, first, last, m, m};
    } else {
      e.minX = std::min(e.minX, first);
      e.maxX = std::max(e.maxX, last);
      e.lastRow = m;
    }
  }
  return e;
}

}  // namespace

BOOL GetDIBSize(HGLOBAL hDIB, LONG* pWidth, LONG* pHeight) {
  tw::dib::BlockLock lock(hDIB);
  if (!lock.ok() || lock.size() < sizeof(BITMAPINFOHEADER)) return FALSE;
  BITMAPINFOHEADER h;
  std::memcpy(&h, lock.data(), sizeof h);
  if (pWidth) *pWidth = h.biWidth;
  if (pHeight) *pHeight = h.biHeight == std::numeric_limits<LONG>::min() ? 0 : std::abs(h.biHeight);
  return TRUE;
}

BOOL FindContentMargins(HGLOBAL hDIB, BYTE threshold, LONG* pLeft, LONG* pRight, LONG* pTop, LONG* pBottom) {
  auto extent = ScanInk(hDIB, threshold, false);
  if (!extent) return FALSE;
  LONG width = 0, height = 0;
  bool topDown = false;
  {
    tw::dib::BlockLock lock(hDIB);
    auto layout = tw::dib::ReadLayout(lock.bytes());
    if (!layout) return FALSE;
    width = layout->width;
    height = layout->height;
    topDown = layout->topDown;
  }
  LONG left = -1, right = -1, top = -1, bottom = -1;
  if (extent->any) {
    left = extent->minX;
    right = width - 1 - extent->maxX;
    // Memory rows run from the page's bottom in a bottom-up DIB.
    LONG fromStart = extent->firstRow, fromEnd = height - 1 - extent->lastRow;
    top = topDown ? fromStart : fromEnd;
    bottom = topDown ? fromEnd : fromStart;
  }
  if (pLeft) *pLeft = left;
  if (pRight) *pRight = right;
  if (pTop) *pTop = top;
  if (pBottom) *pBottom = bottom;
  return TRUE;
}

BOOL IsBlankPage(HGLOBAL hData, CTWJob* pJob, BOOL bRaw) {
  // A page that cannot be examined is not dropped: it goes on to be
  // rendered, where its fault is reported.
  constexpr BYTE kThreshold = 254;
  if (!hData) return FALSE;
  if (bRaw) {
    auto ink = ScanInk(hData, kThreshold, true);
    return ink && !ink->any;
  }
  EmfPtr emf(ReadPageMetaFile(hData, pJob, false));
  if (!emf) return FALSE;
  LONG ppm = 0;
  RECT bounds{0, 0, -1, -1};
  SIZE size = CEMFImage::GetEMFPageSizeInPixels(emf.get(), &ppm, &bounds, GetEnhMetaFileHeader(emf.get(), 0, nullptr));
  if (size.cx <= 0 || size.cy <= 0) return FALSE;
  if (BoundsEmpty(bounds)) return TRUE;
  if (!pJob) return FALSE;
  TarnwickDEVMODE copy = pJob->m_DevMode;
  DcPtr printer = CreatePrinterDC(*pJob, &copy, pJob->SettingsScope(), false);
  DcPtr memory(CreateCompatibleDC(nullptr));
  HeaderPtr header(CEMFImage::FillBITMAPINFO2(nullptr, &pJob->m_DevMode, size.cx, size.cy, ppm, ppm));
  if (!printer || !memory || !header) return FALSE;
  BitmapPtr bitmap(GetDIBSection2(memory.get(), header.get()));
  if (!bitmap) return FALSE;
  {
    SelectGuard select(memory.get(), bitmap.get());
    PatBlt(memory.get(), 0, 0, size.cx, size.cy, WHITENESS);
    RECT rect{0, 0, size.cx, size.cy};
    GdiMutexScope mutex(*pJob);
    PlayEnhMetaFile(memory.get(), emf.get(), &rect);
  }
  HGLOBAL copyDib = nullptr;
  if (!CopyBitmapToNewDIB(memory.get(), bitmap.get(), header.get(), &copyDib)) return FALSE;
  tw::dib::GlobalBlock owner(copyDib);
  auto ink = ScanInk(copyDib, kThreshold, true);
  return ink && !ink->any;
}
