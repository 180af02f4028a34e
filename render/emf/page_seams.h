// What page rendering calls in the areas that are not built yet: the page
// roles of cover pages and the barcode separator page, pages per sheet, the
// decorations drawn on a page, text extraction, embedded and temporary
// fonts, debug capture and OCR. Each is called at its step of the page and,
// until its area lands, does nothing and reports success (page_seams.cpp).
#pragma once

#include <windows.h>

#include "job/devmode/tarnwick_devmode.h"

class CTWJob;
class CEMFImage;
struct EMFPageSizeF;

namespace tw::render {

// --- page roles (cover pages and the barcode separator page) ---------------
struct PageRoles {
  bool barcodeSeparator = false;  // the white page in front of the first document page that carries the barcode
  bool cover = false;             // a cover page made by the job
  bool firstDocumentPage = false;  // the first page after the cover pages and the separator page
};
// Seam: no cover pages and no separator page yet; the first output page is
// the first document page.
PageRoles GetPageRoles(const CTWJob& job);

// --- pages per sheet -----------------------------------------------------------
struct SheetState {
  DWORD pagesPerSheet = 0;  // 0: off
  bool flush = false;       // the last, incomplete sheet of the document is due
};
// Seam: pages per sheet are not composed yet (always off).
SheetState GetSheetState(const CTWJob& job);
// Seam: composes the pending sheet into image.m_hDIB (the flush render).
BOOL ComposePendingSheet(CTWJob& job, CEMFImage& image);
// Seam: hands the rendered page to the current sheet; when the sheet is
// complete, image.m_hDIB becomes the composed sheet.
BOOL AddPageToSheet(CTWJob& job, CEMFImage& image);

// Seam: the page's metafiles (page, overlay, underlay; each may be null)
// go into the current sheet of a vector output; the sheet's metafiles take
// their place when it is complete.
BOOL ApplyPagesPerSheet(CTWJob& job, HENHMETAFILE* phPage, HENHMETAFILE* phOverlay, HENHMETAFILE* phUnderlay,
                        TarnwickDEVMODE* dm, EMFPageSizeF* size);

// Seam: the EMF writer's sheet. The prepared page (taken; null for the
// final, incomplete sheet) joins the job's sheet metafiles; `sheet`
// receives the composed sheet (the caller's) once the sheet is complete,
// else null. Until pages per sheet lands every page is its own sheet.
BOOL AddPageToSheetEMF(CTWJob& job, HENHMETAFILE page, HENHMETAFILE& sheet);

// --- decorations ----------------------------------------------------------------
// Seam: the text watermark or text stamp of the page (stamp = text stamp).
BOOL DrawTextWatermarkStamp(CTWJob& job, HDC hdc, const TarnwickDEVMODE* dm, bool stamp, DWORD copyNumber);
// Seam: the image watermark laid over a rendered page (when its settings
// put it over the page).
BOOL DrawWatermarkOverlay(CTWJob& job, HDC hdc, const TarnwickDEVMODE* dm, LONG width, LONG height);
// Seam: the image watermark is set to lie over the page (not under it).
bool WatermarkLiesOverPage(const CTWJob& job, const TarnwickDEVMODE* dm);
// Seam: the barcode of the page.
BOOL DrawBarcode(CTWJob& job, HDC hdc, const TarnwickDEVMODE* dm, LONG width, LONG height);
// Seam: barcode stamping takes its value from the page text.
bool BarcodeFromPageText(const CTWJob& job, const TarnwickDEVMODE* dm);

// --- text -----------------------------------------------------------------------
// Seam: the text pass of a metafile page (it enumerates the metafile itself).
BOOL RunTextPass(CTWJob& job, HENHMETAFILE emf, HDC hdc, const TarnwickDEVMODE* dm);
// Seam: the collector's first pass over the records into a throw-away
// metafile made on `hdc` (called inside the GDI mutex).
BOOL CollectPageText(CTWJob& job, HENHMETAFILE emf, HDC hdc, const RECT& rect);
// Seam: a text record handed to the collector, which plays it too.
BOOL PlayTextRecord(CTWJob& job, HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, UINT handles);
// Seam: the text output of a raw page (made on its first band).
BOOL MakeRawPageText(CTWJob& job, HDC hdc, const TarnwickDEVMODE* dm, LONG width, LONG height);

// --- fonts ----------------------------------------------------------------------
// Seam: the face has an end-user-defined-character font link in the job's
// EUDC table (none until embedded fonts land).
bool FaceHasEudcLink(const CTWJob& job, const WCHAR* face);
// Seam: whether the job's EUDC table has any entry (the look-ahead is
// skipped when it has none).
bool JobHasEudcLinks(const CTWJob& job);
// Seam: registers a temporary font file (a ".TMP" face) for the job.
BOOL AddTemporaryFont(CTWJob& job, const WCHAR* path);
// Seam: whether the job registered this page's embedded fonts already.
bool PageFontsRegistered(const CTWJob& job);

// --- debug capture and OCR --------------------------------------------------------
// Seam: a "Log" record into the debug capture files.
BOOL WriteDebugLog(CTWJob& job, const WCHAR* text);
// Seam: OCR of the page image with the job's first engine (or the second
// when secondEngine), and the in-memory result to the client.
BOOL RunPageOcr(CTWJob& job, HGLOBAL hDIB, bool secondEngine);

}  // namespace tw::render
