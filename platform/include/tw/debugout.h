// OutputDebugStringW: the debugger channel. Silent unless switched on: the
// environment variable TW_DEBUG_OUTPUT = "stderr" writes each text (UTF-8)
// to standard error, any other value names a Linux file the texts are
// appended to. Tests can capture the channel with tw::debugout::SetSink
// (tw/eventlog_internal.h).
#pragma once
#include "tw/wintypes.h"

TWAPI void OutputDebugStringW(LPCWSTR lpOutputString);
TWAPI void OutputDebugStringA(LPCSTR lpOutputString);
