// A small port monitor for the spooler host's tests. It keeps its ports as
// values of "PortList" under the registry root it is given (through the
// spooler's callbacks), asks for a port name as the real one does, and
// writes every call it receives to "fakemon.log" in the machine root.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "tw/modulekit.h"
#include "tw/root.h"
#include "tw/token.h"
#include "tw/utf.h"

TW_RESOURCES(tw::res::Strings({{10, u"Fake Monitor"}}),
             tw::res::Dialog(103, tw::res::DialogTemplate(u"Add Fake Port", {0, 0, 186, 62})
                                      .Static(u"Enter port name:", {36, 7, 120, 8})
                                      .Edit(1001, {36, 18, 143, 14})
                                      .DefButton(u"OK", IDOK, {75, 40, 50, 14})
                                      .Button(u"Cancel", IDCANCEL, {129, 40, 50, 14})));

namespace {

HMODULE g_module = nullptr;
PMONITORINIT g_init = nullptr;
WCHAR g_dialogName[64];

void Log(const std::string& line) {
  std::ofstream(tw::root::Path("fakemon.log"), std::ios::app) << line << "\n";
}

std::string U8(LPCWSTR s) { return s ? tw::ToUtf8(s) : std::string("(null)"); }

struct Port {
  std::u16string name;
  std::u16string printer;
  HANDLE hPrinter = nullptr;
  DWORD jobId = 0;
  size_t bytes = 0;
  bool failed = false;
};

// The ports, read from the registry on every call (no cache to go stale).
std::vector<std::u16string> Ports() {
  std::vector<std::u16string> out;
  HANDLE key = nullptr;
  if (g_init->pMonitorReg->fpCreateKey(g_init->hckRegistryRoot, u"PortList", 0, KEY_ALL_ACCESS, nullptr, &key,
                                       nullptr, g_init->hSpooler) != ERROR_SUCCESS)
    return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[128];
    DWORD cb = sizeof name, type = 0, cbData = 0;
    if (g_init->pMonitorReg->fpEnumValue(key, i, name, &cb, &type, nullptr, &cbData, g_init->hSpooler) != 0) break;
    out.insert(out.begin(), name);  // newest first
  }
  g_init->pMonitorReg->fpCloseKey(key, g_init->hSpooler);
  return out;
}

BOOL WINAPI EnumPorts(HANDLE, LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                      LPDWORD pcReturned) {
  auto ports = Ports();
  if (pName) {
    *pcbNeeded = 0;
    return TRUE;
  }
  size_t record = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  static const std::u16string kMonitor = u"Fake Monitor", kDescription = u"Fake Port";
  size_t total = 0;
  for (auto& p : ports)
    total += record + (p.size() + 1) * 2 + (Level == 2 ? (kMonitor.size() + kDescription.size() + 2) * 2 : 0);
  *pcbNeeded = static_cast<DWORD>(total);
  if (cbBuf < total) {
    *pcReturned = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  BYTE* end = pPorts + cbBuf;
  auto put = [&](const std::u16string& s) {
    end -= (s.size() + 1) * 2;
    std::memcpy(end, s.c_str(), (s.size() + 1) * 2);
    return reinterpret_cast<LPWSTR>(end);
  };
  for (size_t i = 0; i < ports.size(); ++i) {
    if (Level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(pPorts)[i].pName = put(ports[i]);
    } else {
      auto& r = reinterpret_cast<PORT_INFO_2W*>(pPorts)[i];
      r.pDescription = put(kDescription);
      r.pMonitorName = put(kMonitor);
      r.pPortName = put(ports[i]);
      r.fPortType = PORT_TYPE_WRITE;
      r.Reserved = 0;
    }
    ++*pcReturned;
  }
  return TRUE;
}

BOOL WINAPI OpenPort(HANDLE, LPWSTR pName, PHANDLE pHandle) {
  for (auto& p : Ports()) {
    if (p == pName) {
      auto* port = new Port;
      port->name = p;
      *pHandle = port;
      Log("OpenPort " + U8(pName));
      return TRUE;
    }
  }
  return FALSE;
}

BOOL WINAPI ClosePort(HANDLE hPort) {
  delete static_cast<Port*>(hPort);
  Log("ClosePort");
  return TRUE;
}

// Ports with a document open: a second document on one of them means the
// spooler did not keep one document per port at a time.
std::mutex g_openLock;
std::vector<std::u16string> g_openPorts;

BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD, LPBYTE pDocInfo) {
  auto* port = static_cast<Port*>(hPort);
  port->printer = pPrinterName;
  port->jobId = JobId;
  {
    std::lock_guard lock(g_openLock);
    if (std::find(g_openPorts.begin(), g_openPorts.end(), port->name) != g_openPorts.end())
      Log("PortBusy " + tw::ToUtf8(port->name));
    g_openPorts.push_back(port->name);
  }
  Log("StartDocPort " + U8(pPrinterName) + " job " + std::to_string(JobId) + " doc " +
      U8(*reinterpret_cast<LPWSTR*>(pDocInfo)) + " user " + tw::ToUtf8(tw::token::ThreadUser().name));
  if (!OpenPrinterW(pPrinterName, &port->hPrinter, nullptr)) port->hPrinter = nullptr;
  DWORD needed = 0;
  GetJobW(port->hPrinter, JobId, 1, nullptr, 0, &needed);
  std::vector<BYTE> buf(needed);
  if (needed && GetJobW(port->hPrinter, JobId, 1, buf.data(), needed, &needed))
    Log("JobInfo document " + U8(reinterpret_cast<JOB_INFO_1W*>(buf.data())->pDocument));
  return TRUE;
}

