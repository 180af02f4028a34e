#include "output/common/encoded_file.h"

#include <algorithm>
#include <utility>

namespace tw::output {
namespace {
constexpr std::size_t kBufferBytes = 64 * 1024;
}

EncodedFile::~EncodedFile() { Discard(); }

bool EncodedFile::Create(std::u16string_view name, DWORD disposition, DWORD shareMode) {
  Discard();
  name_.assign(name);
  buffer_.reserve(kBufferBytes);
  failed_ = false;
  handle_ = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, shareMode, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle_ != INVALID_HANDLE_VALUE;
}

bool EncodedFile::Write(const void* data, std::size_t size) {
  if (failed_ || handle_ == INVALID_HANDLE_VALUE) return false;
  const auto* bytes = static_cast<const BYTE*>(data);
  while (size > 0) {
    std::size_t take = std::min(size, kBufferBytes - buffer_.size());
    buffer_.insert(buffer_.end(), bytes, bytes + take);
    bytes += take;
    size -= take;
    if (buffer_.size() == kBufferBytes && !Flush()) return false;
  }
  return true;
}

bool EncodedFile::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    DWORD wrote = 0;
    DWORD ask = static_cast<DWORD>(buffer_.size() - done);
    if (!WriteFile(handle_, buffer_.data() + done, ask, &wrote, nullptr) || wrote == 0) {
      failed_ = true;
      return false;
    }
    done += wrote;
  }
  buffer_.clear();
  return true;
}

bool EncodedFile::Commit() {
  if (handle_ == INVALID_HANDLE_VALUE || failed_ || !Flush()) return false;
  if (CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE))) return true;
  DeleteFileW(name_.c_str());
  return false;
}

void EncodedFile::Discard() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  DeleteFileW(name_.c_str());
}

}  // namespace tw::output
