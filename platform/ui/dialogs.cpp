// Modal dialogs without a screen. DialogBoxParamW builds the dialog and its
// controls in memory from the module's template, runs the dialog procedure
// for real (WM_INITDIALOG, then the script's typing and button press as
// WM_COMMAND) and returns what it passed to EndDialog.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "tw/utf.h"
#include "ui_script.h"
#include "windows.h"

namespace {

constexpr DWORD kDefaultEditLimit = 30000;       // an edit control's limit until EM_LIMITTEXT
constexpr DWORD kMaxEditLimit = 0x7FFFFFFE;      // EM_LIMITTEXT 0 means "as much as possible"

struct Window {
  HWND hwnd = nullptr;
  HWND parent = nullptr;  // null for the dialog itself
  int id = 0;
  WORD classOrdinal = 0;  // 0x80 button, 0x81 edit, 0x82 static ...
  std::u16string text;
  DWORD limit = kDefaultEditLimit;
  // The dialog's own state.
  DLGPROC proc = nullptr;
  std::vector<HWND> children;
  bool ended = false;
  INT_PTR result = 0;
};

struct Windows {
  std::recursive_mutex mutex;
  std::map<HWND, std::shared_ptr<Window>> map;
  ULONG_PTR next = 0x10010;
};

Windows& W() {
  static Windows* w = new Windows;  // used by modules until process exit
  return *w;
}

thread_local HWND t_focus = nullptr;

std::shared_ptr<Window> Find(HWND hwnd) {
  auto& w = W();
  std::lock_guard lock(w.mutex);
  auto it = w.map.find(hwnd);
  return it == w.map.end() ? nullptr : it->second;
}

std::shared_ptr<Window> FindOrFail(HWND hwnd) {
  auto win = Find(hwnd);
  if (!win) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return win;
}

HWND Register(std::shared_ptr<Window> win) {
  auto& w = W();
  std::lock_guard lock(w.mutex);
  win->hwnd = reinterpret_cast<HWND>(w.next);
  w.next += 0x10;
  w.map.emplace(win->hwnd, win);
  return win->hwnd;
}

void Unregister(const Window& dialog) {
  auto& w = W();
  std::lock_guard lock(w.mutex);
  for (HWND child : dialog.children) {
    if (t_focus == child) t_focus = nullptr;
    w.map.erase(child);
  }
  if (t_focus == dialog.hwnd) t_focus = nullptr;
  w.map.erase(dialog.hwnd);
}

std::shared_ptr<Window> Control(HWND hDlg, int id) {
  auto dlg = FindOrFail(hDlg);
  if (!dlg) return nullptr;
  for (HWND child : dlg->children) {
    auto c = Find(child);
    if (c && c->id == id) return c;
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

// Copies at most max - 1 characters and a terminator; returns the count.
int CopyOut(const std::u16string& text, LPWSTR buf, int max) {
  if (!buf || max <= 0) return 0;
  size_t n = std::min(text.size(), static_cast<size_t>(max - 1));
  std::copy_n(text.data(), n, buf);
  buf[n] = 0;
  return static_cast<int>(n);
}

LRESULT ControlMessage(Window& c, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETTEXT:
      c.text = tw::View(reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    case WM_GETTEXT:
      return CopyOut(c.text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(c.text.size());
    case EM_LIMITTEXT:
      if (c.classOrdinal == 0x81) c.limit = wParam == 0 || wParam > kMaxEditLimit ? kMaxEditLimit : DWORD(wParam);
      return 0;
    case EM_GETLIMITTEXT:
      return c.classOrdinal == 0x81 ? static_cast<LRESULT>(c.limit) : 0;
    default:
      return 0;
  }
}

// Sends a message to a dialog's procedure (the result a procedure returns
// for WM_INITDIALOG and WM_COMMAND is its own business).
INT_PTR CallProc(const std::shared_ptr<Window>& dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  return dlg->proc ? dlg->proc(dlg->hwnd, msg, wParam, lParam) : 0;
}

void Command(const std::shared_ptr<Window>& dlg, int id, WORD code, HWND control) {
  CallProc(dlg, WM_COMMAND, MAKELONG(id, code), reinterpret_cast<LPARAM>(control));
}

HWND ControlHwnd(const Window& dlg, int id) {
  for (HWND child : dlg.children) {
    auto c = Find(child);
    if (c && c->id == id) return child;
  }
  return nullptr;
}

}  // namespace

TWAPI INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                     DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  (void)hWndParent;  // no owner window exists here
  HRSRC res = FindResourceW(hInstance, lpTemplateName, RT_DIALOG);
  if (!res) return -1;  // the resource error is already set
  HGLOBAL loaded = LoadResource(hInstance, res);
  auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
  DWORD size = SizeofResource(hInstance, res);
  tw::module::DialogDesc desc;
  if (!bytes || !tw::module::ParseDialogTemplate({bytes, size}, desc)) return -1;

  auto dlg = std::make_shared<Window>();
  dlg->text = desc.title;
  dlg->proc = lpDialogFunc;
  Register(dlg);
  HWND firstTabStop = nullptr;
  for (const auto& item : desc.items) {
    auto c = std::make_shared<Window>();
    c->parent = dlg->hwnd;
    c->id = item.id;
    c->classOrdinal = item.classOrdinal;
    c->text = item.titleOrdinal ? std::u16string() : item.title;
    HWND h = Register(c);
    dlg->children.push_back(h);
    if (!firstTabStop && (item.style & 0x00010000 /* WS_TABSTOP */)) firstTabStop = h;
  }
  HWND previousFocus = t_focus;

  // WM_INITDIALOG: TRUE asks for the focus on the control in wParam.
  if (CallProc(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), dwInitParam)) t_focus = firstTabStop;

  tw::ui::DialogRecord record;
  record.title = desc.title;
  if (!dlg->ended) {
    tw::ui::DialogStep step;
    bool scripted = tw::ui::NextDialogStep(step);
    if (auto focused = Find(t_focus)) record.focusId = focused->parent == dlg->hwnd ? focused->id : 0;
    if (scripted) {
      for (const auto& [id, text] : step.texts) {
        if (dlg->ended) break;
        HWND h = ControlHwnd(*dlg, id);
        auto c = Find(h);
        if (!c) continue;
        // Typing stops at the edit control's limit.
        c->text = c->classOrdinal == 0x81 && text.size() > c->limit ? text.substr(0, c->limit) : text;
        Command(dlg, id, EN_CHANGE, h);
      }
    }
    int button = scripted ? step.button : IDCANCEL;
    if (!dlg->ended) Command(dlg, button, BN_CLICKED, ControlHwnd(*dlg, button));
    // A procedure that ignores the button would keep a real dialog open
    // forever; here the user gives up with Cancel, then the box is closed.
    if (!dlg->ended && button != IDCANCEL) Command(dlg, IDCANCEL, BN_CLICKED, ControlHwnd(*dlg, IDCANCEL));
    if (!dlg->ended) {
      dlg->ended = true;
      dlg->result = 0;
    }
    for (const auto& [id, text] : step.texts) {
      if (auto c = Find(ControlHwnd(*dlg, id))) record.texts.emplace_back(id, c->text);
    }
  }
  CallProc(dlg, WM_DESTROY, 0, 0);
  Unregister(*dlg);
  t_focus = Find(previousFocus) ? previousFocus : nullptr;
  record.result = dlg->result;
  tw::ui::RecordDialog(record);
  return dlg->result;
}

TWAPI BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  auto dlg = FindOrFail(hDlg);
  if (!dlg) return FALSE;
  if (dlg->parent) {
    SetLastError(ERROR_WINDOW_NOT_DIALOG);
    return FALSE;
  }
  dlg->ended = true;
  dlg->result = nResult;
  return TRUE;
}

