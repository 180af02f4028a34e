// Internal: the objects and helpers behind the file API, for the areas that
// build on it (profile files, pipes, the CRT streams).
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tw/file.h"
#include "tw/kobject.h"
#include "tw/wintypes.h"

namespace tw::file {

// A handle ReadFile, WriteFile, FlushFileBuffers and GetFileType work on.
// Files derive from it; so do pipes. Each call reports failures through
// SetLastError and returns the success flag.
class IoObject : public tw::kernel::KernelObject {
 public:
  virtual BOOL Read(void* buffer, DWORD size, DWORD& done, OVERLAPPED* overlapped) = 0;
  virtual BOOL Write(const void* data, DWORD size, DWORD& done, OVERLAPPED* overlapped) = 0;
  virtual BOOL Flush() = 0;
  virtual DWORD FileType() const = 0;
};

// An open file or directory on the host file system. The descriptor is its
// own open file description, which carries the share-mode locks of this
// handle (see share below); it is closed with the last reference.
class FileObject final : public IoObject {
 public:
  FileObject(int fd, DWORD access, bool directory, std::filesystem::path host, std::u16string path);
  ~FileObject() override;
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  tw::kernel::ObjectType Type() const override;
  BOOL Read(void* buffer, DWORD size, DWORD& done, OVERLAPPED* overlapped) override;
  BOOL Write(const void* data, DWORD size, DWORD& done, OVERLAPPED* overlapped) override;
  BOOL Flush() override;
  DWORD FileType() const override { return FILE_TYPE_DISK; }

  int Fd() const { return fd_; }
  // The granted access with generic rights mapped (FILE_READ_DATA, ...).
  DWORD Access() const { return access_; }
  bool IsDirectory() const { return directory_; }
  bool CanRead() const;
  bool CanWrite() const;
  const std::filesystem::path& HostPath() const { return host_; }
  // The full Windows path the handle was opened with.
  const std::u16string& WindowsPath() const { return path_; }
  // Removes the file when the last reference goes (FILE_FLAG_DELETE_ON_CLOSE).
  void SetDeleteOnClose() { deleteOnClose_ = true; }

 private:
  int fd_;
  DWORD access_;
  bool directory_;
  bool deleteOnClose_ = false;
  std::filesystem::path host_;
  std::u16string path_;
};

// CreateFileW without the handle: the object, or null with `error` set to the
// Win32 code. `existed` tells OPEN_ALWAYS/CREATE_ALWAYS whether the file was
// there (CreateFileW then reports ERROR_ALREADY_EXISTS).
TWCPPAPI std::shared_ptr<FileObject> OpenFile(std::u16string_view path, DWORD access, DWORD share,
                                              DWORD disposition, DWORD flagsAndAttributes, DWORD& error,
                                              bool& existed);

// Device names ("\\.\pipe\name"): the area that owns them registers an opener
// for its prefix (compared ignoring case). CreateFileW of an unregistered
// device name fails with ERROR_FILE_NOT_FOUND.
using DeviceOpener = HANDLE (*)(std::u16string_view path, DWORD access, DWORD share, DWORD disposition,
                                DWORD flagsAndAttributes);
TWCPPAPI void RegisterDeviceOpener(std::u16string_view prefix, DeviceOpener opener);

// ---- paths -------------------------------------------------------------------
struct Resolved {
  std::u16string full;          // "C:\Out\a.txt"
  std::filesystem::path host;   // <root>/drive_c/Out/a.txt
  bool trailingSeparator = false;  // the caller's path ended in "\" or "/"
};
// Resolves a caller's path for the file functions. Paths of MAX_PATH units
// or more (full form) fail with `tooLong` unless they begin with "\\?\".
TWCPPAPI DWORD Resolve(LPCWSTR path, Resolved& out, DWORD tooLong = ERROR_PATH_NOT_FOUND,
                       size_t maxLength = MAX_PATH - 1);
// True when the configured deny list (config "deny_write") covers the full
// Windows path: an entry names the path itself or one of its folders.
TWCPPAPI bool IsWriteDenied(std::u16string_view fullPath);

// ---- errors ------------------------------------------------------------------
TWCPPAPI DWORD ErrorFromErrno(int err);
// ERROR_FILE_NOT_FOUND when the folder of `host` exists, else
// ERROR_PATH_NOT_FOUND, as Windows tells the two apart.
TWCPPAPI DWORD MissingError(const std::filesystem::path& host);

// ---- attributes and times ------------------------------------------------------
struct FileInfo {
  DWORD attributes = 0;
  FILETIME creation{}, access{}, write{};
  ULONGLONG size = 0;
  bool directory = false;
  dev_t device = 0;
  ino_t inode = 0;
};
// 0 or the Win32 error (2, 3, 5, ...).
TWCPPAPI DWORD QueryInfo(const std::filesystem::path& host, FileInfo& info);
TWCPPAPI DWORD QueryInfoFd(int fd, FileInfo& info);
// Stores the settable attributes (read-only, hidden, system, archive,
// temporary, offline, not-content-indexed) of a file or directory.
TWCPPAPI DWORD StoreAttributes(const std::filesystem::path& host, DWORD attributes);
// The same for a file just created through `fd`.
TWCPPAPI DWORD StoreAttributesFd(int fd, DWORD attributes);
// Copies the stored attributes of `from` to `to` (both open descriptors).
TWCPPAPI void CopyStoredAttributes(int from, int to);

TWCPPAPI FILETIME ToFileTime(std::int64_t seconds, std::int64_t nanoseconds);
TWCPPAPI void FromFileTime(const FILETIME& time, std::int64_t& seconds, std::int64_t& nanoseconds);

// Windows file-name matching for FindFirstFileW: "*" and "?" with the DOS
// rules ("*.*" is everything, "*." names without extension, "a?" also "a"),
// ignoring case. 8.3 names do not exist, so "*.htm" does not find "x.html".
TWCPPAPI bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);

// Temporary files the profile writer makes beside an INI file; directory
// listings leave them out.
inline constexpr std::string_view kProfileTempPrefix = ".~twini-";

// ---- share modes ---------------------------------------------------------------
// Share modes are open-file-description locks (F_OFD_SETLK) on bytes far past
// any data, one byte per access kind (read, write, delete) and one per denied
// kind. A handle holds shared locks on the bytes of the access it has and of
// the sharing it refuses; an open tests the opposite bytes. The test and the
// record happen under an exclusive flock() on the file, so opens of one file
// are atomic across threads and processes. flock() on files opened through
// this layer is reserved for that (and for the profile writer).
namespace share {
// Holds the file's gate (flock LOCK_EX on `fd`) for its lifetime.
class Gate {
 public:
  explicit Gate(int fd);
  ~Gate();
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;

 private:
  int fd_;
};
// Under the gate: checks `access` (mapped rights) and `share` against the
// other handles of the file and records them on `fd`. 0 or
// ERROR_SHARING_VIOLATION.
TWCPPAPI DWORD Claim(int fd, DWORD access, DWORD share);
// Under the gate: true when some handle has the file open without
// FILE_SHARE_DELETE (so it cannot be deleted or renamed).
TWCPPAPI bool DeleteRefused(int fd);
// Under the gate: true when some handle has the file open for data access.
TWCPPAPI bool InUse(int fd);
}  // namespace share

}  // namespace tw::file
