// Helpers for the file tests: host-side files in the test root, and a
// handle that closes itself.
#pragma once
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tw/handles.h"
#include "tw/file.h"
#include "tw/lasterror.h"

namespace filetest {

// Writes `content` at <root>/drive_c/<relative> (folders made as needed).
inline std::filesystem::path Put(const std::filesystem::path& root, const std::string& relative,
                                 const std::string& content = "") {
  auto path = root / "drive_c" / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_;
};

// CreateFileW with the last error captured right after the call.
struct Opened {
  HANDLE handle;
  DWORD error;
};
inline Opened Open(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  SetLastError(0xDEAD);
  HANDLE h = CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
  return {h, GetLastError()};
}

}  // namespace filetest
