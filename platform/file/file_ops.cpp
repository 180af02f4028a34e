// Deleting, copying and moving files.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "tw/fileio.h"
#include "tw/lasterror.h"
#include "tw/utf.h"

namespace {

using tw::file::FileInfo;
using tw::file::Resolved;

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// An open file description of `host` to test share locks on, or -1 when the
// object cannot carry them (no read permission, a FIFO, ...).
int probe(const std::filesystem::path& host, bool directory) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return -1;
  if (!directory && !S_ISREG(st.st_mode)) return -1;
  return ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (directory ? O_DIRECTORY : 0));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

DWORD copyData(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return tw::file::ErrorFromErrno(errno);
    if (n == 0) return ERROR_SUCCESS;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = ::write(to, buffer.data() + off, size_t(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return tw::file::ErrorFromErrno(errno);
      off += w;
    }
  }
}

// CopyFileW: the source shared for reading, the target created or replaced
// exclusively; contents, attributes and the last write time go along.
DWORD copyFile(LPCWSTR source, LPCWSTR target, bool failIfExists) {
  DWORD error = 0;
  bool existed = false;
  auto from = tw::file::OpenFile(tw::View(source), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 OPEN_EXISTING, 0, error, existed);
  if (!from) return error;
  FileInfo info;
  if ((error = tw::file::QueryInfoFd(from->Fd(), info))) return error;
  DWORD attributes = info.attributes & ~DWORD(FILE_ATTRIBUTE_NORMAL);
  auto to = tw::file::OpenFile(tw::View(target), GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                               attributes & ~DWORD(FILE_ATTRIBUTE_READONLY), error, existed);
  if (!to) return error;
  if ((error = copyData(from->Fd(), to->Fd()))) {
    ::unlink(to->HostPath().c_str());  // no half copy is left behind
    return error;
  }
  struct stat st {};
  if (::fstat(from->Fd(), &st) == 0) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(to->Fd(), times);
  }
  tw::file::StoreAttributesFd(to->Fd(), attributes | FILE_ATTRIBUTE_ARCHIVE);  // a new file is never "backed up"
  return ERROR_SUCCESS;
}

// DeleteFileW; a move across file systems removes a read-only source too.
DWORD removeFile(const Resolved& where, bool keepReadOnly = true) {
  FileInfo info;
  if (DWORD rc = tw::file::QueryInfo(where.host, info)) return rc;
  if (info.directory) return ERROR_ACCESS_DENIED;
  if (where.trailingSeparator) return ERROR_INVALID_NAME;
  if ((keepReadOnly && (info.attributes & FILE_ATTRIBUTE_READONLY)) || tw::file::IsWriteDenied(where.full))
    return ERROR_ACCESS_DENIED;
  Fd fd(probe(where.host, false));
  if (fd.get() >= 0) {
    tw::file::share::Gate gate(fd.get());
    if (tw::file::share::DeleteRefused(fd.get())) return ERROR_SHARING_VIOLATION;
    if (::unlink(where.host.c_str()) != 0) return tw::file::ErrorFromErrno(errno);
    return ERROR_SUCCESS;
  }
  if (::unlink(where.host.c_str()) != 0)
    return errno == ENOENT ? tw::file::MissingError(where.host) : tw::file::ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

DWORD moveFile(LPCWSTR source, LPCWSTR target, DWORD flags) {
  if (!target) return ERROR_INVALID_PARAMETER;
  if (flags & (MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_CREATE_HARDLINK)) return ERROR_NOT_SUPPORTED;
  Resolved from, to;
  if (DWORD rc = tw::file::Resolve(source, from)) return rc;
  if (DWORD rc = tw::file::Resolve(target, to)) return rc;
  FileInfo fromInfo;
  if (DWORD rc = tw::file::QueryInfo(from.host, fromInfo)) return rc;
  if (tw::file::IsWriteDenied(from.full) || tw::file::IsWriteDenied(to.full)) return ERROR_ACCESS_DENIED;

  std::filesystem::path destination = to.host;
  FileInfo toInfo;
  DWORD toState = tw::file::QueryInfo(to.host, toInfo);
  bool replacing = false;
  if (toState == ERROR_SUCCESS) {
    if (toInfo.device == fromInfo.device && toInfo.inode == fromInfo.inode) {
      // The same file under another spelling: a change of letter case.
      std::u16string name = to.full.substr(to.full.rfind(u'\\') + 1);
      destination = to.host.parent_path() / tw::ToUtf8(name);
      if (destination == from.host) return ERROR_SUCCESS;
    } else {
      if (!(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
      if (toInfo.directory || fromInfo.directory || (toInfo.attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
      Fd busy(probe(to.host, false));
      if (busy.get() >= 0 && tw::file::share::InUse(busy.get())) return ERROR_ACCESS_DENIED;
      replacing = true;
    }
  } else if (toState != ERROR_FILE_NOT_FOUND) {
    return toState;
  }

  Fd fd(probe(from.host, fromInfo.directory));
  std::unique_ptr<tw::file::share::Gate> gate;
  if (fd.get() >= 0) {
    gate = std::make_unique<tw::file::share::Gate>(fd.get());
    if (tw::file::share::DeleteRefused(fd.get())) return ERROR_SHARING_VIOLATION;
  }
  int rc = -1;
  if (!replacing && destination == to.host) {
    rc = ::renameat2(AT_FDCWD, from.host.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && errno == EINVAL) rc = ::rename(from.host.c_str(), destination.c_str());  // no RENAME_NOREPLACE
  } else {
    rc = ::rename(from.host.c_str(), destination.c_str());
  }
  if (rc == 0) return ERROR_SUCCESS;
  if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
  if (errno == ENOENT) return tw::file::MissingError(destination);
  if (errno != EXDEV) return tw::file::ErrorFromErrno(errno);
  // Another file system: only files move, and only by copying.
  if (fromInfo.directory || !(flags & MOVEFILE_COPY_ALLOWED)) return ERROR_NOT_SAME_DEVICE;
  gate.reset();
  if (DWORD copied = copyFile(source, target, !replacing)) return copied;
  return removeFile(from, false);
}

}  // namespace

TWAPI BOOL DeleteFileW(LPCWSTR lpFileName) {
  Resolved where;
  if (DWORD rc = tw::file::Resolve(lpFileName, where)) return fail(rc);
  if (DWORD rc = removeFile(where)) return fail(rc);
  return TRUE;
}

TWAPI BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  if (DWORD rc = copyFile(lpExistingFileName, lpNewFileName, bFailIfExists)) return fail(rc);
  return TRUE;
}

TWAPI BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  if (DWORD rc = moveFile(lpExistingFileName, lpNewFileName, dwFlags)) return fail(rc);
  return TRUE;
}

// MoveFile copies across volumes, as on Windows.
TWAPI BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  return MoveFileExW(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}
