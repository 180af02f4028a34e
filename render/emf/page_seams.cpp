// Stand-ins for the areas page rendering calls that are not built yet:
// called at their steps, they do nothing and report success.
#include "render/emf/page_seams.h"

#include "job/job/tw_job.h"
#include "render/emf/emf_image.h"

namespace tw::render {

PageRoles GetPageRoles(const CTWJob& job) {
  PageRoles roles;
  roles.firstDocumentPage = job.m_dwActPage <= 1;
  return roles;
}

SheetState GetSheetState(const CTWJob&) { return {}; }
BOOL ComposePendingSheet(CTWJob&, CEMFImage&) { return TRUE; }
BOOL AddPageToSheet(CTWJob&, CEMFImage&) { return TRUE; }
BOOL ApplyPagesPerSheet(CTWJob&, HENHMETAFILE*, HENHMETAFILE*, HENHMETAFILE*, TarnwickDEVMODE*, EMFPageSizeF*) {
  return TRUE;
}

BOOL AddPageToSheetEMF(CTWJob&, HENHMETAFILE page, HENHMETAFILE& sheet) {
  sheet = page;
  return TRUE;
}

BOOL DrawTextWatermarkStamp(CTWJob&, HDC, const TarnwickDEVMODE*, bool, DWORD) { return TRUE; }
BOOL DrawWatermarkOverlay(CTWJob&, HDC, const TarnwickDEVMODE*, LONG, LONG) { return TRUE; }
bool WatermarkLiesOverPage(const CTWJob&, const TarnwickDEVMODE*) { return false; }
BOOL DrawBarcode(CTWJob&, HDC, const TarnwickDEVMODE*, LONG, LONG) { return TRUE; }
bool BarcodeFromPageText(const CTWJob&, const TarnwickDEVMODE*) { return false; }

BOOL RunTextPass(CTWJob&, HENHMETAFILE, HDC, const TarnwickDEVMODE*) { return TRUE; }
BOOL CollectPageText(CTWJob&, HENHMETAFILE, HDC, const RECT&) { return TRUE; }
// The collector plays the text records it is given; until it exists they are just played.
BOOL PlayTextRecord(CTWJob&, HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, UINT handles) {
  return PlayEnhMetaFileRecord(hdc, table, record, handles);
}
BOOL MakeRawPageText(CTWJob&, HDC, const TarnwickDEVMODE*, LONG, LONG) { return TRUE; }

bool FaceHasEudcLink(const CTWJob&, const WCHAR*) { return false; }
bool JobHasEudcLinks(const CTWJob&) { return false; }
BOOL AddTemporaryFont(CTWJob&, const WCHAR*) { return TRUE; }
bool PageFontsRegistered(const CTWJob&) { return false; }

BOOL WriteDebugLog(CTWJob&, const WCHAR*) { return TRUE; }
BOOL RunPageOcr(CTWJob&, HGLOBAL, bool) { return TRUE; }

}  // namespace tw::render

BOOL CEMFImage::AddWatermark(HDC, const TarnwickDEVMODE*, LONG, LONG) { return TRUE; }
void CEMFImage::DrawAnnotation(HDC, const TarnwickDEVMODE*, DWORD) {}
void CEMFImage::DrawHeader(HDC, const TarnwickDEVMODE*, DWORD) {}
void CEMFImage::DrawFooter(HDC, const TarnwickDEVMODE*, DWORD) {}
BOOL CEMFImage::DrawBatesNumber(HDC, const TarnwickDEVMODE*) { return TRUE; }
BOOL CEMFImage::RegisterFonts(HENHMETAFILE) { return TRUE; }
