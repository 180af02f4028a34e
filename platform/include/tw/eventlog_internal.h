// Internal: the event log's store and the debug channel's test hook.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "tw/wintypes.h"

namespace tw::eventlog {
// The store of the current root (<root>/log/eventlog.db).
TWCPPAPI std::filesystem::path StorePath();
// Why the last open of the store failed on this thread ("" when it did not).
TWCPPAPI std::string LastProblem();
}  // namespace tw::eventlog

namespace tw::debugout {
// Receives every OutputDebugStringW text instead of the configured channel
// (empty: back to it).
TWCPPAPI void SetSink(std::function<void(std::u16string_view)> sink);
}  // namespace tw::debugout
