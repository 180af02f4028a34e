// A hook that sees every operation the command stream runs on a job, in
// order (diagnostics and tests; null by default).
#pragma once

#include "tw/wintypes.h"

// Operation names: "SetDevMode", "StartDoc", "StartPage", "EndPage",
// "EndPageRaw", "EndDoc", "AbortDoc", "TextOut". `arg` is the DEVMODE flag of
// SetDevMode, the payload size of the page operations, else 0.
typedef void(WINAPI* TW_JOB_OPERATION_HOOK)(void* context, const WCHAR* operation, DWORD arg);

namespace tw::job {
void SetOperationHook(TW_JOB_OPERATION_HOOK hook, void* context);
void NotifyOperation(const WCHAR* operation, DWORD arg);
}  // namespace tw::job
