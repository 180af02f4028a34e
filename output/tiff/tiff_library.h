// The TIFF codec library as the TIFF writers load it: the record's
// TiffDllName resolved and loaded, and the entry points each way of writing
// needs taken by name.
#pragma once

#include <string>

#include "output/twfile/tw_file.h"
#include "tw_tiff_api.h"

namespace tw::output {

// Which writer loads the library; each takes its own set of entry points.
enum class TiffUse {
  KeptOpen,  // the multipage file kept open for the document (and one file per page)
  PerPage,   // a page added by its own open, encode and close
  InMemory,  // the in-memory TIFF
};

// The library's error after a failed call: its code and text.
struct TiffFailure {
  int code = 0;
  char text[TW_TIFF_ERROR_TEXT_SIZE] = {};
};

class TiffLibrary {
 public:
  enum class Result { Ready, NotLoaded, EntryMissing };
  // Loads the record's library ("TwTiff.dll cannot be loaded" is reported
  // through the job) and takes the entry points of `use`. EntryMissing: an
  // entry point the use needs is not exported; the library is freed again
  // and nothing is reported (the writer's internal error follows).
  Result Load(TiffUse use, const TarnwickDEVMODE& record, CTWJob* job);
  void Free();
  bool Loaded() const { return module_.Loaded(); }
  // The library's last error, when it exports its error calls.
  TiffFailure LastFailure() const;

  OpenTiffFileW_PROC OpenTiffFileW = nullptr;
  OpenTiffInMemory_PROC OpenTiffInMemory = nullptr;
  DefineTiffImage_PROC DefineTiffImage = nullptr;
  DefineTiffImageInfoBuffer_PROC DefineTiffImageInfoBuffer = nullptr;
  DefineTiffImageInfo_PROC DefineTiffImageInfo = nullptr;
  EncodeTiffImage_PROC EncodeTiffImage = nullptr;
  CloseTiffFile_PROC CloseTiffFile = nullptr;
  SaveDIBInTiffFileW_PROC SaveDIBInTiffFileW = nullptr;
  SaveDIBInTiffFile_PROC SaveDIBInTiffFile = nullptr;
  GetTiffFileInfo_PROC GetTiffFileInfo = nullptr;
  GetTiffImage_PROC GetTiffImage = nullptr;
  UpdatePageNumbersW_PROC UpdatePageNumbersW = nullptr;                // optional
  UpdatePageNumbersInMemory_PROC UpdatePageNumbersInMemory = nullptr;  // optional
  SaveTiffForCiscoFormatW_PROC SaveTiffForCiscoFormatW = nullptr;
  ConvertTiffToCiscoFormatW_PROC ConvertTiffToCiscoFormatW = nullptr;
  TiffError_PROC TiffError = nullptr;
  SetTiffError_PROC SetTiffError = nullptr;
  TiffErrorString_PROC TiffErrorString = nullptr;
  DropTiffImage_PROC DropTiffImage = nullptr;
  MoveLastImageFast_PROC MoveLastImageFast = nullptr;

 private:
  CodecLibrary module_;
};

}  // namespace tw::output
