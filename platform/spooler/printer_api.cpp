// winspool.h functions: argument checks, printer handles and the packing of
// the provider's records into the callers' buffers (the record first, then a
// DEVMODE on an 8-byte boundary, then the strings).
#include <cstring>
#include <map>
#include <mutex>

#include "tw/debug.h"
#include "tw/gdi.h"
#include "tw/spooler.h"
#include "windows.h"

namespace tw::spool {
namespace {

std::mutex g_mutex;
std::shared_ptr<Provider> g_provider;
std::map<ULONG_PTR, std::shared_ptr<PrinterSession>> g_handles;
ULONG_PTR g_nextHandle = 0x5000;

std::shared_ptr<PrinterSession> Session(HANDLE h) {
  std::lock_guard lock(g_mutex);
  auto it = g_handles.find(reinterpret_cast<ULONG_PTR>(h));
  if (it == g_handles.end()) return nullptr;
  return it->second;
}

// Lays out variable data after a fixed record. Run once with a null buffer to
// measure, then again to fill.
class Packer {
 public:
  Packer(BYTE* base, size_t fixed) : m_base(base), m_used(fixed) {}
  LPWSTR Str(std::u16string_view s) {
    // A string after a DEVMODE of odd size starts on the next WCHAR.
    size_t at = (m_used + 1) & ~size_t{1};
    m_used = at + (s.size() + 1) * sizeof(WCHAR);
    if (!m_base) return nullptr;
    auto* p = reinterpret_cast<WCHAR*>(m_base + at);
    std::memcpy(p, s.data(), s.size() * sizeof(WCHAR));
    p[s.size()] = 0;
    return p;
  }
  // Null for an empty blob.
  LPDEVMODEW DevMode(const std::vector<BYTE>& bytes) {
    if (bytes.empty()) return nullptr;
    size_t at = (m_used + 7) & ~size_t{7};
    m_used = at + bytes.size();
    if (!m_base) return nullptr;
    std::memcpy(m_base + at, bytes.data(), bytes.size());
    return reinterpret_cast<LPDEVMODEW>(m_base + at);
  }
  size_t Used() const { return m_used; }

 private:
  BYTE* m_base;
  size_t m_used;
};

// Measures with `fill(nullptr, packer)`, reports the size, and fills when it
// fits. Strings are placed before DEVMODEs are aligned, so the sizes of both
// passes agree.
template <typename Record, typename Fill>
BOOL PackRecord(LPBYTE buffer, DWORD cbBuf, LPDWORD pcbNeeded, Fill fill) {
  Packer measure(nullptr, sizeof(Record));
  Record scratch{};
  fill(scratch, measure);
  size_t needed = measure.Used();
  if (needed > 0xFFFFFFFFu) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  if (pcbNeeded) *pcbNeeded = static_cast<DWORD>(needed);
  if (!buffer || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // A caller's buffer need not be aligned; build the record in place only
  // through memcpy.
  Record record{};
  Packer pack(buffer, sizeof(Record));
  fill(record, pack);
  std::memcpy(buffer, &record, sizeof(Record));
  return TRUE;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

std::u16string_view View(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }

}  // namespace

std::shared_ptr<Provider> SetProvider(std::shared_ptr<Provider> provider) {
  std::shared_ptr<Provider> old;
  bool installed = provider != nullptr;
  {
    std::lock_guard lock(g_mutex);
    old = std::move(g_provider);
    g_provider = std::move(provider);
  }
  if (installed) {
    tw::gdi::SetPrinterNameValidator([](const WCHAR* name) {
      auto p = GetProvider();
      if (!p || !name || p->PrinterExists(name)) return true;
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return false;
    });
  } else {
    tw::gdi::SetPrinterNameValidator(nullptr);
  }
  return old;
}

std::shared_ptr<Provider> GetProvider() {
  std::lock_guard lock(g_mutex);
  return g_provider;
}

}  // namespace tw::spool

using namespace tw::spool;

TWAPI BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  if (!phPrinter) return Fail(ERROR_INVALID_PARAMETER);
  *phPrinter = nullptr;
  auto provider = GetProvider();
  if (!provider) return Fail(RPC_S_SERVER_UNAVAILABLE);
  // A null or empty name opens the local print server, which this layer
  // does not serve.
  if (!pPrinterName || !*pPrinterName) return Fail(ERROR_INVALID_PRINTER_NAME);
  std::unique_ptr<PrinterSession> session;
  ACCESS_MASK access = pDefault ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
  DWORD error = provider->OpenPrinter(pPrinterName, access, session);
  if (error == ERROR_SUCCESS && !session) error = ERROR_INVALID_PRINTER_NAME;
  if (error != ERROR_SUCCESS) return Fail(error);
  std::lock_guard lock(g_mutex);
  ULONG_PTR id = g_nextHandle;
  g_nextHandle += 8;
  g_handles.emplace(id, std::shared_ptr<PrinterSession>(std::move(session)));
  tw::debug::Add(tw::debug::Counter::PrinterHandles, 1);
  *phPrinter = reinterpret_cast<HANDLE>(id);
  return TRUE;
}

TWAPI BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  std::shared_ptr<PrinterSession> session;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_handles.find(reinterpret_cast<ULONG_PTR>(hPrinter));
    if (it == g_handles.end()) return Fail(ERROR_INVALID_HANDLE);
    session = std::move(it->second);
    g_handles.erase(it);
  }
  tw::debug::Add(tw::debug::Counter::PrinterHandles, -1);
  return TRUE;  // the session ends when the last running call on it returns
}

