// A page's metafile from its data block, its page size, and the metafile
// that draws a raw page.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "render/emf/emf_internal.h"
#include "tw/packed_dib.h"

namespace tw::render {
namespace {

constexpr DWORD kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableHeader = 24;

}  // namespace

HENHMETAFILE ReadPageMetaFile(HGLOBAL hData, CTWJob* job, bool report) {
  auto fail = [&](int number, int line) -> HENHMETAFILE {
    if (report && job) job->HandleError(number, __FILE__, line);
    return nullptr;
  };
  if (!hData) return fail(100, __LINE__);
  tw::dib::BlockLock page(hData);
  if (!page.ok()) return fail(101, __LINE__);
  const std::size_t size = page.size();
  std::size_t offset = 0;
  DWORD key = 0;
  if (size >= sizeof key) std::memcpy(&key, page.data(), sizeof key);
  if (key == kPlaceableKey) offset = kPlaceableHeader;
  // The metafile's own length is believed only as far as the block goes.
  if (size < offset + kMinEmfHeaderSize) return fail(104, __LINE__);
  DWORD length = 0;
  std::memcpy(&length, page.data() + offset + offsetof(ENHMETAHEADER, nBytes), sizeof length);
  if (length < kMinEmfHeaderSize || length > size - offset) return fail(104, __LINE__);
  tw::dib::GlobalBlock copy(GlobalAlloc(GHND, length));
  if (!copy) return fail(102, __LINE__);
  tw::dib::BlockLock bytes(copy.get());
  if (!bytes.ok()) return fail(103, __LINE__);
  std::memcpy(bytes.data(), page.data() + offset, length);
  HENHMETAFILE emf = SetEnhMetaFileBits(length, bytes.data());
  if (!emf) return fail(104, __LINE__);
  return emf;
}

}  // namespace tw::render

HENHMETAFILE ReadMetaFile(HGLOBAL hData, CTWJob* pJob) { return tw::render::ReadPageMetaFile(hData, pJob, true); }

SIZE CEMFImage::GetEMFPageSizeInPixels(HENHMETAFILE hEmf, LONG* pPelsPerMeter, RECT* pBounds, UINT headerSize) {
  if (pPelsPerMeter) *pPelsPerMeter = 0;
  if (pBounds) *pBounds = {0, 0, -1, -1};
  if (!hEmf || headerSize < tw::render::kMinEmfHeaderSize) return {0, 0};
  std::vector<BYTE> buffer(headerSize);
  if (GetEnhMetaFileHeader(hEmf, headerSize, reinterpret_cast<ENHMETAHEADER*>(buffer.data())) == 0) return {0, 0};
  ENHMETAHEADER header{};
  std::memcpy(&header, buffer.data(), std::min<std::size_t>(headerSize, sizeof header));
  tw::render::EmfPageSize page = tw::render::EmfPageSizeFromHeader(header);
  if (page.size.cx <= 0) return {0, 0};
  if (pPelsPerMeter) *pPelsPerMeter = page.pelsPerMeter;
  if (pBounds) *pBounds = page.bounds;
  return page.size;
}

HENHMETAFILE CEMFImage::ReadMetaFileFromRawData(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob) {
  using namespace tw::render;
  m_pJob = pJob;
  if (!pJob) return nullptr;
  if (!FillBITMAPINFOForRawData(pDevMode)) {
    Fail(251, __FILE__, __LINE__);
    return nullptr;
  }
  auto scope = pJob->SettingsScope();
  DcPtr printer =
      CreatePrinterDC(*pJob, pDevMode, scope, tw::settings::Read(scope, tw::settings::MessagingUseWindowsSessionId));
  if (!printer) return nullptr;
  RECT frame{0, 0, GetDeviceCaps(printer.get(), HORZSIZE) * 100, GetDeviceCaps(printer.get(), VERTSIZE) * 100};
  HDC meta = CreateEnhMetaFileW(printer.get(), nullptr, &frame, nullptr);
  if (!meta) {
    Trace(u"CEMFImage::ReadMetaFileFromRawData: CreateEnhMetaFile FAILED (%d)", GetLastError());
    return nullptr;
  }
  m_dwImageHeight = static_cast<DWORD>(m_lpBmi->bmiHeader.biHeight);
  {
    tw::dib::BlockLock raw(hData);
    auto layout = raw.ok() ? tw::dib::ReadLayout(raw.bytes()) : std::nullopt;
    if (!layout) {
      Trace(u"CEMFImage::ReadMetaFileFromRawData: the raw page is not a bitmap");
    } else {
      const auto* info = reinterpret_cast<const BITMAPINFO*>(raw.data());
      BitmapPtr bitmap(CreateDIBitmap(meta, &info->bmiHeader, CBM_INIT, raw.data() + layout->bitsOffset, info,
                                      DIB_RGB_COLORS));
      DcPtr source(CreateCompatibleDC(meta));
      if (!bitmap || !source) {
        Trace(u"CEMFImage::ReadMetaFileFromRawData: no bitmap of the page (%d)", GetLastError());
      } else {
        SelectGuard select(source.get(), bitmap.get());
        if (!StretchBlt(meta, 0, 0, layout->width, layout->height, source.get(), 0, 0, layout->width, layout->height,
                        SRCCOPY))
          Trace(u"CEMFImage::ReadMetaFileFromRawData: StretchBlt FAILED (%d)", GetLastError());
      }
    }
  }
  return CloseEnhMetaFile(meta);
}
