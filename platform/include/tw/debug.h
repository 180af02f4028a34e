// Internal: live-object counters, so tests can prove that every handle and
// block is released on every path.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include "tw/wintypes.h"

namespace tw::debug {

enum class Counter : int {
  GlobalBlocks,
  LocalBlocks,
  HeapBlocks,
  KernelHandles,
  RegistryKeys,
  GdiObjects,
  Modules,
  PrinterHandles,
  Count
};

using Counts = std::array<std::int64_t, static_cast<size_t>(Counter::Count)>;

TWCPPAPI void Add(Counter counter, std::int64_t delta);
TWCPPAPI std::int64_t Get(Counter counter);
TWCPPAPI Counts Snapshot();
// "GlobalBlocks +1, KernelHandles -1" for the counters that differ; "" if none.
TWCPPAPI std::string Diff(const Counts& before, const Counts& after);

}  // namespace tw::debug
