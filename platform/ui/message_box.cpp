// MessageBoxW without a screen: records the box and answers from the script.
#include "tw/utf.h"
#include "ui_script.h"
#include "windows.h"

namespace {

// The buttons of each MB_ type, in order (the default button is picked by
// MB_DEFBUTTONn among them).
struct ButtonSet {
  int ids[3];
  int count;
};
constexpr ButtonSet kSets[] = {
    {{IDOK}, 1},                                 // MB_OK
    {{IDOK, IDCANCEL}, 2},                       // MB_OKCANCEL
    {{IDABORT, IDRETRY, IDIGNORE}, 3},           // MB_ABORTRETRYIGNORE
    {{IDYES, IDNO, IDCANCEL}, 3},                // MB_YESNOCANCEL
    {{IDYES, IDNO}, 2},                          // MB_YESNO
    {{IDRETRY, IDCANCEL}, 2},                    // MB_RETRYCANCEL
    {{IDCANCEL, IDTRYAGAIN, IDCONTINUE}, 3},     // MB_CANCELTRYCONTINUE
};

}  // namespace

TWAPI int WINAPI MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  UINT kind = uType & MB_TYPEMASK;
  if (kind >= std::size(kSets)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const ButtonSet& set = kSets[kind];
  int answer = 0;
  if (!tw::ui::NextAnswer(answer)) {
    int index = static_cast<int>((uType >> 8) & 0xF);
    answer = set.ids[index < set.count ? index : 0];
  }
  tw::ui::MessageBoxRecord record;
  record.caption = lpCaption ? std::u16string(lpCaption) : std::u16string(u"Error");  // Windows' default title
  record.text = tw::View(lpText);
  record.type = uType;
  record.answer = answer;
  tw::ui::RecordMessageBox(record);
  return answer;
}
