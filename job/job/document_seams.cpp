// Stand-ins for the steps of StartDoc, EndDoc and AbortDoc that belong to
// areas not built yet. Each is called at its step, does nothing and returns
// success; the area that builds one replaces its definition here.
#include "job/job/tw_job.h"

// Cover pages (the cover-page object, its filler and AddCoverPage): none is
// loaded, so none is added.
DWORD CTWJob::CountCoverPages() { return 0; }
BOOL CTWJob::AddCoverPagesBeforePrinting() { return TRUE; }
BOOL CTWJob::AddCoverPagesAtEnd() { return TRUE; }

// OCR output.
BOOL CTWJob::OpenOcrOutput() { return TRUE; }
BOOL CTWJob::CloseOcrOutput() { return TRUE; }

// Pages per sheet: no sheet is ever left incomplete.
BOOL CTWJob::FinishPagesPerSheet() { return TRUE; }

// Bates numbers.
BOOL CTWJob::UpdateBatesNumber() { return TRUE; }

// Embedded fonts: none is registered.
void CTWJob::ClearEmbeddedFonts() {}

// Merge hand-shake: a job never joins a merge group yet.
void CTWJob::EndMerge(BOOL) {}
