// Per-thread last error, with real Win32 numbers (winerror.h).
#pragma once
#include "tw/wintypes.h"

TWAPI DWORD GetLastError(void);
TWAPI void SetLastError(DWORD dwErrCode);
