#include "tiff_file.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "ifd_chain.h"
#include "tiff_errors.h"

namespace twtiff {
namespace {

std::mutex g_handlesMutex;
std::unordered_set<TiffFile*>& Handles() {
  static std::unordered_set<TiffFile*> handles;
  return handles;
}

bool ValidMode(int mode) { return mode >= 1 && mode <= 3; }

}  // namespace

TiffFile::TiffFile(std::unique_ptr<Stream> stream, std::u16string name, bool startedHere, bool existed,
                   bool readOnly)
    : stream_(std::move(stream)),
      name_(std::move(name)),
      name8_(tw::codec::ToAnsi(name_)),
      startedHere_(startedHere),
      existed_(existed),
      readOnly_(readOnly) {
  file_ = dynamic_cast<FileStream*>(stream_.get());
  block_ = dynamic_cast<BlockStream*>(stream_.get());
  if (name8_.empty()) name8_ = "memory TIFF";
}

std::unique_ptr<TiffFile> TiffFile::OpenFile(std::u16string_view name, int mode) {
  if (name.empty()) return Fail(TW_TIFF_ERROR_ARGUMENT, "no file name"), nullptr;
  if (!ValidMode(mode)) return Fail(TW_TIFF_ERROR_ARGUMENT, "open mode %d", mode), nullptr;
  std::u16string path(name);
  std::string path8 = tw::codec::ToAnsi(path);
  bool readOnly = mode == int(OpenMode::Read);
  DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = readOnly ? OPEN_EXISTING : mode == int(OpenMode::New) ? CREATE_ALWAYS : OPEN_ALWAYS;
  // Writing is shared: the job holds its one-file output open (with write
  // access) while the writers add to it.
  tw::codec::FileHandle file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return Fail(TW_TIFF_ERROR_OPEN, "%s (Win32 error %u)", path8.c_str(), GetLastError()), nullptr;
  bool existed = disposition == OPEN_EXISTING || GetLastError() == ERROR_ALREADY_EXISTS;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size))
    return Fail(TW_TIFF_ERROR_OPEN, "%s: no size (Win32 error %u)", path8.c_str(), GetLastError()), nullptr;
  auto stream = std::make_unique<FileStream>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
  IfdChain chain;
  if (!ReadIfdChain(*stream, chain)) return nullptr;  // not a TIFF: the file is left as it was
  if (readOnly && chain.empty) return Fail(TW_TIFF_ERROR_NOT_TIFF, "%s is empty", path8.c_str()), nullptr;
  bool startedHere = !existed || chain.offsets.empty();
  return std::unique_ptr<TiffFile>(new TiffFile(std::move(stream), path, startedHere, existed, readOnly));
}

std::unique_ptr<TiffFile> TiffFile::OpenBlock(HGLOBAL block, DWORD size, int mode) {
  if (!block) return Fail(TW_TIFF_ERROR_ARGUMENT, "no memory block"), nullptr;
  if (!ValidMode(mode)) return Fail(TW_TIFF_ERROR_ARGUMENT, "open mode %d", mode), nullptr;
  SIZE_T capacity;
  {
    tw::codec::LockedBlock lock(block);
    if (!lock.Data()) return Fail(TW_TIFF_ERROR_ARGUMENT, "the memory block is not valid"), nullptr;
    // A fixed block's handle is its address; it would change when grown.
    if (static_cast<void*>(lock.Data()) == block) return Fail(TW_TIFF_ERROR_ARGUMENT, "the memory block is fixed"), nullptr;
    capacity = lock.Size();
  }
  std::uint64_t used = mode == int(OpenMode::New) ? 0 : std::min<std::uint64_t>(size, capacity);
  auto stream = std::make_unique<BlockStream>(block, used);
  IfdChain chain;
  if (used > 0 && !ReadIfdChain(*stream, chain)) {
    // A block of zero bytes (as a job's new block is) holds no TIFF yet.
    tw::codec::LockedBlock lock(block);
    bool zeros = lock.Data() && std::all_of(lock.Data(), lock.Data() + used, [](BYTE b) { return b == 0; });
    if (!zeros || mode == int(OpenMode::Read)) return nullptr;
    SetLastTiffError(TW_TIFF_ERROR_NONE);  // not an error after all
    stream = std::make_unique<BlockStream>(block, 0);
    chain = IfdChain{};
  }
  if (mode == int(OpenMode::Read) && chain.offsets.empty())
    return Fail(TW_TIFF_ERROR_NOT_TIFF, "the memory block holds no TIFF image"), nullptr;
  bool startedHere = chain.offsets.empty();
  return std::unique_ptr<TiffFile>(new TiffFile(std::move(stream), {}, startedHere, true, mode == int(OpenMode::Read)));
}

