#include "staged_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "tw/pathmap.h"

namespace twpdf {

std::filesystem::path HostPath(std::u16string_view path, DWORD& error) {
  std::filesystem::path host;
  error = path.empty() ? ERROR_INVALID_NAME : tw::path::ToHost(path, host);
  return error ? std::filesystem::path() : host;
}

std::filesystem::path MakeTempFile(const std::filesystem::path& dir, std::string_view prefix) {
  std::string name = (dir / (std::string(prefix) + "XXXXXX")).string();
  int fd = mkstemp(name.data());
  if (fd < 0) return {};
  close(fd);
  return name;
}

StagedOutput::StagedOutput(const std::filesystem::path& target) : target_(target) {
  staging_ = MakeTempFile(target.parent_path().empty() ? "." : target.parent_path(),
                          "." + target.filename().string() + ".~tw");
}

StagedOutput::~StagedOutput() {
  if (!staging_.empty()) {
    std::error_code ec;
    std::filesystem::remove(staging_, ec);
  }
}

bool CommitFile(const std::filesystem::path& made, const std::filesystem::path& target) {
  // Temporary files are made private (0600); a document is an ordinary file.
  mode_t mask = umask(0);
  umask(mask);
  chmod(made.c_str(), 0666 & ~mask);
  return std::rename(made.c_str(), target.c_str()) == 0;
}

std::string RandomId() {
  std::random_device random;
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < 16; ++i) {
    unsigned b = random() & 0xFF;
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

bool StagedOutput::Commit() {
  if (staging_.empty() || !CommitFile(staging_, target_)) return false;
  staging_.clear();
  return true;
}

}  // namespace twpdf
