// Entries of the monitor's own in the event log (error, warning, information).
#pragma once

#include "tw/wintypes.h"

#define TW_EVENT_ERROR 1
#define TW_EVENT_WARNING 2
#define TW_EVENT_INFORMATION 4

BOOL ReportEventLogEntry(WORD type, const WCHAR* format, ...);
