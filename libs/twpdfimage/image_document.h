// One image-PDF document: pages written as they come into a staging file
// beside the target, finished into the target's place (or behind the pages
// of the PDF that was there).
#pragma once
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "staged_output.h"

namespace twpdf {

class ImageDocument {
 public:
  explicit ImageDocument(std::u16string name) : name_(std::move(name)) {}
  ~ImageDocument() { Abandon(0); }

  int Create(LPCWSTR fileName);
  int SavePage(HGLOBAL dib, DWORD compression, int quality);
  int Finish();
  // Drops the unfinished document; `code` (0: none) is kept as the last error.
  void Abandon(int code);

  int LastError() const { return error_; }
  const std::u16string& ErrorText() const { return errorText_; }

 private:
  enum class State { New, Open, Finished, Abandoned };
  int Fail(int code, const std::string& text);
  bool Write(const std::string& text) { return Write(text.data(), text.size()); }
  bool Write(const void* data, std::size_t size);
  // Starts object `number` at the current offset.
  bool BeginObject(int number);
  bool WriteTrailerPart();
  int MergeIntoExisting();

  std::u16string name_;
  State state_ = State::New;
  int error_ = 0;
  std::u16string errorText_;
  std::filesystem::path target_;
  bool append_ = false;
  std::unique_ptr<StagedOutput> stage_;
  std::FILE* file_ = nullptr;
  long long offset_ = 0;
  std::vector<long long> offsets_;  // by object number; [0] unused
  std::vector<int> pageObjects_;
};

}  // namespace twpdf
