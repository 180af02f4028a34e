// The texts of the monitor's event entries.
#include "core/log/event_messages.h"

namespace {
constexpr const WCHAR* kFinished =
    u"Printing finished successfully%nPrinter name:\t%1%nDocument name:\t%2%nUser name:\t%3%nDate submitted:\t%4 "
    u"%5%nDate printed:\t%6 %7%nComputer name:\t%8%nIP Address:\t%9%nHost name:\t%10\r\n";
constexpr const WCHAR* kAborted =
    u"Printing was aborted%nPrinter name:\t%1%nDocument name:\t%2%nUser name:\t%3%nDate submitted:\t%4 %5%nDate "
    u"aborted:\t%6 %7%nComputer name:\t%8%nIP Address:\t%9%nHost name:\t%10\r\n";
constexpr const WCHAR* kError =
    u"Error during printing%nPrinter name:\t%1%nDocument name:\t%2%nUser name:\t%3%nDate submitted:\t%4 %5%nDate "
    u"aborted:\t%6 %7%nComputer name:\t%8%nIP Address:\t%9%nHost name:\t%10%nError:\t%11\r\n";
}  // namespace

const WCHAR* EventMessageText(DWORD id) {
  switch (id) {
    case MSG_PRINTING_FINISHED: return kFinished;
    case MSG_PRINTING_ABORTED: return kAborted;
    case MSG_PRINTING_ERROR: return kError;
    default: return nullptr;
  }
}

tw::res::Resources EventMessageTable() {
  return tw::res::MessageTable({{MSG_PRINTING_FINISHED, kFinished},
                                {MSG_PRINTING_ABORTED, kAborted},
                                {MSG_PRINTING_ERROR, kError}});
}
