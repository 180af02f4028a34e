// Output files of the PDF libraries. A document is written beside its
// target and put in its place only when complete, so a failed or abandoned
// save never leaves a partial target and a file being appended to stays as
// it was until the new document replaces it.
#pragma once
#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace twpdf {

// A Windows path (or a Linux one) on the host; empty with the Win32 error
// in `error` when it cannot be mapped.
std::filesystem::path HostPath(std::u16string_view path, DWORD& error);

// A new empty file in `dir` named `prefix` and six random characters;
// empty when none can be made.
std::filesystem::path MakeTempFile(const std::filesystem::path& dir, std::string_view prefix);

// Puts a finished file made in the target's folder in the target's place,
// with the permissions an ordinary new file gets.
bool CommitFile(const std::filesystem::path& made, const std::filesystem::path& target);

// A fresh document identifier for a trailer's /ID: 16 random bytes as hex.
std::string RandomId();

class StagedOutput {
 public:
  StagedOutput() = default;
  // Makes the staging file in the target's folder; Ok() tells whether it could.
  explicit StagedOutput(const std::filesystem::path& target);
  ~StagedOutput();  // removes the staging file unless it was committed
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  bool Ok() const { return !staging_.empty(); }
  const std::filesystem::path& Path() const { return staging_; }
  // Renames the staging file over the target.
  bool Commit();

 private:
  std::filesystem::path target_, staging_;
};

}  // namespace twpdf
