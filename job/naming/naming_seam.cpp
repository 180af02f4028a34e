// Stand-in for the output naming of the job until it is built.
#include "job/job/tw_job.h"

BOOL CTWJob::GenerateFilenames(BOOL) { return TRUE; }
void CTWJob::ReleaseFile() {}