TWAPI BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  auto session = Session(hPrinter);
  if (!session) return Fail(ERROR_INVALID_HANDLE);
  if (!pcbNeeded) return Fail(RPC_X_NULL_REF_POINTER);
  if (Level != 2 && Level != 8 && Level != 9) return Fail(ERROR_INVALID_LEVEL);
  PrinterRecord p;
  if (DWORD error = session->GetPrinter(p)) return Fail(error);
  switch (Level) {
    case 2:
      return PackRecord<PRINTER_INFO_2W>(pPrinter, cbBuf, pcbNeeded, [&](PRINTER_INFO_2W& r, Packer& k) {
        r.pDevMode = k.DevMode(p.globalDevMode);
        r.pServerName = p.serverName.empty() ? nullptr : k.Str(p.serverName);
        r.pPrinterName = k.Str(p.printerName);
        r.pShareName = k.Str(p.shareName);
        r.pPortName = k.Str(p.portName);
        r.pDriverName = k.Str(p.driverName);
        r.pComment = k.Str(p.comment);
        r.pLocation = k.Str(p.location);
        r.pSepFile = k.Str(p.sepFile);
        r.pPrintProcessor = k.Str(p.printProcessor);
        r.pDatatype = k.Str(p.datatype);
        r.pParameters = k.Str(p.parameters);
        r.pSecurityDescriptor = nullptr;
        r.Attributes = p.attributes;
        r.Priority = p.priority;
        r.DefaultPriority = p.defaultPriority;
        r.StartTime = p.startTime;
        r.UntilTime = p.untilTime;
        r.Status = p.status;
        r.cJobs = p.jobs;
        r.AveragePPM = p.averagePPM;
      });
    case 8:
      return PackRecord<PRINTER_INFO_8W>(pPrinter, cbBuf, pcbNeeded, [&](PRINTER_INFO_8W& r, Packer& k) {
        r.pDevMode = k.DevMode(p.globalDevMode);
      });
    default:
      return PackRecord<PRINTER_INFO_9W>(pPrinter, cbBuf, pcbNeeded, [&](PRINTER_INFO_9W& r, Packer& k) {
        r.pDevMode = k.DevMode(p.userDevMode);
      });
  }
}

TWAPI BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  auto session = Session(hPrinter);
  if (!session) return Fail(ERROR_INVALID_HANDLE);
  if (!pcbNeeded) return Fail(RPC_X_NULL_REF_POINTER);
  if (Level != 1 && Level != 2) return Fail(ERROR_INVALID_LEVEL);
  JobRecord j;
  if (DWORD error = session->GetJob(JobId, j)) return Fail(error);
  if (Level == 1) {
    return PackRecord<JOB_INFO_1W>(pJob, cbBuf, pcbNeeded, [&](JOB_INFO_1W& r, Packer& k) {
      r.JobId = j.jobId;
      r.pPrinterName = k.Str(j.printerName);
      r.pMachineName = k.Str(j.machineName);
      r.pUserName = k.Str(j.userName);
      r.pDocument = k.Str(j.document);
      r.pDatatype = k.Str(j.datatype);
      r.pStatus = j.statusText.empty() ? nullptr : k.Str(j.statusText);
      r.Status = j.status;
      r.Priority = j.priority;
      r.Position = j.position;
      r.TotalPages = j.totalPages;
      r.PagesPrinted = j.pagesPrinted;
      r.Submitted = j.submitted;
    });
  }
  return PackRecord<JOB_INFO_2W>(pJob, cbBuf, pcbNeeded, [&](JOB_INFO_2W& r, Packer& k) {
    r.JobId = j.jobId;
    r.pDevMode = k.DevMode(j.devMode);
    r.pPrinterName = k.Str(j.printerName);
    r.pMachineName = k.Str(j.machineName);
    r.pUserName = k.Str(j.userName);
    r.pDocument = k.Str(j.document);
    r.pNotifyName = k.Str(j.notifyName);
    r.pDatatype = k.Str(j.datatype);
    r.pPrintProcessor = k.Str(j.printProcessor);
    r.pParameters = k.Str(j.parameters);
    r.pDriverName = k.Str(j.driverName);
    r.pStatus = j.statusText.empty() ? nullptr : k.Str(j.statusText);
    r.pSecurityDescriptor = nullptr;
    r.Status = j.status;
    r.Priority = j.priority;
    r.Position = j.position;
    r.StartTime = j.startTime;
    r.UntilTime = j.untilTime;
    r.TotalPages = j.totalPages;
    r.Size = j.size;
    r.Submitted = j.submitted;
    r.Time = j.time;
    r.PagesPrinted = j.pagesPrinted;
  });
}

