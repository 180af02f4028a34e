// Internal to the user-interface area: taking steps from the script and
// recording what was shown (tw/ui.h has the public side).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tw/ui.h"

namespace tw::ui {

struct DialogStep {
  std::vector<std::pair<int, std::u16string>> texts;  // control id, text typed
  int button = IDCANCEL_DEFAULT;
  static constexpr int IDCANCEL_DEFAULT = 2;
};

// The next scripted answer / dialog step; false when the script has none.
bool NextAnswer(int& answer);
bool NextDialogStep(DialogStep& step);

void RecordMessageBox(const MessageBoxRecord& record);
void RecordDialog(const DialogRecord& record);

}  // namespace tw::ui
