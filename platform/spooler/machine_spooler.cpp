// The spooler provider of a machine root: printers and drivers in the
// registry and on C:, jobs in this process.
#include "tw/machine_spooler.h"

#include <algorithm>
#include <cstring>

#include "tw/file.h"
#include "tw/utf.h"
#include "windows.h"

namespace tw::spool {
namespace {

// A registry key closed on every path.
class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (m_key) RegCloseKey(m_key);
  }
  LSTATUS Open(HKEY parent, std::u16string_view path, REGSAM access = KEY_READ) {
    std::u16string p(path);
    return RegOpenKeyExW(parent, p.c_str(), 0, access, &m_key);
  }
  LSTATUS Create(HKEY parent, std::u16string_view path) {
    std::u16string p(path);
    return RegCreateKeyExW(parent, p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &m_key,
                           nullptr);
  }
  HKEY Get() const { return m_key; }

  std::u16string String(LPCWSTR name) const {
    std::vector<BYTE> data;
    DWORD type = 0;
    if (Bytes(name, type, data) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    std::u16string s(reinterpret_cast<const WCHAR*>(data.data()), data.size() / sizeof(WCHAR));
    while (!s.empty() && s.back() == 0) s.pop_back();
    return s;
  }
  DWORD Dword(LPCWSTR name, DWORD fallback = 0) const {
    std::vector<BYTE> data;
    DWORD type = 0, value = 0;
    if (Bytes(name, type, data) != ERROR_SUCCESS || type != REG_DWORD || data.size() != 4) return fallback;
    std::memcpy(&value, data.data(), 4);
    return value;
  }
  LSTATUS Bytes(LPCWSTR name, DWORD& type, std::vector<BYTE>& data) const {
    // Most values fit the first buffer: one registry read instead of two.
    data.resize(512);
    DWORD size = static_cast<DWORD>(data.size());
    LSTATUS st = RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size);
    // The value may grow between the two reads: ask again until it fits.
    while (st == ERROR_MORE_DATA) {
      data.resize(size);
      st = RegQueryValueExW(m_key, name, nullptr, &type, data.data(), &size);
    }
    data.resize(st == ERROR_SUCCESS ? size : 0);
    return st;
  }
  LSTATUS SetString(LPCWSTR name, std::u16string_view value) {
    std::u16string v(value);
    return RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                          static_cast<DWORD>((v.size() + 1) * sizeof(WCHAR)));
  }
  LSTATUS SetDword(LPCWSTR name, DWORD value) {
    return RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  LSTATUS SetBytes(LPCWSTR name, DWORD type, const std::vector<BYTE>& data) {
    return RegSetValueExW(m_key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
  }

 private:
  HKEY m_key = nullptr;
};

bool ValidPrinterName(std::u16string_view name) {
  return !name.empty() && name.size() < 221 && name.find_first_of(u"\\,!") == std::u16string_view::npos;
}

std::u16string PrinterPath(std::u16string_view name) { return std::u16string(kPrintersKey) + u"\\" + std::u16string(name); }

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                                      static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

DWORD ReadPrinter(std::u16string_view name, PrinterRecord& out) {
  Key key;
  if (key.Open(HKEY_LOCAL_MACHINE, PrinterPath(name)) != ERROR_SUCCESS) return ERROR_INVALID_PRINTER_NAME;
  out.printerName = key.String(u"Name");
  if (out.printerName.empty()) out.printerName = name;
  out.portName = key.String(u"Port");
  out.driverName = key.String(u"Printer Driver");
  out.comment = key.String(u"Description");
  out.location = key.String(u"Location");
  out.shareName = key.String(u"Share Name");
  out.printProcessor = key.String(u"Print Processor");
  out.datatype = key.String(u"Datatype");
  out.parameters = key.String(u"Parameters");
  out.sepFile = key.String(u"Separator File");
  out.attributes = key.Dword(u"Attributes", PRINTER_ATTRIBUTE_LOCAL);
  out.priority = key.Dword(u"Priority", 1);
  out.defaultPriority = key.Dword(u"Default Priority", 0);
  out.startTime = key.Dword(u"StartTime", 0);
  out.untilTime = key.Dword(u"UntilTime", 0);
  DWORD type = 0;
  if (key.Bytes(u"Default DevMode", type, out.globalDevMode) != ERROR_SUCCESS) out.globalDevMode.clear();
  Key user;
  if (user.Open(HKEY_CURRENT_USER, u"Printers\\DevModePerUser") == ERROR_SUCCESS) {
    std::u16string valueName(out.printerName);
    if (user.Bytes(valueName.c_str(), type, out.userDevMode) != ERROR_SUCCESS) out.userDevMode.clear();
  }
  return ERROR_SUCCESS;
}

class Session : public PrinterSession {
 public:
  Session(std::shared_ptr<MachineSpooler> spooler, std::u16string name)
      : m_spooler(std::move(spooler)), m_name(std::move(name)) {}

  DWORD GetPrinter(PrinterRecord& out) override {
    if (DWORD error = ReadPrinter(m_name, out)) return error;
    out.jobs = m_spooler->CountJobs(m_name);
    return ERROR_SUCCESS;
  }
  DWORD GetJob(DWORD jobId, JobRecord& out) override { return m_spooler->GetJob(m_name, jobId, out); }
  DWORD ControlJob(DWORD jobId, DWORD command) override { return m_spooler->ControlJob(m_name, jobId, command); }
  DWORD GetDriver(std::u16string_view environment, DriverRecord& out) override {
    if (!environment.empty() && !SameName(environment, kEnvironment)) return ERROR_UNKNOWN_PRINTER_DRIVER;
    // Only the driver's name is needed of the printer: the job asks for
    // its driver on every page.
    std::u16string driverName;
    {
      Key printer;
      if (printer.Open(HKEY_LOCAL_MACHINE, PrinterPath(m_name)) != ERROR_SUCCESS) return ERROR_INVALID_PRINTER_NAME;
      driverName = printer.String(u"Printer Driver");
    }
    Key key;
    if (driverName.empty() ||
        key.Open(HKEY_LOCAL_MACHINE, std::u16string(kDriversKey) + u"\\" + driverName) != ERROR_SUCCESS)
      return ERROR_UNKNOWN_PRINTER_DRIVER;
    out.version = 3;
    out.name = driverName;
    out.environment = kEnvironment;
    out.driverPath = MachineSpooler::DriverFilePath(key.String(u"Driver"));
    out.dataFile = MachineSpooler::DriverFilePath(key.String(u"Data File"));
    out.configFile = MachineSpooler::DriverFilePath(key.String(u"Configuration File"));
    return ERROR_SUCCESS;
  }
  DWORD GetPrinterData(std::u16string_view valueName, DWORD& type, std::vector<BYTE>& data) override {
    Key key;
    if (key.Open(HKEY_LOCAL_MACHINE, PrinterPath(m_name) + u"\\PrinterDriverData") != ERROR_SUCCESS)
      return ERROR_FILE_NOT_FOUND;
    std::u16string name(valueName);
    return static_cast<DWORD>(key.Bytes(name.c_str(), type, data));
  }

 private:
  std::shared_ptr<MachineSpooler> m_spooler;
  std::u16string m_name;
};

}  // namespace

