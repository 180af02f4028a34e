#include "job/settings/printer_ids.h"

#include "job/settings/settings_store.h"
#include "tw/casefold.h"
#include "windows.h"

namespace tw::settings {

namespace {

constexpr DWORD kMaxPrinterIds = 100000;

bool RegisteredFor(DWORD id, std::u16string_view printerName) {
  auto name = PrinterNameForId(id);
  return name && tw::EqualsNoCase(*name, printerName);
}

}  // namespace

std::optional<DWORD> AssignPrinterId(std::u16string_view printerName) {
  SettingsScope scope = ScopeForPrinter(printerName);
  if (auto id = TryRead(scope, PrinterId); id && *id != 0 && RegisteredFor(*id, printerName)) return id;
  // An entry for the name, or the first free number.
  std::optional<DWORD> chosen;
  for (DWORD id = 1; id < kMaxPrinterIds && !chosen; ++id) {
    auto name = PrinterNameForId(id);
    if (!name || tw::EqualsNoCase(*name, printerName)) chosen = id;
  }
  if (!chosen) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return std::nullopt;
  }
  if (!Write(scope, PrinterIdPrinterName, printerName, Fill{*chosen, std::nullopt})) return std::nullopt;
  if (!Write(scope, PrinterId, *chosen)) return std::nullopt;
  return chosen;
}

std::u16string TakePrinterIdentity(TarnwickDEVMODE& record, std::u16string_view jobPrinterName) {
  SettingsScope scope = ScopeForPrinter(jobPrinterName);
  if (auto id = TryRead(scope, PrinterId)) {
    record.PrinterID = *id;
  } else {
    DWORD recordId = record.PrinterID;
    if (recordId != 0 && !scope.packaged && RegisteredFor(recordId, jobPrinterName)) Write(scope, PrinterId, recordId);
  }
  return SettingsPrinterName(record);
}

}  // namespace tw::settings
