// The BMP writers: a page DIB behind a 14-byte file header, in a file
// (codes 0 and 34) or in a memory block for the client (in-memory output).
#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "tw/packed_dib.h"

namespace {

constexpr WORD kBmpSignature = 0x4D42;  // "BM"
constexpr CTWFile::ShapeErrors kBmpErrors{22, 23, 24};
constexpr int kDibNotLocked = 4;
constexpr int kNotCreated = 25;
constexpr int kNotWritten = 26;

// The file header of a page DIB and how many bytes of the block the DIB
// holds (header, colour table, rows). The table and the rows are those the
// header describes, checked against the block.
struct BmpParts {
  BITMAPFILEHEADER file{};
  size_t dibBytes = 0;
};
std::optional<BmpParts> DescribeBmp(std::span<const BYTE> dib) {
  std::optional<tw::dib::Layout> layout = tw::dib::ReadLayout(dib);
  if (!layout || layout->Core()) return std::nullopt;
  BmpParts parts;
  parts.dibBytes = layout->bitsOffset + layout->imageBytes;
  parts.file.bfType = kBmpSignature;
  parts.file.bfSize = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + parts.dibBytes);
  parts.file.bfOffBits = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + layout->bitsOffset);
  return parts;
}

struct FileCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using FilePtr = std::unique_ptr<void, FileCloser>;

bool WriteAll(HANDLE file, const void* data, size_t size) {
  DWORD written = 0;
  return size <= 0xFFFFFFFFu && WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size;
}

}  // namespace

CTWBMPFile::~CTWBMPFile() { Trace(u"~CTWBMPFile"); }

BOOL CTWBMPFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWBMPFile :: SaveFile");
  CEMFImage image;
  const WCHAR* name = szFileName;
  switch (PreparePage(image, hData, bEMF, name, kBmpErrors)) {
    case PageStep::Failed: return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  tw::dib::BlockLock dib(image.m_hDIB);
  std::optional<BmpParts> parts = dib.ok() ? DescribeBmp(dib.bytes()) : std::nullopt;
  if (!parts) return Fail(kDibNotLocked, __FILE__, __LINE__);

  FilePtr file(CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return ReportWriteFailure(u"Cannot write BMP file: ", name, kNotCreated, __FILE__, __LINE__);
  }
  if (!WriteAll(file.get(), &parts->file, sizeof parts->file) || !WriteAll(file.get(), dib.data(), parts->dibBytes)) {
    // A file cut short is no bitmap: it does not stay behind.
    file.reset();
    DeleteFileW(name);
    return Fail(kNotWritten, __FILE__, __LINE__);
  }
  return TRUE;
}

BOOL CTWMemBMPFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWMemBMPFile :: SaveFile");
  CEMFImage image;
  const WCHAR* name = szFileName;
  switch (PreparePage(image, hData, bEMF, name, kBmpErrors, false)) {
    case PageStep::Failed: return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  Trace(u"CTWMemBMPFile :: SaveFile1");
  tw::dib::GlobalBlock block(image.TakeDIB());
  std::optional<BmpParts> parts;
  {
    tw::dib::BlockLock dib(block.get());
    if (dib.ok()) parts = DescribeBmp(dib.bytes());
  }
  if (!parts) return Fail(kDibNotLocked, __FILE__, __LINE__);
  // The block grows by the file header and the DIB moves up behind it.
  HGLOBAL grown = GlobalReAlloc(block.get(), sizeof(BITMAPFILEHEADER) + parts->dibBytes, GMEM_MOVEABLE);
  if (!grown) return FALSE;
  block.release();
  block = tw::dib::GlobalBlock(grown);
  {
    tw::dib::BlockLock bmp(block.get());
    if (!bmp.ok()) return Fail(kDibNotLocked, __FILE__, __LINE__);
    std::memmove(bmp.data() + sizeof(BITMAPFILEHEADER), bmp.data(), parts->dibBytes);
    std::memcpy(bmp.data(), &parts->file, sizeof parts->file);
  }
  Trace(u"CTWMemBMPFile :: SaveFile2");
  SendInMemoryPage(*m_pJob, block.get());
  Trace(u"CTWMemBMPFile :: SaveFile3");
  return TRUE;
}