std::u16string MachineSpooler::DriverFilePath(std::u16string_view fileName) {
  if (fileName.empty()) return {};
  return std::u16string(kDriverDirectory) + u"\\3\\" + std::u16string(fileName);
}

DWORD MachineSpooler::AddDriver(const DriverSetup& driver) {
  if (driver.name.empty() || driver.name.find(u'\\') != std::u16string::npos) return ERROR_INVALID_PARAMETER;
  Key key;
  if (LSTATUS st = key.Create(HKEY_LOCAL_MACHINE, std::u16string(kDriversKey) + u"\\" + driver.name)) return st;
  LSTATUS st = key.SetString(u"Driver", driver.driverPath);
  if (!st) st = key.SetString(u"Data File", driver.dataFile);
  if (!st) st = key.SetString(u"Configuration File", driver.configFile);
  if (!st) st = key.SetDword(u"Version", 3);
  return static_cast<DWORD>(st);
}

DWORD MachineSpooler::AddPrinter(const PrinterSetup& printer) {
  if (!ValidPrinterName(printer.name)) return ERROR_INVALID_PRINTER_NAME;
  {
    Key existing;
    if (existing.Open(HKEY_LOCAL_MACHINE, PrinterPath(printer.name)) == ERROR_SUCCESS)
      return ERROR_PRINTER_ALREADY_EXISTS;
    Key driver;
    if (printer.driver.empty() ||
        driver.Open(HKEY_LOCAL_MACHINE, std::u16string(kDriversKey) + u"\\" + printer.driver) != ERROR_SUCCESS)
      return ERROR_UNKNOWN_PRINTER_DRIVER;
  }
  Key key;
  if (LSTATUS st = key.Create(HKEY_LOCAL_MACHINE, PrinterPath(printer.name))) return st;
  LSTATUS st = key.SetString(u"Name", printer.name);
  if (!st) st = key.SetString(u"Port", printer.port);
  if (!st) st = key.SetString(u"Printer Driver", printer.driver);
  if (!st) st = key.SetString(u"Description", printer.comment);
  if (!st) st = key.SetString(u"Location", printer.location);
  if (!st) st = key.SetString(u"Share Name", u"");
  if (!st) st = key.SetString(u"Print Processor", u"winprint");
  if (!st) st = key.SetString(u"Datatype", u"RAW");
  if (!st) st = key.SetString(u"Parameters", u"");
  if (!st) st = key.SetString(u"Separator File", u"");
  if (!st) st = key.SetDword(u"Attributes", printer.attributes);
  if (!st) st = key.SetDword(u"Priority", 1);
  if (!st) st = key.SetDword(u"Default Priority", 0);
  if (!st && !printer.defaultDevMode.empty()) st = key.SetBytes(u"Default DevMode", REG_BINARY, printer.defaultDevMode);
  Key data;
  if (!st) st = data.Create(key.Get(), u"PrinterDriverData");
  if (st) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, PrinterPath(printer.name).c_str());
  }
  return static_cast<DWORD>(st);
}

