// The port monitor interface: what a monitor module exports to the spooler
// (InitializePrintMonitor2 and its MONITOR2 table) and what the spooler hands
// it (MONITORINIT with the registry callbacks of MONITORREG). x64 layouts.
#pragma once

#include <cstddef>

#include "tw/wintypes.h"
#include "tw/token.h"
#include "winreg.h"
#include "winspool.h"

// A key handle given out by the spooler's registry callbacks.
typedef HANDLE HKEYMONITOR;

typedef struct _COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

// Bidirectional communication records (the monitor does not use them; the
// table entry that takes them stays null).
typedef struct _BIDI_REQUEST_CONTAINER BIDI_REQUEST_CONTAINER, *PBIDI_REQUEST_CONTAINER;
typedef struct _BIDI_RESPONSE_CONTAINER BIDI_RESPONSE_CONTAINER, *PBIDI_RESPONSE_CONTAINER;

// Registry callbacks: every call takes the spooler handle of MONITORINIT last
// and returns a Win32 error code, as the Reg* functions do.
typedef struct _MONITORREG {
  DWORD cbSize;
  LONG(WINAPI* fpCreateKey)(HANDLE hcKey, LPCWSTR pszSubKey, DWORD dwOptions, REGSAM samDesired,
                            PSECURITY_ATTRIBUTES pSecurityAttributes, PHANDLE phckResult, PDWORD pdwDisposition,
                            HANDLE hSpooler);
  LONG(WINAPI* fpOpenKey)(HANDLE hcKey, LPCWSTR pszSubKey, REGSAM samDesired, PHANDLE phkResult, HANDLE hSpooler);
  LONG(WINAPI* fpCloseKey)(HANDLE hcKey, HANDLE hSpooler);
  LONG(WINAPI* fpDeleteKey)(HANDLE hcKey, LPCWSTR pszSubKey, HANDLE hSpooler);
  LONG(WINAPI* fpEnumKey)(HANDLE hcKey, DWORD dwIndex, LPWSTR pszName, PDWORD pcchName, PFILETIME pftLastWriteTime,
                          HANDLE hSpooler);
  LONG(WINAPI* fpQueryInfoKey)(HANDLE hcKey, PDWORD pcSubKeys, PDWORD pcbKey, PDWORD pcValues, PDWORD pcbValue,
                               PDWORD pcbData, PDWORD pcbSecurityDescriptor, PFILETIME pftLastWriteTime,
                               HANDLE hSpooler);
  LONG(WINAPI* fpSetValue)(HANDLE hcKey, LPCWSTR pszValue, DWORD dwType, const BYTE* pData, DWORD cbData,
                           HANDLE hSpooler);
  LONG(WINAPI* fpDeleteValue)(HANDLE hcKey, LPCWSTR pszValue, HANDLE hSpooler);
  LONG(WINAPI* fpEnumValue)(HANDLE hcKey, DWORD dwIndex, LPWSTR pszValue, PDWORD pcbValue, PDWORD pType, PBYTE pData,
                            PDWORD pcbData, HANDLE hSpooler);
  LONG(WINAPI* fpQueryValue)(HANDLE hcKey, LPCWSTR pszValue, PDWORD pType, PBYTE pData, PDWORD pcbData,
                             HANDLE hSpooler);
} MONITORREG, *PMONITORREG;
static_assert(sizeof(MONITORREG) == 88 && offsetof(MONITORREG, fpCreateKey) == 8 &&
              offsetof(MONITORREG, fpSetValue) == 56 && offsetof(MONITORREG, fpQueryValue) == 80);

typedef struct _MONITORINIT {
  DWORD cbSize;
  HANDLE hSpooler;
  HKEYMONITOR hckRegistryRoot;
  PMONITORREG pMonitorReg;
  BOOL bLocal;
  LPCWSTR pszServerName;
} MONITORINIT, *PMONITORINIT;
static_assert(sizeof(MONITORINIT) == 48 && offsetof(MONITORINIT, hSpooler) == 8 &&
              offsetof(MONITORINIT, hckRegistryRoot) == 16 && offsetof(MONITORINIT, pMonitorReg) == 24 &&
              offsetof(MONITORINIT, bLocal) == 32 && offsetof(MONITORINIT, pszServerName) == 40);

typedef struct _MONITOR2 {
  DWORD cbSize;
  BOOL(WINAPI* pfnEnumPorts)(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf,
                             LPDWORD pcbNeeded, LPDWORD pcReturned);
  BOOL(WINAPI* pfnOpenPort)(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle);
  BOOL(WINAPI* pfnOpenPortEx)(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR pPrinterName,
                              PHANDLE pHandle, struct _MONITOR2* pMonitor2);
  BOOL(WINAPI* pfnStartDocPort)(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL(WINAPI* pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL(WINAPI* pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL(WINAPI* pfnEndDocPort)(HANDLE hPort);
  BOOL(WINAPI* pfnClosePort)(HANDLE hPort);
  BOOL(WINAPI* pfnAddPort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
  BOOL(WINAPI* pfnAddPortEx)(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
  BOOL(WINAPI* pfnConfigurePort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI* pfnDeletePort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI* pfnGetPrinterDataFromPort)(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                          DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                          LPDWORD lpcbReturned);
  BOOL(WINAPI* pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
  BOOL(WINAPI* pfnXcvOpenPort)(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
  DWORD(WINAPI* pfnXcvDataPort)(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData,
                                PBYTE pOutputData, DWORD cbOutputData, PDWORD pcbOutputNeeded);
  BOOL(WINAPI* pfnXcvClosePort)(HANDLE hXcv);
  VOID(WINAPI* pfnShutdown)(HANDLE hMonitor);
  DWORD(WINAPI* pfnSendRecvBidiDataFromPort)(HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction,
                                             PBIDI_REQUEST_CONTAINER pReqData,
                                             PBIDI_RESPONSE_CONTAINER* ppResData);
} MONITOR2, *PMONITOR2, *LPMONITOR2;
static_assert(sizeof(MONITOR2) == 160 && offsetof(MONITOR2, pfnEnumPorts) == 8 &&
              offsetof(MONITOR2, pfnStartDocPort) == 32 && offsetof(MONITOR2, pfnXcvOpenPort) == 120 &&
              offsetof(MONITOR2, pfnXcvDataPort) == 128 && offsetof(MONITOR2, pfnShutdown) == 144 &&
              offsetof(MONITOR2, pfnSendRecvBidiDataFromPort) == 152);

// The export every monitor module provides.
typedef LPMONITOR2(WINAPI* PFN_InitializePrintMonitor2)(PMONITORINIT pMonitorInit, PHANDLE phMonitor);

// Xcv: the object name of a monitor-wide Xcv handle is ",XcvMonitor <monitor name>"
// when opened through OpenPrinter; the monitor sees what follows the comma.
#define XCV_MONITOR_PREFIX u",XcvMonitor "
#define XCV_PORT_PREFIX u",XcvPort "

// Spooler impersonation (exported by the built-in "Spoolss.dll"; declared in
// tw/token.h): RevertToPrinterSelf, ImpersonatePrinterClient.
