// The spooler's client impersonation, found at run time in "Spoolss.dll"
// (loaded on first use and kept loaded).
#pragma once

#include "tw/wintypes.h"

namespace tw::core {
// RevertToPrinterSelf's token; null when the library or function is missing.
HANDLE RevertToPrinterSelfHelper();
// ImpersonatePrinterClient's result; FALSE when the library or function is missing.
BOOL ImpersonatePrinterClientHelper(HANDLE token);
}  // namespace tw::core
