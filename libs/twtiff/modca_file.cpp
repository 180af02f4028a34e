// A new page goes where the document's End Document field was: the new
// fields and a new End Document are written over it, so the file is only
// ever extended. Before that the whole document is walked (introducers only)
// to check that every field is well formed and every begin has its end; a
// failed write puts the old end back. A walk costs a read per picture data
// field, so what the last additions found is remembered per file, and a file
// whose size and write time are still those it was left with is not walked
// again: a job adding page after page stays linear.
#include "modca_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "modca_fields.h"
#include "modca_page.h"
#include "tiff_errors.h"
#include "tw_tiff_api.h"
#include "win_io.h"

namespace twtiff::modca {
namespace {

using tw::codec::FileHandle;

bool Seek(HANDLE file, std::uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

// What the walk found: the pages and where the document's end lies.
struct DocumentEnd {
  std::uint32_t pages = 0;
  std::uint64_t endOffset = 0;  // of the last End Document field (its carriage control)
  std::vector<BYTE> endField;   // its bytes, to restore after a failed write
};

// Reads the introducers through a small window; field data is skipped.
class FieldReader {
 public:
  FieldReader(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  // The `count` bytes at `offset`, or null past the end or on a read error.
  const BYTE* At(std::uint64_t offset, std::size_t count) {
    if (offset + count > size_) return nullptr;
    if (offset < start_ || offset + count > start_ + window_.size()) {
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(kWindow, count), size_ - offset));
      window_.resize(n);
      if (!Seek(file_, offset) || !tw::codec::ReadExact(file_, window_.data(), n)) return nullptr;
      start_ = offset;
    }
    return window_.data() + (offset - start_);
  }

 private:
  static constexpr std::size_t kWindow = 4096;
  HANDLE file_;
  std::uint64_t size_;
  std::uint64_t start_ = 0;
  std::vector<BYTE> window_;
};

// Documents this process added pages to, as it left them.
struct KnownDocument {
  std::uint64_t size;
  FILETIME written;
  DocumentEnd end;
};
std::mutex g_knownLock;
std::map<std::u16string, KnownDocument> g_known;
constexpr std::size_t kMaxKnown = 16;

bool Known(const std::u16string& path, std::uint64_t size, const FILETIME& written, DocumentEnd& end) {
  std::lock_guard lock(g_knownLock);
  auto it = g_known.find(path);
  if (it == g_known.end() || it->second.size != size ||
      std::memcmp(&it->second.written, &written, sizeof written) != 0)
    return false;
  end = it->second.end;
  return true;
}

void Remember(const std::u16string& path, HANDLE file, std::uint64_t size, const DocumentEnd& end) {
  FILETIME written{};
  std::lock_guard lock(g_knownLock);
  if (!GetFileTime(file, nullptr, nullptr, &written)) {
    g_known.erase(path);
    return;
  }
  if (g_known.size() >= kMaxKnown && !g_known.count(path)) g_known.clear();
  g_known[path] = {size, written, end};
}

void Forget(const std::u16string& path) {
  std::lock_guard lock(g_knownLock);
  g_known.erase(path);
}

bool NotADocument(const char* why, std::uint64_t offset) {
  return Fail(TW_TIFF_ERROR_NOT_MODCA, "%s at byte %llu", why, static_cast<unsigned long long>(offset));
}

bool WalkDocument(HANDLE file, std::uint64_t size, DocumentEnd& end) {
  FieldReader reader(file, size);
  std::vector<BYTE> open;  // categories of the structures begun and not yet ended
  std::uint64_t pos = 0;
  bool first = true;
  while (pos < size) {
    const BYTE* f = reader.At(pos, 1 + kIntroducerBytes);
    if (!f) return NotADocument("a truncated field", pos);
    const std::size_t length = std::size_t(f[1]) << 8 | f[2];
    const std::uint32_t id = std::uint32_t(f[3]) << 16 | std::uint32_t(f[4]) << 8 | f[5];
    const BYTE type = f[4], category = f[5];
    if (f[0] != kCarriageControl || f[3] != 0xD3 || length < kIntroducerBytes || pos + 1 + length > size)
      return NotADocument("no structured field", pos);
    if (first && id != kBeginDocument) return NotADocument("no Begin Document", pos);
    first = false;
    if (type == kTypeBegin) {
      open.push_back(category);
    } else if (type == kTypeEnd) {
      if (open.empty() || open.back() != category) return NotADocument("an end without its begin", pos);
      open.pop_back();
    } else if (open.empty()) {
      return NotADocument("a field outside the document", pos);
    }
    if (id == kBeginPage) ++end.pages;
    if (id == kEndDocument && open.empty()) {
      end.endOffset = pos;
      end.endField.assign(f, f + 1 + kIntroducerBytes);
      const BYTE* name = reader.At(pos + 1 + kIntroducerBytes, length - kIntroducerBytes);
      if (!name) return NotADocument("a truncated field", pos);
      end.endField.insert(end.endField.end(), name, name + (length - kIntroducerBytes));
    }
    pos += 1 + length;
  }
  if (first || !open.empty()) return NotADocument("an unfinished document", pos);
  if (end.endOffset + end.endField.size() != size) return NotADocument("data after the document", size);
  return true;
}

// A one-page document in the (empty or replaced) file, closed; a file that
// cannot be written is removed. `remember`: for pages added later.
bool WriteNewFile(FileHandle& file, const std::u16string& name, const IocaImage& image, bool remember) {
  std::vector<BYTE> bytes, endField;
  AppendBeginDocument(bytes);
  AppendPage(bytes, image, 1);
  AppendEndDocument(endField);
  bytes.insert(bytes.end(), endField.begin(), endField.end());
  if (Seek(file.Get(), 0) && tw::codec::WriteAll(file.Get(), bytes.data(), bytes.size()) &&
      SetEndOfFile(file.Get())) {
    if (remember) Remember(name, file.Get(), bytes.size(), {1, bytes.size() - endField.size(), endField});
    if (file.Close()) return true;
  }
  DWORD error = GetLastError();
  file.Close();
  DeleteFileW(name.c_str());
  if (remember) Forget(name);
  return Fail(TW_TIFF_ERROR_WRITE, "writing %zu bytes (Win32 error %u)", bytes.size(), error);
}

}  // namespace

bool SaveIocaFile(std::u16string_view name, HGLOBAL dib, int compression, int quality) {
  IocaImage image;
  if (!MakeIocaImage(dib, compression, quality, image)) return false;
  std::u16string path(name);
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return Fail(TW_TIFF_ERROR_OPEN, "Win32 error %u", GetLastError());
  return WriteNewFile(file, path, image, false);
}

bool InsertModcaPage(std::u16string_view name, int position, HGLOBAL dib, int compression, int quality) {
  if (position < -1) return Fail(TW_TIFF_ERROR_ARGUMENT, "page position %d", position);
  IocaImage image;
  if (!MakeIocaImage(dib, compression, quality, image)) return false;
  std::u16string path(name);
  // No sharing: two writers must not interleave their pages.
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return Fail(TW_TIFF_ERROR_OPEN, "Win32 error %u", GetLastError());
  const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return Fail(TW_TIFF_ERROR_OPEN, "the file's size cannot be read");
  if (size.QuadPart == 0) {
    if (position > 0) {
      file.Close();
      if (created) DeleteFileW(path.c_str());
      return Fail(TW_TIFF_ERROR_ARGUMENT, "page position %d in an empty document", position);
    }
    return WriteNewFile(file, path, image, true);
  }

  DocumentEnd end;
  FILETIME written{};
  if (!GetFileTime(file.Get(), nullptr, nullptr, &written) ||
      !Known(path, static_cast<std::uint64_t>(size.QuadPart), written, end)) {
    Forget(path);
    if (!WalkDocument(file.Get(), static_cast<std::uint64_t>(size.QuadPart), end)) return false;
  }
  if (position >= 0 && static_cast<std::uint32_t>(position) != end.pages)
    return Fail(TW_TIFF_ERROR_ARGUMENT, "page position %d: pages are added after the last one (%u)", position,
                end.pages);
  std::vector<BYTE> tail;
  AppendPage(tail, image, end.pages + 1);
  tail.insert(tail.end(), end.endField.begin(), end.endField.end());
  if (Seek(file.Get(), end.endOffset) && tw::codec::WriteAll(file.Get(), tail.data(), tail.size())) {
    DocumentEnd after = end;
    after.pages += 1;
    after.endOffset += tail.size() - end.endField.size();
    Remember(path, file.Get(), after.endOffset + after.endField.size(), after);
    return file.Close() || Fail(TW_TIFF_ERROR_WRITE, "closing the file");
  }
  Forget(path);
  DWORD error = GetLastError();
  // Back to the document as it was.
  if (Seek(file.Get(), end.endOffset)) {
    tw::codec::WriteAll(file.Get(), end.endField.data(), end.endField.size());
    SetEndOfFile(file.Get());
  }
  return Fail(TW_TIFF_ERROR_WRITE, "adding %zu bytes (Win32 error %u)", tail.size(), error);
}

}  // namespace twtiff::modca
