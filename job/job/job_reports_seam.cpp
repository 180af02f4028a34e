// Stand-ins for the job's event-log reports and error handlers until the
// event reporting is built.
#include "job/job/tw_job.h"

BOOL CTWJob::RegisterEventLogSource() { return TRUE; }
BOOL CTWJob::ReportJobEnd() { return TRUE; }
BOOL CTWJob::ReportJobAbort() { return TRUE; }
BOOL CTWJob::ReportJobError(DWORD) { return TRUE; }
BOOL CTWJob::ReportJobErrorText(const WCHAR*) { return TRUE; }
BOOL CTWJob::ReportJobWarning(const WCHAR*) { return TRUE; }
BOOL CTWJob::HandleError(DWORD) { return TRUE; }
BOOL CTWJob::HandleTiffError(DWORD) { return TRUE; }
