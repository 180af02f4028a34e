// Internal helpers of the GDI area that other areas and tests use. The
// Win32-named API itself is in wingdi.h.
#pragma once
#include <cstddef>
#include <functional>
#include <span>

#include "tw/wintypes.h"

namespace tw::gdi {

// Test hook: the next `count` calls of CreateBitmap, CreateBitmapIndirect
// and CreateCompatibleBitmap fail with ERROR_NOT_ENOUGH_MEMORY, so that
// callers' fallbacks (a 1-bit DIB section for the page bitmap) can be tested.
TWCPPAPI void FailNextBitmapCreations(int count);

// The spooler area installs this to check printer names in CreateDCW: it
// returns false (and sets the last error) for a printer that does not
// exist. Without it every name is accepted (printer DCs are made from the
// DEVMODE alone).
using PrinterNameValidator = std::function<bool(const WCHAR* printerName)>;
TWCPPAPI void SetPrinterNameValidator(PrinterNameValidator validator);

}  // namespace tw::gdi
