// Stand-ins for page rendering's set-up until it is built.
#include "render/render_setup.h"

BOOL SetupBatesNumber(CTWJob&, const TarnwickDEVMODE*) { return TRUE; }
BOOL SetupPagesPerSheet(CTWJob&, const TarnwickDEVMODE*) { return TRUE; }
BOOL RefreshCompanionDevMode(CTWJob&, const TarnwickDEVMODE&) { return TRUE; }
