// The spooler's side of a port monitor (see spooler_host.h).
#include "spooler_host.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tw/token.h"
#include "tw/utf.h"

namespace twspool {
namespace {

HKEY K(HANDLE h) { return static_cast<HKEY>(h); }

// The registry callbacks of MONITORINIT: the monitor's key handles are the
// layer's registry handles.
LONG WINAPI CbCreateKey(HANDLE hcKey, LPCWSTR pszSubKey, DWORD dwOptions, REGSAM samDesired,
                        PSECURITY_ATTRIBUTES pSecurityAttributes, PHANDLE phckResult, PDWORD pdwDisposition,
                        HANDLE) {
  if (!phckResult) return ERROR_INVALID_PARAMETER;
  HKEY result = nullptr;
  LONG st = RegCreateKeyExW(K(hcKey), pszSubKey, 0, nullptr, dwOptions, samDesired, pSecurityAttributes, &result,
                            pdwDisposition);
  *phckResult = st == ERROR_SUCCESS ? result : nullptr;
  return st;
}
LONG WINAPI CbOpenKey(HANDLE hcKey, LPCWSTR pszSubKey, REGSAM samDesired, PHANDLE phkResult, HANDLE) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  HKEY result = nullptr;
  LONG st = RegOpenKeyExW(K(hcKey), pszSubKey, 0, samDesired, &result);
  *phkResult = st == ERROR_SUCCESS ? result : nullptr;
  return st;
}
LONG WINAPI CbCloseKey(HANDLE hcKey, HANDLE) { return RegCloseKey(K(hcKey)); }
LONG WINAPI CbDeleteKey(HANDLE hcKey, LPCWSTR pszSubKey, HANDLE) { return RegDeleteKeyW(K(hcKey), pszSubKey); }
LONG WINAPI CbEnumKey(HANDLE hcKey, DWORD dwIndex, LPWSTR pszName, PDWORD pcchName, PFILETIME pftLastWriteTime,
                      HANDLE) {
  return RegEnumKeyExW(K(hcKey), dwIndex, pszName, pcchName, nullptr, nullptr, nullptr, pftLastWriteTime);
}
// Sizes of names come back in bytes, as the spooler reports them.
LONG WINAPI CbQueryInfoKey(HANDLE hcKey, PDWORD pcSubKeys, PDWORD pcbKey, PDWORD pcValues, PDWORD pcbValue,
                           PDWORD pcbData, PDWORD pcbSecurityDescriptor, PFILETIME pftLastWriteTime, HANDLE) {
  DWORD maxKey = 0, maxValue = 0;
  LONG st = RegQueryInfoKeyW(K(hcKey), nullptr, nullptr, nullptr, pcSubKeys, &maxKey, nullptr, pcValues, &maxValue,
                             pcbData, pcbSecurityDescriptor, pftLastWriteTime);
  if (st == ERROR_SUCCESS) {
    if (pcbKey) *pcbKey = maxKey * sizeof(WCHAR);
    if (pcbValue) *pcbValue = maxValue * sizeof(WCHAR);
  }
  return st;
}
LONG WINAPI CbSetValue(HANDLE hcKey, LPCWSTR pszValue, DWORD dwType, const BYTE* pData, DWORD cbData, HANDLE) {
  return RegSetValueExW(K(hcKey), pszValue, 0, dwType, pData, cbData);
}
LONG WINAPI CbDeleteValue(HANDLE hcKey, LPCWSTR pszValue, HANDLE) { return RegDeleteValueW(K(hcKey), pszValue); }
LONG WINAPI CbEnumValue(HANDLE hcKey, DWORD dwIndex, LPWSTR pszValue, PDWORD pcbValue, PDWORD pType, PBYTE pData,
                        PDWORD pcbData, HANDLE) {
  if (!pcbValue) return ERROR_INVALID_PARAMETER;
  DWORD cch = *pcbValue / sizeof(WCHAR);
  LONG st = RegEnumValueW(K(hcKey), dwIndex, pszValue, &cch, nullptr, pType, pData, pcbData);
  if (st == ERROR_SUCCESS) *pcbValue = cch * sizeof(WCHAR);
  return st;
}
LONG WINAPI CbQueryValue(HANDLE hcKey, LPCWSTR pszValue, PDWORD pType, PBYTE pData, PDWORD pcbData, HANDLE) {
  return RegQueryValueExW(K(hcKey), pszValue, nullptr, pType, pData, pcbData);
}

std::string Utf8(std::u16string_view s) { return tw::ToUtf8(s); }

bool SameName(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

const char* ResultName(JobResult result) {
  switch (result) {
    case JobResult::Printed: return "printed";
    case JobResult::Failed: return "failed";
    case JobResult::Aborted: return "aborted";
    case JobResult::NotStarted: break;
  }
  return "not started";
}

struct SpoolerHost::PrintRun {
  SpoolerHost* host = nullptr;
  size_t index = 0;
  const PrintOptions* options = nullptr;
  const std::vector<BYTE>* data = nullptr;
  const std::string* path = nullptr;  // empty: the document is `data`
  size_t size = 0;
  DWORD jobId = 0;
  HANDLE token = nullptr;
  HANDLE thread = nullptr;
  std::u16string port;
  std::string error;
  bool userDeleted = false;
  bool started = false;
};

SpoolerHost::SpoolerHost() : m_spooler(std::make_shared<tw::spool::MachineSpooler>()) {
  m_previousProvider = tw::spool::SetProvider(m_spooler);
  // The monitor reaches RevertToPrinterSelf / ImpersonatePrinterClient
  // through "Spoolss.dll", which the spooler process provides.
  tw::module::RegisterBuiltin(u"Spoolss.dll", tw::token::SpoolssExports());
}

SpoolerHost::~SpoolerHost() {
  if (m_table && m_table->pfnShutdown) m_table->pfnShutdown(m_monitor);
  if (m_module) FreeLibrary(m_module);
  if (m_root) RegCloseKey(m_root);
  tw::spool::SetProvider(m_previousProvider);
}

bool SpoolerHost::Load(std::u16string_view monitorName, std::u16string_view dllName, std::string& error) {
  m_monitorName = monitorName;
  std::u16string keyPath = std::u16string(tw::spool::kMonitorsKey) + u"\\" + m_monitorName;
  LONG st = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_root,
                            nullptr);
  if (st != ERROR_SUCCESS) {
    error = "cannot create the monitor's registry key (error " + std::to_string(st) + ")";
    return false;
  }
  std::u16string dll(dllName);
  RegSetValueExW(m_root, u"Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                 static_cast<DWORD>((dll.size() + 1) * sizeof(WCHAR)));
  // Bare names come from the system directory, as the spooler loads monitors.
  std::u16string path = dll.find_first_of(u"\\/:") == std::u16string::npos
                            ? u"C:\\Windows\\System32\\" + dll
                            : dll;
  m_module = LoadLibraryW(path.c_str());
  if (!m_module) {
    DWORD e = GetLastError();
    error = "cannot load " + Utf8(path) + " (error " + std::to_string(e) + ")";
    if (e == ERROR_MOD_NOT_FOUND) error += "; run 'twspool init' first";
    return false;
  }
  auto init = reinterpret_cast<PFN_InitializePrintMonitor2>(GetProcAddress(m_module, "InitializePrintMonitor2"));
  if (!init) {
    error = Utf8(dll) + " does not export InitializePrintMonitor2";
    return false;
  }
  m_reg = {sizeof(MONITORREG), CbCreateKey,  CbOpenKey, CbCloseKey,    CbDeleteKey, CbEnumKey,
           CbQueryInfoKey,     CbSetValue,   CbDeleteValue, CbEnumValue, CbQueryValue};
  m_init.cbSize = sizeof(MONITORINIT);
  m_init.hSpooler = reinterpret_cast<HANDLE>(this);
  m_init.hckRegistryRoot = m_root;
  m_init.pMonitorReg = &m_reg;
  m_init.bLocal = TRUE;
  m_init.pszServerName = nullptr;
  m_table = init(&m_init, &m_monitor);
  if (!m_table) {
    error = Utf8(dll) + ": InitializePrintMonitor2 failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  // A table smaller than the fields the spooler calls is refused (the
  // Windows 2000 record ends before the bidirectional entry).
  if (m_table->cbSize < offsetof(MONITOR2, pfnSendRecvBidiDataFromPort) - 4) {
    error = Utf8(dll) + ": the monitor table is too small (" + std::to_string(m_table->cbSize) + " bytes)";
    m_table = nullptr;
    return false;
  }
  return true;
}

bool SpoolerHost::SetJobOperationHook(JobOperationHook hook, void* context) {
  using SetHook = VOID(WINAPI*)(JobOperationHook, void*);
  auto set = m_module ? reinterpret_cast<SetHook>(GetProcAddress(m_module, "TwSetJobOperationHook")) : nullptr;
  if (!set) return false;
  set(hook, context);
  return true;
}

bool SpoolerHost::EnumPorts(DWORD level, std::vector<PortEntry>& out, DWORD& error) {
  out.clear();
  error = ERROR_SUCCESS;
  if (!m_table || !m_table->pfnEnumPorts) {
    error = ERROR_NOT_SUPPORTED;
    return false;
  }
  DWORD needed = 0, returned = 0;
  std::vector<BYTE> buf;
  // The list may grow between the size query and the call: ask again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    returned = 0;
    if (m_table->pfnEnumPorts(m_monitor, nullptr, level, buf.empty() ? nullptr : buf.data(),
                              static_cast<DWORD>(buf.size()), &needed, &returned)) {
      if (returned && buf.size() < (level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W)) * returned) {
        error = ERROR_INVALID_DATA;
        return false;
      }
      for (DWORD i = 0; i < returned; ++i) {
        PortEntry e;
        if (level == 1) {
          PORT_INFO_1W p;
          std::memcpy(&p, buf.data() + i * sizeof p, sizeof p);
          e.name = tw::View(p.pName);
        } else {
          PORT_INFO_2W p;
          std::memcpy(&p, buf.data() + i * sizeof p, sizeof p);
          e.name = tw::View(p.pPortName);
          e.monitor = tw::View(p.pMonitorName);
          e.description = tw::View(p.pDescription);
          e.type = p.fPortType;
        }
        out.push_back(std::move(e));
      }
      return true;
    }
    error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buf.size()) return false;
    buf.assign(needed, 0);
  }
  return false;
}

