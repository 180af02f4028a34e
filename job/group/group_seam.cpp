// Stand-in for the group file of the job until it is built.
#include "job/job/tw_job.h"

BOOL CTWJob::GroupFilesEnabled() const { return (m_DevMode.Flags & tw::devmode::flags::GroupFileDisabled) == 0; }
BOOL CTWJob::UpdateGroupFile() {
  m_bPrintStatusPending = FALSE;
  return TRUE;
}
BOOL CTWJob::WritePrintStatus(const WCHAR*) { return TRUE; }