// Documents whose blocks hold "MEET<c>:<ms>" wait up to <ms> milliseconds
// for each other: two documents printing at the same time meet, two printed
// one after the other do not ("Meet c met" / "Meet c alone").
std::mutex g_meetLock;
std::condition_variable g_meetChanged;
struct MeetingPlace {
  int present = 0;
  unsigned meetings = 0;
};
std::map<char, MeetingPlace> g_places;

void Meet(const std::string& block) {
  const size_t at = block.find("MEET");
  if (at == std::string::npos || at + 6 > block.size()) return;
  const char id = block[at + 4];
  const int ms = std::atoi(block.c_str() + at + 6);
  std::unique_lock lock(g_meetLock);
  MeetingPlace& place = g_places[id];
  bool met = place.present > 0;  // someone is waiting here
  if (met) ++place.meetings;
  ++place.present;
  g_meetChanged.notify_all();
  if (!met) {
    const unsigned before = place.meetings;
    met = g_meetChanged.wait_for(lock, std::chrono::milliseconds(ms), [&] { return place.meetings != before; });
  }
  --place.present;
  Log(std::string("Meet ") + id + (met ? " met" : " alone"));
}

BOOL WINAPI WritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  auto* port = static_cast<Port*>(hPort);
  Meet(std::string(reinterpret_cast<char*>(pBuffer), cbBuf));
  // A block holding "FAIL" fails the job, as a broken stream does.
  std::string block(reinterpret_cast<char*>(pBuffer), cbBuf);
  if (!port->failed && block.find("FAIL") != std::string::npos) {
    port->failed = true;
    SetJobW(port->hPrinter, port->jobId, 0, nullptr, JOB_CONTROL_CANCEL);
  }
  port->bytes += cbBuf;
  Log("WritePort " + std::to_string(cbBuf));
  *pcbWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE hPort) {
  auto* port = static_cast<Port*>(hPort);
  DWORD needed = 0;
  std::string state = "ended";
  if (!GetJobW(port->hPrinter, port->jobId, 1, nullptr, 0, &needed) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    std::vector<BYTE> buf(needed);
    if (GetJobW(port->hPrinter, port->jobId, 1, buf.data(), needed, &needed) &&
        (reinterpret_cast<JOB_INFO_1W*>(buf.data())->Status & JOB_STATUS_DELETING))
      state = "aborted";
  }
  SetJobW(port->hPrinter, port->jobId, 0, nullptr, JOB_CONTROL_CANCEL);
  ClosePrinter(port->hPrinter);
  {
    std::lock_guard lock(g_openLock);
    auto open = std::find(g_openPorts.begin(), g_openPorts.end(), port->name);
    if (open != g_openPorts.end()) g_openPorts.erase(open);
  }
  Log("EndDocPort " + state + " bytes " + std::to_string(port->bytes));
  return TRUE;
}

