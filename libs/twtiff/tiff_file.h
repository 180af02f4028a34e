// The library's TIFF handle: a file or a caller's block, the image
// definitions not yet released, and the operations of the handle exports.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "ifd_chain.h"
#include "image_def.h"
#include "tiff_stream.h"
#include "tw_tiff_api.h"

namespace twtiff {

enum class OpenMode { Read = 1, Add = 2, New = 3 };

class TiffFile {
 public:
  static std::unique_ptr<TiffFile> OpenFile(std::u16string_view name, int mode);
  static std::unique_ptr<TiffFile> OpenBlock(HGLOBAL block, DWORD size, int mode);

  // Handles given out and taken back; Find is null for an unknown handle.
  static HTWTIFF Register(std::unique_ptr<TiffFile> file);
  static TiffFile* Find(HTWTIFF handle);
  static std::unique_ptr<TiffFile> Unregister(HTWTIFF handle);

  int Define();
  bool SetValue(int image, WORD tag, WORD fieldType, DWORD value);
  bool SetValues(int image, WORD tag, const void* values, WORD fieldType, DWORD count);
  bool Encode(int image, const RowSource& rows, const EncodeOptions& options = {});
  // Appends an image described here rather than through an index.
  bool EncodeDefinition(const ImageDef& def, const RowSource& rows, const EncodeOptions& options = {});
  bool Drop(int image);
  bool Select(int image);
  bool Info(TW_TIFF_FILE_INFO& info);
  bool UpdatePageNumbers(DWORD pageCount);
  bool MoveLast(int position);
  // Finishes the data (trims a block; removes what this handle started when
  // it holds no image) and closes.
  bool Close();

  const char* Name() const { return name8_.c_str(); }
  Stream& Data() { return *stream_; }

 private:
  struct Definition {
    ImageDef tags;
    bool encoded = false;
    int position = -1;  // where it was written; -1 once images moved
  };
  TiffFile(std::unique_ptr<Stream> stream, std::u16string name, bool startedHere, bool existed, bool readOnly);
  int ImageCount();
  // The data's directory chain, read once and then kept up to date by this
  // handle's appends; null when the chain is damaged (the error is set).
  IfdChain* Chain();
  // After a change that may move directories: the next Chain() reads again.
  void ForgetChain() { chain_.known = false; }
  // The definition an index names, or null when it names a written image.
  Definition* Pending(int image);
  // The written image an index names (an encoded definition's position).
  int WrittenPosition(int image);
  bool Writable();
  bool EditWritten(int image, const ImageDef& edit);

  std::unique_ptr<Stream> stream_;
  FileStream* file_ = nullptr;    // when a file
  BlockStream* block_ = nullptr;  // when a block
  std::u16string name_;
  std::string name8_;
  bool startedHere_;  // the data held no image when opened
  bool existed_;      // the file was there before
  bool readOnly_;
  std::map<int, Definition> definitions_;
  struct KnownChain {
    IfdChain chain;
    bool known = false;
  };
  KnownChain chain_;
  int nextIndex_ = 0;
};

}  // namespace twtiff
