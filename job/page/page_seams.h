// What the page steps call in areas that are not built yet: text extraction,
// embedded fonts, debug capture, barcodes, cover pages, printer forwarding,
// Bates numbers and OCR. Each is called at its
// step and, until its area lands, does nothing and reports success (a
// question answers "no"); page_seams.cpp holds the stand-ins.
#pragma once

#include <windows.h>

class CTWJob;

namespace tw::page {

// --- text extraction -----------------------------------------------------------
// The page's text collection starts afresh.
void ResetPageText(CTWJob& job);
// The collector starts a page; `header` ("Page %d:") goes to the collector
// and the plain text output first (null: no header).
BOOL StartTextPage(CTWJob& job, const WCHAR* header);
// Writes the text of output page `page` to the text output file.
BOOL WritePageText(CTWJob& job, DWORD page);
// The collector of a raw page goes after its page.
void DestroyTextCollector(CTWJob& job);
// The output is split by content and this page starts a new file (the job
// holds recipients, or the page's text named one): the writer asks for a new name.
bool ContentSplitNeedsNewName(const CTWJob& job);
// A content-based file is open and collecting pages (no new names).
bool ContentFileOpen(const CTWJob& job);
// The page started a new content file (its e-mail is registered).
bool PageStartedContentFile(const CTWJob& job);

// --- embedded fonts ------------------------------------------------------------
// The page's embedded fonts into the job's fonts (a page that is not written).
BOOL RegisterPageFonts(CTWJob& job, HENHMETAFILE emf);
// The font registry of one page, and the protected-mode browser's fonts in it.
void CreatePageFontRegistry(CTWJob& job);
void RegisterIEFonts(CTWJob& job);
void DestroyPageFontRegistry(CTWJob& job);

// --- debug capture ---------------------------------------------------------------
// The page's data into the capture files (when capture is on).
void CapturePageData(CTWJob& job, const BYTE* data, DWORD size);
// Page `page` of the capture file named for substitution: a new block and
// its size, or null (no file named, or the page cannot be read).
HGLOBAL ReadSubstitutePageData(CTWJob& job, DWORD page, DWORD* size);

// --- barcodes, cover pages ---------------------------------------------------------
void ClearBarcodeText(CTWJob& job);
// The cover page object draws cover page `index` on the metafile context.
BOOL DrawCoverPage(CTWJob& job, HDC hdc, DWORD index, LONG dpiX, LONG dpiY);

// --- printer forwarding, preview sheets ----------------------------------------------
// The page's metafiles for `copies` copies ("~tw" and "~twa" files) and the
// forwarding data of the page (forward_copies.cpp).
BOOL ForwardPageToPrinter(CTWJob& job, HGLOBAL hData, DWORD size, BOOL bRaw, DWORD copies);
// With pages per sheet: the page goes into the preview's sheet, which is
// reduced and sent when complete.
BOOL AddPageToPreviewSheet(CTWJob& job, HGLOBAL hData, BOOL bRaw, bool sheetComplete);

// --- Bates numbers, OCR -----------------------------------------------------------
BOOL UpdatePageBatesNumber(CTWJob& job);
// Both OCR engines forget their last error.
void ResetOcrErrors(CTWJob& job);

}  // namespace tw::page
