// Monitor-wide state: the spooler's initialisation record, the monitor name,
// the module handle and the library's critical sections.
#pragma once

#include <windows.h>
#include <winsplp.h>

namespace tw::monitor {

inline constexpr DWORD kMonitorNameUnits = 64;
inline constexpr UINT IDS_MONITOR_NAME_PDF = 10;
inline constexpr WCHAR kPortDescription[] = u"Tarnwick Port";

struct MonitorGlobals {
  PMONITORINIT pMonitorInit = nullptr;
  WCHAR szMonitorName[kMonitorNameUnits] = {};
  HMODULE hModule = nullptr;
  CRITICAL_SECTION csOcrLoad;
  CRITICAL_SECTION csSpare;
  bool criticalSectionsMade = false;
};
MonitorGlobals& Globals();

}  // namespace tw::monitor
