// CTWPortInfo: one configured port and the document running on it.
#pragma once

#include <memory>

#include <windows.h>

#include "core/printer_handle.h"
#include "monitor/monitor_globals.h"

class CTWJob;

#define PORT_STATE_OPEN 0x0001
#define PORT_STATE_DOC_STARTED 0x0002

class CTWPortInfo final {
 public:
  CTWPortInfo();
  ~CTWPortInfo();
  CTWPortInfo(const CTWPortInfo&) = delete;
  CTWPortInfo& operator=(const CTWPortInfo&) = delete;

  virtual BOOL Unused1() { return FALSE; }
  virtual BOOL Open();
  virtual BOOL Close();
  virtual BOOL Configure();
  virtual BOOL StartDocPort(LPCWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
  virtual BOOL EndDocPort();
  virtual BOOL Read() { return TRUE; }
  virtual BOOL WritePort(LPBYTE buffer, DWORD count, LPDWORD written);
  virtual BOOL Unused2() { return FALSE; }

  // Copies the name and the path (the registry value's data); FALSE when out of memory.
  BOOL InitializePort(LPCWSTR name, LPCWSTR path);
  // Something still refers to the port: an open handle (the spooler's or an
  // Xcv handle) beyond `ownHandles` of the asker, or a document.
  bool InUse(WORD ownHandles = 0) const {
    return m_wOpenCount > ownHandles || (m_wPortState & PORT_STATE_DOC_STARTED) || m_pCurrentJob;
  }

  WCHAR m_szMonitorName[tw::monitor::kMonitorNameUnits] = {};
  std::unique_ptr<WCHAR[]> m_pszPortName;
  std::unique_ptr<CTWJob> m_pCurrentJob;
  WORD m_wPortState = 0;
  CTWPortInfo* m_pNext = nullptr;
  tw::core::PrinterHandle m_hPrinter;  // open from StartDocPort to EndDocPort
  WCHAR m_szDescription[64] = {};
  WORD m_wOpenCount = 0;
  DWORD m_dwPortJobId = 0;
  std::unique_ptr<WCHAR[]> m_pszPortPath;
};