bool SpoolerHost::HasPort(std::u16string_view name) {
  std::vector<PortEntry> ports;
  DWORD error = 0;
  if (!EnumPorts(1, ports, error)) return false;
  return std::any_of(ports.begin(), ports.end(), [&](const PortEntry& p) {
    return p.name.size() == name.size() &&
           CompareStringOrdinal(p.name.data(), static_cast<int>(p.name.size()), name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
  });
}

DWORD SpoolerHost::Xcv(std::u16string_view dataName, std::u16string_view input) {
  if (!m_table || !m_table->pfnXcvOpenPort || !m_table->pfnXcvDataPort) return ERROR_NOT_SUPPORTED;
  HANDLE xcv = nullptr;
  // A monitor-wide Xcv handle: the object is the monitor's name.
  if (!m_table->pfnXcvOpenPort(m_monitor, m_monitorName.c_str(), SERVER_ACCESS_ADMINISTER, &xcv)) {
    DWORD e = GetLastError();
    return e ? e : ERROR_INVALID_HANDLE;
  }
  std::u16string name(dataName), data(input);
  DWORD needed = 0;
  DWORD result = m_table->pfnXcvDataPort(xcv, name.c_str(), reinterpret_cast<PBYTE>(data.data()),
                                         static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR)), nullptr, 0, &needed);
  if (m_table->pfnXcvClosePort) m_table->pfnXcvClosePort(xcv);
  return result;
}

