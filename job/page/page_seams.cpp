// Stand-ins for the areas the page steps call that are not built yet:
// called at their steps, they do nothing and report success.
#include "job/page/page_seams.h"

#include "job/job/job_observer.h"
#include "job/job/tw_job.h"

// Positioned text of the driver's stream goes to the text extraction.
BOOL CTWJob::AddText(LONG, LONG, const WCHAR*) {
  tw::job::NotifyOperation(u"TextOut", 0);
  return TRUE;
}

namespace tw::page {

void ResetPageText(CTWJob&) {}
BOOL StartTextPage(CTWJob&, const WCHAR*) { return TRUE; }
BOOL WritePageText(CTWJob&, DWORD) { return TRUE; }
void DestroyTextCollector(CTWJob&) {}
bool ContentSplitNeedsNewName(const CTWJob&) { return false; }
bool ContentFileOpen(const CTWJob&) { return false; }
bool PageStartedContentFile(const CTWJob&) { return false; }

BOOL RegisterPageFonts(CTWJob&, HENHMETAFILE) { return TRUE; }
void CreatePageFontRegistry(CTWJob&) {}
void RegisterIEFonts(CTWJob&) {}
void DestroyPageFontRegistry(CTWJob&) {}

void CapturePageData(CTWJob&, const BYTE*, DWORD) {}
HGLOBAL ReadSubstitutePageData(CTWJob&, DWORD, DWORD*) { return nullptr; }

void ClearBarcodeText(CTWJob&) {}
BOOL DrawCoverPage(CTWJob&, HDC, DWORD, LONG, LONG) { return TRUE; }

BOOL AddPageToPreviewSheet(CTWJob&, HGLOBAL, BOOL, bool) { return TRUE; }

BOOL UpdatePageBatesNumber(CTWJob&) { return TRUE; }
void ResetOcrErrors(CTWJob&) {}

}  // namespace tw::page
