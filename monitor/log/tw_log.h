// Diagnostic output of the monitor: the developer trace, the install log and
// the message capture log. Formats are printf-style with the layer's Windows
// wide-format semantics (%s is a wide string, %d a 32-bit int).
#pragma once

#include "tw/wintypes.h"

void Trace(const WCHAR* format, ...);
void LogInstall(const WCHAR* format, ...);
void LogMessageCapture(int level, const WCHAR* format, ...);
