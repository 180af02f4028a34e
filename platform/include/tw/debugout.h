// OutputDebugStringW: the debugger channel. Silent unless switched on: the
// environment variable TW_DEBUG_OUTPUT = "stderr" writes each text (UTF-8)
// to standard error, any other value names a Linux file the texts are
// appended to. Tests can capture the channel with tw::debugout::SetSink.
#pragma once
#include <functional>
#include <string_view>

#include "tw/wintypes.h"

TWAPI void OutputDebugStringW(LPCWSTR lpOutputString);
TWAPI void OutputDebugStringA(LPCSTR lpOutputString);

namespace tw::debugout {
// Receives every text instead of the configured channel (empty: back to it).
TWCPPAPI void SetSink(std::function<void(std::u16string_view)> sink);
}  // namespace tw::debugout
