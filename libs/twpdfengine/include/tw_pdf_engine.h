// TwPdfEngine.dll: the PDF engine's document classes CPDF and CPDFPage.
// The interface object CPDFInt (TwPdfInterface.dll, tw_pdf_interface.h)
// makes the CPDF and carries most settings; the writers link both libraries
// (shared objects with the Windows file names, found in the program's
// folder).
//
// A document (CPDF) is saved to a file or to memory:
//   StartSavePDFFileW(name) | StartSavePDFToMemory(nullptr)
//   per page: AddPage / InsertPage, or CPDFInt::ExecuteMetaFile(1, n, TRUE);
//             more layers (CPDFInt::ExecuteMetaFile(1, n, FALSE)), drawing
//             on the page (CPDFPage), SetPageSize, the OCR text layer;
//             WritePageToPDFFile / WritePageToPDFMemory (GetPage(n))
//   EndSavePDFFile() | EndSavePDFToMemory()
// Pages are numbered from 1 in the finished document. One page is open at a
// time; it is drawn when it is written, so its size (SetPageSize) may be
// decided after its content. A new page placed at n goes before the page
// now at n (InsertPage; an appended page takes n = GetNumberOfPages() + 1).
//
// The file is written beside its target and takes the target's place when
// EndSavePDFFile succeeds: a failed or abandoned save (the CPDF destroyed
// without it) leaves no partial file, removes a target the save created, and
// leaves a file being appended to exactly as it was.
//
// Errors: every failing call sets the engine error (GetLastError); the
// writers report 310 + the code.
#pragma once
#include <windows.h>

#include <memory>

#if defined(TW_PDF_ENGINE_BUILD)
#define TW_PDF_ENGINE_API __attribute__((visibility("default")))
#else
#define TW_PDF_ENGINE_API
#endif

// --- engine error codes (CPDF::GetLastError, CPDFInt::GetLastError) ---
#define PDF_ERROR_NONE 0
#define PDF_ERROR_ARGUMENT 1    // a bad argument, or a call out of order
#define PDF_ERROR_MEMORY 2      // out of memory
#define PDF_ERROR_OUTPUT 3      // the output cannot be created or written
#define PDF_ERROR_NOT_PDF 4     // the file to append to is not a PDF the engine can read
#define PDF_ERROR_ENCRYPTED 5   // the file to append to is encrypted and no password of the job opens it
#define PDF_ERROR_METAFILE 6    // not a usable metafile (or none loaded)
#define PDF_ERROR_PAGE 7        // the page is not the open page of the document
#define PDF_ERROR_DRAWING 8     // the drawing library failed (cairo)
#define PDF_ERROR_DOCUMENT 9    // the document could not be finished (qpdf)
#define PDF_ERROR_ENCRYPTION 10 // the encryption asked for is not possible

// --- keys of CPDF::SetIntValue and CPDFInt::SetIntValue / SetBoolValue ---
// (0 or false: the key is not written)
#define PDF_KEY_HIDE_TOOLBAR 20481   // bool: /ViewerPreferences /HideToolbar
#define PDF_KEY_HIDE_MENUBAR 20482   // bool: /HideMenubar
#define PDF_KEY_HIDE_WINDOWUI 20483  // bool: /HideWindowUI
#define PDF_KEY_FIT_WINDOW 20484     // bool: /FitWindow
#define PDF_KEY_CENTER_WINDOW 20485  // bool: /CenterWindow
#define PDF_KEY_DISPLAY_TITLE 20486  // bool: /DisplayDocTitle
// /PageLayout: 1 SinglePage, 2 OneColumn, 3 TwoColumnLeft, 4 TwoColumnRight,
// 5 TwoPageLeft, 6 TwoPageRight.
#define PDF_KEY_PAGE_LAYOUT 20487
// /PageMode: 1 UseOutlines, 2 UseThumbs, 3 FullScreen.
#define PDF_KEY_PAGE_MODE 20488
// The open action's view: 1 /Fit, 2 /FitH, 3 /FitV, 4 /FitB, 5 actual size
// (/XYZ null null 1), 6 the zoom of PDF_KEY_ZOOM (percent).
#define PDF_KEY_MAGNIFICATION 20489
#define PDF_KEY_ZOOM 20490       // CPDF: percent, for magnification 6
#define PDF_KEY_OPEN_PAGE 20491  // CPDF: the page shown first (1-based)

namespace twpdf {
class Document;
}

// A page of a document, held by value. It is legal while it names the open
// page of a live document; its drawing calls work as on a DC whose device
// is the page (its pixels and resolutions, as given to AddPage).
class TW_PDF_ENGINE_API CPDFPage {
 public:
  CPDFPage();
  ~CPDFPage();
  CPDFPage(const CPDFPage&);
  CPDFPage& operator=(const CPDFPage&);