JobOutcome SpoolerHost::Print(const PrintOptions& options, const std::vector<BYTE>& data) {
  return PrintAll({{options, data}}).front();
}

std::vector<JobOutcome> SpoolerHost::PrintAll(const std::vector<Request>& requests) {
  std::vector<PrintRun> runs(requests.size());
  std::vector<JobOutcome> outcomes(requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    runs[i].options = &requests[i].options;
    runs[i].data = &requests[i].data;
    StartRun(runs[i], outcomes[i]);
  }
  for (size_t i = 0; i < requests.size(); ++i) FinishRun(runs[i], outcomes[i]);
  return outcomes;
}

bool SpoolerHost::StartRun(PrintRun& run, JobOutcome& outcome) {
  return QueueRun(run, outcome) && LaunchRun(run, outcome);
}

bool SpoolerHost::QueueRun(PrintRun& run, JobOutcome& outcome) {
  run.host = this;
  const PrintOptions& options = *run.options;
  if (!m_table) {
    outcome.error = "the monitor is not loaded";
    return false;
  }
  tw::spool::PrinterRecord printer;
  bool found = false;
  for (auto& p : tw::spool::MachineSpooler::Printers()) {
    if (SameName(p.printerName, options.printer)) {
      printer = p;
      found = true;
    }
  }
  if (!found) {
    outcome.error = "no printer named \"" + Utf8(options.printer) + "\"";
    return false;
  }
  std::u16string user = options.user;
  if (user.empty()) user = tw::config::Get()->defaultUser;
  run.port = printer.portName;
  run.token = tw::token::MakeUserToken(user, 0);
  if (!run.token) {
    outcome.error = "unknown user \"" + Utf8(user) + "\"";
    return false;
  }
  if (DWORD e = m_spooler->AddJob(printer.printerName, options.document, user, run.jobId)) {
    CloseHandle(run.token);
    run.token = nullptr;
    outcome.error = "cannot queue the job (error " + std::to_string(e) + ")";
    return false;
  }
  size_t size = run.data->size();
  if (run.path && !run.path->empty()) {
    std::error_code ec;
    size = static_cast<size_t>(std::filesystem::file_size(*run.path, ec));
    if (ec) {
      DropRun(run);
      outcome.error = "cannot read " + *run.path;
      return false;
    }
  }
  run.size = size;
  m_spooler->SetJobSize(run.jobId, static_cast<DWORD>(std::min<size_t>(size, 0xFFFFFFFFu)));
  outcome.jobId = run.jobId;
  return true;
}

