// Helpers of the settings tests: registry values and files written the way
// an installer or a user would, with the layer's own calls.
#pragma once

#include <windows.h>

#include <string>

#include "job/settings/registry_key.h"

inline bool SetRegText(HKEY root, const std::u16string& path, const char16_t* name, const std::u16string& text) {
  tw::settings::RegKey key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * 2)) == ERROR_SUCCESS;
}

inline bool SetRegDword(HKEY root, const std::u16string& path, const char16_t* name, DWORD value) {
  tw::settings::RegKey key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) == ERROR_SUCCESS;
}

// An empty file at a Windows path (its folder must exist).
inline bool MakeFile(const std::u16string& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

inline std::u16string PrinterKey(const std::u16string& printer, const std::u16string& group = {}) {
  std::u16string path = u"SOFTWARE\\Tarnwick Software LLC\\" + printer;
  if (!group.empty()) path += u"\\" + group;
  return path;
}
