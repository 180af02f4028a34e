// Small RAII owners and I/O helpers over the layer's handles and blocks, for
// the codec libraries.
#pragma once
#include <windows.h>

#include <cstddef>
#include <span>
#include <string>

namespace tw::codec {

// A kernel handle closed with its scope (INVALID_HANDLE_VALUE and null mean none).
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  FileHandle& operator=(FileHandle&& other) noexcept;

  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }
  BOOL Close();

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A global block locked for the scope. Data() is null when the lock failed.
class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL block);
  ~LockedBlock();
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;

  BYTE* Data() const { return data_; }
  SIZE_T Size() const { return size_; }
  std::span<const BYTE> Bytes() const { return {data_, data_ ? size_ : 0}; }

 private:
  HGLOBAL block_;
  BYTE* data_;
  SIZE_T size_;
};

// A global block freed with its scope unless released.
class OwnedBlock {
 public:
  explicit OwnedBlock(HGLOBAL block = nullptr) : block_(block) {}
  ~OwnedBlock() {
    if (block_) GlobalFree(block_);
  }
  OwnedBlock(const OwnedBlock&) = delete;
  OwnedBlock& operator=(const OwnedBlock&) = delete;
  HGLOBAL Get() const { return block_; }
  void Reset(HGLOBAL block) {
    if (block_) GlobalFree(block_);
    block_ = block;
  }
  HGLOBAL Release() {
    HGLOBAL b = block_;
    block_ = nullptr;
    return b;
  }

 private:
  HGLOBAL block_;
};

// Writes all bytes at the handle's position (WriteFile may write less per call).
bool WriteAll(HANDLE file, const void* data, size_t size);
// Reads exactly `size` bytes at the handle's position; false on a short read.
bool ReadExact(HANDLE file, void* data, size_t size);

// An 8-bit text in the ANSI code page as UTF-16, and back (unmappable
// characters become '?'). Null gives an empty string.
std::u16string FromAnsi(LPCSTR text);
std::string ToAnsi(std::u16string_view text);

}  // namespace tw::codec
