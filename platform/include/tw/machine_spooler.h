// Internal: the spooler provider of a machine root. Printers and drivers live
// where Windows keeps them (HKLM\SYSTEM\CurrentControlSet\Control\Print and
// the driver directory on C:), so every process of the root sees them; jobs
// live in the process that plays the spooler.
//
//   Print\Printers\<name>           "Name", "Port", "Printer Driver", "Attributes",
//                                   "Priority", "Default Priority", "Description",
//                                   "Location", "Share Name", "Print Processor",
//                                   "Datatype", "Parameters", "Separator File",
//                                   "Default DevMode" (binary)
//   Print\Printers\<name>\PrinterDriverData   values for GetPrinterDataW
//   Print\Environments\Windows x64\Drivers\Version-3\<driver>
//                                   "Driver", "Data File", "Configuration File"
//                                   (file names in the driver directory)
//   HKCU\Printers\DevModePerUser    "<printer name>": the user's default DEVMODE
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tw/spooler.h"

namespace tw::spool {

inline constexpr char16_t kPrintKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print";
inline constexpr char16_t kPrintersKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr char16_t kMonitorsKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr char16_t kDriversKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3";
inline constexpr char16_t kEnvironment[] = u"Windows x64";
// GetPrinterDriverDirectoryW; version-3 driver files are in its "3" folder.
inline constexpr char16_t kDriverDirectory[] = u"C:\\Windows\\System32\\spool\\drivers\\x64";

struct PrinterSetup {
  std::u16string name, port, driver, comment, location;
  DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
  std::vector<BYTE> defaultDevMode;  // empty: none
};

struct DriverSetup {
  std::u16string name;
  std::u16string driverPath, dataFile, configFile;  // file names in the driver's folder
};

// A JOB_CONTROL_* command the monitor (or anyone) sent for a job, with the
// phase the host had set for the job at that moment ("WritePort", ...).
struct JobControl {
  DWORD command = 0;
  std::string phase;
};

class TWCPPAPI MachineSpooler : public Provider, public std::enable_shared_from_this<MachineSpooler> {
 public:
  // --- Printers and drivers (the registry of the current root). Each returns
  // a Win32 error code.
  static DWORD AddDriver(const DriverSetup& driver);
  // ERROR_PRINTER_ALREADY_EXISTS, ERROR_INVALID_PRINTER_NAME (empty, or with
  // a backslash or comma), ERROR_UNKNOWN_PRINTER_DRIVER.
  static DWORD AddPrinter(const PrinterSetup& printer);
  static DWORD DeletePrinter(std::u16string_view name);
  static std::vector<PrinterRecord> Printers();
  static DWORD SetPrinterDataValue(std::u16string_view printer, std::u16string_view value, DWORD type,
                                   const std::vector<BYTE>& data);
  // The Windows path of a driver file ("C:\...\x64\3\TARNWICK.INI").
  static std::u16string DriverFilePath(std::u16string_view fileName);

  // --- Jobs of this process.
  // Queues a job (status JOB_STATUS_SPOOLING) and returns its id (ids go on
  // from one run to the next, as the spooler's do).
  DWORD AddJob(std::u16string_view printer, std::u16string_view document, std::u16string_view user,
               DWORD& jobId);
  // Sets and clears status bits (JOB_STATUS_*); false for an unknown job.
  bool UpdateJobStatus(DWORD jobId, DWORD set, DWORD clear);
  bool SetJobPhase(DWORD jobId, std::string phase);
  bool SetJobSize(DWORD jobId, DWORD size);
  std::vector<JobControl> JobControls(DWORD jobId);
  bool FindJob(DWORD jobId, JobRecord& out);
  // Removes a job from the queue.
  bool RemoveJob(DWORD jobId);

  // --- Provider.
  DWORD OpenPrinter(std::u16string_view name, ACCESS_MASK access, std::unique_ptr<PrinterSession>& out) override;
  DWORD GetDriverDirectory(std::u16string_view environment, std::u16string& out) override;
  bool PrinterExists(std::u16string_view name) override;

  // Used by the printer sessions.
  DWORD ControlJob(std::u16string_view printer, DWORD jobId, DWORD command);
  DWORD GetJob(std::u16string_view printer, DWORD jobId, JobRecord& out);
  DWORD CountJobs(std::u16string_view printer);

 private:
  struct Job {
    JobRecord record;
    std::string phase;
    std::vector<JobControl> controls;
  };
  std::mutex m_mutex;
  std::map<DWORD, Job> m_jobs;
};

}  // namespace tw::spool