HTWTIFF TiffFile::Register(std::unique_ptr<TiffFile> file) {
  if (!file) return nullptr;
  std::lock_guard lock(g_handlesMutex);
  TiffFile* raw = file.release();
  Handles().insert(raw);
  return reinterpret_cast<HTWTIFF>(raw);
}

TiffFile* TiffFile::Find(HTWTIFF handle) {
  auto* raw = reinterpret_cast<TiffFile*>(handle);
  std::lock_guard lock(g_handlesMutex);
  if (Handles().count(raw) == 0) {
    Fail(TW_TIFF_ERROR_ARGUMENT, "not a TIFF handle of this library");
    return nullptr;
  }
  return raw;
}

std::unique_ptr<TiffFile> TiffFile::Unregister(HTWTIFF handle) {
  auto* raw = reinterpret_cast<TiffFile*>(handle);
  std::lock_guard lock(g_handlesMutex);
  if (Handles().erase(raw) == 0) {
    Fail(TW_TIFF_ERROR_ARGUMENT, "not a TIFF handle of this library");
    return nullptr;
  }
  return std::unique_ptr<TiffFile>(raw);
}

IfdChain* TiffFile::Chain() {
  if (!chain_.known && !ReadIfdChain(*stream_, chain_.chain)) return nullptr;
  chain_.known = true;
  return &chain_.chain;
}

int TiffFile::ImageCount() {
  IfdChain* chain = Chain();
  return chain ? static_cast<int>(chain->offsets.size()) : -1;
}

bool TiffFile::Writable() {
  if (readOnly_) return Fail(TW_TIFF_ERROR_ARGUMENT, "%s is open for reading only", Name());
  return true;
}

int TiffFile::Define() {
  if (!Writable()) return -1;
  int count = ImageCount();
  if (count < 0) return -1;
  int index = std::max(nextIndex_, count);
  definitions_[index];
  nextIndex_ = index + 1;
  return index;
}

TiffFile::Definition* TiffFile::Pending(int image) {
  auto it = definitions_.find(image);
  return it != definitions_.end() && !it->second.encoded ? &it->second : nullptr;
}

int TiffFile::WrittenPosition(int image) {
  auto it = definitions_.find(image);
  if (it != definitions_.end()) return it->second.encoded ? it->second.position : -1;
  int count = ImageCount();
  return image >= 0 && image < count ? image : -1;
}

bool TiffFile::SetValue(int image, WORD tag, WORD fieldType, DWORD value) {
  if (Definition* d = Pending(image)) return d->tags.SetValue(tag, fieldType, value);
  ImageDef edit;
  return edit.SetValue(tag, fieldType, value) && EditWritten(image, edit);
}

bool TiffFile::SetValues(int image, WORD tag, const void* values, WORD fieldType, DWORD count) {
  if (Definition* d = Pending(image)) return d->tags.SetValues(tag, values, fieldType, count);
  ImageDef edit;
  return edit.SetValues(tag, values, fieldType, count) && EditWritten(image, edit);
}

