#include "monitor/job_handover.h"

#include <string>
#include <vector>

#include <windows.h>

#include "job/job/tw_job.h"
#include "job/settings/registry_key.h"

namespace tw::monitor {
namespace {

using tw::settings::RegKey;

constexpr DWORD kValueNameUnits = 64;  // 63 characters and the terminator

// Copies the subkeys first (depth first), then creates the destination and
// copies the values with their types.
void CopyTree(HKEY source, HKEY destParent, const std::u16string& destName) {
  WCHAR name[256];
  std::vector<std::u16string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (RegEnumKeyExW(source, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name, len);
  }
  for (const auto& sub : subkeys) {
    RegKey child;
    if (RegOpenKeyExW(source, sub.c_str(), 0, KEY_READ, child.Receive()) != ERROR_SUCCESS) continue;
    CopyTree(child.Get(), destParent, destName + u"\\" + sub);
  }
  RegKey dest;
  if (RegCreateKeyExW(destParent, destName.c_str(), 0, nullptr, 0, KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                      nullptr, dest.Receive(), nullptr) != ERROR_SUCCESS)
    return;
  for (DWORD i = 0;; ++i) {
    WCHAR valueName[kValueNameUnits];
    DWORD nameLen = kValueNameUnits, type = 0, size = 0;
    LSTATUS status = RegEnumValueW(source, i, valueName, &nameLen, nullptr, &type, nullptr, &size);
    if (status == ERROR_MORE_DATA) continue;  // a longer name is skipped
    if (status != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size ? size : 1);
    DWORD got = size;
    if (RegQueryValueExW(source, valueName, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) continue;
    RegSetValueExW(dest.Get(), valueName, 0, type, data.data(), got);
  }
}

}  // namespace

BOOL HandOverJobSettings(LPCWSTR printerName, DWORD jobId, CTWJob& job) {
  if (!printerName) return FALSE;
  WCHAR source[512], dest[512];
  _snwprintf_s(source, 512, _TRUNCATE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\%s\\Job %d", printerName,
               jobId);
  _snwprintf_s(dest, 512, _TRUNCATE, u"SOFTWARE\\Tarnwick Software LLC\\%s", printerName);
  {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, source, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return FALSE;
    CopyTree(key.Get(), HKEY_CURRENT_USER, dest);
  }
  // With a subkey name, RegDeleteTreeW removes that key itself too.
  LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, source);
  if (status != ERROR_SUCCESS) {
    job.ReportJobErrorText(u"Could not delete registry key 'HKEY_LOCAL_MACHINE\\%s'. Windows error: %d", source,
                           status);
    return FALSE;
  }
  return TRUE;
}

}  // namespace tw::monitor
