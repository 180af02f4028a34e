// The per-job Save-As values: numbered values of "%s\Save As Option
// Settings\%d" that the Save-As dialog writes for one job. They count only
// while the record's Flags bit 31 is set (the effective-setting rule checks
// that); these readers look at the key whatever the bit says.
#pragma once

#include <optional>
#include <string>

#include "job/settings/catalogue.h"
#include "job/settings/settings_store.h"

namespace tw::settings {

// The job's Save-As key below HKEY_CURRENT_USER. For a client in protected
// mode the settings root lies below the protected-mode user key
// (...\InternetRegistry\REGISTRY\USER\<UserSID>).
std::u16string SaveAsKeyPath(const SettingsScope& scope);

// A numbered DWORD value; empty when missing or not a REG_DWORD.
std::optional<DWORD> ReadSaveAs(const SettingsScope& scope, SaveAsDword number);
std::optional<DWORD> ReadSaveAsDword(const SettingsScope& scope, DWORD number);
// A numbered text value read into 260 characters; `index` fills the "%d" of
// the names that hold one (font and printer numbers).
std::optional<std::u16string> ReadSaveAs(const SettingsScope& scope, SaveAsText number,
                                         std::optional<DWORD> index = {});
std::optional<std::u16string> ReadSaveAsText(const SettingsScope& scope, DWORD number,
                                             std::optional<DWORD> index = {});

// Writers (the dialog's side; tools and tests). They create the key.
BOOL WriteSaveAs(const SettingsScope& scope, SaveAsDword number, DWORD value);
BOOL WriteSaveAs(const SettingsScope& scope, SaveAsText number, std::u16string_view text,
                 std::optional<DWORD> index = {});
// Deletes the job's Save-As key with everything in it; TRUE also when there was none.
BOOL DeleteSaveAsKey(const SettingsScope& scope);

}  // namespace tw::settings
