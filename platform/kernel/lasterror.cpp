#include "tw/lasterror.h"

namespace {
thread_local DWORD t_lastError = 0;
}

TWAPI DWORD GetLastError(void) { return t_lastError; }
TWAPI void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
