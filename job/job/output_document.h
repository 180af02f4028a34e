// The document-wide output of a job's writer: which one the document has,
// whether it was opened, and the in-memory output block.
#pragma once

#include "tw/packed_dib.h"
#include "tw/wintypes.h"

namespace tw::job {

struct OutputDocument {
  // The one file the writer keeps for the whole document.
  enum class Kind {
    None,       // every page goes to SaveFile
    ImagePdf,   // 20, 35 as one file: OpenPDFFile, SavePDFPage, ClosePDFFile
    VectorPdf,  // 36, 38, 40, 41: InitializeInterface, SavePDFPage (one file), UninitializeInterface
    Tiff,       // one kept-open TIFF: OpenTIFFFile, SaveTIFFPage, CloseTIFFFile
  };
  Kind kind = Kind::None;
  bool oneFile = false;  // the document goes into one file
  bool opened = false;   // the open operation succeeded: the close is due
  // Output generated in memory as one multipage image (the job owns it).
  tw::dib::GlobalBlock inMemory;
};

}  // namespace tw::job
