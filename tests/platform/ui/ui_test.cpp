// Headless message boxes and dialogs: scripted answers, records, and dialog
// procedures run against in-memory controls built from a module's template.
#include <windows.h>

#include <fstream>

#include "tw/modulekit.h"
#include "tw/ui.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

// A module with the port-name dialog, as a monitor would ship it.
const tw::res::Table& Resources() {
  static const tw::res::Table table{
      tw::res::Strings({{10, u"Test Monitor"}}),
      tw::res::Dialog(103, tw::res::DialogTemplate(u"Add Test Port", {0, 0, 186, 62})
                               .Icon(104, {7, 7, 21, 20})
                               .Static(u"Enter port name:", {36, 7, 120, 8})
                               .Edit(1001, {36, 18, 143, 14})
                               .DefButton(u"OK", IDOK, {75, 40, 50, 14})
                               .Button(u"Cancel", IDCANCEL, {129, 40, 50, 14}))};
  return table;
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tw::module::RegisterBuiltin(u"TwUiTest.dll", {}, Resources().Get()));
    module_ = LoadLibraryW(u"TwUiTest.dll");
    ASSERT_NE(module_, nullptr);
    tw::ui::ClearRecords();
    tw::ui::SetScript(u"");
  }
  void TearDown() override {
    FreeLibrary(module_);
    tw::module::UnregisterBuiltin(u"TwUiTest.dll");
    tw::ui::ReloadScript();
  }
  twtest::TempRoot root_;
  HMODULE module_ = nullptr;
};

// The procedure the monitor's port dialog uses: focus in the edit field,
// limit the text, copy it out on OK.
struct PortDialogState {
  WCHAR name[64] = {};
  bool sawInit = false;
  HWND focusAfterInit = nullptr;
  int changes = 0;
};

INT_PTR CALLBACK PortDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  static PortDialogState* state = nullptr;
  switch (msg) {
    case WM_INITDIALOG:
      state = reinterpret_cast<PortDialogState*>(lParam);
      state->sawInit = true;
      SendDlgItemMessageW(hDlg, 1001, EM_LIMITTEXT, 62, 0);
      SetFocus(GetDlgItem(hDlg, 1001));
      state->focusAfterInit = GetFocus();
      return FALSE;  // the focus was set here
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE) ++state->changes;
      if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextW(hDlg, 1001, state->name, 63);
        EndDialog(hDlg, IDOK);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(hDlg, 0);
      }
      return TRUE;
  }
  return FALSE;
}

TEST_F(UiTest, MessageBoxAnswersFromScriptThenDefaultButtonAndRecordsEverything) {
  tw::ui::SetScript(u"messagebox NO\nmessagebox 2");
  EXPECT_EQ(MessageBoxW(nullptr, u"Continue?", u"Question", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"Retry?", u"Question", MB_RETRYCANCEL), IDCANCEL);
  // Script exhausted: the default button answers.
  EXPECT_EQ(MessageBoxW(nullptr, u"Cannot add port!", u"Message", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxW(nullptr, u"Sure?", nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"Bad", u"T", 0xF), 0);  // no such button set
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  auto boxes = tw::ui::MessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[2].caption, u"Message");
  EXPECT_EQ(boxes[2].text, u"Cannot add port!");
  EXPECT_EQ(boxes[2].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(boxes[3].caption, u"Error");  // Windows' title for a null caption

  // Another process sees them in ui.log, one escaped line each.
  MessageBoxW(nullptr, u"a\r\nb\\c", u"Tab\there", MB_OK);
  std::ifstream log(root_.Dir() / "ui.log");
  std::string line, last;
  int lines = 0;
  while (std::getline(log, line)) {
    last = line;
    ++lines;
  }
  EXPECT_EQ(lines, 5);
  EXPECT_EQ(last, "MessageBox\tTab\\there\ta\\r\\nb\\\\c\t1");
}

TEST_F(UiTest, ScriptComesFromTheRootFileAndIsReadAgainForANewRoot) {
  std::ofstream(root_.Dir() / "ui-script.txt") << "# answers\nmessagebox CANCEL; messagebox retry\n";
  tw::ui::ReloadScript();
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_RETRYCANCEL), IDRETRY);
  EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OKCANCEL), IDOK);
  {
    twtest::TempRoot other;  // no script there
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_YESNOCANCEL), IDYES);
  }
}

