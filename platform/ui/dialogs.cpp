// Headless user interface (not built yet: every call fails cleanly).
#include "windows.h"

namespace {
template <typename T>
T NotYet(T result) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return result;
}
}  // namespace

TWAPI int WINAPI MessageBoxW(HWND, LPCWSTR, LPCWSTR, UINT) { return NotYet(0); }
TWAPI INT_PTR WINAPI DialogBoxParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) { return NotYet<INT_PTR>(-1); }
TWAPI BOOL WINAPI EndDialog(HWND, INT_PTR) { return NotYet(FALSE); }
TWAPI HWND WINAPI GetDlgItem(HWND, int) { return NotYet<HWND>(nullptr); }
TWAPI int WINAPI GetDlgCtrlID(HWND) { return NotYet(0); }
TWAPI UINT WINAPI GetDlgItemTextW(HWND, int, LPWSTR s, int n) {
  if (s && n > 0) *s = 0;
  return NotYet(0u);
}
TWAPI BOOL WINAPI SetDlgItemTextW(HWND, int, LPCWSTR) { return NotYet(FALSE); }
TWAPI LRESULT WINAPI SendDlgItemMessageW(HWND, int, UINT, WPARAM, LPARAM) { return NotYet<LRESULT>(0); }
TWAPI LRESULT WINAPI SendMessageW(HWND, UINT, WPARAM, LPARAM) { return NotYet<LRESULT>(0); }
TWAPI int WINAPI GetWindowTextW(HWND, LPWSTR s, int n) {
  if (s && n > 0) *s = 0;
  return NotYet(0);
}
TWAPI int WINAPI GetWindowTextLengthW(HWND) { return NotYet(0); }
TWAPI BOOL WINAPI SetWindowTextW(HWND, LPCWSTR) { return NotYet(FALSE); }
TWAPI HWND WINAPI SetFocus(HWND) { return NotYet<HWND>(nullptr); }
TWAPI HWND WINAPI GetFocus(void) { return NotYet<HWND>(nullptr); }
TWAPI BOOL WINAPI IsWindow(HWND) { return FALSE; }