DWORD MachineSpooler::DeletePrinter(std::u16string_view name) {
  if (!ValidPrinterName(name)) return ERROR_INVALID_PRINTER_NAME;
  std::u16string path = PrinterPath(name);
  {
    Key key;
    if (key.Open(HKEY_LOCAL_MACHINE, path) != ERROR_SUCCESS) return ERROR_INVALID_PRINTER_NAME;
  }
  // RegDeleteTreeW with a subkey removes the key itself too.
  return static_cast<DWORD>(RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str()));
}

std::vector<PrinterRecord> MachineSpooler::Printers() {
  std::vector<PrinterRecord> out;
  Key key;
  if (key.Open(HKEY_LOCAL_MACHINE, kPrintersKey) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[260];
    DWORD len = 260;
    if (RegEnumKeyExW(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    PrinterRecord p;
    if (ReadPrinter(name, p) == ERROR_SUCCESS) out.push_back(std::move(p));
  }
  return out;
}

DWORD MachineSpooler::SetPrinterDataValue(std::u16string_view printer, std::u16string_view value, DWORD type,
                                          const std::vector<BYTE>& data) {
  Key key;
  if (key.Open(HKEY_LOCAL_MACHINE, PrinterPath(printer)) != ERROR_SUCCESS) return ERROR_INVALID_PRINTER_NAME;
  Key values;
  if (LSTATUS st = values.Create(key.Get(), u"PrinterDriverData")) return st;
  std::u16string name(value);
  return static_cast<DWORD>(values.SetBytes(name.c_str(), type, data));
}

DWORD MachineSpooler::AddJob(std::u16string_view printer, std::u16string_view document, std::u16string_view user,
                             DWORD& jobId) {
  PrinterRecord p;
  if (DWORD error = ReadPrinter(printer, p)) return error;
  // Job ids continue across runs, as the spooler's do (1 to 9999, then again).
  Key print;
  if (LSTATUS st = print.Create(HKEY_LOCAL_MACHINE, kPrintKey)) return st;
  std::lock_guard lock(m_mutex);
  DWORD next = print.Dword(u"NextJobId", 1);
  for (int tries = 0; tries < 10000 && (next == 0 || next > 9999 || m_jobs.count(next)); ++tries)
    next = next >= 9999 ? 1 : next + 1;
  jobId = next;
  print.SetDword(u"NextJobId", next >= 9999 ? 1 : next + 1);
  Job job;
  JobRecord& r = job.record;
  r.jobId = jobId;
  r.printerName = p.printerName;
  WCHAR computer[64] = {};
  DWORD size = 64;
  if (GetComputerNameW(computer, &size)) r.machineName = u"\\\\" + std::u16string(computer);
  r.userName = user;
  r.document = document;
  r.datatype = u"RAW";
  r.printProcessor = p.printProcessor;
  r.driverName = p.driverName;
  r.devMode = p.globalDevMode;
  r.status = JOB_STATUS_SPOOLING;
  r.priority = DEF_PRIORITY;
  r.position = static_cast<DWORD>(m_jobs.size() + 1);
  GetSystemTime(&r.submitted);
  m_jobs.emplace(jobId, std::move(job));
  return ERROR_SUCCESS;
}

bool MachineSpooler::UpdateJobStatus(DWORD jobId, DWORD set, DWORD clear) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  if (it == m_jobs.end()) return false;
  it->second.record.status = (it->second.record.status & ~clear) | set;
  return true;
}

bool MachineSpooler::SetJobPhase(DWORD jobId, std::string phase) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  if (it == m_jobs.end()) return false;
  it->second.phase = std::move(phase);
  return true;
}

