// The per-job settings hand-over: a key another component leaves under
// HKEY_LOCAL_MACHINE for one job, moved into the user's printer key when the
// job starts.
#pragma once

#include "tw/wintypes.h"

class CTWJob;

namespace tw::monitor {
// Copies "SOFTWARE\Wow6432Node\Tarnwick Software LLC\<printer>\Job <id>" into
// HKCU "SOFTWARE\Tarnwick Software LLC\<printer>" and deletes the source.
// FALSE when there was nothing to hand over or the source could not be
// deleted; the job reports a failed delete as its error entry.
BOOL HandOverJobSettings(LPCWSTR printerName, DWORD jobId, CTWJob& job);
}  // namespace tw::monitor
