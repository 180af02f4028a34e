// The TIFF writers (codes 3-10, 21-23, 30, 42-47). CTWTIFFFile writes files:
// one file per page (SaveFile), or the one multipage file the job keeps open
// for the document (OpenTIFFFile, SaveTIFFPage, CloseTIFFFile). Pages are
// added by reopening the file instead when "Always Reopen TIFF File" is 1,
// for code 10, and while the document's output is split. CTWMemTIFFFile
// builds the TIFF in the job's in-memory output block.
#pragma once

#include <memory>

#include "output/twfile/tw_file.h"

struct TW_TIFF_FILE;

namespace tw::output {
class TiffLibrary;
}

class CTWTIFFFile : public CTWFile {
 public:
  CTWTIFFFile();
  ~CTWTIFFFile() override;
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  // The one multipage file the job keeps open for the document: opened at
  // the start of the document, a page per SaveTIFFPage, closed at its end.
  BOOL OpenTIFFFile(const WCHAR* szFileName);
  BOOL SaveTIFFPage(HGLOBAL hData, DWORD dwSize, BOOL bEMF);
  BOOL CloseTIFFFile();

 private:
  // A page added by its own open, encode and close, the library loaded for it.
  BOOL SavePageByReopening(HGLOBAL hData, const WCHAR* szFileName, BOOL bEMF);
  // Steps after the page is encoded into the open file: the library's late
  // error, the definition released.
  void FinishImage(int image);
  // The cover page just added goes to its place in front of the document.
  BOOL MoveCoverToFront(DWORD page);
  // A file that ended with no image at all is not left behind.
  void RemoveEmptyOutput(const WCHAR* szFileName);

  TW_TIFF_FILE* m_hTiff = nullptr;  // the kept-open multipage file
  WCHAR m_szFileName[MAX_PATH] = {};
  BOOL m_bErrorReported = FALSE;
  std::unique_ptr<tw::output::TiffLibrary> m_pLibrary;  // loaded from OpenTIFFFile to CloseTIFFFile
  DWORD m_dwImagesWritten = 0;                         // images added since OpenTIFFFile
};

class CTWMemTIFFFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};