  bool IsLegal() const;
  int GetPageNumber() const;  // the page's place in the document; 0 when not legal

  // The page's size in the document, in points (default: pixels / dpi x 72).
  BOOL SetPageSize(double widthPoints, double heightPoints);

  // Drawing (page pixels), recorded and played when the page is written.
  // GetDC gives the DC the calls below draw on; it stays valid until the
  // next metafile layer or the page's write.
  HDC GetDC();
  int SetGraphicsMode(int mode);
  BOOL SetWorldTransform(const XFORM* xform);
  BOOL BitBlt(int x, int y, int width, int height, HDC source, int xSrc, int ySrc, DWORD rop);
  BOOL StretchBlt(int x, int y, int width, int height, HDC source, int xSrc, int ySrc, int widthSrc, int heightSrc,
                  DWORD rop);
  BOOL AlphaBlend(int x, int y, int width, int height, HDC source, int xSrc, int ySrc, int widthSrc, int heightSrc,
                  BLENDFUNCTION blend);
  // A font made by the engine for the page; it belongs to the page (freed
  // when the page is written) and is selected with SelectObject.
  HFONT CreateFontIndirectW(const LOGFONTW* logfont);
  HGDIOBJ SelectObject(HGDIOBJ object);
  int SetBkMode(int mode);
  COLORREF SetTextColor(COLORREF color);
  UINT SetTextAlign(UINT align);
  UINT GetTextAlign();
  BOOL TextOutW(int x, int y, LPCWSTR text, int count);

  // The invisible text layer (OCR words): each word is laid out to fill its
  // rectangle (page pixels), on the rectangle's bottom, at `fontSize` pixels
  // (the rectangle's height when 0), in the engine's own embedded face (the
  // font name is accepted for the record); selectable and searchable, never
  // seen. `reserved` must be null.
  BOOL BeginOCRText();
  BOOL WriteOCRText(const RECT* rect, LPCWSTR text, LPCWSTR fontName, double fontSize, void* reserved);
  BOOL EndOCRText();

 private:
  friend class CPDF;
  CPDFPage(const std::shared_ptr<twpdf::Document>& document, unsigned long long id);
  std::weak_ptr<twpdf::Document> m_document;
  unsigned long long m_nId = 0;
};

class TW_PDF_ENGINE_API CPDF {
 public:
  CPDF();
  ~CPDF();  // abandons a save that was not ended
  CPDF(const CPDF&) = delete;
  CPDF& operator=(const CPDF&) = delete;

  BOOL StartSavePDFFileW(LPCWSTR fileName);
  BOOL StartSavePDFToMemory(void* reserved);  // reserved: null
  BOOL WritePageToPDFFile(CPDFPage& page);
  BOOL WritePageToPDFMemory(CPDFPage& page);
  BOOL EndSavePDFFile();
  // The document in a movable global memory block (the caller frees it), or null.
  HGLOBAL EndSavePDFToMemory();

  // Add the pages to the existing file instead of replacing it (set before
  // the save starts). An existing file must be a PDF the engine can read,
  // opening without a password or with the job's owner or user password;
  // otherwise the start fails (PDF_ERROR_NOT_PDF, PDF_ERROR_ENCRYPTED) and
  // the file is not touched. A missing file is simply created.
  void SetAppend(BOOL append);
  // Pages of the existing file plus pages written; -1 when no save runs.
  int GetNumberOfPages();

  // A new open page of width x height pixels at the given resolutions
  // (dots per inch): behind the last page, or at `position`.
  CPDFPage AddPage(int width, int height, int xResolution, int yResolution);
  CPDFPage InsertPage(int position, int width, int height, int xResolution, int yResolution);
  // The open page when it is at `pageNumber`; an illegal page otherwise.
  CPDFPage GetPage(int pageNumber);

  int GetLastError() const;

  void SetIntValue(int key, int value);  // PDF_KEY_ZOOM, PDF_KEY_OPEN_PAGE
  // 0 black and white (vector colours grey, images one bit), 1 palette and
  // 3 colour (as drawn), 2 grey (vector colours and images grey).
  void SetColorDepth(int depth);
  // Black and white images: 0 threshold at 128, 1..9 error diffusion.
  void SetDitheringMethod(int method);
  // Images: 100 unchanged; b brightens by b - 100 and adds contrast
  // min(2 |b - 100|, 100) (both in percent).
  void SetColorIntensity(int intensity);
  // Accepted and kept: images are never merged, resampled or replaced by
  // patterns (images keep their pixels, nearest-neighbour).
  void SetImageMergingMode(int mode);
  void SetResamplingMethod(int method);
  void SetResamplingRate(int rate);
  void EnableColorPattern(BOOL enable);

  // For the interface library.
  twpdf::Document& Impl() { return *m_document; }

 private:
  std::shared_ptr<twpdf::Document> m_document;
};
