// CTWPNGFile (codes 24 and 32, the image of 27): the page DIB through the
// PNG writer library.
#include "core/log/tw_log.h"
#include "output/png/png_codec.h"
#include "output/twfile/tw_writers.h"

namespace {
constexpr CTWFile::ShapeErrors kPngErrors{209, 210, 211};
constexpr int kNotWritten = 212;
}  // namespace

BOOL CTWPNGFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  return SaveRenderedPage(hData, szFileName, bEMF, kPngErrors,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWPNGFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  if (!szFileName) return Fail(kPngErrors.noName, __FILE__, __LINE__);
  if (!IsPageDIB(hDIB, {1, 4, 8, 24})) return Fail(kPngErrors.noDib, __FILE__, __LINE__);
  if (SaveDIBInPNGFormat(szFileName, hDIB, 0)) return TRUE;
  char reason[TW_PNG_ERROR_TEXT_SIZE] = {};
  int index = GetPNGLastError(reason);
  Trace(u"CTWPNGFile::SaveFile: SaveDIBInPNGFormat failed (%d)", index);
  return ReportWriteFailure(u"Cannot write PNG file: ", szFileName, kNotWritten, __FILE__, __LINE__);
}
