// Reading and writing the catalogue's values in the registry and in the
// printer's INI file, for one printer and job.
//
// Readers never fail a job: a missing key or value, a value of another
// type, or one too large for its buffer gives the catalogue's default.
// Writers return FALSE with the registry's error as the last error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/catalogue.h"

namespace tw::settings {

// Whose settings are read: the printer's key, the job, the INI file.
struct SettingsScope {
  std::u16string printerName;  // the name the settings use
  std::u16string printerKey;   // its key below the root: the name, or the packaged form
  bool packaged = false;       // the process runs inside an application package
  DWORD jobId = 0;             // fills "%d" of the per-job and Save-As keys
  std::u16string iniFile;      // the printer's INI file; empty: INI values take their defaults
  bool protectedMode = false;  // the client runs in protected mode (ClientFlags bit 0)
  std::u16string userSid;      // the record's UserSID, for the protected-mode Save-As key
};

// The printer name registered for a printer ID ("Printer name" under
// "...\PrinterIDs\<id>"); empty optional when the ID has no entry.
std::optional<std::u16string> PrinterNameForId(DWORD printerId);
// The printer name the settings of a record use: the name registered for its
// PrinterID, else its dmDeviceName (at most 32 characters).
std::u16string SettingsPrinterName(const TarnwickDEVMODE& record);

// The scope of a job's record. Prepares the settings root on first use in
// the process (packaged copy, volatile-root repair).
SettingsScope ScopeForRecord(const TarnwickDEVMODE& record, DWORD jobId, std::u16string_view iniFile = {});
// The scope of a printer by name (tools, jobs without a record).
SettingsScope ScopeForPrinter(std::u16string_view printerName, DWORD jobId = 0, std::u16string_view iniFile = {});

// The package full name of the process when it counts as packaged (its
// lower-cased form contains neither "windows" nor "controlpanel").
std::optional<std::u16string> ApplicationPackageName();

// The numbers a group or value name with "%d" is filled with. The key's
// number defaults to the job ID (per-job key), and so does the name's.
struct Fill {
  std::optional<DWORD> keyNumber;   // Bates profile key, FTP connection, printer ID
  std::optional<DWORD> nameNumber;  // "Font %d", "Job %d Data Type"
};

// The key path of a setting below its hive root (HKCU, or HKEY_USERS for the
// default user), and the value name, filled for the scope.
std::u16string KeyPath(const SettingsScope& scope, const SettingDef& def, const Fill& fill = {});
std::u16string ValueName(const SettingsScope& scope, const SettingDef& def, const Fill& fill = {});

// --- typed readers -----------------------------------------------------------

// The value when present and readable; no default applied (the "found" form).
std::optional<DWORD> TryRead(const SettingsScope& scope, Setting<ValueType::Dword> s, const Fill& fill = {});
// The value, or the catalogue default (0 for a value without default).
DWORD Read(const SettingsScope& scope, Setting<ValueType::Dword> s, const Fill& fill = {});
bool Read(const SettingsScope& scope, Setting<ValueType::Flag> s, const Fill& fill = {});
LONG Read(const SettingsScope& scope, Setting<ValueType::Number> s, const Fill& fill = {});
bool Read(const SettingsScope& scope, Setting<ValueType::Yes> s, const Fill& fill = {});
bool Read(const SettingsScope& scope, Setting<ValueType::No> s, const Fill& fill = {});
LONG Read(const SettingsScope& scope, Setting<ValueType::DecimalText> s, const Fill& fill = {});
std::vector<BYTE> Read(const SettingsScope& scope, Setting<ValueType::Binary> s, const Fill& fill = {});

// Texts read into `maxChars` characters (terminator included; 0 takes the
// catalogue's size, or 260 when it gives none).
struct TextRead {
  bool found = false;
  std::u16string value;   // the text, or the default when not found
  DWORD neededChars = 0;  // set when the value was too large for the buffer
};
TextRead TryReadText(const SettingsScope& scope, Setting<ValueType::Text> s, DWORD maxChars = 0,
                     const Fill& fill = {});
std::u16string Read(const SettingsScope& scope, Setting<ValueType::Text> s, const Fill& fill = {});

// A variable of the printer's "EnvVars" key by any name.
std::optional<std::u16string> ReadEnvVar(const SettingsScope& scope, std::u16string_view name);

// Printer INI values (GetPrivateProfileIntW / GetPrivateProfileStringW on the
// scope's INI file). `fallback` replaces an empty default (the statistics
// pipe name defaults to the job's interface name).
INT Read(const SettingsScope& scope, Setting<ValueType::IniInt> s);
std::u16string Read(const SettingsScope& scope, Setting<ValueType::IniText> s, DWORD maxChars = 0,
                    std::u16string_view fallback = {});

// --- writers -----------------------------------------------------------------
// Create the keys as needed. Numbers, switches and decimal texts are written
// in their stored form ("number" as decimal text, "yes" as "yes"/"no").
BOOL Write(const SettingsScope& scope, Setting<ValueType::Dword> s, DWORD value, const Fill& fill = {});
BOOL Write(const SettingsScope& scope, Setting<ValueType::Flag> s, bool on, const Fill& fill = {});
BOOL Write(const SettingsScope& scope, Setting<ValueType::Number> s, LONG value, const Fill& fill = {});
BOOL Write(const SettingsScope& scope, Setting<ValueType::Yes> s, bool on, const Fill& fill = {});
BOOL Write(const SettingsScope& scope, Setting<ValueType::DecimalText> s, LONG value, const Fill& fill = {});
BOOL Write(const SettingsScope& scope, Setting<ValueType::Text> s, std::u16string_view text, const Fill& fill = {});
// Removes the value; TRUE also when it was not there.
BOOL Delete(const SettingsScope& scope, const SettingDef& def, const Fill& fill = {});

// Raw helpers on the scope's keys for tools and tests: a value of any type.
struct RawValue {
  DWORD type = 0;
  std::vector<BYTE> data;
};
std::optional<RawValue> ReadRaw(const SettingsScope& scope, const SettingDef& def, const Fill& fill = {});
// A value handed on as stored: its type and bytes, when present.
std::optional<RawValue> Read(const SettingsScope& scope, Setting<ValueType::Any> s, const Fill& fill = {});

namespace internal {
// Forgets the once-per-process preparations (packaged copies made, volatile
// root checked), so that a test can run them again on a fresh machine root.
void ResetOncePerProcessState();
}  // namespace internal

}  // namespace tw::settings
