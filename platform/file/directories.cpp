// Directories and path names: creating and removing folders, the current
// directory, the Windows folders and full/long path names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tw/casefold.h"
#include "tw/fileio.h"
#include "tw/lasterror.h"
#include "tw/pathmap.h"

namespace {

using tw::file::FileInfo;
using tw::file::Resolved;

constexpr std::u16string_view kWindowsDirectory = u"C:\\Windows";
constexpr std::u16string_view kSystemDirectory = u"C:\\Windows\\System32";
// CreateDirectoryW leaves room for an 8.3 name: MAX_PATH - 12 with the null.
constexpr size_t kDirectoryPathLimit = MAX_PATH - 12 - 1;

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Copies `text` with its null when it fits: the length without the null;
// otherwise the size needed with the null, and nothing is written.
DWORD copyOut(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (!buffer || size <= text.size()) return DWORD(text.size() + 1);
  text.copy(buffer, text.size());
  buffer[text.size()] = 0;
  return DWORD(text.size());
}

}  // namespace

TWAPI BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  Resolved where;
  if (DWORD rc = tw::file::Resolve(lpPathName, where, ERROR_FILENAME_EXCED_RANGE, kDirectoryPathLimit))
    return fail(rc);
  FileInfo info;
  DWORD state = tw::file::QueryInfo(where.host, info);
  if (state == ERROR_SUCCESS) return fail(ERROR_ALREADY_EXISTS);
  if (state != ERROR_FILE_NOT_FOUND) return fail(state);
  if (tw::file::IsWriteDenied(where.full)) return fail(ERROR_ACCESS_DENIED);
  if (::mkdir(where.host.c_str(), 0777) != 0) {
    if (errno == ENOENT) return fail(ERROR_PATH_NOT_FOUND);
    return fail(tw::file::ErrorFromErrno(errno));
  }
  return TRUE;
}

TWAPI BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  Resolved where;
  if (DWORD rc = tw::file::Resolve(lpPathName, where)) return fail(rc);
  FileInfo info;
  if (DWORD rc = tw::file::QueryInfo(where.host, info)) return fail(rc);
  if (!info.directory) return fail(ERROR_DIRECTORY);
  if (where.full.size() <= 3 || (info.attributes & FILE_ATTRIBUTE_READONLY) || tw::file::IsWriteDenied(where.full))
    return fail(ERROR_ACCESS_DENIED);
  // The process keeps its current directory open, as Windows does.
  if (tw::EqualsNoCase(where.full, tw::path::CurrentDirectory())) return fail(ERROR_SHARING_VIOLATION);
  int fd = ::open(where.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    DWORD rc = ERROR_SUCCESS;
    {
      tw::file::share::Gate gate(fd);
      if (tw::file::share::DeleteRefused(fd)) rc = ERROR_SHARING_VIOLATION;
      else if (::rmdir(where.host.c_str()) != 0) rc = tw::file::ErrorFromErrno(errno);
    }
    ::close(fd);
    if (rc) return fail(rc);
    return TRUE;
  }
  if (::rmdir(where.host.c_str()) != 0) return fail(tw::file::ErrorFromErrno(errno));
  return TRUE;
}

TWAPI DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
  return copyOut(tw::path::CurrentDirectory(), lpBuffer, nBufferLength);
}

TWAPI BOOL SetCurrentDirectoryW(LPCWSTR lpPathName) {
  Resolved where;
  if (DWORD rc = tw::file::Resolve(lpPathName, where)) return fail(rc);
  FileInfo info;
  if (DWORD rc = tw::file::QueryInfo(where.host, info)) return fail(rc);
  if (!info.directory) return fail(ERROR_DIRECTORY);
  if (DWORD rc = tw::path::SetCurrentDirectory(where.full)) return fail(rc);
  return TRUE;
}

TWAPI UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) { return copyOut(kWindowsDirectory, lpBuffer, uSize); }

TWAPI UINT GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return copyOut(kWindowsDirectory, lpBuffer, uSize);
}

TWAPI UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) { return copyOut(kSystemDirectory, lpBuffer, uSize); }

TWAPI DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart) {
  if (lpFilePart) *lpFilePart = nullptr;
  if (!lpFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!*lpFileName) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::u16string_view input(lpFileName);
  std::u16string full;
  if (DWORD rc = tw::path::LexicalFullPath(input, full)) {
    SetLastError(rc);
    return 0;
  }
  // Unlike the other functions, the full name keeps a trailing separator.
  if ((input.back() == u'\\' || input.back() == u'/') && full.back() != u'\\') full += u'\\';
  DWORD rc = copyOut(full, lpBuffer, nBufferLength);
  if (rc == full.size() && lpFilePart && full.back() != u'\\') *lpFilePart = lpBuffer + full.rfind(u'\\') + 1;
  return rc;
}

// There are no 8.3 names, so both functions check that the object exists and
// hand the name back as it was given.
static DWORD existingName(LPCWSTR path, LPWSTR buffer, DWORD size) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string name(path);  // the buffers may be the same
  Resolved where;
  FileInfo info;
  DWORD rc = tw::file::Resolve(path, where);
  if (!rc) rc = tw::file::QueryInfo(where.host, info);
  if (rc) {
    SetLastError(rc);
    return 0;
  }
  return copyOut(name, buffer, size);
}

TWAPI DWORD GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer) {
  return existingName(lpszShortPath, lpszLongPath, cchBuffer);
}

TWAPI DWORD GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer) {
  return existingName(lpszLongPath, lpszShortPath, cchBuffer);
}
