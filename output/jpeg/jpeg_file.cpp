// The JPEG writers: the page DIB saved by the JPEG library, loaded for the
// page (codes 16, 28 and 33 with SaveDIBInJPEGFileW, code 17 as CIELAB with
// SaveDIBInJPEGFileExW).
#include <windows.h>

#include <cstring>
#include <string>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/effective.h"
#include "output/twfile/tw_writers.h"
#include "tw_jpeg_api.h"

namespace {

using tw::output::Codec;
using tw::output::CodecLibrary;

// Page DIBs the library takes: colour tables (converted through the table)
// and true colour.
constexpr std::initializer_list<WORD> kJpegDepths = {1, 4, 8, 24};

// The internal error numbers of one of the two writers.
struct JpegNumbers {
  CTWFile::ShapeErrors shape;
  int entryMissing;
  int notWritten;
  const WCHAR* prefix;
  const char* entry;
};
constexpr JpegNumbers kPlain{{12, 13, 0}, 15, 16, u"Cannot write JPEG file: ", "SaveDIBInJPEGFileW"};
constexpr JpegNumbers kLab{{17, 18, 19}, 20, 21, u"Cannot write JPEG LAB file: ", "SaveDIBInJPEGFileExW"};

// The effective loss ratio (the Save-As value, else the record's), 1 to 100.
DWORD Quality(const TarnwickDEVMODE& record, const CTWJob* job) {
  if (!job) return tw::devmode::ClampLossRatio(record.LossRatio);
  tw::settings::SettingsScope scope = job->SettingsScope();
  tw::settings::EffectiveContext ctx{scope, &record, job->MergeStateForSettings(), job->m_bTiffViewer != FALSE};
  return tw::settings::EffectiveLossRatio(ctx);
}

// Tells the JPEG library where the TIFF library is, when it wants to know
// and the TIFF library's name resolves.
void PassTiffLibrary(const CodecLibrary& jpeg, const TarnwickDEVMODE& record) {
  auto setName = jpeg.Get<SetTiffDllName_PROC>("SetTiffDllName");
  WCHAR path[MAX_PATH];
  if (!setName || !GetCorrectDllName(record.TiffDllName.Get().c_str(), path)) return;
  char ansi[1024] = {};
  if (WideCharToMultiByte(CP_ACP, 0, path, -1, ansi, sizeof ansi, nullptr, nullptr) > 0) setName(ansi);
}

// One save with the JPEG library, loaded for it: FALSE when the library
// cannot be loaded or lacks the writer's entry point (both reported here),
// or when the save fails.
template <typename Proc, typename Call>
bool SaveWithLibrary(const TarnwickDEVMODE& record, CTWJob* job, const JpegNumbers& numbers, Call&& call) {
  CodecLibrary library;
  if (!library.Load(Codec::Jpeg, record, job)) return false;
  PassTiffLibrary(library, record);
  auto save = library.Get<Proc>(numbers.entry);
  if (!save) {
    if (job) job->HandleError(numbers.entryMissing, __FILE__, __LINE__);
    return false;
  }
  return call(save) == TW_JPEG_OK;
}

}  // namespace

BOOL CTWJPEGFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWJPEGFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kPlain.shape,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWJPEGFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  if (!szFileName) return Fail(kPlain.shape.noName, __FILE__, __LINE__);
  // This writer has no number for a missing page image: it fails silently.
  if (!IsPageDIB(hDIB, kJpegDepths)) {
    LogMessageCapture(TWLOG_ERROR, u"! Error: CTWJPEGFile::SaveFile: no page DIB");
    return FALSE;
  }
  const DWORD quality = Quality(m_DevMode, m_pJob);
  auto call = [&](SaveDIBInJPEGFileW_PROC save) {
    int x = save(szFileName, hDIB, static_cast<int>(quality));
    Trace(u"pSaveDIBInJPEGFile x = %d", x);
    return x;
  };
  if (SaveWithLibrary<SaveDIBInJPEGFileW_PROC>(m_DevMode, m_pJob, kPlain, call)) return TRUE;
  return ReportWriteFailure(kPlain.prefix, szFileName, kPlain.notWritten, __FILE__, __LINE__);
}

BOOL CTWJPEGLabFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWJPEGLabFile::SaveFile: %s", szFileName ? szFileName : u"");
  return SaveRenderedPage(hData, szFileName, bEMF, kLab.shape,
                          [this](HGLOBAL hDIB, const WCHAR* name) { return SavePageDIB(hDIB, name); });
}

BOOL CTWJPEGLabFile::SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName) {
  if (!szFileName) return Fail(kLab.shape.noName, __FILE__, __LINE__);
  if (!IsPageDIB(hDIB, kJpegDepths)) return Fail(kLab.shape.noDib, __FILE__, __LINE__);
  // The block the library reads: quality, 2 x 2 chroma sampling, CIELAB,
  // the fax marker and optimised tables; everything else zero.
  TW_JPEG_PARAMS params;
  std::memset(&params, 0, sizeof params);
  params.wQuality = static_cast<WORD>(Quality(m_DevMode, m_pJob));
  params.wHSampling = 2;
  params.wVSampling = 2;
  params.wColorSpace = 1;
  params.dwFaxMarker = 1;
  params.dwOptimize = 1;
  auto call = [&](SaveDIBInJPEGFileExW_PROC save) {
    int x = save(szFileName, hDIB, &params);
    Trace(u"pSaveDIBInJPEGFileEx x = %d", x);
    return x;
  };
  if (SaveWithLibrary<SaveDIBInJPEGFileExW_PROC>(m_DevMode, m_pJob, kLab, call)) return TRUE;
  return ReportWriteFailure(kLab.prefix, szFileName, kLab.notWritten, __FILE__, __LINE__);
}
