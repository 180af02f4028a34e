#include "win_io.h"

#include <algorithm>
#include <climits>

namespace tw::codec {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    h_ = other.h_;
    other.h_ = INVALID_HANDLE_VALUE;
  }
  return *this;
}

BOOL FileHandle::Close() {
  if (!Valid()) return TRUE;
  HANDLE h = h_;
  h_ = INVALID_HANDLE_VALUE;
  return CloseHandle(h);
}

LockedBlock::LockedBlock(HGLOBAL block) : block_(block), data_(nullptr), size_(0) {
  if (!block_) return;
  data_ = static_cast<BYTE*>(GlobalLock(block_));
  if (data_) size_ = GlobalSize(block_);
}

LockedBlock::~LockedBlock() {
  if (data_) GlobalUnlock(block_);
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
  auto* p = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file, p, chunk, &done, nullptr) || done == 0) return false;
    p += done;
    size -= done;
  }
  return true;
}

bool ReadExact(HANDLE file, void* data, size_t size) {
  auto* p = static_cast<BYTE*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD done = 0;
    if (!ReadFile(file, p, chunk, &done, nullptr) || done == 0) return false;
    p += done;
    size -= done;
  }
  return true;
}

std::u16string FromAnsi(LPCSTR text) {
  if (!text || !*text) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 1) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string ToAnsi(std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX / 4) return {};
  int len = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), len, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace tw::codec