bool TiffFile::EditWritten(int image, const ImageDef& edit) {
  if (!Writable()) return false;
  int position = WrittenPosition(image);
  if (position < 0) return Fail(TW_TIFF_ERROR_IMAGE, "%s has no image %d", Name(), image);
  // The rewritten directory moves to the end of the data.
  ForgetChain();
  return EditImage(*stream_, static_cast<std::uint32_t>(position), edit, Name());
}

bool TiffFile::Encode(int image, const RowSource& rows, const EncodeOptions& options) {
  Definition* d = Pending(image);
  if (!d) return Fail(TW_TIFF_ERROR_IMAGE, "image %d of %s is not defined or already encoded", image, Name());
  int position = ImageCount();
  if (position < 0 || !EncodeDefinition(d->tags, rows, options)) return false;
  d->encoded = true;
  d->position = position;
  return true;
}

bool TiffFile::EncodeDefinition(const ImageDef& def, const RowSource& rows, const EncodeOptions& options) {
  if (!Writable()) return false;
  IfdChain* chain = Chain();
  if (!chain) return false;
  if (EncodeImage(*stream_, *chain, def, rows, Name(), options)) return true;
  ForgetChain();
  return false;
}

bool TiffFile::Drop(int image) {
  if (definitions_.erase(image) == 0) return Fail(TW_TIFF_ERROR_IMAGE, "image %d of %s is not defined", image, Name());
  return true;
}

bool TiffFile::Select(int image) {
  if (WrittenPosition(image) < 0) return Fail(TW_TIFF_ERROR_IMAGE, "%s has no image %d", Name(), image);
  return true;
}

bool TiffFile::Info(TW_TIFF_FILE_INFO& info) {
  const IfdChain* chain = Chain();
  if (!chain) return false;
  std::memset(&info, 0, sizeof info);
  if (file_) std::strncpy(info.szFileName, name8_.c_str(), sizeof info.szFileName - 1);
  info.dwFileSize = static_cast<DWORD>(std::min<std::uint64_t>(stream_->Size(), 0xFFFFFFFFu));
  info.dwImageCount = static_cast<DWORD>(chain->offsets.size());
  info.dwByteOrder = chain->empty ? 0 : chain->bigEndian ? 0x4D4D : 0x4949;
  return true;
}

bool TiffFile::UpdatePageNumbers(DWORD pageCount) {
  ForgetChain();
  return Writable() && RewritePageNumbers(*stream_, pageCount);
}

bool TiffFile::MoveLast(int position) {
  if (position < 0) return Fail(TW_TIFF_ERROR_ARGUMENT, "position %d", position);
  ForgetChain();
  if (!Writable() || !MoveLastDirectory(*stream_, static_cast<std::uint32_t>(position))) return false;
  // Positions of written images changed: their definitions no longer name them.
  for (auto& [index, d] : definitions_)
    if (d.position >= position) d.position = -1;
  return true;
}

bool TiffFile::Close() {
  definitions_.clear();
  bool ok = true;
  bool noImage;
  {
    KeepError keep;  // a damaged chain is not this call's failure
    noImage = ImageCount() == 0;
  }
  if (block_) {
    if (startedHere_ && noImage) block_->Truncate(0);
    ok = block_->Finish();
    if (!ok) Fail(TW_TIFF_ERROR_MEMORY, "cannot trim the memory block");
    return ok;
  }
  // A file this handle started and never gave an image would be an invalid
  // TIFF: a new file goes, an empty one that was there stays empty.
  bool discard = startedHere_ && noImage && !readOnly_;
  if (discard && existed_) file_->Truncate(0);
  ok = file_->Close();
  if (!ok) Fail(TW_TIFF_ERROR_WRITE, "closing %s (Win32 error %u)", Name(), GetLastError());
  if (discard && !existed_) DeleteFileW(name_.c_str());
  return ok;
}

}  // namespace twtiff
