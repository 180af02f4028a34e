// What the EMF writer calls in vector page preparation and pages per sheet,
// which are not built yet.
#pragma once
#include <windows.h>

#include "job/devmode/tarnwick_devmode.h"

class CTWJob;

namespace tw::emf {

// Seam: a metafile page that must be re-played (turned, or composed with
// pages per sheet) is replayed rotated and prepared for vector output, and
// with pages per sheet added to the job's sheet pages. Takes `page` (null
// for the final, incomplete sheet); `result` receives the metafile to store
// (the caller's), null while the sheet is not complete. Until vector page
// preparation lands the page is stored as it came.
BOOL PrepareReplayedPage(CTWJob& job, HENHMETAFILE page, TarnwickDEVMODE& record, HENHMETAFILE& result);

}  // namespace tw::emf
