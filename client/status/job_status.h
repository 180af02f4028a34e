// The job status value and the statistics pipe.
#pragma once

#include "tw/wintypes.h"

class CTWJob;
struct _JOB_INFO_1W;

// Writes "Job Started" when the job takes the record of its start of document.
BOOL WritePortMonitorStaretdTheJobToRegistry(CTWJob& job);
// Writes the job status value ("Job Finished", "Aborted").
BOOL WriteJobStatus(CTWJob& job, const WCHAR* status);
// Sends the job's statistics at the end of the document (job information or null).
BOOL SendStatistics(CTWJob& job, const _JOB_INFO_1W* jobInfo);
