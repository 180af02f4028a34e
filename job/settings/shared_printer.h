// Jobs on a shared printer: whether the job comes from another computer,
// and which of the server's own settings replace the client's record.
#pragma once

#include <optional>
#include <string_view>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::settings {

inline constexpr DWORD kPrinterAttributeShared = 0x8;  // PRINTER_ATTRIBUTE_SHARED

// The printer has the shared attribute and either the job's machine name
// (JOB_INFO_2.pMachineName, after its last backslash; empty optional when
// the spooler gave none) is not the local computer, or the record's device
// name does not begin with "\\http" and its ClientComputerName is not the
// local computer. Names compare without regard to case.
bool IsSharedPrinter(DWORD printerAttributes, const std::optional<std::u16string_view>& jobMachineName,
                     const TarnwickDEVMODE* record, std::u16string_view localComputerName);

// Replaces the job's record by the server's default record (GetPrinter
// level 8): its standard part when `ignoreStandard`, its private part when
// `ignoreExtended`, otherwise the server-side settings only (output
// directory unless the client's is used, watermark, start application,
// parameter order, custom parameter, text output, Bates profile, loss
// ratio, barcode, and the Flags bits of those). Flags bit 31 (Save-As) of
// the job's record is cleared in every case.
void CopySettingsForSharedPrinter(TarnwickDEVMODE& job, const TarnwickDEVMODE& server, bool ignoreStandard,
                                  bool ignoreExtended, bool useOutputDirectoryFromClient);

}  // namespace tw::settings
