// The PCX writer (code 1): one PCX file per page. The DCX writer (code 2):
// PCX pages behind a table of their offsets, one file for the document
// when output is multipage.
#include <windows.h>

#include <array>
#include <memory>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "output/pcx/pcx_codec.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/page_seams.h"

namespace {

using tw::output::UniqueFile;

constexpr CTWFile::ShapeErrors kPcxErrors{38, 39, 40};
constexpr int kPcxNotWritten = 306;
constexpr CTWFile::ShapeErrors kDcxErrors{42, 43, 44};
constexpr int kDcxNotCreated = 45;
constexpr int kDcxPageNotAdded = 46;

// The DCX table: the magic number, then 10 023 page offsets; the first zero
// ends the list, so the last slot stays zero.
constexpr DWORD kDcxMagic = 0x3ADE68B1;
constexpr std::size_t kDcxSlots = 10023;
using DcxTable = std::array<DWORD, 1 + kDcxSlots>;
static_assert(sizeof(DcxTable) == 40096);

HANDLE CreateAnew(const WCHAR* name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Adds the page to the DCX file: its PCX image at the end, its offset in
// the first free slot. A page that cannot be added leaves the file as it was.
bool AddDcxPage(const WCHAR* name, const tw::output::PageDib& dib, const tw::pcx::Screen& screen) {
  UniqueFile file(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return false;
  auto table = std::make_unique<DcxTable>();
  DWORD read = 0;
  if (!ReadFile(file.get(), table->data(), sizeof(DcxTable), &read, nullptr) || read != sizeof(DcxTable) ||
      (*table)[0] != kDcxMagic)
    return false;
  std::size_t slot = 1;
  while (slot < kDcxSlots && (*table)[slot] != 0) ++slot;
  if (slot >= kDcxSlots) return false;  // the table is full
  LARGE_INTEGER end{}, zero{};
  if (!SetFilePointerEx(file.get(), zero, &end, FILE_END) || end.QuadPart > 0xFFFFFFFFLL) return false;
  if (!tw::pcx::EncodePage(dib, screen, file.get())) {
    SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
    SetEndOfFile(file.get());
    return false;
  }
  (*table)[slot] = static_cast<DWORD>(end.QuadPart);
  (*table)[slot + 1] = 0;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(slot * sizeof(DWORD));
  if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
      !tw::output::WriteAll(file.get(), &(*table)[slot], 2 * sizeof(DWORD))) {
    SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
    SetEndOfFile(file.get());
    return false;
  }
  return file.Close();
}

}  // namespace

BOOL CTWPCXFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWPCXFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kPcxErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWPCXFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  tw::output::PageDib dib = tw::pcx::LockPcxPage(hDIB);
  if (!dib.ok()) return Fail(kPcxErrors.noDib, __FILE__, __LINE__);
  tw::pcx::Screen screen;
  UniqueFile file(CreateAnew(szFileName));
  bool written = file.ok() && tw::pcx::ReadScreen(screen) && tw::pcx::EncodePage(dib, screen, file.get());
  if (file.ok()) {
    written = file.Close() && written;
    // A page cut short is no image: it does not stay behind.
    if (!written) DeleteFileW(szFileName);
  }
  if (!written) return ReportWriteFailure(u"Cannot write PCX file: ", szFileName, kPcxNotWritten, __FILE__, __LINE__);
  return TRUE;
}

BOOL CTWDCXFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWDCXFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kDcxErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWDCXFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  tw::output::PageDib dib = tw::pcx::LockPcxPage(hDIB);
  if (!dib.ok()) return Fail(kDcxErrors.noDib, __FILE__, __LINE__);
  // The document's first page (or sheet), or a file per page: a new file.
  DWORD page = m_dwPageNo;
  if (m_pJob) {
    const DWORD perSheet = tw::render::GetSheetState(*m_pJob).pagesPerSheet;
    if (perSheet > 1) page = m_pJob->m_Pages.SheetNumber(perSheet) + 1;
  }
  if (page == 1 || !m_pJob || !tw::naming::DocumentGoesIntoOneFile(*m_pJob)) {
    auto table = std::make_unique<DcxTable>();
    (*table)[0] = kDcxMagic;
    UniqueFile file(CreateAnew(szFileName));
    const bool created = file.ok();
    if (!created || !tw::output::WriteAll(file.get(), table->data(), sizeof(DcxTable)) || !file.Close()) {
      if (created) {
        file.Close();
        DeleteFileW(szFileName);
      }
      return ReportWriteFailure(u"Cannot write DCX file: ", szFileName, kDcxNotCreated, __FILE__, __LINE__);
    }
  }
  tw::pcx::Screen screen;
  if (!tw::pcx::ReadScreen(screen) || !AddDcxPage(szFileName, dib, screen))
    return Fail(kDcxPageNotAdded, __FILE__, __LINE__);
  return TRUE;
}
