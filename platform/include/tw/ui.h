// Internal: the headless user interface behind winuser.h.
//
// Nobody sits at session 0, so message boxes and dialogs are answered by a
// script. The script is the Linux variable TW_UI_SCRIPT, or else the file
// "ui-script.txt" in the machine root; one step per line (or separated by
// ';'), used in order, message-box steps and dialog steps each in their own
// queue:
//
//   messagebox YES                 the next message box answers IDYES
//                                  (OK CANCEL ABORT RETRY IGNORE YES NO CLOSE
//                                  HELP TRYAGAIN CONTINUE or a number)
//   dialog 1001=TW05: OK           the next dialog: type "TW05:" into control
//                                  1001 (cut to its text limit, as typing
//                                  would), then press the OK button
//   dialog 1001="two words" 2      texts with blanks are quoted; the button
//                                  is OK, CANCEL or a control id
//
// Without a step a message box answers its default button (IDOK for MB_OK
// and MB_OKCANCEL) and a dialog presses Cancel. Every message box and dialog
// is recorded in the process (below) and appended as one line to "ui.log" in
// the machine root, so that another process can see what was shown.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tw/wintypes.h"

namespace tw::ui {

struct MessageBoxRecord {
  std::u16string caption;
  std::u16string text;
  UINT type = 0;
  int answer = 0;
};

struct DialogRecord {
  std::u16string title;
  INT_PTR result = 0;
  // The control that had the focus when the scripted input began (0: none).
  int focusId = 0;
  // What each scripted control held when the dialog ended: id and text.
  std::vector<std::pair<int, std::u16string>> texts;
};

// Everything shown in this process since the last ClearRecords.
TWCPPAPI std::vector<MessageBoxRecord> MessageBoxes();
TWCPPAPI std::vector<DialogRecord> Dialogs();
TWCPPAPI void ClearRecords();

// Replaces the script with `script` (the same syntax), for tests. Unused
// steps of the old script are dropped. ReloadScript drops the steps and reads
// the variable or file again at the next message box or dialog.
TWCPPAPI void SetScript(std::u16string_view script);
TWCPPAPI void ReloadScript();

// One line of ui.log for a message box ("MessageBox\t<caption>\t<text>\t<answer>",
// with CR, LF, TAB and backslash escaped as \r \n \t \\).
TWCPPAPI std::u16string FormatLogLine(const MessageBoxRecord& record);

}  // namespace tw::ui
