// CTWMemTIFFFile: the TIFF of an in-memory job, built in the job's output
// block. A multipage document grows one TIFF there, which the job delivers
// at its end; otherwise each page's TIFF is delivered as it is made.
#include <windows.h>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "output/tiff/tiff_page.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"

using tw::output::TiffLibrary;
using tw::output::TiffUse;
using namespace tw::output::tiff;

namespace {

struct TiffCloser {
  TiffLibrary& lib;
  HTWTIFF tiff;
  ~TiffCloser() {
    if (tiff) lib.CloseTiffFile(tiff);
  }
};

}  // namespace

BOOL CTWMemTIFFFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  if (!m_pJob) return FALSE;
  CEMFImage image;
  const WCHAR* name = szFileName;
  switch (PreparePage(image, hData, bEMF, name, {ie::kNoData, ie::kNoName, 0}, false)) {
    case PageStep::Failed: return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  const TiffSettings s = ReadTiffSettings(*this);
  const DWORD page = PageNumberOf(*this);
  TiffLibrary lib;
  switch (lib.Load(TiffUse::InMemory, m_DevMode, m_pJob)) {
    case TiffLibrary::Result::NotLoaded: return FALSE;
    case TiffLibrary::Result::EntryMissing: return Fail(ie::kEntryMissing, __FILE__, __LINE__);
    case TiffLibrary::Result::Ready: break;
  }
  Trace(u"CTWMemTIFFFile :: SaveFile");
  tw::dib::BlockLock dib(image.m_hDIB);
  std::optional<PageImage> pageImage = DescribePage(dib);
  if (!pageImage) return Fail(ie::kDibNotLocked, __FILE__, __LINE__);

  // A new TIFF for every page of a document that is not one file, and for
  // the first page that goes into the block; the others are added to it.
  tw::dib::GlobalBlock& block = m_pJob->m_Output.inMemory;
  const bool first = !block;
  if (first) block = tw::dib::GlobalBlock(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1));
  if (!block) return Fail(ie::kNotOpened, __FILE__, __LINE__);
  const int mode = !s.multipage || first ? 3 : 2;
  TiffCloser open{lib, lib.OpenTiffInMemory(block.get(), static_cast<DWORD>(GlobalSize(block.get())), mode)};
  if (!open.tiff) return Fail(ie::kNotOpened, __FILE__, __LINE__);

  const ImageOutcome outcome = WriteImage(lib, open.tiff, *pageImage, page, s);
  if (outcome.result == ImageOutcome::Result::NotDefined) {
    m_pJob->HandleTiffError(ie::kNotDefined, __FILE__, __LINE__, outcome.failure.code, outcome.failure.text);
    return FALSE;
  }
  if (outcome.result == ImageOutcome::Result::NotEncoded) {
    Fail(ie::kNotEncoded, __FILE__, __LINE__);
    return Fail(ie::kNotSaved, __FILE__, __LINE__);
  }
  if (s.multipage && IsCoverAddedAtEnd(*this)) {
    lib.CloseTiffFile(open.tiff);
    open.tiff = lib.OpenTiffInMemory(block.get(), static_cast<DWORD>(GlobalSize(block.get())), 2);
    if (!open.tiff) return Fail(ie::kNotOpened, __FILE__, __LINE__);
    lib.MoveLastImageFast(open.tiff, static_cast<int>(page) - 1, 0);
  }
  if (s.pageNumbers && lib.UpdatePageNumbersInMemory) lib.UpdatePageNumbersInMemory(open.tiff, page);
  lib.CloseTiffFile(open.tiff);
  open.tiff = nullptr;
  if (!s.multipage) SendInMemoryPage(*m_pJob, block.get());
  return TRUE;
}
