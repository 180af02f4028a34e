#include "job/settings/settings_store.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "job/settings/registry_key.h"
#include "job/settings/value_text.h"
#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/utf.h"
#include "winerror.h"
#include "winreg.h"

namespace tw::settings {
namespace {

constexpr DWORD kDefaultTextChars = MAX_PATH;
// A decimal text of the Bates profile is read into 260 characters.
constexpr DWORD kDecimalTextChars = 260;
// dmDeviceName holds at most 32 characters.
constexpr std::size_t kDeviceNameChars = 32;

// --- once per process ---------------------------------------------------------

struct ProcessState {
  std::mutex lock;
  bool volatileChecked = false;
  std::set<std::u16string> packageKeysCopied;  // upper-cased printer keys
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

// The settings root may have been made volatile by an installer; values
// written below a volatile key vanish at the next restart and non-volatile
// children cannot be created. Detected once per process: the tree is
// deleted and the root made again as a normal key.
void RepairVolatileRoot() {
  std::u16string check = std::u16string(kSettingsRoot) + u"\\VolatileCheck";
  HKEY raw = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, check.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &raw, nullptr);
  if (rc == ERROR_SUCCESS) {
    RegCloseKey(raw);
    RegDeleteKeyW(HKEY_CURRENT_USER, check.c_str());
    return;
  }
  if (rc != ERROR_CHILD_MUST_BE_VOLATILE) return;
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsRoot);
  RegKey root;
  RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsRoot, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                  root.Receive(), nullptr);
}

// The first time a packaged process uses a printer, the ordinary printer key
// is copied into the package's key.
void CopyIntoPackageKey(const SettingsScope& scope) {
  std::u16string ordinary = std::u16string(kSettingsRoot) + u"\\" + scope.printerName;
  std::u16string package = std::u16string(kSettingsRoot) + u"\\" + scope.printerKey;
  RegKey source;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, ordinary.c_str(), 0, KEY_READ, source.Receive()) != ERROR_SUCCESS) return;
  RegKey target;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, package.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      target.Receive(), nullptr) != ERROR_SUCCESS)
    return;
  RegCopyTreeW(source.Get(), nullptr, target.Get());
}

void Prepare(const SettingsScope& scope) {
  ProcessState& state = State();
  std::lock_guard guard(state.lock);
  if (scope.packaged) {
    if (!scope.printerKey.empty() && state.packageKeysCopied.insert(Upcase(scope.printerKey)).second)
      CopyIntoPackageKey(scope);
    return;
  }
  if (!state.volatileChecked) {
    state.volatileChecked = true;
    RepairVolatileRoot();
  }
}

// --- key paths ----------------------------------------------------------------

std::u16string Decimal(DWORD n) { return FromUtf8(std::to_string(n)); }

// Fills "%s" and "%d" of a key or value-name format; "%%" is one percent sign.
std::u16string FormatName(std::u16string_view format, std::u16string_view s, DWORD d) {
  std::u16string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      char16_t conversion = format[i + 1];
      if (conversion == u's') {
        out += s;
        ++i;
        continue;
      }
      if (conversion == u'd') {
        out += Decimal(d);
        ++i;
        continue;
      }
      if (conversion == u'%') {
        out += u'%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

HKEY HiveOf(const SettingDef& def) { return def.store == Store::DefaultUser ? HKEY_USERS : HKEY_CURRENT_USER; }

// Opens the key of a setting for reading.
LONG OpenForRead(const SettingsScope& scope, const SettingDef& def, const Fill& fill, RegKey& key) {
  Prepare(scope);
  std::u16string path = KeyPath(scope, def, fill);
  return RegOpenKeyExW(HiveOf(def), path.c_str(), 0, KEY_QUERY_VALUE, key.Receive());
}

struct Query {
  LONG status = ERROR_FILE_NOT_FOUND;  // of opening the key and reading the value
  DWORD size = 0;                      // the value's size, also when it was too large
  RawValue value;
};

// Reads a value whole; `limitBytes` > 0 refuses larger data (status ERROR_MORE_DATA).
Query QueryValue(const SettingsScope& scope, const SettingDef& def, const Fill& fill, DWORD limitBytes = 0) {
  Query q;
  RegKey key;
  q.status = OpenForRead(scope, def, fill, key);
  if (q.status != ERROR_SUCCESS) return q;
  std::u16string name = ValueName(scope, def, fill);
  // One registry read for the values that fit the first buffer; a value
  // that grew in between is read again at its new size.
  DWORD type = 0;
  q.value.data.resize(limitBytes ? std::min<DWORD>(limitBytes, 512) : 512);
  DWORD got = static_cast<DWORD>(q.value.data.size());
  q.status = RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, q.value.data.data(), &got);
  while (q.status == ERROR_MORE_DATA && !(limitBytes && got > limitBytes)) {
    q.value.data.resize(got);
    q.status = RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, q.value.data.data(), &got);
  }
  if (q.status != ERROR_SUCCESS && q.status != ERROR_MORE_DATA) {
    q.value.data.clear();
    return q;
  }
  q.size = got;
  q.value.type = type;
  q.value.data.resize(q.status == ERROR_SUCCESS ? got : 0);
  return q;
}

