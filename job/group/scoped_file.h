// A file handle of the layer that closes itself.
#pragma once

#include <windows.h>

namespace tw::group {

class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ~ScopedFile() {
    if (Valid()) CloseHandle(handle_);
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Writes all of `bytes`; false with the system error as the last error.
inline bool WriteAll(HANDLE file, const void* bytes, size_t size) {
  const char* p = static_cast<const char*>(bytes);
  while (size) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size), written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    p += written;
    size -= written;
  }
  return true;
}

}  // namespace tw::group