bool MachineSpooler::SetJobSize(DWORD jobId, DWORD size) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  if (it == m_jobs.end()) return false;
  it->second.record.size = size;
  return true;
}

std::vector<JobControl> MachineSpooler::JobControls(DWORD jobId) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  return it == m_jobs.end() ? std::vector<JobControl>{} : it->second.controls;
}

bool MachineSpooler::FindJob(DWORD jobId, JobRecord& out) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  if (it == m_jobs.end()) return false;
  out = it->second.record;
  return true;
}

bool MachineSpooler::RemoveJob(DWORD jobId) {
  std::lock_guard lock(m_mutex);
  return m_jobs.erase(jobId) > 0;
}

DWORD MachineSpooler::OpenPrinter(std::u16string_view name, ACCESS_MASK, std::unique_ptr<PrinterSession>& out) {
  if (!ValidPrinterName(name)) return ERROR_INVALID_PRINTER_NAME;
  PrinterRecord p;
  if (DWORD error = ReadPrinter(name, p)) return error;
  out = std::make_unique<Session>(shared_from_this(), p.printerName);
  return ERROR_SUCCESS;
}

DWORD MachineSpooler::GetDriverDirectory(std::u16string_view environment, std::u16string& out) {
  if (!environment.empty() && !SameName(environment, kEnvironment)) return ERROR_INVALID_ENVIRONMENT;
  out = kDriverDirectory;
  return ERROR_SUCCESS;
}

bool MachineSpooler::PrinterExists(std::u16string_view name) {
  if (!ValidPrinterName(name)) return false;
  Key key;
  return key.Open(HKEY_LOCAL_MACHINE, PrinterPath(name)) == ERROR_SUCCESS;
}

DWORD MachineSpooler::ControlJob(std::u16string_view printer, DWORD jobId, DWORD command) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  if (it == m_jobs.end() || !SameName(it->second.record.printerName, printer)) return ERROR_INVALID_PARAMETER;
  Job& job = it->second;
  job.controls.push_back({command, job.phase});
  switch (command) {
    case JOB_CONTROL_PAUSE:
      job.record.status |= JOB_STATUS_PAUSED;
      break;
    case JOB_CONTROL_RESUME:
      job.record.status &= ~JOB_STATUS_PAUSED;
      break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
      job.record.status |= JOB_STATUS_DELETING;
      break;
    case JOB_CONTROL_RESTART:
      job.record.status |= JOB_STATUS_RESTART;
      break;
    case JOB_CONTROL_SENT_TO_PRINTER:
    case JOB_CONTROL_LAST_PAGE_EJECTED:
      job.record.status |= JOB_STATUS_PRINTED;
      break;
  }
  return ERROR_SUCCESS;
}

DWORD MachineSpooler::GetJob(std::u16string_view printer, DWORD jobId, JobRecord& out) {
  std::lock_guard lock(m_mutex);
  auto it = m_jobs.find(jobId);
  if (it == m_jobs.end() || !SameName(it->second.record.printerName, printer)) return ERROR_INVALID_PARAMETER;
  out = it->second.record;
  return ERROR_SUCCESS;
}

DWORD MachineSpooler::CountJobs(std::u16string_view printer) {
  std::lock_guard lock(m_mutex);
  return static_cast<DWORD>(std::count_if(m_jobs.begin(), m_jobs.end(), [&](const auto& entry) {
    return SameName(entry.second.record.printerName, printer);
  }));
}

}  // namespace tw::spool