bool SpoolerHost::LaunchRun(PrintRun& run, JobOutcome& outcome) {
  // Each document runs on its own thread, so the monitor sees the thread
  // attach and detach as under the spooler.
  run.thread = CreateThread(nullptr, 0, PrintThread, &run, 0, nullptr);
  if (!run.thread) outcome.error = "cannot start the port thread (error " + std::to_string(GetLastError()) + ")";
  return run.thread != nullptr;
}

void SpoolerHost::DropRun(PrintRun& run) {
  if (run.token) CloseHandle(run.token);
  run.token = nullptr;
  if (run.jobId) m_spooler->RemoveJob(run.jobId);
  run.jobId = 0;
}

namespace {
// The document a port thread runs, for the operation hook (the monitor
// calls it on the thread that called WritePort).
thread_local const void* t_currentRun = nullptr;
}  // namespace

void WINAPI SpoolerHost::OperationHook(void* context, const WCHAR* operation, DWORD arg) {
  auto* host = static_cast<SpoolerHost*>(context);
  const auto* run = static_cast<const PrintRun*>(t_currentRun);
  if (host->m_observer && run && run->host == host)
    host->m_observer->JobOperation(run->index, operation ? operation : u"", arg);
}

std::vector<JobOutcome> SpoolerHost::PrintQueued(const std::vector<Request>& requests, JobObserver* observer,
                                                 DWORD tickMilliseconds) {
  std::vector<PrintRun> runs(requests.size());
  std::vector<JobOutcome> outcomes(requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    runs[i].index = i;
    runs[i].options = &requests[i].options;
    runs[i].data = &requests[i].data;
    runs[i].path = &requests[i].path;
    if (!QueueRun(runs[i], outcomes[i])) {
      for (auto& run : runs) DropRun(run);
      for (auto& outcome : outcomes) outcome.jobId = 0;
      return outcomes;
    }
  }
  // One queue per port, in request order.
  std::vector<std::vector<size_t>> queues;
  for (size_t i = 0; i < runs.size(); ++i) {
    auto same = std::find_if(queues.begin(), queues.end(),
                             [&](const std::vector<size_t>& q) { return SameName(runs[q.front()].port, runs[i].port); });
    if (same == queues.end()) queues.push_back({i});
    else same->push_back(i);
  }
  const bool hooked = observer && SetJobOperationHook(&SpoolerHost::OperationHook, this);
  m_observer = observer;
  std::vector<size_t> next(queues.size(), 0);  // the next request of each port's queue
  std::vector<size_t> running;                 // per running port thread: its request
  // Starts the next document of port queue q; a thread that cannot start
  // ends its job at once.
  auto startNext = [&](size_t q) {
    while (next[q] < queues[q].size()) {
      const size_t i = queues[q][next[q]++];
      if (observer) observer->JobStarted(i);
      if (LaunchRun(runs[i], outcomes[i])) {
        running.push_back(i);
        return;
      }
      FinishRun(runs[i], outcomes[i]);
      if (observer) observer->JobFinished(i, outcomes[i]);
    }
  };
  auto queueOf = [&](size_t i) {
    for (size_t q = 0; q < queues.size(); ++q)
      if (std::find(queues[q].begin(), queues[q].end(), i) != queues[q].end()) return q;
    return size_t{0};
  };
  for (size_t q = 0; q < queues.size(); ++q) startNext(q);
  while (!running.empty()) {
    // At most MAXIMUM_WAIT_OBJECTS threads are watched at once; the rest are
    // seen when they are among the first again.
    std::vector<HANDLE> threads;
    for (size_t k = 0; k < running.size() && k < MAXIMUM_WAIT_OBJECTS; ++k) threads.push_back(runs[running[k]].thread);
    const DWORD wait = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), FALSE,
                                              observer ? tickMilliseconds : INFINITE);
    if (wait == WAIT_TIMEOUT) {
      if (observer) observer->Tick();
      continue;
    }
    const size_t k = wait < WAIT_OBJECT_0 + threads.size() ? wait - WAIT_OBJECT_0 : 0;
    const size_t i = running[k];
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
    FinishRun(runs[i], outcomes[i]);  // waits for the thread when the wait itself failed
    if (observer) observer->JobFinished(i, outcomes[i]);
    startNext(queueOf(i));
  }
  m_observer = nullptr;
  if (hooked) SetJobOperationHook(nullptr, nullptr);
  return outcomes;
}

