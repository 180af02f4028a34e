// The settings catalogue as data: one row per registry or printer-INI value
// (catalogue_rows.h), an identifier per row, and a typed handle per row so
// that a reader of the wrong type does not compile.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/settings/catalogue_rows.h"
#include "tw/wintypes.h"

namespace tw::settings {

// How a value is stored and read.
enum class ValueType : BYTE {
  Dword,        // REG_DWORD; the default when missing
  Number,       // REG_SZ decimal, read into 16 bytes (at most 7 characters)
  Yes,          // REG_SZ read into 16 bytes, on when "yes" in any case
  No,           // REG_SZ read into 16 bytes, on when "no" in any case
  Text,         // REG_SZ, at most the size given (terminator included)
  Flag,         // REG_DWORD, on when present and not 0
  Binary,       // REG_BINARY, read whole
  Any,          // handed on as stored, with its type
  DecimalText,  // REG_SZ holding a decimal number, up to 259 characters; 0 when missing
  IniInt,       // integer of the printer's INI file
  IniText,      // text of the printer's INI file
};

// Where a key group lives.
enum class Store : BYTE {
  Printer,      // HKCU\SOFTWARE\Tarnwick Software LLC\<printer key>\...
  Absolute,     // HKCU\<group>
  DefaultUser,  // HKEY_USERS\.DEFAULT\SOFTWARE\Tarnwick Software LLC\<printer key>\...
  Ini,          // a section of the printer's INI file
};

// Reading rules beyond the type.
enum class Rule : BYTE {
  None,
  ZeroWhenKeyMissing,      // the default holds when the value is missing; 0 when its key is missing
  Brightness100Else40,     // 0..100, a larger value reads as 40
  WatermarkPositionCode,   // one of the twelve position codes, anything else reads as 4
  Percent0To100,           // limited to 0..100 (read as a signed number)
  ScrambledXor47,          // stored with every UTF-16 unit XORed with 0x47
  ScrambledHex6C,          // stored as two hex digits per character XORed with 0x6C
  SaveAsTextYesExact,      // the Save-As counterpart is a text that counts only when exactly "Yes"
  DefaultIsInterfaceName,  // the default is the job's messaging interface name
  NotWrittenInPackage,     // the monitor does not write it in packaged mode
};

// Which value of a merge record overrides a setting, and how (see effective.h).
enum class MergeField : BYTE { None, OpenWithViewer, OpenFolder, Email, SharePoint, Ftp, Http, Ocr, Encryption };
enum class MergeRule : BYTE {
  None,
  EveryJob,      // the record's value while the job has not left merge mode, off after
  LastJob,       // the record's value for the last job of the group, off for the others
  LastJobOnly,   // off for every job but the last; the last reads it without merge
  WholeGroup,    // the record's value for every job of the group
};

struct DefaultValue {
  bool present;          // false: no default (the reader reports "not found")
  LONGLONG number;       // numbers and switches
  const char16_t* text;  // texts
};

struct SettingDef {
  const char16_t* id;  // the identifier, for tools and documentation
  Store store;
  const char16_t* group;
  const char16_t* name;
  ValueType type;
  DefaultValue def;
  DWORD size;          // characters with terminator; 0 when the catalogue gives none
  int saveAs;          // Save-As counterpart number, or -1
  Rule rule;
  MergeRule merge;
  MergeField mergeField;
  const char16_t* meaning;  // what the value is for, in a few words (catalogue_meanings.h)
};

#define TW_SETTING_ENUM(Id, ...) Id,
enum class SettingId : WORD { TW_SETTINGS_CATALOGUE(TW_SETTING_ENUM) Count };
#undef TW_SETTING_ENUM

// A typed handle of one row.
template <ValueType T>
struct Setting {
  SettingId id;
};

#define TW_SETTING_HANDLE(Id, Store, Group, Name, Type, ...) \
  inline constexpr Setting<ValueType::Type> Id{SettingId::Id};
TW_SETTINGS_CATALOGUE(TW_SETTING_HANDLE)
#undef TW_SETTING_HANDLE

// The numbered values of the per-job Save-As key.
#define TW_SAVE_AS_ENUM(Id, Number, Name) Id = Number,
enum class SaveAsDword : DWORD { TW_SAVE_AS_DWORDS(TW_SAVE_AS_ENUM) };
enum class SaveAsText : DWORD { TW_SAVE_AS_TEXTS(TW_SAVE_AS_ENUM) };
#undef TW_SAVE_AS_ENUM

inline constexpr DWORD kSaveAsDwordCount = 109;
inline constexpr DWORD kSaveAsTextCount = 59;
inline constexpr DWORD kSaveAsTextSize = 260;
// The key format of the Save-As key.
inline constexpr char16_t kSaveAsGroup[] = u"%s\\Save As Option Settings\\%d";

// The settings root below HKEY_CURRENT_USER (and HKEY_USERS\.DEFAULT).
inline constexpr char16_t kSettingsRoot[] = u"SOFTWARE\\Tarnwick Software LLC";

// --- look-ups ---------------------------------------------------------------

const SettingDef& Definition(SettingId id);
template <ValueType T>
const SettingDef& Definition(Setting<T> s) {
  return Definition(s.id);
}
std::span<const SettingDef> AllSettings();
// The row of a group and value name (case-insensitive, as the registry compares).
const SettingDef* FindSetting(std::u16string_view group, std::u16string_view name);

// Value name of a Save-As number; null for a number outside the table.
const char16_t* SaveAsDwordName(DWORD number);
const char16_t* SaveAsTextName(DWORD number);

// Applies a row's limiting rule (brightness, position code, percent) to a
// number read from the registry or from a Save-As value.
DWORD LimitNumber(const SettingDef& def, DWORD value);

// The type's word as the catalogue documentation writes it ("DWORD", "number", ...).
std::u16string_view TypeWord(ValueType type);
// The default as documentation text: "0", "on", "off", "none", the text.
std::u16string DefaultText(const SettingDef& def);

// The catalogue as text rows, for documentation, tools and the check against
// an independently typed table: group (an INI section as "INI:<section>"),
// value name, type word, default text, size ("" when not given) and the
// Save-As number (the row's own for the Save-As tables, else the number of
// the Save-As value that overrides it; "" when none).
// The meaning is the row's (empty for the Save-As tables).
struct CatalogueRow {
  std::u16string group, name, type, defaultText, size, saveAs, meaning;
};
std::vector<CatalogueRow> CatalogueRows();

}  // namespace tw::settings