std::optional<std::u16string> QueryText(const SettingsScope& scope, const SettingDef& def, const Fill& fill,
                                        DWORD maxChars, DWORD* neededChars = nullptr) {
  Query q = QueryValue(scope, def, fill, maxChars * 2);
  if (q.status == ERROR_MORE_DATA) {
    if (neededChars) *neededChars = (q.size + 1) / 2 + 1;
    return std::nullopt;
  }
  if (q.status != ERROR_SUCCESS) return std::nullopt;
  auto text = TextFromRegistryData(q.value.type, q.value.data, maxChars);
  if (!text && neededChars && (q.value.type == REG_SZ || q.value.type == REG_EXPAND_SZ))
    *neededChars = static_cast<DWORD>(q.value.data.size() / 2 + 1);
  return text;
}

// A number or switch default as the reader returns it.
LONGLONG DefaultNumber(const SettingDef& def) { return def.def.present ? def.def.number : 0; }

std::u16string DecodeTextRule(const SettingDef& def, std::u16string text) {
  switch (def.rule) {
    case Rule::ScrambledXor47: return ScrambleXor47(text);
    case Rule::ScrambledHex6C: return UnscrambleFtpPassword(text).value_or(u"");
    default: return text;
  }
}

// --- writing --------------------------------------------------------------------

BOOL SetValue(const SettingsScope& scope, const SettingDef& def, const Fill& fill, DWORD type, const void* data,
              DWORD size) {
  if (def.store == Store::Ini) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // "Printer ID" stays the ordinary printer's; a packaged process leaves it alone.
  if (def.rule == Rule::NotWrittenInPackage && scope.packaged) return TRUE;
  Prepare(scope);
  std::u16string path = KeyPath(scope, def, fill);
  RegKey key;
  LONG rc = RegCreateKeyExW(HiveOf(def), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                            key.Receive(), nullptr);
  if (rc == ERROR_SUCCESS) {
    std::u16string name = ValueName(scope, def, fill);
    rc = RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  }
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  return TRUE;
}

BOOL SetText(const SettingsScope& scope, const SettingDef& def, const Fill& fill, std::u16string_view text) {
  std::u16string stored(text);
  stored.push_back(u'\0');
  return SetValue(scope, def, fill, REG_SZ, stored.data(), static_cast<DWORD>(stored.size() * 2));
}

}  // namespace

// --- printer identity -------------------------------------------------------------

std::optional<std::u16string> PrinterNameForId(DWORD printerId) {
  // No printer yet; the packaged state still decides whether the root is checked.
  SettingsScope none;
  none.packaged = ApplicationPackageName().has_value();
  const SettingDef& def = Definition(PrinterIdPrinterName);
  return QueryText(none, def, Fill{printerId, std::nullopt}, def.size);
}

std::u16string SettingsPrinterName(const TarnwickDEVMODE& record) {
  DWORD id = record.PrinterID;
  if (auto name = PrinterNameForId(id)) return *name;
  std::u16string name = record.DM.dmDeviceName.Get();
  if (name.size() > kDeviceNameChars) name.resize(kDeviceNameChars);
  return name;
}

