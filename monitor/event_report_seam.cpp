// Stand-in for the event-log reports until the event reporting is built.
#include "monitor/event_report.h"

BOOL ReportEventLogEntry(WORD, const WCHAR*, ...) { return TRUE; }
