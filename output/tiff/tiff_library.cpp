#include "output/tiff/tiff_library.h"

#include <type_traits>

#include "core/log/tw_log.h"

namespace tw::output {

TiffLibrary::Result TiffLibrary::Load(TiffUse use, const TarnwickDEVMODE& record, CTWJob* job) {
  Free();
  if (!module_.Load(Codec::Tiff, record, job)) return Result::NotLoaded;
  Trace(u"TIFF dll name: %s", module_.Path());
  const bool file = use != TiffUse::InMemory;
  const bool keeps = use != TiffUse::PerPage;
  bool complete = true;
  auto take = [&](auto& slot, const char* name, bool required) {
    slot = module_.Get<std::remove_reference_t<decltype(slot)>>(name);
    if (required && !slot) {
      Trace(u"TwTiff.dll: no entry point %S", name);
      complete = false;
    }
  };
  take(OpenTiffFileW, "OpenTiffFileW", file);
  take(OpenTiffInMemory, "OpenTiffInMemory", !file);
  take(DefineTiffImage, "DefineTiffImage", true);
  take(DefineTiffImageInfoBuffer, "DefineTiffImageInfoBuffer", true);
  take(DefineTiffImageInfo, "DefineTiffImageInfo", true);
  take(EncodeTiffImage, "EncodeTiffImage", true);
  take(CloseTiffFile, "CloseTiffFile", true);
  take(SaveDIBInTiffFileW, "SaveDIBInTiffFileW", file);
  take(SaveDIBInTiffFile, "SaveDIBInTiffFile", !file);
  take(GetTiffFileInfo, "GetTiffFileInfo", true);
  take(GetTiffImage, "GetTiffImage", true);
  take(UpdatePageNumbersW, "UpdatePageNumbersW", false);
  take(UpdatePageNumbersInMemory, "UpdatePageNumbersInMemory", false);
  take(SaveTiffForCiscoFormatW, "SaveTiffForCiscoFormatW", file);
  take(ConvertTiffToCiscoFormatW, "ConvertTiffToCiscoFormatW", file);
  // The in-memory writer needs no error calls; it takes them for the text of its reports.
  take(TiffError, "TiffError", file);
  take(SetTiffError, "SetTiffError", file);
  take(TiffErrorString, "TiffErrorString", file);
  take(DropTiffImage, "DropTiffImage", keeps);
  take(MoveLastImageFast, "MoveLastImageFast", keeps);
  if (complete) return Result::Ready;
  Free();
  return Result::EntryMissing;
}


void TiffLibrary::Free() {
  module_.Free();
  OpenTiffFileW = nullptr;
  OpenTiffInMemory = nullptr;
  DefineTiffImage = nullptr;
  DefineTiffImageInfoBuffer = nullptr;
  DefineTiffImageInfo = nullptr;
  EncodeTiffImage = nullptr;
  CloseTiffFile = nullptr;
  SaveDIBInTiffFileW = nullptr;
  SaveDIBInTiffFile = nullptr;
  GetTiffFileInfo = nullptr;
  GetTiffImage = nullptr;
  UpdatePageNumbersW = nullptr;
  UpdatePageNumbersInMemory = nullptr;
  SaveTiffForCiscoFormatW = nullptr;
  ConvertTiffToCiscoFormatW = nullptr;
  TiffError = nullptr;
  SetTiffError = nullptr;
  TiffErrorString = nullptr;
  DropTiffImage = nullptr;
  MoveLastImageFast = nullptr;
}

TiffFailure TiffLibrary::LastFailure() const {
  TiffFailure failure;
  if (TiffError) failure.code = TiffError();
  if (TiffErrorString && failure.code != 0) TiffErrorString(failure.text, failure.code);
  failure.text[sizeof failure.text - 1] = 0;
  return failure;
}

}  // namespace tw::output