SettingsScope ScopeForPrinter(std::u16string_view printerName, DWORD jobId, std::u16string_view iniFile) {
  SettingsScope scope;
  scope.printerName = printerName;
  scope.printerKey = scope.printerName;
  scope.jobId = jobId;
  scope.iniFile = iniFile;
  if (auto package = ApplicationPackageName()) {
    scope.packaged = true;
    scope.printerKey = scope.printerName + u"_Package " + *package;
  }
  return scope;
}

SettingsScope ScopeForRecord(const TarnwickDEVMODE& record, DWORD jobId, std::u16string_view iniFile) {
  SettingsScope scope = ScopeForPrinter(SettingsPrinterName(record), jobId, iniFile);
  scope.protectedMode = (record.ClientFlags & devmode::kClientProtectedMode) != 0;
  scope.userSid = record.UserSID.Get();
  return scope;
}

std::u16string KeyPath(const SettingsScope& scope, const SettingDef& def, const Fill& fill) {
  DWORD number = fill.keyNumber.value_or(scope.jobId);
  std::u16string relative = FormatName(def.group, scope.printerKey, number);
  switch (def.store) {
    case Store::Absolute: return relative;
    case Store::DefaultUser: return u".DEFAULT\\" + std::u16string(kSettingsRoot) + u"\\" + relative;
    default: return std::u16string(kSettingsRoot) + u"\\" + relative;
  }
}

std::u16string ValueName(const SettingsScope& scope, const SettingDef& def, const Fill& fill) {
  return FormatName(def.name, scope.printerKey, fill.nameNumber.value_or(scope.jobId));
}

// --- readers ----------------------------------------------------------------------

std::optional<DWORD> TryRead(const SettingsScope& scope, Setting<ValueType::Dword> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  Query q = QueryValue(scope, def, fill, sizeof(DWORD));
  if (q.status != ERROR_SUCCESS || q.value.type != REG_DWORD || q.value.data.size() != sizeof(DWORD))
    return std::nullopt;
  DWORD value;
  std::memcpy(&value, q.value.data.data(), sizeof value);
  return LimitNumber(def, value);
}

DWORD Read(const SettingsScope& scope, Setting<ValueType::Dword> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  if (auto value = TryRead(scope, s, fill)) return *value;
  if (def.rule == Rule::ZeroWhenKeyMissing) {
    RegKey key;
    if (OpenForRead(scope, def, fill, key) != ERROR_SUCCESS) return 0;
  }
  return LimitNumber(def, static_cast<DWORD>(DefaultNumber(def)));
}

bool Read(const SettingsScope& scope, Setting<ValueType::Flag> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  Query q = QueryValue(scope, def, fill, sizeof(DWORD));
  if (q.status != ERROR_SUCCESS || q.value.type != REG_DWORD || q.value.data.size() != sizeof(DWORD))
    return DefaultNumber(def) != 0;
  DWORD value;
  std::memcpy(&value, q.value.data.data(), sizeof value);
  return value != 0;
}

LONG Read(const SettingsScope& scope, Setting<ValueType::Number> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  auto text = QueryText(scope, def, fill, kShortValueChars);
  if (!text) return static_cast<LONG>(DefaultNumber(def));
  return ParseLeadingNumber(*text);
}

bool Read(const SettingsScope& scope, Setting<ValueType::Yes> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  auto text = QueryText(scope, def, fill, kShortValueChars);
  if (!text) return DefaultNumber(def) != 0;
  return IsYes(*text);
}

bool Read(const SettingsScope& scope, Setting<ValueType::No> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  auto text = QueryText(scope, def, fill, kShortValueChars);
  if (!text) return DefaultNumber(def) != 0;
  return IsNo(*text);
}

LONG Read(const SettingsScope& scope, Setting<ValueType::DecimalText> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  auto text = QueryText(scope, def, fill, kDecimalTextChars);
  if (!text) return static_cast<LONG>(DefaultNumber(def));
  return ParseLeadingNumber(*text);
}

std::vector<BYTE> Read(const SettingsScope& scope, Setting<ValueType::Binary> s, const Fill& fill) {
  Query q = QueryValue(scope, Definition(s), fill);
  if (q.status != ERROR_SUCCESS) return {};
  return std::move(q.value.data);
}