TWAPI BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  auto session = Session(hPrinter);
  if (!session) return Fail(ERROR_INVALID_HANDLE);
  if (Level != 0 || pJob) {
    // Changing job records (priority, position, document name) is not served.
    if (Level > 4) return Fail(ERROR_INVALID_LEVEL);
    return Fail(ERROR_NOT_SUPPORTED);
  }
  switch (Command) {
    case JOB_CONTROL_PAUSE:
    case JOB_CONTROL_RESUME:
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_RESTART:
    case JOB_CONTROL_DELETE:
    case JOB_CONTROL_SENT_TO_PRINTER:
    case JOB_CONTROL_LAST_PAGE_EJECTED:
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
  if (DWORD error = session->ControlJob(JobId, Command)) return Fail(error);
  return TRUE;
}

TWAPI BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                                    DWORD cbBuf, LPDWORD pcbNeeded) {
  auto session = Session(hPrinter);
  if (!session) return Fail(ERROR_INVALID_HANDLE);
  if (!pcbNeeded) return Fail(RPC_X_NULL_REF_POINTER);
  if (Level != 1 && Level != 2) return Fail(ERROR_INVALID_LEVEL);
  DriverRecord d;
  if (DWORD error = session->GetDriver(View(pEnvironment), d)) return Fail(error);
  if (Level == 1) {
    return PackRecord<DRIVER_INFO_1W>(pDriverInfo, cbBuf, pcbNeeded,
                                      [&](DRIVER_INFO_1W& r, Packer& k) { r.pName = k.Str(d.name); });
  }
  return PackRecord<DRIVER_INFO_2W>(pDriverInfo, cbBuf, pcbNeeded, [&](DRIVER_INFO_2W& r, Packer& k) {
    r.cVersion = d.version;
    r.pName = k.Str(d.name);
    r.pEnvironment = k.Str(d.environment);
    r.pDriverPath = k.Str(d.driverPath);
    r.pDataFile = k.Str(d.dataFile);
    r.pConfigFile = k.Str(d.configFile);
  });
}

TWAPI BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level,
                                             LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (!pcbNeeded) return Fail(RPC_X_NULL_REF_POINTER);
  auto provider = GetProvider();
  if (!provider) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (pName && *pName) return Fail(ERROR_INVALID_NAME);  // remote servers are not served
  if (Level != 1) return Fail(ERROR_INVALID_LEVEL);
  std::u16string dir;
  if (DWORD error = provider->GetDriverDirectory(View(pEnvironment), dir)) return Fail(error);
  size_t needed = (dir.size() + 1) * sizeof(WCHAR);
  *pcbNeeded = static_cast<DWORD>(needed);
  if (!pDriverDirectory || cbBuf < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(pDriverDirectory, dir.c_str(), needed);
  return TRUE;
}

TWAPI DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                                   LPDWORD pcbNeeded) {
  auto session = Session(hPrinter);
  if (!session) return ERROR_INVALID_HANDLE;
  if (!pcbNeeded) return RPC_X_NULL_REF_POINTER;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (DWORD error = session->GetPrinterData(View(pValueName), type, data)) return error;
  *pcbNeeded = static_cast<DWORD>(data.size());
  if (pType) *pType = type;
  if (data.size() > nSize || (!pData && !data.empty())) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(pData, data.data(), data.size());
  return ERROR_SUCCESS;
}
