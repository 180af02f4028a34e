// File attributes and times.
//
// Read-only is the owner's write bit of a file (so Linux tools see it too).
// The other settable attributes (hidden, system, archive, temporary, offline,
// not-content-indexed, and read-only of a directory) live in the extended
// attribute "user.tw.attributes" (a little-endian DWORD). Without it a file
// reports FILE_ATTRIBUTE_ARCHIVE, as a file Windows has just written, and a
// directory nothing but FILE_ATTRIBUTE_DIRECTORY.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "tw/fileio.h"
#include "tw/lasterror.h"

namespace tw::file {
namespace {

constexpr const char* kAttrName = "user.tw.attributes";
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDelta = 11644473600LL;

std::optional<DWORD> decode(const unsigned char* bytes, ssize_t n) {
  if (n != 4) return std::nullopt;
  return DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
}

DWORD defaultStored(bool directory) { return directory ? 0 : FILE_ATTRIBUTE_ARCHIVE; }

DWORD compose(bool directory, mode_t mode, std::optional<DWORD> stored) {
  DWORD a = stored.value_or(defaultStored(directory)) & kSettable;
  if (directory) {
    a |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    a &= ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (!(mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  }
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

void fill(FileInfo& info, const struct statx& sx, std::optional<DWORD> stored) {
  info.directory = S_ISDIR(sx.stx_mode);
  info.attributes = compose(info.directory, sx.stx_mode, stored);
  info.size = info.directory ? 0 : sx.stx_size;
  info.write = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  info.access = ToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  // File systems without a birth time report the last write as creation.
  info.creation = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec) : info.write;
  info.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  info.inode = sx.stx_ino;
}

// The new read-only state as a mode: all write bits off, or the owner's on.
mode_t withReadOnly(mode_t mode, bool readOnly) {
  return readOnly ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
}

// Writes `attributes` given the current mode/type; `chmodFn` and the xattr
// functions are bound to a path or a descriptor.
template <class Chmod, class SetX, class RemoveX>
DWORD store(bool directory, mode_t mode, DWORD attributes, Chmod chmodFn, SetX setX, RemoveX removeX) {
  DWORD wanted = attributes & kSettable;
  DWORD kept = wanted;
  if (!directory) {
    bool readOnly = wanted & FILE_ATTRIBUTE_READONLY;
    mode_t newMode = withReadOnly(mode & 07777, readOnly);
    if (newMode != (mode & 07777) && chmodFn(newMode) != 0) return ErrorFromErrno(errno);
    kept &= ~DWORD(FILE_ATTRIBUTE_READONLY);
  }
  if (kept == defaultStored(directory)) {
    if (removeX() != 0 && errno != ENODATA && errno != ENOTSUP) return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
  }
  unsigned char bytes[4] = {BYTE(kept), BYTE(kept >> 8), BYTE(kept >> 16), BYTE(kept >> 24)};
  // A file system without user attributes keeps only read-only (documented).
  if (setX(bytes) != 0 && errno != ENOTSUP) return ErrorFromErrno(errno);
  return ERROR_SUCCESS;
}

}  // namespace

FILETIME ToFileTime(std::int64_t seconds, std::int64_t nanoseconds) {
  std::int64_t ticks = (seconds + kEpochDelta) * 10000000LL + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  return FILETIME{DWORD(std::uint64_t(ticks)), DWORD(std::uint64_t(ticks) >> 32)};
}

void FromFileTime(const FILETIME& time, std::int64_t& seconds, std::int64_t& nanoseconds) {
  std::uint64_t ticks = std::uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  seconds = std::int64_t(ticks / 10000000ULL) - kEpochDelta;
  nanoseconds = std::int64_t(ticks % 10000000ULL) * 100;
}

DWORD QueryInfo(const std::filesystem::path& host, FileInfo& info) {
  struct statx sx {};
  if (statx(AT_FDCWD, host.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return errno == ENOENT ? MissingError(host) : ErrorFromErrno(errno);
  unsigned char bytes[8];
  ssize_t n = getxattr(host.c_str(), kAttrName, bytes, sizeof bytes);
  fill(info, sx, decode(bytes, n));
  return ERROR_SUCCESS;
}

DWORD QueryInfoFd(int fd, FileInfo& info) {
  struct statx sx {};
  if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return ErrorFromErrno(errno);
  unsigned char bytes[8];
  ssize_t n = fgetxattr(fd, kAttrName, bytes, sizeof bytes);
  fill(info, sx, decode(bytes, n));
  return ERROR_SUCCESS;
}

DWORD StoreAttributes(const std::filesystem::path& host, DWORD attributes) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return errno == ENOENT ? MissingError(host) : ErrorFromErrno(errno);
  const char* p = host.c_str();
  return store(
      S_ISDIR(st.st_mode), st.st_mode, attributes, [p](mode_t m) { return ::chmod(p, m); },
      [p](const unsigned char* b) { return setxattr(p, kAttrName, b, 4, 0); },
      [p] { return removexattr(p, kAttrName); });
}

DWORD StoreAttributesFd(int fd, DWORD attributes) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return ErrorFromErrno(errno);
  return store(
      S_ISDIR(st.st_mode), st.st_mode, attributes, [fd](mode_t m) { return fchmod(fd, m); },
      [fd](const unsigned char* b) { return fsetxattr(fd, kAttrName, b, 4, 0); },
      [fd] { return fremovexattr(fd, kAttrName); });
}

void CopyStoredAttributes(int from, int to) {
  unsigned char bytes[8];
  ssize_t n = fgetxattr(from, kAttrName, bytes, sizeof bytes);
  if (n == 4) (void)fsetxattr(to, kAttrName, bytes, 4, 0);
  else (void)fremovexattr(to, kAttrName);
}

}  // namespace tw::file

using tw::file::FileInfo;
using tw::file::Resolved;

namespace {

// Resolves and queries; false with the last error set.
bool lookUp(LPCWSTR path, Resolved& where, FileInfo& info) {
  if (DWORD rc = tw::file::Resolve(path, where)) {
    SetLastError(rc);
    return false;
  }
  if (DWORD rc = tw::file::QueryInfo(where.host, info)) {
    SetLastError(rc);
    return false;
  }
  // "C:\file.txt\" names a folder that is not there.
  if (where.trailingSeparator && !info.directory) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return true;
}

}  // namespace

TWAPI DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  Resolved where;
  FileInfo info;
  return lookUp(lpFileName, where, info) ? info.attributes : INVALID_FILE_ATTRIBUTES;
}

TWAPI BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation) {
  if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Resolved where;
  FileInfo info;
  if (!lookUp(lpFileName, where, info)) return FALSE;
  auto* out = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
  out->dwFileAttributes = info.attributes;
  out->ftCreationTime = info.creation;
  out->ftLastAccessTime = info.access;
  out->ftLastWriteTime = info.write;
  out->nFileSizeHigh = DWORD(info.size >> 32);
  out->nFileSizeLow = DWORD(info.size);
  return TRUE;
}

TWAPI BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  Resolved where;
  FileInfo info;
  if (!lookUp(lpFileName, where, info)) return FALSE;
  if (tw::file::IsWriteDenied(where.full)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (DWORD rc = tw::file::StoreAttributes(where.host, dwFileAttributes)) {
    SetLastError(rc);
    return FALSE;
  }
  return TRUE;
}

TWAPI BOOL PathFileExistsW(LPCWSTR pszPath) {
  Resolved where;
  FileInfo info;
  return lookUp(pszPath, where, info) ? TRUE : FALSE;
}
