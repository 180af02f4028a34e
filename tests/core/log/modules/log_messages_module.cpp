// Test module: the monitor's message table, and an export that registers an
// event source from inside the module (its path becomes "EventMessageFile").
#include <windows.h>

#include "core/log/event_log.h"
#include "core/log/event_messages.h"
#include "tw/modulekit.h"

TW_RESOURCES(EventMessageTable());

TW_EXPORT BOOL WINAPI TwRegisterSource(LPCWSTR source) {
  CEventLog log;
  return log.Register(source);
}
