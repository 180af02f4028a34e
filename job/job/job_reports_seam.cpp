// Stand-ins for the job's event-log reports and error handlers until the
// event reporting is built.
#include "job/job/tw_job.h"

BOOL CTWJob::RegisterEventLogSource() { return TRUE; }
BOOL CTWJob::ReportJobEnd(BOOL) { return TRUE; }
BOOL CTWJob::ReportJobError(BOOL, const WCHAR*, ...) { return TRUE; }
BOOL CTWJob::ReportJobErrorText(const WCHAR*, ...) { return TRUE; }
BOOL CTWJob::ReportJobWarning(const WCHAR*, ...) { return TRUE; }
void CTWJob::HandleError(const WCHAR*, const char*, int) {}
void CTWJob::HandleError(int, const char*, int) {}
void CTWJob::HandleTiffError(int, const char*, int, int, const char*) {}
