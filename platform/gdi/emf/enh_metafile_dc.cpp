// CreateEnhMetaFileW and CloseEnhMetaFile: a metafile DC is a DC of the GDI
// core that carries our recorder.
#include <memory>

#include "emf_recorder.h"
#include "enh_metafile.h"
#include "tw/pathmap.h"
#include "winerror.h"

namespace tw::emf {
namespace {

// The description as GDI keeps it: "application\0title\0\0", at most up to
// its double NUL (and never more than a page of characters).
std::u16string readDescription(LPCWSTR text) {
  std::u16string out;
  if (!text) return out;
  constexpr size_t kMax = 4096;
  for (size_t i = 0; i < kMax; ++i) {
    out.push_back(text[i]);
    if (text[i] == 0 && i > 0 && text[i - 1] == 0) return out;
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

}  // namespace
}  // namespace tw::emf

using namespace tw::emf;

HDC WINAPI CreateEnhMetaFileW(HDC hdc, LPCWSTR lpFilename, CONST RECT* lprc, LPCWSTR lpDesc) {
  std::filesystem::path file;
  if (lpFilename) {
    if (DWORD e = tw::path::ToHost(lpFilename, file)) {
      SetLastError(e);
      return nullptr;
    }
    // The file is made now, so a bad name fails here rather than at the end.
    if (DWORD e = WriteMetafileFile(file, {})) {
      SetLastError(e);
      return nullptr;
    }
  }
  auto recorder = std::make_unique<EmfRecorder>(lprc, readDescription(lpDesc), file);
  HDC meta = tw::gdi::CreateRecordingDc(hdc, std::move(recorder));
  if (!meta && !file.empty()) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
  }
  return meta;
}

HENHMETAFILE WINAPI CloseEnhMetaFile(HDC hdc) {
  auto dc = tw::gdi::LookupDc(hdc);
  if (!dc || !dynamic_cast<EmfRecorder*>(dc->Recorder())) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::unique_ptr<tw::gdi::DcRecorder> detached = dc->DetachRecorder();
  auto* recorder = static_cast<EmfRecorder*>(detached.get());
  std::vector<BYTE> bytes = recorder->Finish(dc->Caps());
  std::filesystem::path file = recorder->File();
  detached.reset();
  dc.reset();
  DeleteDC(hdc);

  if (bytes.empty()) {  // memory ran out while recording
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  DWORD error = 0;
  auto data = EnhMetaFileData::FromOwned(std::move(bytes), &error);
  if (!data) {
    SetLastError(error);
    return nullptr;
  }
  if (!file.empty()) {
    if (DWORD e = WriteMetafileFile(file, data->Bytes())) {
      SetLastError(e);
      return nullptr;
    }
  }
  return InsertEnhMetaFile(std::move(data));
}
