// INI files on disk: where they are, reading them, and changing them safely
// while other threads and processes do the same.
//
// A change opens the file through the file layer (so share modes, read-only
// files and the deny list apply as on Windows), takes flock(LOCK_EX) on it,
// checks that the name still leads to the locked file (a writer before us may
// have replaced it; then it starts over), writes the new content into a
// temporary file beside it and renames that over the file. Readers never see
// half a file, a crash leaves the old one, and writers queue on the lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tw/fileio.h"
#include "tw/inifile.h"
#include "tw/pathmap.h"

namespace tw::profile {
namespace {

constexpr std::u16string_view kWindowsDirectory = u"C:\\Windows\\";

DWORD readAll(int fd, std::string& bytes) {
  bytes.clear();
  char buffer[65536];
  for (off_t offset = 0;;) {
    ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return tw::file::ErrorFromErrno(errno);
    if (n == 0) return ERROR_SUCCESS;
    bytes.append(buffer, size_t(n));
    offset += n;
  }
}

DWORD writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return tw::file::ErrorFromErrno(errno);
    bytes.remove_prefix(size_t(n));
  }
  return ERROR_SUCCESS;
}

// Writes `bytes` into a new file beside `host` with the mode, owner and
// stored attributes of `from`, and renames it over `host`.
DWORD replace(const std::filesystem::path& host, int from, const std::string& bytes) {
  std::string pattern = (host.parent_path() / (std::string(tw::file::kProfileTempPrefix) + "XXXXXX")).string();
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return tw::file::ErrorFromErrno(errno);
  DWORD rc = writeAll(fd, bytes);
  struct stat st {};
  if (!rc && ::fstat(from, &st) == 0) {
    (void)::fchown(fd, st.st_uid, st.st_gid);
    ::fchmod(fd, st.st_mode & 07777);
  }
  tw::file::CopyStoredAttributes(from, fd);
  if (::close(fd) != 0 && !rc) rc = tw::file::ErrorFromErrno(errno);
  if (!rc && ::rename(pattern.c_str(), host.c_str()) != 0) rc = tw::file::ErrorFromErrno(errno);
  if (rc) ::unlink(pattern.c_str());
  return rc;
}

}  // namespace

DWORD ProfilePath(LPCWSTR fileName, std::u16string& path) {
  std::u16string_view name = fileName ? std::u16string_view(fileName) : std::u16string_view(u"win.ini");
  bool bare = name.find_first_of(u"\\/") == std::u16string_view::npos && !(name.size() >= 2 && name[1] == u':');
  if (bare) {
    path = std::u16string(kWindowsDirectory) + std::u16string(name);
    return ERROR_SUCCESS;
  }
  return tw::path::FullPath(name, path);
}

DWORD Load(const std::u16string& path, IniDocument& document) {
  DWORD error = 0;
  bool existed = false;
  auto file = tw::file::OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, error,
                                 existed);
  if (!file) return error;
  std::string bytes;
  if (DWORD rc = readAll(file->Fd(), bytes)) return rc;
  document = IniDocument::Parse(bytes);
  return ERROR_SUCCESS;
}

DWORD Update(const std::u16string& path, bool create, const std::function<bool(IniDocument&)>& edit) {
  // Each round that finds the file replaced lost a race to a writer that
  // finished; the bound only guards against a file system gone mad.
  for (int round = 0; round < 10000; ++round) {
    DWORD error = 0;
    bool existed = false;
    auto file = tw::file::OpenFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, error, existed);
    if (!file) return (!create && error == ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : error;
    int fd = file->Fd();
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) return tw::file::ErrorFromErrno(errno);
    }
    // A writer before us may have replaced the file while we waited.
    struct stat locked {}, named {};
    if (::fstat(fd, &locked) != 0) return tw::file::ErrorFromErrno(errno);
    if (::stat(file->HostPath().c_str(), &named) != 0 || named.st_ino != locked.st_ino ||
        named.st_dev != locked.st_dev)
      continue;
    std::string bytes;
    if (DWORD rc = readAll(fd, bytes)) return rc;
    IniDocument document = IniDocument::Parse(bytes);
    if (!edit(document)) return ERROR_SUCCESS;
    return replace(file->HostPath(), fd, document.Serialize());
  }
  return ERROR_SHARING_VIOLATION;
}

}  // namespace tw::profile
