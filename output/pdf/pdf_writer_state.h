// What the PDF writers keep between their calls (tw_writers.h declares the
// writer classes; output/pdf/ defines them).
#pragma once

#include <windows.h>

class CPDFInt;
class CPDF;

namespace tw::output {

// The image PDF writer's document in TwPdfImage.dll.
struct ImagePdfState {
  HMODULE library = nullptr;  // TwPdfImage.dll, loaded at the first opening
  HANDLE hPDF = nullptr;      // the library's document handle (m_hPDF)
  bool open = false;          // a document is open
  bool pageSaved = false;     // a page was saved into it
};

// The vector PDF writer's document in the PDF engine.
struct VectorPdfState {
  CPDFInt* pdfInt = nullptr;  // m_pPDFInt: the interface object, null when none
  CPDF* pdf = nullptr;        // m_pPDF: its document
  DWORD page = 1;             // m_dwPage: the 1-based PDF page the next page is played into
  DWORD counter = 1;          // the page counter
  WCHAR fileName[1024] = {};  // the output file of the document
  DWORD sheetPage = 0;        // the page of the current pages-per-sheet sheet
  HDC watermarkDCs[4] = {};   // the image watermark's contexts
  bool multipage = false;     // the document's pages go to SavePDFPage
  bool saveStarted = false;
  bool fileExisted = false;   // the output file existed before the document
  bool printed = false;       // at least one page was written
  bool errorReported = false;     // the document failed: later pages do nothing
  bool anyErrorReported = false;  // the writer reported an error during the job's document
};

}  // namespace tw::output
