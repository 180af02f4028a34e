// Where TIFF bytes live: a file handle of the layer, the caller's movable
// block, or a private buffer. libtiff reaches them through client procedures
// (TIFFClientOpenExt), so Windows paths never reach it as names.
#pragma once
#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "win_io.h"

namespace twtiff {

class Stream {
 public:
  virtual ~Stream() = default;
  // Exactly `size` bytes at `offset`; false past the end or on an I/O error.
  virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
  // Writes at `offset`, growing the data (a gap is zero-filled).
  virtual bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  virtual std::uint64_t Size() const = 0;
  // Cuts the data to `size` bytes (only ever made shorter).
  virtual bool Truncate(std::uint64_t size) = 0;
  // The whole data at one address, when the stream keeps it so: libtiff then
  // reads it as a mapped file (its unmapped tile reader refuses some valid files).
  virtual const BYTE* Contiguous() const { return nullptr; }
};

// A file opened with CreateFileW; the stream owns the handle.
class FileStream final : public Stream {
 public:
  FileStream(tw::codec::FileHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  std::uint64_t Size() const override { return size_; }
  bool Truncate(std::uint64_t size) override;
  bool Close() { return file_.Close() != FALSE; }

 private:
  bool Seek(std::uint64_t offset);
  tw::codec::FileHandle file_;
  std::uint64_t size_;
};

// The caller's movable global block: the first `size` bytes are the TIFF. It
// grows geometrically while writing; Finish trims it to the data (one zero
// byte when there is none).
class BlockStream final : public Stream {
 public:
  BlockStream(HGLOBAL block, std::uint64_t size) : block_(block), size_(size) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  std::uint64_t Size() const override { return size_; }
  bool Truncate(std::uint64_t size) override;
  bool Finish();

 private:
  HGLOBAL block_;
  std::uint64_t size_;
};

// A private growable buffer.
class VectorStream final : public Stream {
 public:
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Truncate(std::uint64_t size) override;
  const BYTE* Contiguous() const override { return bytes_.data(); }
  // A copy of another stream's data (false when it is too large to hold).
  bool CopyFrom(Stream& other);

 private:
  std::vector<BYTE> bytes_;
};

// libtiff working on a stream, closed (TIFFClose: pending data flushed) with
// its scope. Discard drops libtiff's state without writing anything more
// (libtiff's own clean-up would write the half-made directory).
class LibTiff {
 public:
  // mode: "r", "r+" or "a" (libtiff's modes); `name` appears in libtiff's
  // messages. Get() is null when libtiff refused (the error is captured).
  LibTiff(Stream& stream, const char* mode, const char* name);
  ~LibTiff();
  LibTiff(const LibTiff&) = delete;
  LibTiff& operator=(const LibTiff&) = delete;

  TIFF* Get() const { return tif_; }
  void Close();
  void Discard();

 private:
  struct Cursor {
    Stream* stream;
    std::uint64_t position;
    bool discarding;  // writes are dropped: libtiff's clean-up flushes
  };
  static tmsize_t ReadProc(thandle_t, void*, tmsize_t);
  static tmsize_t WriteProc(thandle_t, void*, tmsize_t);
  static toff_t SeekProc(thandle_t, toff_t, int);
  static int CloseProc(thandle_t);
  static toff_t SizeProc(thandle_t);
  static int MapProc(thandle_t, void**, toff_t*);
  static void UnmapProc(thandle_t, void*, toff_t);

  std::unique_ptr<Cursor> cursor_;
  TIFF* tif_ = nullptr;
};

}  // namespace twtiff
