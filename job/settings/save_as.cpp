#include "job/settings/save_as.h"

#include <cstring>
#include <string>
#include <vector>

#include "job/settings/registry_key.h"
#include "job/settings/value_text.h"
#include "tw/lasterror.h"
#include "tw/utf.h"
#include "winerror.h"
#include "winreg.h"

namespace tw::settings {
namespace {

constexpr char16_t kProtectedModeRoot[] = u"Software\\Microsoft\\Internet Explorer\\InternetRegistry\\REGISTRY\\USER\\";

// The value name of a text number, its "%d" filled with the index.
std::u16string TextValueName(const char16_t* format, std::optional<DWORD> index) {
  std::u16string name(format);
  std::size_t at = name.find(u"%d");
  if (at != std::u16string::npos) name.replace(at, 2, FromUtf8(std::to_string(index.value_or(0))));
  return name;
}

bool Query(const SettingsScope& scope, const std::u16string& name, DWORD* type, std::vector<BYTE>& data,
           DWORD limitBytes) {
  RegKey key;
  std::u16string path = SaveAsKeyPath(scope);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (size > limitBytes) return false;
  data.resize(size);
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, type, data.data(), &size) != ERROR_SUCCESS) return false;
  data.resize(size);
  return true;
}

BOOL Set(const SettingsScope& scope, const std::u16string& name, DWORD type, const void* data, DWORD size) {
  RegKey key;
  std::u16string path = SaveAsKeyPath(scope);
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                            nullptr, key.Receive(), nullptr);
  if (rc == ERROR_SUCCESS) rc = RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::u16string SaveAsKeyPath(const SettingsScope& scope) {
  std::u16string path;
  if (scope.protectedMode) path = std::u16string(kProtectedModeRoot) + scope.userSid + u"\\";
  path += kSettingsRoot;
  path += u"\\" + scope.printerKey + u"\\Save As Option Settings\\" + FromUtf8(std::to_string(scope.jobId));
  return path;
}

std::optional<DWORD> ReadSaveAsDword(const SettingsScope& scope, DWORD number) {
  const char16_t* name = SaveAsDwordName(number);
  if (!name) return std::nullopt;
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!Query(scope, name, &type, data, sizeof(DWORD)) || type != REG_DWORD || data.size() != sizeof(DWORD))
    return std::nullopt;
  DWORD value;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

std::optional<DWORD> ReadSaveAs(const SettingsScope& scope, SaveAsDword number) {
  return ReadSaveAsDword(scope, static_cast<DWORD>(number));
}

std::optional<std::u16string> ReadSaveAsText(const SettingsScope& scope, DWORD number, std::optional<DWORD> index) {
  const char16_t* format = SaveAsTextName(number);
  if (!format) return std::nullopt;
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!Query(scope, TextValueName(format, index), &type, data, kSaveAsTextSize * 2)) return std::nullopt;
  return TextFromRegistryData(type, data, kSaveAsTextSize);
}

std::optional<std::u16string> ReadSaveAs(const SettingsScope& scope, SaveAsText number, std::optional<DWORD> index) {
  return ReadSaveAsText(scope, static_cast<DWORD>(number), index);
}

BOOL WriteSaveAs(const SettingsScope& scope, SaveAsDword number, DWORD value) {
  return Set(scope, SaveAsDwordName(static_cast<DWORD>(number)), REG_DWORD, &value, sizeof value);
}

BOOL WriteSaveAs(const SettingsScope& scope, SaveAsText number, std::u16string_view text, std::optional<DWORD> index) {
  std::u16string stored(text);
  stored.push_back(u'\0');
  return Set(scope, TextValueName(SaveAsTextName(static_cast<DWORD>(number)), index), REG_SZ, stored.data(),
             static_cast<DWORD>(stored.size() * 2));
}

BOOL DeleteSaveAsKey(const SettingsScope& scope) {
  std::u16string path = SaveAsKeyPath(scope);
  LONG rc = RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return TRUE;
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  return TRUE;
}

}  // namespace tw::settings
