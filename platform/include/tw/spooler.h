// Internal: the spooler provider behind the winspool.h functions.
//
// On Windows the spooler service answers OpenPrinterW, GetJobW ... On Linux
// the process that plays the spooler (twspool, or a test) installs a
// Provider; the layer keeps the printer handles, checks arguments and packs
// the answers into the callers' buffers with the Win32 layouts and rules.
// Providers only deal in plain C++ records below.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tw/wintypes.h"
#include "winspool.h"

namespace tw::spool {

struct PrinterRecord {
  std::u16string serverName, printerName, shareName, portName, driverName, comment, location, sepFile,
      printProcessor, datatype, parameters;
  DWORD attributes = 0, priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0, status = 0, jobs = 0,
        averagePPM = 0;
  std::vector<BYTE> globalDevMode;  // level 2 and 8 (empty: null pointer)
  std::vector<BYTE> userDevMode;    // level 9 (empty: null pointer)
};

struct JobRecord {
  DWORD jobId = 0;
  std::u16string printerName, machineName, userName, document, notifyName, datatype, printProcessor, parameters,
      driverName, statusText;
  DWORD status = 0, priority = 0, position = 0, startTime = 0, untilTime = 0, totalPages = 0, size = 0, time = 0,
        pagesPrinted = 0;
  SYSTEMTIME submitted{};    // UTC, as the spooler reports it
  std::vector<BYTE> devMode;  // level 2 (empty: null pointer)
};

struct DriverRecord {
  DWORD version = 3;
  std::u16string name, environment, driverPath, dataFile, configFile;
};

// One open printer. Every operation returns a Win32 error code (0 = success).
class PrinterSession {
 public:
  virtual ~PrinterSession() = default;
  virtual DWORD GetPrinter(PrinterRecord& out) = 0;
  virtual DWORD GetJob(DWORD jobId, JobRecord& out) = 0;
  // JOB_CONTROL_* commands (0 is never passed here).
  virtual DWORD ControlJob(DWORD jobId, DWORD command) = 0;
  virtual DWORD GetDriver(std::u16string_view environment, DriverRecord& out) = 0;
  // ERROR_FILE_NOT_FOUND for a missing value.
  virtual DWORD GetPrinterData(std::u16string_view valueName, DWORD& type, std::vector<BYTE>& data) = 0;
};

class Provider {
 public:
  virtual ~Provider() = default;
  // Opens a printer by name (ERROR_INVALID_PRINTER_NAME when unknown).
  virtual DWORD OpenPrinter(std::u16string_view name, ACCESS_MASK access, std::unique_ptr<PrinterSession>& out) = 0;
  // The driver directory of the environment ("" = this machine's), a Windows path.
  virtual DWORD GetDriverDirectory(std::u16string_view environment, std::u16string& out) = 0;
  // True when a printer of that name exists (printer DCs check their device).
  virtual bool PrinterExists(std::u16string_view name) = 0;
};

// Installs the process's provider (null removes it) and returns the previous
// one. Printer handles opened through the old provider keep working until
// closed. Without a provider the functions fail with RPC_S_SERVER_UNAVAILABLE.
TWCPPAPI std::shared_ptr<Provider> SetProvider(std::shared_ptr<Provider> provider);
TWCPPAPI std::shared_ptr<Provider> GetProvider();

}  // namespace tw::spool
