#include "staged_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
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

bool StagedOutput::Commit() {
  if (staging_.empty()) return false;
  // The new document keeps the permissions an ordinary new file gets.
  mode_t mask = umask(0);
  umask(mask);
  chmod(staging_.c_str(), 0666 & ~mask);
  if (std::rename(staging_.c_str(), target_.c_str()) != 0) return false;
  staging_.clear();
  return true;
}

}  // namespace twpdf