BOOL WINAPI XcvOpenPort(HANDLE, LPCWSTR pszObject, ACCESS_MASK, PHANDLE phXcv) {
  Log("XcvOpenPort " + U8(pszObject));
  *phXcv = reinterpret_cast<HANDLE>(1);
  return TRUE;
}

INT_PTR CALLBACK AddPortProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) {
    SetFocus(GetDlgItem(hDlg, 1001));
    SendDlgItemMessageW(hDlg, 1001, EM_LIMITTEXT, 62, 0);
    return FALSE;
  }
  if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
    GetDlgItemTextW(hDlg, 1001, g_dialogName, 63);
    EndDialog(hDlg, 1);
  } else if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(hDlg, 0);
  }
  return FALSE;
}

DWORD WINAPI XcvDataPort(HANDLE, LPCWSTR pszDataName, PBYTE pInputData, DWORD, PBYTE, DWORD, PDWORD) {
  std::u16string request = pszDataName;
  std::u16string input = reinterpret_cast<LPCWSTR>(pInputData);
  Log("XcvDataPort " + tw::ToUtf8(request) + " " + tw::ToUtf8(input));
  HANDLE key = nullptr;
  if (g_init->pMonitorReg->fpCreateKey(g_init->hckRegistryRoot, u"PortList", 0, KEY_ALL_ACCESS, nullptr, &key,
                                       nullptr, g_init->hSpooler) != ERROR_SUCCESS)
    return 0;
  if (request == u"AddPort") {
    WCHAR name[64];
    GetPrivateProfileStringW(u"PortName", u"PortName", u"", name, 64, u"TwMonitor.ini");
    if (std::u16string(name).size() <= 1) {
      g_dialogName[0] = 0;
      if (DialogBoxParamW(g_module, MAKEINTRESOURCEW(103), nullptr, AddPortProc, 0) == 0) {
        g_init->pMonitorReg->fpCloseKey(key, g_init->hSpooler);
        return 0;
      }
      std::copy_n(g_dialogName, 64, name);
    }
    bool exists = false;
    for (auto& p : Ports()) exists |= CompareStringOrdinal(p.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
    if (exists) {
      MessageBoxW(nullptr, u"Cannot add port! The specified port already exists.", u"Message", MB_OK);
    } else {
      static const BYTE kSpace[] = {0x20, 0};
      g_init->pMonitorReg->fpSetValue(key, name, REG_SZ, kSpace, 2, g_init->hSpooler);
    }
  } else if (request == u"DeletePort") {
    g_init->pMonitorReg->fpDeleteValue(key, input.c_str(), g_init->hSpooler);
  }
  g_init->pMonitorReg->fpCloseKey(key, g_init->hSpooler);
  return 0;
}

BOOL WINAPI XcvClosePort(HANDLE) { return TRUE; }
VOID WINAPI Shutdown(HANDLE) { Log("Shutdown"); }

MONITOR2 g_table = {sizeof(MONITOR2), EnumPorts,   OpenPort,     nullptr,      StartDocPort, WritePort, nullptr,
                    EndDocPort,       ClosePort,   nullptr,      nullptr,      nullptr,      nullptr,   nullptr,
                    nullptr,          XcvOpenPort, XcvDataPort,  XcvClosePort, Shutdown,     nullptr};

}  // namespace

TW_EXPORT LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  g_init = pMonitorInit;
  *phMonitor = nullptr;
  // Tests make the table look like an older system's.
  if (const char* size = std::getenv("TW_FAKE_MONITOR_SIZE")) g_table.cbSize = static_cast<DWORD>(std::atoi(size));
  else g_table.cbSize = sizeof(MONITOR2);
  DWORD type = 0, cb = 0;
  LONG driver = pMonitorInit->pMonitorReg->fpQueryValue(pMonitorInit->hckRegistryRoot, u"Driver", &type, nullptr,
                                                        &cb, pMonitorInit->hSpooler);
  Log("InitializePrintMonitor2 size " + std::to_string(pMonitorInit->cbSize) + " driver " + std::to_string(driver) +
      " local " + std::to_string(pMonitorInit->bLocal));
  return &g_table;
}

TW_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  if (reason == DLL_THREAD_ATTACH) Log("ThreadAttach");
  if (reason == DLL_THREAD_DETACH) Log("ThreadDetach");
  return TRUE;
}
