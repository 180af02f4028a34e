// Stand-in for the job status and statistics until they are built.
#include "client/status/job_status.h"

BOOL WritePortMonitorStaretdTheJobToRegistry(CTWJob&) { return TRUE; }
BOOL WriteJobStatus(CTWJob&, const WCHAR*) { return TRUE; }
BOOL SendStatistics(CTWJob&, const _JOB_INFO_1W*) { return TRUE; }
