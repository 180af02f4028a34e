// Helpers for the profile tests.
#pragma once
#include "tw_test.h"
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace profiletest {

inline std::filesystem::path DataDir() { return twtest::SourcePath("tests/platform/profile") / "data"; }

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void Spill(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A double-null-terminated list as a vector (stops at the first empty item).
inline std::vector<std::u16string> List(const char16_t* buffer) {
  std::vector<std::u16string> items;
  for (const char16_t* p = buffer; *p; p += items.back().size() + 1) items.emplace_back(p);
  return items;
}

// Printable bytes for failure messages.
inline std::string Show(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127) out += char(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace profiletest
