#include "tiff_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "tiff_errors.h"

namespace twtiff {

// ---- FileStream ---------------------------------------------------------------

bool FileStream::Seek(std::uint64_t offset) {
  if (offset > std::uint64_t(std::numeric_limits<LONGLONG>::max())) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN) != FALSE;
}

bool FileStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  return Seek(offset) && tw::codec::ReadExact(file_.Get(), buffer, size);
}

bool FileStream::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
#ifdef TWTIFF_TEST_FAIL_IMAGE_WRITES
  // The test build's failing disk: headers are written, image data is not.
  if (offset >= 8) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
#endif
  // Seeking past the end and writing leaves a zero-filled gap, as on Windows.
  if (!Seek(offset) || !tw::codec::WriteAll(file_.Get(), data, size)) return false;
  size_ = std::max(size_, offset + size);
  return true;
}

bool FileStream::Truncate(std::uint64_t size) {
  if (size >= size_) return true;
  if (!Seek(size) || !SetEndOfFile(file_.Get())) return false;
  size_ = size;
  return true;
}

// ---- BlockStream --------------------------------------------------------------

bool BlockStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  tw::codec::LockedBlock lock(block_);
  if (!lock.Data() || offset + size > lock.Size()) return false;
  std::memcpy(buffer, lock.Data() + offset, size);
  return true;
}

bool BlockStream::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  std::uint64_t end = offset + size;
  if (end < offset || end > (std::uint64_t(1) << 34)) return false;
  SIZE_T capacity = GlobalSize(block_);
  if (end > capacity) {
    std::uint64_t grown = std::max<std::uint64_t>({end, capacity + capacity / 2, 4096});
    // The block keeps its handle: the caller holds it, not its address.
    if (GlobalReAlloc(block_, static_cast<SIZE_T>(grown), GMEM_MOVEABLE | GMEM_ZEROINIT) != block_) return false;
  }
  tw::codec::LockedBlock lock(block_);
  if (!lock.Data() || end > lock.Size()) return false;
  if (offset > size_) std::memset(lock.Data() + size_, 0, static_cast<size_t>(offset - size_));
  if (size) std::memcpy(lock.Data() + offset, data, size);
  size_ = std::max(size_, end);
  return true;
}

bool BlockStream::Truncate(std::uint64_t size) {
  size_ = std::min(size_, size);
  return true;
}

bool BlockStream::Finish() {
  if (GlobalReAlloc(block_, static_cast<SIZE_T>(std::max<std::uint64_t>(size_, 1)), GMEM_MOVEABLE) != block_)
    return false;
  if (size_ == 0) {
    tw::codec::LockedBlock lock(block_);
    if (!lock.Data()) return false;
    lock.Data()[0] = 0;
  }
  return true;
}

// ---- VectorStream -------------------------------------------------------------

bool VectorStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size) std::memcpy(buffer, bytes_.data() + offset, size);
  return true;
}

bool VectorStream::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  std::uint64_t end = offset + size;
  if (end < offset || end > (std::uint64_t(1) << 32)) return false;
  try {
    if (end > bytes_.size()) bytes_.resize(static_cast<size_t>(end));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (size) std::memcpy(bytes_.data() + offset, data, size);
  return true;
}

bool VectorStream::CopyFrom(Stream& other) {
  constexpr std::uint64_t kMaxCopy = std::uint64_t(1) << 30;
  if (other.Size() > kMaxCopy) return false;
  try {
    bytes_.resize(static_cast<std::size_t>(other.Size()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return bytes_.empty() || other.ReadAt(0, bytes_.data(), bytes_.size());
}

bool VectorStream::Truncate(std::uint64_t size) {
  if (size < bytes_.size()) bytes_.resize(static_cast<size_t>(size));
  return true;
}

// ---- libtiff over a stream ----------------------------------------------------

LibTiff::LibTiff(Stream& stream, const char* mode, const char* name)
    : cursor_(new Cursor{&stream, 0, false}) {
  TIFFOpenOptions* options = NewOpenOptions();
  if (!options) return;
  tif_ = TIFFClientOpenExt(name, mode, cursor_.get(), &ReadProc, &WriteProc, &SeekProc, &CloseProc, &SizeProc,
                           &MapProc, &UnmapProc, options);
  TIFFOpenOptionsFree(options);
}

LibTiff::~LibTiff() { Close(); }

void LibTiff::Close() {
  if (tif_) TIFFClose(tif_);
  tif_ = nullptr;
}

void LibTiff::Discard() {
  cursor_->discarding = true;
  if (tif_) TIFFCleanup(tif_);
  tif_ = nullptr;
}

tmsize_t LibTiff::ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* c = static_cast<Cursor*>(handle);
  std::uint64_t total = c->stream->Size();
  if (size <= 0 || c->position >= total) return 0;
  std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t(size), total - c->position));
  if (!c->stream->ReadAt(c->position, buffer, n)) return -1;
  c->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t LibTiff::WriteProc(thandle_t handle, void* data, tmsize_t size) {
  auto* c = static_cast<Cursor*>(handle);
  if (size < 0) return -1;
  if (c->discarding) return size;
  if (!c->stream->WriteAt(c->position, data, static_cast<std::size_t>(size))) return -1;
  c->position += static_cast<std::uint64_t>(size);
  return size;
}

toff_t LibTiff::SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* c = static_cast<Cursor*>(handle);
  // libtiff passes negative moves as two's complement in the unsigned offset.
  std::uint64_t base = whence == SEEK_CUR ? c->position : whence == SEEK_END ? c->stream->Size() : 0;
  c->position = base + offset;
  return c->position;
}

int LibTiff::CloseProc(thandle_t) { return 0; }  // the stream's owner closes it

toff_t LibTiff::SizeProc(thandle_t handle) { return static_cast<Cursor*>(handle)->stream->Size(); }

int LibTiff::MapProc(thandle_t handle, void** base, toff_t* size) {
  auto* c = static_cast<Cursor*>(handle);
  const BYTE* data = c->stream->Contiguous();
  if (!data || c->stream->Size() == 0) return 0;
  *base = const_cast<BYTE*>(data);  // libtiff only reads through a mapping
  *size = c->stream->Size();
  return 1;
}

void LibTiff::UnmapProc(thandle_t, void*, toff_t) {}

}  // namespace twtiff