void SpoolerHost::FinishRun(PrintRun& run, JobOutcome& outcome) {
  if (run.thread) {
    WaitForSingleObject(run.thread, INFINITE);
    CloseHandle(run.thread);
    run.thread = nullptr;
  }
  if (run.token) {
    CloseHandle(run.token);
    run.token = nullptr;
  }
  if (!run.jobId) return;
  outcome.controls = m_spooler->JobControls(run.jobId);
  m_spooler->RemoveJob(run.jobId);
  if (outcome.error.empty()) outcome.error = run.error;
  if (!run.started) {
    outcome.result = JobResult::NotStarted;
  } else if (run.userDeleted) {
    outcome.result = JobResult::Aborted;
  } else {
    bool failed = !run.error.empty() || std::any_of(outcome.controls.begin(), outcome.controls.end(), [](auto& c) {
      return c.command == JOB_CONTROL_CANCEL && c.phase != "EndDocPort";
    });
    outcome.result = failed ? JobResult::Failed : JobResult::Printed;
  }
}

DWORD WINAPI SpoolerHost::PrintThread(LPVOID param) {
  auto* run = static_cast<PrintRun*>(param);
  t_currentRun = run;
  run->host->RunDocument(*run);
  t_currentRun = nullptr;
  return 0;
}