TEST_F(UiTest, DialogRunsProcedureWithScriptedTextAndButton) {
  tw::ui::SetScript(u"dialog 1001=TW05: OK");
  PortDialogState state;
  INT_PTR result =
      DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, PortDialogProc, reinterpret_cast<LPARAM>(&state));
  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(state.sawInit);
  EXPECT_NE(state.focusAfterInit, nullptr);
  EXPECT_EQ(state.changes, 1);
  EXPECT_EQ(std::u16string(state.name), u"TW05:");
  auto dialogs = tw::ui::Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, u"Add Test Port");
  EXPECT_EQ(dialogs[0].focusId, 1001);
  EXPECT_EQ(dialogs[0].result, IDOK);
  // The windows are gone with the dialog.
  EXPECT_FALSE(IsWindow(state.focusAfterInit));
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(UiTest, DialogTypingStopsAtTheTextLimitAndQuotedTextKeepsBlanks) {
  std::u16string longName(100, u'P');
  tw::ui::SetScript(u"dialog 1001=" + longName + u" OK; dialog 1001=\"two words\" 1");
  PortDialogState a, b;
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, PortDialogProc, reinterpret_cast<LPARAM>(&a)),
            IDOK);
  EXPECT_EQ(std::u16string(a.name), std::u16string(62, u'P'));
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, PortDialogProc, reinterpret_cast<LPARAM>(&b)),
            IDOK);
  EXPECT_EQ(std::u16string(b.name), u"two words");
}

TEST_F(UiTest, DialogWithoutScriptPressesCancel) {
  PortDialogState state;
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, PortDialogProc,
                            reinterpret_cast<LPARAM>(&state)),
            0);
  EXPECT_EQ(state.name[0], 0);
  EXPECT_EQ(state.changes, 0);
}

INT_PTR CALLBACK DeafProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(UiTest, DialogWhoseProcedureNeverEndsItDoesNotHang) {
  tw::ui::SetScript(u"dialog 1001=x OK");
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, DeafProc, 0), 0);
}

TEST_F(UiTest, DialogControlCallsCheckTheirArguments) {
  static HWND dlg = nullptr;
  static DWORD errors[4];
  static UINT limit = 0;
  static std::u16string title;
  auto proc = [](HWND h, UINT msg, WPARAM, LPARAM) -> INT_PTR {
    if (msg != WM_INITDIALOG) return FALSE;
    dlg = h;
    EXPECT_EQ(GetDlgItem(h, 4242), nullptr);
    errors[0] = GetLastError();
    WCHAR buf[8] = {u'x'};
    EXPECT_EQ(GetDlgItemTextW(h, 4242, buf, 8), 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_FALSE(EndDialog(GetDlgItem(h, 1001), 5));  // a control is not a dialog
    errors[1] = GetLastError();
    EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(0x1234)), nullptr);
    errors[2] = GetLastError();
    limit = static_cast<UINT>(SendDlgItemMessageW(h, 1001, EM_GETLIMITTEXT, 0, 0));
    EXPECT_TRUE(SetDlgItemTextW(h, 1001, u"0123456789"));
    // A short buffer gets what fits and a terminator.
    EXPECT_EQ(GetDlgItemTextW(h, 1001, buf, 4), 3u);
    EXPECT_EQ(std::u16string(buf), u"012");
    EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(h, 1001)), 10);
    WCHAR t[32];
    GetWindowTextW(h, t, 32);
    title = t;
    EndDialog(h, 77);  // ends before any input
    return TRUE;
  };
  tw::ui::SetScript(u"dialog 1001=ignored OK");
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, proc, 0), 77);
  EXPECT_EQ(errors[0], static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
  EXPECT_EQ(errors[1], static_cast<DWORD>(ERROR_WINDOW_NOT_DIALOG));
  EXPECT_EQ(errors[2], static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(limit, 30000u);
  EXPECT_EQ(title, u"Add Test Port");
  EXPECT_FALSE(IsWindow(dlg));
  // The script step was not used by the dialog that ended early.
  PortDialogState state;
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(103), nullptr, PortDialogProc,
                            reinterpret_cast<LPARAM>(&state)),
            IDOK);
  EXPECT_EQ(std::u16string(state.name), u"ignored");
}

TEST_F(UiTest, MissingDialogResourceFails) {
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(999), nullptr, PortDialogProc, 0), -1);
  EXPECT_NE(GetLastError(), 0u);
  WCHAR text[32];
  EXPECT_EQ(LoadStringW(module_, 10, text, 32), 12);
  EXPECT_EQ(std::u16string(text), u"Test Monitor");
}

}  // namespace
