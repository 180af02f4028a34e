// Helpers of the module tests: where the test modules are, putting copies of
// them on the emulated disk, and the DllMain calls they recorded.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tw/pathmap.h"
#include "tw/root.h"
#include "tw_test.h"

namespace modtest {

// The folder holding the built test modules: the test executable's own.
inline std::filesystem::path BuiltDir() {
  auto dir = twtest::BinDir();
  if (!dir.empty()) return dir;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

// Copies a built module to a Windows path of the machine root.
inline void Install(const char* builtName, std::u16string_view windowsPath) {
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(windowsPath, host), 0u);
  std::filesystem::create_directories(host.parent_path());
  std::filesystem::copy_file(BuiltDir() / builtName, host, std::filesystem::copy_options::overwrite_existing);
}

// Writes a file of these bytes at a Windows path.
inline void WriteFile(std::u16string_view windowsPath, const std::string& bytes) {
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(windowsPath, host), 0u);
  std::filesystem::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << bytes;
}

inline void Remove(std::u16string_view windowsPath) {
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(windowsPath, host), 0u);
  std::filesystem::remove(host);
}

struct Event {
  std::string reason;
  pid_t tid;
  bool operator==(const Event&) const = default;
};

// The DllMain calls the test modules recorded in this root, in order.
inline std::vector<Event> Events() {
  std::vector<Event> out;
  std::ifstream in(tw::root::Path("log/module_events.log"));
  Event e;
  while (in >> e.reason >> e.tid) out.push_back(e);
  return out;
}

inline std::ostream& operator<<(std::ostream& os, const Event& e) { return os << e.reason << '@' << e.tid; }

}  // namespace modtest
