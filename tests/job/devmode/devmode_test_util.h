// A zero-filled record on the heap, so that reading past it trips the sanitizer.
#pragma once

#include <cstring>
#include <memory>

#include "job/devmode/tarnwick_devmode.h"

inline std::unique_ptr<tw::devmode::TarnwickDEVMODE> ZeroRecord() {
  auto dm = std::make_unique<tw::devmode::TarnwickDEVMODE>();
  std::memset(dm.get(), 0, sizeof(tw::devmode::TarnwickDEVMODE));
  return dm;
}
