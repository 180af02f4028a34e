// The user-interface subset: message boxes, modal dialogs built from a
// module's dialog template, and the dialog-control calls a dialog procedure
// makes. The system runs headless (session 0): message boxes are recorded
// and answered from a script, dialogs run their procedure for real against
// in-memory controls and are driven by the same script (tw/ui.h,
// docs/spooler.md). String resources: LoadStringW (tw/module.h).
#pragma once

#include "tw/wintypes.h"
#include "tw/module.h"

#ifndef ERROR_WINDOW_NOT_DIALOG
#define ERROR_WINDOW_NOT_DIALOG 1420L
#endif
#ifndef ERROR_CONTROL_ID_NOT_FOUND
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#endif

typedef INT_PTR(CALLBACK* DLGPROC)(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// MessageBox buttons, icons and modality.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_DEFAULT_DESKTOP_ONLY 0x00020000L
#define MB_TOPMOST 0x00040000L
#define MB_SERVICE_NOTIFICATION 0x00200000L

// Dialog and message box results / standard control ids.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11

// Window messages a dialog procedure sees or sends.
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_COPYDATA 0x004A
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400
#define WM_APP 0x8000

// Edit-control messages and notifications.
#define EM_GETLIMITTEXT 0x00D5
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EN_CHANGE 0x0300
#define BN_CLICKED 0

TWAPI int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
TWAPI INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                     DLGPROC lpDialogFunc, LPARAM dwInitParam);
TWAPI BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
TWAPI HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
TWAPI int WINAPI GetDlgCtrlID(HWND hWnd);
TWAPI UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax);
TWAPI BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
TWAPI LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
TWAPI LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
TWAPI int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount);
TWAPI int WINAPI GetWindowTextLengthW(HWND hWnd);
TWAPI BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString);
TWAPI HWND WINAPI SetFocus(HWND hWnd);
TWAPI HWND WINAPI GetFocus(void);
TWAPI BOOL WINAPI IsWindow(HWND hWnd);
