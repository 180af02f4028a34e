// Stand-in for printer redirection until it is built.
#include "client/forward/redirect_log.h"

BOOL ValidateRedirectPrintingLog(CTWJob&, const WCHAR*) { return TRUE; }
