// An open registry key, closed when the object goes.
#pragma once

#include "tw/wintypes.h"
#include "winreg.h"

namespace tw::settings {

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() { Close(); }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  HKEY Get() const { return key_; }
  // For the out parameter of RegOpenKeyExW / RegCreateKeyExW; closes a key held before.
  PHKEY Receive() {
    Close();
    return &key_;
  }
  void Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace tw::settings
