// Where naming methods 1, 2, 4, 5 and 8 and custom names find their pieces:
// the naming INI file or the registry key that NamingSettingsPath names.
#include <windows.h>

#include <vector>

#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "tw/casefold.h"

namespace tw::naming {

namespace {

// INI values are read into this many characters.
constexpr DWORD kIniChars = 1024;

std::u16string NamingSource(const CTWJob& job) {
  std::u16string source = job.m_DevMode.NamingSettingsPath.Get();
  return source;
}

}  // namespace

std::u16string NamingIniValue(const CTWJob& job, std::u16string_view section, std::u16string_view key) {
  std::vector<WCHAR> value(kIniChars, 0);
  const std::u16string file = NamingSource(job);
  GetPrivateProfileStringW(std::u16string(section).c_str(), std::u16string(key).c_str(), u"", value.data(), kIniChars,
                           file.c_str());
  return value.data();
}

std::u16string NamingIniDirectory(const CTWJob& job) {
  for (const WCHAR* section : {static_cast<const WCHAR*>(job.m_szPrinterName), u"Default Settings"})
    for (const WCHAR* key : {u"Output Directory", u"OutputDirectory"})
      if (std::u16string directory = NamingIniValue(job, section, key); !directory.empty()) return directory;
  return {};
}

std::optional<std::u16string> NamingRegistryValue(const CTWJob& job, std::u16string_view name) {
  const std::u16string source = NamingSource(job);
  const size_t slash = source.find(u'\\');
  if (slash == std::u16string::npos) return std::nullopt;
  const std::u16string_view root = std::u16string_view(source).substr(0, slash);
  HKEY hive = nullptr;
  if (EqualsNoCase(root, u"HKEY_LOCAL_MACHINE")) hive = HKEY_LOCAL_MACHINE;
  else if (EqualsNoCase(root, u"HKEY_CURRENT_USER")) hive = HKEY_CURRENT_USER;
  else return std::nullopt;
  HKEY key = nullptr;
  if (RegOpenKeyExW(hive, source.c_str() + slash + 1, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  const std::u16string valueName(name);
  DWORD type = 0, size = 0;
  std::optional<std::u16string> result;
  if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
      size <= 64 * 1024) {
    std::vector<WCHAR> data(size / sizeof(WCHAR) + 1, 0);
    DWORD got = size;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
      result = std::u16string(data.data());
  }
  RegCloseKey(key);
  return result;
}

}  // namespace tw::naming
