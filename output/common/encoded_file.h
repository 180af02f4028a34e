// The file an encoder writes a page into: created with CreateFileW, written
// through a buffer, and removed again unless it was committed, so that a page
// that fails half-way leaves no partial file behind (a GIF name that stays
// taken would fail every later try).
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw::output {

class EncodedFile {
 public:
  EncodedFile() = default;
  ~EncodedFile();
  EncodedFile(const EncodedFile&) = delete;
  EncodedFile& operator=(const EncodedFile&) = delete;

  // Creates the file with read and write access: `disposition` CREATE_ALWAYS
  // (created or truncated) or CREATE_NEW (an existing file fails). False with
  // the Win32 last error.
  bool Create(std::u16string_view name, DWORD disposition, DWORD shareMode);
  // Buffered; false once any write has failed.
  bool Write(const void* data, std::size_t size);
  bool Put(BYTE value) { return Write(&value, 1); }
  bool PutWord(WORD value) {  // little-endian
    BYTE bytes[2] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8)};
    return Write(bytes, 2);
  }
  // Writes what is buffered and closes the file, which then stays.
  bool Commit();

 private:
  bool Flush();
  void Discard();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::u16string name_;
  std::vector<BYTE> buffer_;
  bool failed_ = false;
};

}  // namespace tw::output
