// Pages the job makes itself: cover pages, the barcode separator page and
// the metafile of a job-made page.
#include <windows.h>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/group/group_file.h"
#include "job/job/tw_job.h"
#include "job/page/page_seams.h"
#include "output/twfile/tw_file.h"
#include "tw/packed_dib.h"

namespace dmf = tw::devmode::flags;

namespace {

struct DcDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
using DcPtr = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

struct EmfDeleter {
  void operator()(HENHMETAFILE h) const { DeleteEnhMetaFile(h); }
};
using EmfPtr = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, EmfDeleter>;

// A fax cover page is sent at fine resolution: kinds 2 and 0 become 3 and 1.
DWORD CoverFaxMode(DWORD kind) { return kind == 2 ? 3 : kind == 0 ? 1 : kind; }

}  // namespace

HGLOBAL CTWJob::MakePageMetafile(const TarnwickDEVMODE& devMode, DWORD coverIndex, bool cover, DWORD& size) {
  size = 0;
  TarnwickDEVMODE dm = devMode;
  // The page is made with width and height swapped for landscape.
  SwapLandscapeWidthHeight(dm);
  DcPtr printer(CreateDCW(nullptr, m_szPrinterName, nullptr, reinterpret_cast<const DEVMODEW*>(&dm)));
  if (!printer) return nullptr;
  // The frame is the paper size in 0.01 mm.
  RECT frame = {0, 0, tw::devmode::GetPaperWidth(dm) * 10, tw::devmode::GetPaperLength(dm) * 10};
  HDC recorder = CreateEnhMetaFileW(printer.get(), nullptr, &frame, nullptr);
  if (!recorder) return nullptr;
  if (cover)
    tw::page::DrawCoverPage(*this, recorder, coverIndex, GetDeviceCaps(printer.get(), LOGPIXELSX),
                            GetDeviceCaps(printer.get(), LOGPIXELSY));
  EmfPtr emf(CloseEnhMetaFile(recorder));
  UINT bytes = emf ? GetEnhMetaFileBits(emf.get(), 0, nullptr) : 0;
  if (!bytes) return nullptr;
  tw::dib::GlobalBlock block(GlobalAlloc(GHND, bytes));
  tw::dib::BlockLock lock(block.get());
  if (!lock.ok() || GetEnhMetaFileBits(emf.get(), bytes, lock.data()) != bytes) return nullptr;
  lock.Unlock();
  size = bytes;
  return block.release();
}

BOOL CTWJob::AddCoverPage(DWORD index) {
  Trace(u"> CTWJob::AddCoverPage %u", index);
  const bool fax = (m_DevMode.Flags & dmf::FaxOutput) != 0;
  const DWORD faxMode = tw::devmode::GetFaxMode(&m_DevMode);
  if (fax) {
    tw::devmode::SetFaxMode(m_DevMode, CoverFaxMode(faxMode));
    if (m_pOutputFile) m_pOutputFile->m_DevMode = m_DevMode;
  }
  // The cover page's context: 24 bits unless the output is black and white.
  TarnwickDEVMODE dm = m_DevMode;
  const DWORD mode = tw::devmode::GetColorMode(&dm);
  dm.ColorMode = mode;
  dm.DM.dmBitsPerPel = mode != 0 ? 24 : 1;
  DWORD size = 0;
  tw::dib::GlobalBlock block(MakePageMetafile(dm, index, true, size));
  BOOL written = TRUE;
  if (block) {
    m_dwActPage = index;
    // A cover is the job's own page: it passes page selection and the blank
    // test, and a failure to write it fails the document.
    tw::job::JobMadePage own(m_Pages);
    written = StartPage();
    if (written) {
      m_dwPageDataSize = size;
      written = EndPage(block.get());
    }
  } else {
    Trace(u"CTWJob::AddCoverPage: cover page %u could not be made", index);
  }
  if (fax) {
    tw::devmode::SetFaxMode(m_DevMode, faxMode);
    if (m_pOutputFile) m_pOutputFile->m_DevMode = m_DevMode;
  }
  return written;
}

BOOL CTWJob::CreateCoverPage(HGLOBAL hData, BOOL bRaw) {
  Trace(u"> CTWJob::CreateCoverPage");
  if (!m_pOutputFile || !hData) return FALSE;
  if (!WritePageImage(hData, !bRaw)) return FALSE;
  if (!ForwardPage(hData, bRaw)) return FALSE;
  WritePageHandOffs(true);
  if (!UpdateGroupFile()) return FALSE;
  SendMessageToClients(*this, 3, m_szActFileName);
  if (!CallPluginEndPage()) return FALSE;
  tw::page::UpdatePageBatesNumber(*this);
  tw::group::WriteLastOutputFile(*this);

  // The next page, which the calling EndPage writes from the same data.
  m_Pages.sheetIndex = m_dwActPage++;
  tw::page::ClearBarcodeText(*this);
  tw::page::ResetOcrErrors(*this);
  if (!PageMayStart()) return FALSE;
  StartTextOutputPage();
  if (!m_bGenerateInMemory && m_dwActPage != 1 && !GenerateFilenames(FALSE)) return FALSE;
  SendMessageToClients(*this, 2, m_szActFileName);
  return TRUE;
}
