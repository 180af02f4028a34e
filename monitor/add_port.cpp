#include "monitor/add_port.h"

#include <windows.h>
#include <winuser.h>

#include "core/log/tw_log.h"
#include "monitor/monitor_globals.h"
#include "monitor/port_list.h"

namespace tw::monitor {
namespace {

constexpr int kNameUnits = 64;
constexpr int kDialogChars = 62;

INT_PTR CALLBACK AddPortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static thread_local WCHAR* name = nullptr;
  switch (message) {
    case WM_INITDIALOG:
      name = reinterpret_cast<WCHAR*>(lParam);
      SendDlgItemMessageW(dialog, IDC_PORT_NAME, EM_LIMITTEXT, kDialogChars, 0);
      SetFocus(GetDlgItem(dialog, IDC_PORT_NAME));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        if (name) GetDlgItemTextW(dialog, IDC_PORT_NAME, name, kDialogChars + 1);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

BOOL devAddPort(LPCWSTR callerName) {
  // The name is asked for before the list is locked: a dialog nobody answers
  // must not hold up every spooler thread's EnumPorts and OpenPort.
  LogInstall(u"AddPort called (Port name: %s)", callerName ? callerName : u"");
  WCHAR name[kNameUnits] = {};
  GetPrivateProfileStringW(u"PortName", u"PortName", u"", name, kNameUnits, u"TwMonitor.ini");
  LogInstall(u"AddPort: Read port name from TwMonitor.ini: %s", name);
  if (wcslen(name) <= 1) {
    INT_PTR answer = DialogBoxParamW(Globals().hModule, MAKEINTRESOURCEW(IDD_ADD_PORT), nullptr, AddPortDialogProc,
                                     reinterpret_cast<LPARAM>(name));
    // An empty name is no port name either (the registry would take it as
    // the key's default value).
    if (answer == 0 || name[0] == 0) {
      LogInstall(u"! Error: Could not read port name from TwMonitor.ini!");
      LogInstall(u"AddPort failed (return FALSE)");
      return FALSE;
    }
  }
  CPortList& list = PortList();
  list.Lock();
  if (list.TW_GetPortInfo(name)) {
    list.Unlock();
    MessageBoxW(nullptr, u"Cannot add port! The specified port already exists.", u"Message", MB_OK);
    LogInstall(u"! Error: Cannot add port! The specified port already exists.");
    LogInstall(u"AddPort failed (return FALSE)");
    return FALSE;
  }
  list.AddPortToRegistry(name);
  list.CreatePortListFromRegistry();
  list.Unlock();
  LogInstall(u"AddPort succeeded (return TRUE)");
  return TRUE;
}

}  // namespace tw::monitor
