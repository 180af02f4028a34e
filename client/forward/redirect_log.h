// Printer redirection's log file.
#pragma once

#include "tw/wintypes.h"

class CTWJob;

// Checks that the redirect printing log can be written, as an output file,
// reporting "Cannot write log for printer redirection: " and the reason.
BOOL ValidateRedirectPrintingLog(CTWJob& job, const WCHAR* logFile);
