// CTWGIFFile (codes 25 and 31, the image of 26): the page DIB through the
// GIF writer library, which only ever makes a new file.
#include <iterator>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "output/gif/gif_writer.h"
#include "output/twfile/tw_writers.h"

namespace {
constexpr CTWFile::ShapeErrors kGifErrors{209, 210, 211};
}  // namespace

BOOL CTWGIFFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  return SaveRenderedPage(hData, szFileName, bEMF, kGifErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWGIFFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  if (!szFileName) return Fail(kGifErrors.noName, __FILE__, __LINE__);
  if (!IsPageDIB(hDIB, {1, 4, 8})) return Fail(kGifErrors.noDib, __FILE__, __LINE__);
  Trace(u"############ CALLING SaveDIBInGIFFormat()");
  int error = 0;
  if (SaveDIBInGIFFormat(szFileName, hDIB, 0, &error)) {
    Trace(u"############ SaveDIBInGIFFormat() Returned with success");
    return TRUE;
  }
  Trace(u"############ SaveDIBInGIFFormat() Returned with error");
  // A bad path has been reported by the check itself.
  if (!m_pJob || !m_pJob->ValidateOutputFile(u"Cannot write GIF file: ", szFileName, TRUE)) return FALSE;
  WCHAR text[128];
  swprintf_s(text, std::size(text), u"212: Error saving GIF image. GIF error %d", error);
  m_pJob->HandleError(text, __FILE__, __LINE__);
  return FALSE;
}
