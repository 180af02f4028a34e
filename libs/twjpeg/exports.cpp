// The exports of TwJpeg.dll; nothing thrown crosses them.
#include <new>
#include <string_view>

#include "jpeg_codec.h"
#include "tw/modulekit.h"
#include "tw_jpeg_api.h"

namespace {

std::u16string_view Text(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

template <class R, class Body>
R Guarded(R failure, Body&& body) {
  try {
    return body();
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return failure;
}

}  // namespace

TW_EXPORT void WINAPI SetTiffDllName(LPCSTR tiffLibraryPath) {
  Guarded(0, [&] {
    twjpeg::SetTiffLibrary(tiffLibraryPath);
    return 0;
  });
}

TW_EXPORT int WINAPI SaveDIBInJPEGFileW(LPCWSTR fileName, HGLOBAL dib, int quality) {
  return Guarded(TW_JPEG_ERROR_MEMORY, [&] {
    twjpeg::SaveOptions options;
    options.quality = quality;
    return twjpeg::SaveDib(Text(fileName), dib, options);
  });
}

TW_EXPORT int WINAPI SaveDIBInJPEGFileExW(LPCWSTR fileName, HGLOBAL dib, const TW_JPEG_PARAMS* params) {
  return Guarded(TW_JPEG_ERROR_MEMORY, [&] {
    if (!params || params->wColorSpace > 1) return TW_JPEG_ERROR_ARGUMENT;
    twjpeg::SaveOptions options;
    options.quality = params->wQuality;
    options.lab = params->wColorSpace == 1;
    options.hSampling = params->wHSampling ? params->wHSampling : 2;
    options.vSampling = params->wVSampling ? params->wVSampling : 2;
    options.faxMarker = params->dwFaxMarker != 0;
    options.optimize = params->dwOptimize != 0;
    return twjpeg::SaveDib(Text(fileName), dib, options);
  });
}

TW_EXPORT HGLOBAL WINAPI LoadJPEGIntoDIBW(LPCWSTR path) {
  return Guarded<HGLOBAL>(nullptr, [&] { return twjpeg::LoadJpeg(Text(path)); });
}
