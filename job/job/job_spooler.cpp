// The job's questions to the spooler: the printer's INI file and the
// spooler job helpers of the merge hand-shake.
#include <windows.h>
#include <winspool.h>

#include "job/job/tw_job.h"

tw::core::PrinterHandle& CTWJob::Printer() {
  // Opened once per job: the record of every page asks again.
  if (!m_Printer) m_Printer = tw::core::PrinterHandle(m_szPrinterName);
  return m_Printer;
}

BOOL CTWJob::GetPrinterINIFile(WCHAR (&path)[MAX_PATH]) {
  path[0] = 0;
  std::vector<BYTE> info = Printer().QueryDriver(2);
  if (info.empty()) return FALSE;
  const auto* driver = reinterpret_cast<const DRIVER_INFO_2W*>(info.data());
  if (!driver->pDataFile) return FALSE;
  wcsncpy_s(path, driver->pDataFile, _TRUNCATE);
  return TRUE;
}

BOOL SetJobPriority(const WCHAR* printerName, DWORD jobId, BOOL resume) {
  tw::core::PrinterHandle printer(printerName);
  if (!printer) return FALSE;
  return printer.ControlJob(jobId, resume ? JOB_CONTROL_RESUME : JOB_CONTROL_PAUSE);
}

BOOL JobExists(const WCHAR* printerName, DWORD jobId) {
  tw::core::PrinterHandle printer(printerName);
  return !printer.QueryJob(jobId, 1).empty();
}