TextRead TryReadText(const SettingsScope& scope, Setting<ValueType::Text> s, DWORD maxChars, const Fill& fill) {
  const SettingDef& def = Definition(s);
  if (maxChars == 0) maxChars = def.size ? def.size : kDefaultTextChars;
  TextRead result;
  auto text = QueryText(scope, def, fill, maxChars, &result.neededChars);
  if (!text) {
    result.value = def.def.text ? def.def.text : u"";
    return result;
  }
  result.neededChars = 0;
  result.found = true;
  result.value = DecodeTextRule(def, std::move(*text));
  return result;
}

std::u16string Read(const SettingsScope& scope, Setting<ValueType::Text> s, const Fill& fill) {
  return TryReadText(scope, s, 0, fill).value;
}

std::optional<std::u16string> ReadEnvVar(const SettingsScope& scope, std::u16string_view name) {
  // Any variable name, in the key of the named ones.
  SettingDef def = Definition(EnvUserName);
  std::u16string owned(name);
  // A name holding "%" must not be taken for a format.
  std::u16string escaped;
  for (char16_t c : owned) {
    escaped += c;
    if (c == u'%') escaped += u'%';
  }
  def.name = escaped.c_str();
  return QueryText(scope, def, {}, def.size);
}

std::optional<RawValue> ReadRaw(const SettingsScope& scope, const SettingDef& def, const Fill& fill) {
  if (def.store == Store::Ini) return std::nullopt;
  Query q = QueryValue(scope, def, fill);
  if (q.status != ERROR_SUCCESS) return std::nullopt;
  return std::move(q.value);
}

std::optional<RawValue> Read(const SettingsScope& scope, Setting<ValueType::Any> s, const Fill& fill) {
  return ReadRaw(scope, Definition(s), fill);
}

// --- writers ----------------------------------------------------------------------

BOOL Write(const SettingsScope& scope, Setting<ValueType::Dword> s, DWORD value, const Fill& fill) {
  return SetValue(scope, Definition(s), fill, REG_DWORD, &value, sizeof value);
}

BOOL Write(const SettingsScope& scope, Setting<ValueType::Flag> s, bool on, const Fill& fill) {
  DWORD value = on ? 1 : 0;
  return SetValue(scope, Definition(s), fill, REG_DWORD, &value, sizeof value);
}

BOOL Write(const SettingsScope& scope, Setting<ValueType::Number> s, LONG value, const Fill& fill) {
  return SetText(scope, Definition(s), fill, FromUtf8(std::to_string(value)));
}

BOOL Write(const SettingsScope& scope, Setting<ValueType::Yes> s, bool on, const Fill& fill) {
  return SetText(scope, Definition(s), fill, on ? u"yes" : u"no");
}

BOOL Write(const SettingsScope& scope, Setting<ValueType::DecimalText> s, LONG value, const Fill& fill) {
  return SetText(scope, Definition(s), fill, FromUtf8(std::to_string(value)));
}

BOOL Write(const SettingsScope& scope, Setting<ValueType::Text> s, std::u16string_view text, const Fill& fill) {
  const SettingDef& def = Definition(s);
  switch (def.rule) {
    case Rule::ScrambledXor47: return SetText(scope, def, fill, ScrambleXor47(text));
    case Rule::ScrambledHex6C: {
      auto stored = ScrambleFtpPassword(text);
      if (!stored) {
        // A character above U+00FF has no two-digit form.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      return SetText(scope, def, fill, *stored);
    }
    default: return SetText(scope, def, fill, text);
  }
}

BOOL Delete(const SettingsScope& scope, const SettingDef& def, const Fill& fill) {
  if (def.store == Store::Ini) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Prepare(scope);
  std::u16string path = KeyPath(scope, def, fill);
  RegKey key;
  LONG rc = RegOpenKeyExW(HiveOf(def), path.c_str(), 0, KEY_SET_VALUE, key.Receive());
  if (rc == ERROR_FILE_NOT_FOUND) return TRUE;
  if (rc == ERROR_SUCCESS) {
    std::u16string name = ValueName(scope, def, fill);
    rc = RegDeleteValueW(key.Get(), name.c_str());
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  }
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  return TRUE;
}

namespace internal {
void ResetOncePerProcessState() {
  ProcessState& state = State();
  std::lock_guard guard(state.lock);
  state.volatileChecked = false;
  state.packageKeysCopied.clear();
}
}  // namespace internal

}  // namespace tw::settings
