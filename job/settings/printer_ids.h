// Printer identity numbers: "SOFTWARE\Tarnwick Software LLC\PrinterIDs\<id>"
// holds each printer's "Printer name", and the printer's key its "Printer ID".
// A record names its printer by PrinterID, so a renamed printer keeps its
// settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::settings {

// Gives a printer its ID as a configuration program does: the ID its key
// already names when that ID is registered for it, else an ID registered
// for its name, else the lowest free one; writes both entries. Empty
// optional (last error set) when the registry cannot be written.
std::optional<DWORD> AssignPrinterId(std::u16string_view printerName);

// The job's side when a record arrives: the printer key's "Printer ID" is
// written into the record; without one, the record's own PrinterID is
// written to the printer's key when its registered name is the job's
// printer (not in packaged mode). Returns the printer name the job's
// settings use: the name registered for PrinterID, else dmDeviceName.
std::u16string TakePrinterIdentity(TarnwickDEVMODE& record, std::u16string_view jobPrinterName);

}  // namespace tw::settings