TWAPI HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  auto c = Control(hDlg, nIDDlgItem);
  return c ? c->hwnd : nullptr;
}

TWAPI int WINAPI GetDlgCtrlID(HWND hWnd) {
  auto c = FindOrFail(hWnd);
  return c ? c->id : 0;
}

TWAPI UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
  auto c = Control(hDlg, nIDDlgItem);
  if (!c) {
    if (lpString && cchMax > 0) *lpString = 0;
    return 0;
  }
  return static_cast<UINT>(CopyOut(c->text, lpString, cchMax));
}

TWAPI BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  auto c = Control(hDlg, nIDDlgItem);
  if (!c) return FALSE;
  c->text = tw::View(lpString);
  return TRUE;
}

TWAPI LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto win = FindOrFail(hWnd);
  if (!win) return 0;
  if (win->parent) return ControlMessage(*win, Msg, wParam, lParam);
  // The dialog: its title answers the text messages, the rest goes to its procedure.
  if (Msg == WM_SETTEXT || Msg == WM_GETTEXT || Msg == WM_GETTEXTLENGTH)
    return ControlMessage(*win, Msg, wParam, lParam);
  return CallProc(win, Msg, wParam, lParam);
}

TWAPI LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto c = Control(hDlg, nIDDlgItem);
  return c ? ControlMessage(*c, Msg, wParam, lParam) : 0;
}

TWAPI int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  auto win = FindOrFail(hWnd);
  if (!win) {
    if (lpString && nMaxCount > 0) *lpString = 0;
    return 0;
  }
  return CopyOut(win->text, lpString, nMaxCount);
}

TWAPI int WINAPI GetWindowTextLengthW(HWND hWnd) {
  auto win = FindOrFail(hWnd);
  return win ? static_cast<int>(win->text.size()) : 0;
}

TWAPI BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  auto win = FindOrFail(hWnd);
  if (!win) return FALSE;
  win->text = tw::View(lpString);
  return TRUE;
}

TWAPI HWND WINAPI SetFocus(HWND hWnd) {
  if (hWnd && !FindOrFail(hWnd)) return nullptr;
  HWND previous = t_focus;
  t_focus = hWnd;
  return previous;
}

TWAPI HWND WINAPI GetFocus(void) { return t_focus; }

TWAPI BOOL WINAPI IsWindow(HWND hWnd) { return Find(hWnd) ? TRUE : FALSE; }
