// CPortList: the monitor's ports, persisted as the values of the "PortList"
// key under the monitor's registry root.
#pragma once

#include <windows.h>

#include "monitor/port_info.h"

class CPortList {
 public:
  CPortList();
  ~CPortList();
  CPortList(const CPortList&) = delete;
  CPortList& operator=(const CPortList&) = delete;

  void Lock() { EnterCriticalSection(&m_csPortList); }
  void Unlock() { LeaveCriticalSection(&m_csPortList); }

  // The first port whose name matches, letters A-Z without regard to case.
  CTWPortInfo* TW_GetPortInfo(LPCWSTR name);
  // Adds the registry's ports that are not listed yet (caller holds the lock).
  BOOL CreatePortListFromRegistry();
  // Writes the port's registry value, forcing rights on the root if needed.
  BOOL AddPortToRegistry(LPCWSTR name);
  // Removes the registry value and the port of exactly that name. A port
  // still in use stays, with its value: FALSE and ERROR_BUSY. `requester` is
  // the Xcv handle's port, whose own count does not keep it.
  BOOL DeletePort(LPCWSTR name, const CTWPortInfo* requester = nullptr);
  // The port's close operation under the lock.
  BOOL ClosePort(CTWPortInfo* port);
  // devEnumPorts' work (caller holds the lock).
  BOOL EnumPorts(LPCWSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned);

  // The port of exactly that name (letter case included); null when none.
  CTWPortInfo* FindExact(LPCWSTR name);
  BOOL AddTWPortInfo(CTWPortInfo* port);
  BOOL DeletePortFromRegistry(LPCWSTR name);
  WORD Count() const { return m_wPortCount; }
  CTWPortInfo* First() const { return m_pFirstPort; }
  // Frees every port (tests start from an empty list).
  void Clear();

 private:
  BOOL ForceRightsAndCreate(LPCWSTR name);

  CRITICAL_SECTION m_csPortList;
  CTWPortInfo* m_pFirstPort = nullptr;
  WORD m_wPortCount = 0;
};

CPortList& PortList();