void SpoolerHost::RunDocument(PrintRun& run) {
  const MONITOR2& t = *m_table;
  // The spooler impersonates the printing client from StartDocPort to EndDocPort.
  if (!ImpersonateLoggedOnUser(run.token)) {
    run.error = "cannot impersonate the job's user (error " + std::to_string(GetLastError()) + ")";
    return;
  }
  HANDLE port = nullptr;
  std::u16string portName = run.port;
  BOOL opened = t.pfnOpenPort ? t.pfnOpenPort(m_monitor, portName.data(), &port)
                : t.pfnOpenPortEx ? t.pfnOpenPortEx(m_monitor, nullptr, portName.data(),
                                                    const_cast<LPWSTR>(run.options->printer.c_str()), &port, m_table)
                                  : FALSE;
  if (!opened) {
    run.error = "the monitor cannot open port " + Utf8(run.port);
    RevertToSelf();
    return;
  }
  std::u16string printer = run.options->printer, document = run.options->document, datatype = u"RAW";
  DOC_INFO_1W doc{document.data(), nullptr, datatype.data()};
  m_spooler->SetJobPhase(run.jobId, "StartDocPort");
  m_spooler->UpdateJobStatus(run.jobId, JOB_STATUS_PRINTING, JOB_STATUS_SPOOLING);
  if (!t.pfnStartDocPort(port, printer.data(), run.jobId, 1, reinterpret_cast<LPBYTE>(&doc))) {
    run.error = "StartDocPort failed (error " + std::to_string(GetLastError()) + ")";
  } else {
    run.started = true;
    m_spooler->SetJobPhase(run.jobId, "WritePort");
    const auto& data = *run.data;
    constexpr size_t kFileBlock = 65536;
    std::ifstream file;
    if (run.path && !run.path->empty()) file.open(*run.path, std::ios::binary);
    const bool fromFile = file.is_open();
    const size_t total = fromFile ? run.size : data.size();
    size_t block = run.options->blockSize ? run.options->blockSize
                   : fromFile            ? kFileBlock
                                         : std::max<size_t>(data.size(), 1);
    if (run.path && !run.path->empty() && !fromFile) run.error = "cannot open " + *run.path;
    std::vector<BYTE> buffer;  // a block read from the file; `used` of it written
    size_t used = 0;
    size_t sent = 0;
    auto userDeletes = [&] {
      if (sent >= run.options->deleteAfter && !run.userDeleted) {
        run.userDeleted = true;  // the user deletes the job in the queue
        m_spooler->UpdateJobStatus(run.jobId, JOB_STATUS_DELETING, 0);
      }
    };
    userDeletes();
    while (run.error.empty() && sent < total) {
      tw::spool::JobRecord job;
      // A deleted job gets no more data; the spooler goes on to EndDocPort.
      if (m_spooler->FindJob(run.jobId, job) && (job.status & JOB_STATUS_DELETING)) break;
      const BYTE* at = data.data() + sent;
      DWORD n = static_cast<DWORD>(std::min(block, total - sent));
      if (fromFile) {
        if (used == buffer.size()) {
          buffer.resize(n);
          used = 0;
          if (!file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(n))) {
            run.error = "cannot read " + *run.path;
            break;
          }
        }
        at = buffer.data() + used;
        n = static_cast<DWORD>(buffer.size() - used);
      }
      DWORD written = 0;
      if (!t.pfnWritePort(port, const_cast<LPBYTE>(at), n, &written)) {
        run.error = "WritePort failed (error " + std::to_string(GetLastError()) + ")";
        break;
      }
      if (written == 0 || written > n) {
        run.error = "WritePort wrote " + std::to_string(written) + " of " + std::to_string(n) + " bytes";
        break;
      }
      sent += written;
      used += written;
      userDeletes();
    }
    m_spooler->SetJobPhase(run.jobId, "EndDocPort");
    if (!t.pfnEndDocPort(port) && run.error.empty())
      run.error = "EndDocPort failed (error " + std::to_string(GetLastError()) + ")";
  }
  m_spooler->SetJobPhase(run.jobId, "ClosePort");
  if (t.pfnClosePort) t.pfnClosePort(port);
  RevertToSelf();
}

}  // namespace twspool
