// Helpers shared by the registry tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tw_test.h"

namespace regtest {

// An open key closed at the end of the scope.
class Key {
 public:
  Key() = default;
  explicit Key(HKEY key) : key_(key) {}
  ~Key() { Close(); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  void Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }
  HKEY* Out() {
    Close();
    return &key_;
  }
  operator HKEY() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

inline LONG Create(HKEY root, const char16_t* path, Key* key, DWORD options = 0, REGSAM sam = KEY_ALL_ACCESS,
                   DWORD* disposition = nullptr) {
  return RegCreateKeyExW(root, path, 0, nullptr, options, sam, nullptr, key->Out(), disposition);
}

inline LONG SetString(HKEY key, const char16_t* name, std::u16string_view text, bool terminator = true) {
  DWORD size = static_cast<DWORD>((text.size() + (terminator ? 1 : 0)) * sizeof(WCHAR));
  std::u16string copy(text);
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(copy.c_str()), size);
}

inline LONG SetDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The raw bytes of a value (type in *type), or an empty vector with the error.
inline std::vector<BYTE> Query(HKEY key, const char16_t* name, DWORD* type = nullptr, LONG* error = nullptr) {
  DWORD size = 0, t = 0;
  LONG rc = RegQueryValueExW(key, name, nullptr, &t, nullptr, &size);
  std::vector<BYTE> data(size);
  if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(key, name, nullptr, &t, data.data(), &size);
  if (error) *error = rc;
  if (type) *type = t;
  if (rc != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

inline std::vector<std::u16string> SubKeys(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD count = 256;
    if (RegEnumKeyExW(key, i, name, &count, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, count);
  }
  return names;
}

inline std::vector<std::u16string> ValueNames(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[16384];
    DWORD count = 16384;
    if (RegEnumValueW(key, i, name, &count, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, count);
  }
  return names;
}

inline bool Exists(HKEY root, const char16_t* path, REGSAM sam = KEY_READ) {
  Key key;
  return RegOpenKeyExW(root, path, 0, sam, key.Out()) == ERROR_SUCCESS;
}

inline std::vector<BYTE> Bytes(std::u16string_view text, bool terminator) {
  std::vector<BYTE> out((text.size() + (terminator ? 1 : 0)) * 2, 0);
  if (!text.empty()) memcpy(out.data(), text.data(), text.size() * 2);
  return out;
}

}  // namespace regtest
