// The IOCA writer (code 19: a one-page document per file) and the MO:DCA
// writer (code 48: pages added to the document in the file), both written by
// the TIFF library, which they keep loaded from their first page on.
#include <windows.h>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "output/common/page_dib.h"
#include "output/twfile/tw_writers.h"
#include "tw_tiff_api.h"

namespace {

constexpr CTWFile::ShapeErrors kIocaErrors{100, 101, 0};
// The library's defaults: its own choice of compression, JPEG quality 90.
constexpr int kCompression = 0;
constexpr int kQuality = 90;

// The library and the entry point, loaded at the first page; FALSE after
// the message (the library is not kept then).
template <typename Proc>
BOOL LoadEntry(tw::output::CodecLibrary& library, Proc& entry, const char* name, const TarnwickDEVMODE& record,
               CTWJob* job) {
  if (entry) return TRUE;
  if (!library.Loaded() && !library.Load(tw::output::Codec::Tiff, record, job)) return FALSE;
  entry = library.Get<Proc>(name);
  if (entry) return TRUE;
  library.Free();
  LogMessageCapture(TWLOG_ERROR, u"! Error: TwTiff.dll has no %hs", name);
  if (job) job->HandleError(tw::output::CodecNotLoadedText(tw::output::Codec::Tiff), __FILE__, __LINE__);
  return FALSE;
}

// The path check after the library refused the page: nothing more is reported.
BOOL Refused(CTWJob* job, const WCHAR* prefix, const WCHAR* name, int result) {
  Trace(u"%s%s: the library returned %d", prefix, name, result);
  if (job) job->ValidateOutputFile(prefix, name, TRUE);
  return FALSE;
}

}  // namespace

CTWIOCAFile::~CTWIOCAFile() = default;

BOOL CTWIOCAFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWIOCAFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kIocaErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWIOCAFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  if (!tw::output::PageDib(hDIB, {1, 4, 8, 24}).ok()) return FALSE;
  SaveDIBInIOCAFormatW_PROC save = m_Library.Get<SaveDIBInIOCAFormatW_PROC>("SaveDIBInIOCAFormatW");
  if (!LoadEntry(m_Library, save, "SaveDIBInIOCAFormatW", m_DevMode, m_pJob)) return FALSE;
  const int result = save(szFileName, hDIB, kCompression, kQuality);
  return result == 0 ? TRUE : Refused(m_pJob, u"Cannot write IOCA file: ", szFileName, result);
}

CTWMODCAFile::~CTWMODCAFile() = default;

BOOL CTWMODCAFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWMODCAFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kIocaErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWMODCAFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  if (!tw::output::PageDib(hDIB, {1, 4, 8, 24}).ok()) return FALSE;
  InsertMODCAPageW_PROC insert = m_Library.Get<InsertMODCAPageW_PROC>("InsertMODCAPageW");
  if (!LoadEntry(m_Library, insert, "InsertMODCAPageW", m_DevMode, m_pJob)) return FALSE;
  const int result = insert(szFileName, TW_MODCA_AFTER_LAST_PAGE, hDIB, kCompression, kQuality);
  return result == 0 ? TRUE : Refused(m_pJob, u"Cannot write MO:DCA file: ", szFileName, result);
}
