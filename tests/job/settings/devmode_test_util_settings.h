// A zero-filled record on the heap, so that reading past it trips the sanitizer.
#pragma once

#include <cstring>
#include <memory>

#include "job/devmode/tarnwick_devmode.h"

inline std::unique_ptr<tw::devmode::TarnwickDEVMODE> ZeroedRecord() {
  auto rec = std::make_unique<tw::devmode::TarnwickDEVMODE>();
  std::memset(rec.get(), 0, sizeof(tw::devmode::TarnwickDEVMODE));
  return rec;
}
