// The face the monitor turns to the spooler: InitializePrintMonitor2 and the
// operations of the monitor function table.
#include <cstring>

#include <windows.h>
#include <winsplp.h>
#include <winuser.h>

#include "monitor/add_port.h"
#include "core/log/tw_log.h"
#include "monitor/monitor_globals.h"
#include "monitor/port_list.h"
#include "core/thread_state.h"
#include "tw/modulekit.h"

using tw::monitor::Globals;

namespace {

// The record behind an Xcv handle: two pointers, then the object name.
struct TW_XCV_HANDLE {
  LPWSTR pszObject;
  CTWPortInfo* pPortInfo;
};
static_assert(sizeof(TW_XCV_HANDLE) == 16);

constexpr WCHAR kMonitorsKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr WCHAR kTestValue[] = u"MonitorTest";
constexpr WCHAR kTestData[] = u"Test";

CTWPortInfo* PortOf(HANDLE handle) { return static_cast<CTWPortInfo*>(handle); }

BOOL WINAPI devEnumPorts(HANDLE, LPWSTR pName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                         LPDWORD returned) {
  DWORD ignoredNeeded = 0, ignoredReturned = 0;
  if (!needed) needed = &ignoredNeeded;
  if (!returned) returned = &ignoredReturned;
  CPortList& list = PortList();
  list.Lock();
  BOOL result = list.EnumPorts(pName, level, buffer, size, needed, returned);
  DWORD error = GetLastError();
  list.Unlock();
  SetLastError(error);
  return result;
}

BOOL WINAPI devOpenPort(HANDLE, LPWSTR pName, PHANDLE pHandle) {
  CPortList& list = PortList();
  list.Lock();
  // A spooler enumerates the ports before it opens one; a host that does not
  // still finds the ports of the registry.
  if (!list.First()) list.CreatePortListFromRegistry();
  CTWPortInfo* port = list.TW_GetPortInfo(pName);
  BOOL result = FALSE;
  if (port && pHandle) {
    *pHandle = port;
    result = port->Open();
  }
  list.Unlock();
  return result;
}

BOOL WINAPI devOpenPortEx(HANDLE monitor, HANDLE, LPWSTR pPortName, LPWSTR, PHANDLE pHandle, MONITOR2*) {
  return devOpenPort(monitor, pPortName, pHandle);
}

BOOL WINAPI devClosePort(HANDLE hPort) {
  if (!hPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PortList().ClosePort(PortOf(hPort));
}

BOOL WINAPI devStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD jobId, DWORD level, LPBYTE pDocInfo) {
  tw::core::ClearCommandHeader();
  if (!hPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PortOf(hPort)->StartDocPort(pPrinterName, jobId, level, pDocInfo);
}

BOOL WINAPI devWritePort(HANDLE hPort, LPBYTE buffer, DWORD count, LPDWORD written) {
  if (!hPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PortOf(hPort)->WritePort(buffer, count, written);
}

BOOL WINAPI devReadPort(HANDLE hPort, LPBYTE, DWORD, LPDWORD) {
  if (!hPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PortOf(hPort)->Read();
}

BOOL WINAPI devEndDocPort(HANDLE hPort) {
  // A header cut off at the end of the document must not stay with the
  // thread (nor be put in front of another port's next block).
  tw::core::ClearCommandHeader();
  if (!hPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return PortOf(hPort)->EndDocPort();
}

BOOL WINAPI TW_XcvOpenPort(HANDLE, LPCWSTR pszObject, ACCESS_MASK, PHANDLE phXcv) {
  if (!pszObject || !*pszObject || !phXcv) return FALSE;
  size_t len = wcslen(pszObject);
  auto* xcv = static_cast<TW_XCV_HANDLE*>(GlobalAlloc(GMEM_FIXED, 2 * len + 18));
  if (!xcv) return FALSE;
  xcv->pszObject = reinterpret_cast<LPWSTR>(xcv + 1);
  std::memcpy(xcv->pszObject, pszObject, 2 * (len + 1));
  // The handle counts its port, so that the port is not deleted under it.
  CPortList& list = PortList();
  list.Lock();
  xcv->pPortInfo = list.TW_GetPortInfo(pszObject);
  if (xcv->pPortInfo) xcv->pPortInfo->Open();
  list.Unlock();
  *phXcv = xcv;
  return TRUE;
}

// Moves the handle's count from its port to `port` (caller holds the lock).
void SetXcvPort(TW_XCV_HANDLE* xcv, CTWPortInfo* port) {
  if (xcv->pPortInfo == port) return;
  if (xcv->pPortInfo) xcv->pPortInfo->Close();
  xcv->pPortInfo = port;
  if (port) port->Open();
}

// Input data of an Xcv request as a string: bounded by its size, terminated.
std::u16string XcvString(PBYTE data, DWORD size) {
  if (!data) return {};
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text;
}

DWORD WINAPI TW_XcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE, DWORD,
                            PDWORD) {
  if (!hXcv || !pszDataName) return ERROR_INVALID_PARAMETER;
  auto* xcv = static_cast<TW_XCV_HANDLE*>(hXcv);
  std::u16string input = XcvString(pInputData, cbInputData);
  LPCWSTR name = pInputData ? input.c_str() : nullptr;
  CPortList& list = PortList();
  if (wcscmp(pszDataName, u"AddPort") == 0) {
    if (tw::monitor::devAddPort(name)) {
      list.Lock();
      SetXcvPort(xcv, list.TW_GetPortInfo(name));
      const bool found = xcv->pPortInfo != nullptr;
      list.Unlock();
      if (found) {
        LogInstall(u"XcvDataPort/AddPort succeeded");
      } else {
        LogInstall(u"! Error: TW_GetPortInfo returned NULL!");
        LogInstall(u"XcvDataPort/AddPort failed");
      }
    }
    return ERROR_SUCCESS;
  }
  if (wcscmp(pszDataName, u"DeletePort") == 0) {
    // This handle's own count does not keep its port; once the port is gone
    // the handle refers to nothing. Another port it refers to stays counted.
    const bool own = name && xcv->pPortInfo && wcscmp(xcv->pPortInfo->m_pszPortName.get(), name) == 0;
    SetLastError(ERROR_SUCCESS);
    if (list.DeletePort(name, xcv->pPortInfo)) {
      if (own) xcv->pPortInfo = nullptr;
    } else if (GetLastError() == ERROR_BUSY) {
      return ERROR_BUSY;
    }
    return ERROR_SUCCESS;
  }
  if (wcscmp(pszDataName, u"MonitorUI") == 0) return ERROR_ACCESS_DENIED;
  return ERROR_INVALID_PARAMETER;
}

BOOL WINAPI TW_XcvClosePort(HANDLE hXcv) {
  if (!hXcv) return FALSE;
  auto* xcv = static_cast<TW_XCV_HANDLE*>(hXcv);
  BOOL result = PortList().ClosePort(xcv->pPortInfo);
  GlobalFree(xcv);
  return result;
}

VOID WINAPI TW_Shutdown(HANDLE) {}

MONITOR2 g_Monitor2 = {
    sizeof(MONITOR2), devEnumPorts,   devOpenPort,    devOpenPortEx, devStartDocPort, devWritePort, devReadPort,
    devEndDocPort,    devClosePort,   nullptr,        nullptr,       nullptr,         nullptr,      nullptr,
    nullptr,          TW_XcvOpenPort, TW_XcvDataPort, TW_XcvClosePort, TW_Shutdown,   nullptr,
};

bool IsWindows2000() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwMajorVersion = 5;
  version.dwMinorVersion = 0;
  ULONGLONG mask = 0;
  VER_SET_CONDITION(mask, VER_MAJORVERSION, VER_EQUAL);
  VER_SET_CONDITION(mask, VER_MINORVERSION, VER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, mask);
}

// The monitor's own key under "...\Print\Monitors": the one where the value
// just written through the spooler's callbacks shows up.
void FindMonitorName() {
  HKEY monitors = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorsKey, 0, KEY_READ, &monitors) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    WCHAR name[520];
    DWORD units = 520;
    if (RegEnumKeyExW(monitors, index, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(monitors, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    WCHAR data[1024] = {};
    DWORD bytes = 2046, type = 0;
    LSTATUS status = RegQueryValueExW(sub, kTestValue, nullptr, &type, reinterpret_cast<LPBYTE>(data), &bytes);
    RegCloseKey(sub);
    if (status == ERROR_SUCCESS && _wcsicmp(data, kTestData) == 0) {
      wcsncpy_s(Globals().szMonitorName, name, _TRUNCATE);
      break;
    }
  }
  RegCloseKey(monitors);
}

}  // namespace

TW_EXPORT LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  g_Monitor2.cbSize = IsWindows2000() ? 148 : sizeof(MONITOR2);
  Globals().pMonitorInit = pMonitorInit;
  if (phMonitor) *phMonitor = nullptr;
  if (pMonitorInit && pMonitorInit->pMonitorReg) {
    PMONITORREG reg = pMonitorInit->pMonitorReg;
    LONG status = reg->fpSetValue(pMonitorInit->hckRegistryRoot, kTestValue, REG_SZ,
                                  reinterpret_cast<const BYTE*>(kTestData), sizeof kTestData, pMonitorInit->hSpooler);
    if (status == ERROR_SUCCESS) {
      FindMonitorName();
      reg->fpDeleteValue(pMonitorInit->hckRegistryRoot, kTestValue, pMonitorInit->hSpooler);
    }
  }
  return &g_Monitor2;
}
