// One open printer of the spooler, closed when the object goes, and the
// size-then-fetch questions asked of it.
#pragma once

#include <vector>

#include "tw/wintypes.h"

namespace tw::core {

class PrinterHandle {
 public:
  PrinterHandle() = default;
  // Opens the printer (no defaults); on failure the object is empty and the
  // last error says why.
  explicit PrinterHandle(const WCHAR* printerName);
  ~PrinterHandle();
  PrinterHandle(PrinterHandle&& other) noexcept;
  PrinterHandle& operator=(PrinterHandle&& other) noexcept;
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;

  explicit operator bool() const { return handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  void Close();

  // GetJobW, GetPrinterW and GetPrinterDriverW (this machine's environment):
  // the size query, then the call into a zero-filled buffer of that size.
  // Empty when the printer is not open, the size query does not ask for a
  // buffer, or the call fails (the last error says why). The driver answer
  // gets 4 bytes of slack.
  std::vector<BYTE> QueryJob(DWORD jobId, DWORD level) const;
  std::vector<BYTE> QueryPrinter(DWORD level) const;
  std::vector<BYTE> QueryDriver(DWORD level) const;
  // SetJobW with a job control command and no record.
  BOOL ControlJob(DWORD jobId, DWORD command) const;

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace tw::core
