#include <atomic>

#include "tw/debug.h"

namespace tw::debug {
namespace {
constexpr const char* kNames[] = {"GlobalBlocks", "LocalBlocks",  "HeapBlocks", "KernelHandles",
                                  "RegistryKeys", "GdiObjects", "Modules",    "PrinterHandles"};
static_assert(std::size(kNames) == static_cast<size_t>(Counter::Count));
std::atomic<std::int64_t> g_counts[static_cast<size_t>(Counter::Count)];
}  // namespace

void Add(Counter counter, std::int64_t delta) {
  g_counts[static_cast<size_t>(counter)].fetch_add(delta, std::memory_order_relaxed);
}

std::int64_t Get(Counter counter) { return g_counts[static_cast<size_t>(counter)].load(); }

Counts Snapshot() {
  Counts counts{};
  for (size_t i = 0; i < counts.size(); ++i) counts[i] = g_counts[i].load();
  return counts;
}

std::string Diff(const Counts& before, const Counts& after) {
  std::string text;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    if (!text.empty()) text += ", ";
    auto delta = after[i] - before[i];
    text += std::string(kNames[i]) + (delta > 0 ? " +" : " ") + std::to_string(delta);
  }
  return text;
}

}  // namespace tw::debug
