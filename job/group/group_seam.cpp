// Stand-in for the group file of the job until it is built: entries go
// straight into the group file, when the job has one, under the printer's
// section; nothing is kept in memory and no temporary group file is served.
#include "job/job/tw_job.h"

BOOL CTWJob::GroupFilesEnabled() const { return (m_DevMode.Flags & tw::devmode::flags::GroupFileDisabled) == 0; }
BOOL CTWJob::UpdateGroupFile() {
  m_bPrintStatusPending = FALSE;
  return TRUE;
}
BOOL CTWJob::WriteGroupFileEntry(const WCHAR* key, const WCHAR* value) {
  if (!key) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!m_szGroupFileName[0]) return TRUE;
  return WritePrivateProfileStringW(m_szPrinterName, key, value, m_szGroupFileName);
}
BOOL CTWJob::WritePrintStatus(const WCHAR* status) { return WriteGroupFileEntry(u"Print status", status); }
// The group file is neither created nor checked when it is named.
BOOL PrepareGroupFile(CTWJob&) { return TRUE; }
