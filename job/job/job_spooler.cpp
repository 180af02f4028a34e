// The job's questions to the spooler: the printer's INI file and the
// spooler job helpers of the merge hand-shake.
#include <vector>

#include <windows.h>
#include <winspool.h>

#include "job/job/tw_job.h"

namespace {

// An open printer, closed when the object goes.
class PrinterHandle {
 public:
  explicit PrinterHandle(const WCHAR* name) {
    if (!OpenPrinterW(const_cast<LPWSTR>(name), &handle_, nullptr)) handle_ = nullptr;
  }
  ~PrinterHandle() {
    if (handle_) ClosePrinter(handle_);
  }
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace

BOOL CTWJob::GetPrinterINIFile(WCHAR (&path)[MAX_PATH]) {
  path[0] = 0;
  PrinterHandle printer(m_szPrinterName);
  if (!printer.Get()) return FALSE;
  DWORD needed = 0;
  GetPrinterDriverW(printer.Get(), nullptr, 2, nullptr, 0, &needed);
  if (needed == 0) return FALSE;
  std::vector<BYTE> info(needed + 4);
  if (!GetPrinterDriverW(printer.Get(), nullptr, 2, info.data(), static_cast<DWORD>(info.size()), &needed))
    return FALSE;
  const auto* driver = reinterpret_cast<const DRIVER_INFO_2W*>(info.data());
  if (!driver->pDataFile) return FALSE;
  wcsncpy_s(path, driver->pDataFile, _TRUNCATE);
  return TRUE;
}

BOOL SetJobPriority(const WCHAR* printerName, DWORD jobId, BOOL resume) {
  PrinterHandle printer(printerName);
  if (!printer.Get()) return FALSE;
  return SetJobW(printer.Get(), jobId, 0, nullptr, resume ? JOB_CONTROL_RESUME : JOB_CONTROL_PAUSE);
}

BOOL JobExists(const WCHAR* printerName, DWORD jobId) {
  PrinterHandle printer(printerName);
  if (!printer.Get()) return FALSE;
  DWORD needed = 0;
  GetJobW(printer.Get(), jobId, 1, nullptr, 0, &needed);
  if (needed == 0) return FALSE;
  std::vector<BYTE> info(needed, 0);
  return GetJobW(printer.Get(), jobId, 1, info.data(), needed, &needed);
}
