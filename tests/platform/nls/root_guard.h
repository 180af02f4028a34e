// Puts the process back into the machine root it had, after a test switched
// to a temporary one (declare it before the twtest::TempRoot).
#pragma once
#include <filesystem>

#include "tw/root.h"

namespace twtest {

class RootGuard {
 public:
  RootGuard() : m_dir(tw::root::Dir()) {}
  ~RootGuard() { tw::root::SetDir(m_dir); }
  RootGuard(const RootGuard&) = delete;
  RootGuard& operator=(const RootGuard&) = delete;

 private:
  std::filesystem::path m_dir;
};

}  // namespace twtest
