// Reading, writing and positioning through file handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "tw/fileio.h"
#include "tw/lasterror.h"

namespace tw::file {
namespace {

std::int64_t overlappedOffset(const OVERLAPPED& o) { return std::int64_t(std::uint64_t(o.OffsetHigh) << 32 | o.Offset); }

}  // namespace

BOOL FileObject::Read(void* buffer, DWORD size, DWORD& done, OVERLAPPED* overlapped) {
  done = 0;
  if (directory_) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  if (!CanRead()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto* out = static_cast<char*>(buffer);
  std::int64_t offset = overlapped ? overlappedOffset(*overlapped) : -1;
  while (done < size) {
    ssize_t n = offset >= 0 ? ::pread(fd_, out + done, size - done, offset + done)
                            : ::read(fd_, out + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    if (n == 0) break;
    done += DWORD(n);
  }
  if (overlapped) {
    overlapped->Internal = 0;
    overlapped->InternalHigh = done;
    // A synchronous handle's file pointer follows the transfer.
    ::lseek(fd_, offset + done, SEEK_SET);
    if (done == 0 && size > 0) {
      SetLastError(ERROR_HANDLE_EOF);
      return FALSE;
    }
  }
  return TRUE;
}

BOOL FileObject::Write(const void* data, DWORD size, DWORD& done, OVERLAPPED* overlapped) {
  done = 0;
  if (directory_) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  if (!CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const auto* in = static_cast<const char*>(data);
  std::int64_t offset = -1;
  if (overlapped) {
    // Offset 0xFFFFFFFF:0xFFFFFFFF writes at the end of the file.
    if (overlapped->Offset == 0xFFFFFFFF && overlapped->OffsetHigh == 0xFFFFFFFF) offset = ::lseek(fd_, 0, SEEK_END);
    else offset = overlappedOffset(*overlapped);
  }
  while (done < size) {
    ssize_t n = offset >= 0 ? ::pwrite(fd_, in + done, size - done, offset + done)
                            : ::write(fd_, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
    done += DWORD(n);
  }
  if (overlapped) {
    overlapped->Internal = 0;
    overlapped->InternalHigh = done;
    ::lseek(fd_, offset + done, SEEK_SET);
  }
  return TRUE;
}

BOOL FileObject::Flush() {
  if (!CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::fsync(fd_) != 0 && errno != EINVAL) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

}  // namespace tw::file

namespace {

using tw::file::FileObject;
using tw::file::IoObject;

std::shared_ptr<FileObject> fileOf(HANDLE h) { return tw::kernel::LookupHandleAs<FileObject>(h); }

// Moves the file pointer; false with the last error set.
bool seek(FileObject& file, std::int64_t distance, DWORD method, std::int64_t& position) {
  int whence;
  switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return false;
  }
  off_t base = 0;
  if (whence == SEEK_CUR) base = ::lseek(file.Fd(), 0, SEEK_CUR);
  if (whence == SEEK_END) {
    struct stat st {};
    base = ::fstat(file.Fd(), &st) == 0 ? st.st_size : 0;
  }
  if (distance < 0 && base + distance < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  position = base + distance;
  if (::lseek(file.Fd(), position, SEEK_SET) < 0) {
    SetLastError(tw::file::ErrorFromErrno(errno));
    return false;
  }
  return true;
}

bool sizeOf(FileObject& file, std::uint64_t& size) {
  struct stat st {};
  if (::fstat(file.Fd(), &st) != 0) {
    SetLastError(tw::file::ErrorFromErrno(errno));
    return false;
  }
  size = S_ISDIR(st.st_mode) ? 0 : std::uint64_t(st.st_size);
  return true;
}

}  // namespace

TWAPI BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                    LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (!lpNumberOfBytesRead && !lpOverlapped) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  auto object = tw::kernel::LookupHandleAs<IoObject>(hFile);
  if (!object) return FALSE;
  if (!lpBuffer && nNumberOfBytesToRead) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  DWORD done = 0;
  BOOL ok = object->Read(lpBuffer, nNumberOfBytesToRead, done, lpOverlapped);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return ok;
}

TWAPI BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (!lpNumberOfBytesWritten && !lpOverlapped) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  auto object = tw::kernel::LookupHandleAs<IoObject>(hFile);
  if (!object) return FALSE;
  if (!lpBuffer && nNumberOfBytesToWrite) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  DWORD done = 0;
  BOOL ok = object->Write(lpBuffer, nNumberOfBytesToWrite, done, lpOverlapped);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return ok;
}

TWAPI DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  auto file = fileOf(hFile);
  if (!file) return INVALID_SET_FILE_POINTER;
  std::int64_t distance = lpDistanceToMoveHigh
                              ? std::int64_t(std::uint64_t(std::uint32_t(*lpDistanceToMoveHigh)) << 32 |
                                             std::uint32_t(lDistanceToMove))
                              : std::int64_t(lDistanceToMove);
  if (!lpDistanceToMoveHigh) {
    // Without the high part the new position must fit in 32 bits.
    std::int64_t probe = 0;
    off_t saved = ::lseek(file->Fd(), 0, SEEK_CUR);
    if (!seek(*file, distance, dwMoveMethod, probe)) return INVALID_SET_FILE_POINTER;
    if (probe > 0xFFFFFFFFLL) {
      ::lseek(file->Fd(), saved, SEEK_SET);
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
    }
    SetLastError(ERROR_SUCCESS);
    return DWORD(probe);
  }
  std::int64_t position = 0;
  if (!seek(*file, distance, dwMoveMethod, position)) return INVALID_SET_FILE_POINTER;
  *lpDistanceToMoveHigh = LONG(std::uint64_t(position) >> 32);
  SetLastError(ERROR_SUCCESS);  // so a low part of 0xFFFFFFFF reads as success
  return DWORD(position);
}

TWAPI BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                            DWORD dwMoveMethod) {
  auto file = fileOf(hFile);
  if (!file) return FALSE;
  std::int64_t position = 0;
  if (!seek(*file, liDistanceToMove.QuadPart, dwMoveMethod, position)) return FALSE;
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

TWAPI BOOL SetEndOfFile(HANDLE hFile) {
  auto file = fileOf(hFile);
  if (!file) return FALSE;
  if (!(file->Access() & FILE_WRITE_DATA) || file->IsDirectory()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t position = ::lseek(file->Fd(), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(file->Fd(), position) != 0) {
    SetLastError(tw::file::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

TWAPI DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = fileOf(hFile);
  std::uint64_t size = 0;
  if (!file || !sizeOf(*file, size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = DWORD(size >> 32);
  SetLastError(ERROR_SUCCESS);  // so a low part of 0xFFFFFFFF reads as success
  return DWORD(size);
}

TWAPI BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto file = fileOf(hFile);
  std::uint64_t size = 0;
  if (!file || !sizeOf(*file, size)) return FALSE;
  if (!lpFileSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpFileSize->QuadPart = LONGLONG(size);
  return TRUE;
}

TWAPI BOOL FlushFileBuffers(HANDLE hFile) {
  auto object = tw::kernel::LookupHandleAs<IoObject>(hFile);
  return object ? object->Flush() : FALSE;
}

TWAPI DWORD GetFileType(HANDLE hFile) {
  auto object = tw::kernel::LookupHandleAs<IoObject>(hFile);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  return object->FileType();
}

TWAPI BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                       LPFILETIME lpLastWriteTime) {
  auto file = fileOf(hFile);
  if (!file) return FALSE;
  tw::file::FileInfo info;
  if (DWORD rc = tw::file::QueryInfoFd(file->Fd(), info)) {
    SetLastError(rc);
    return FALSE;
  }
  if (lpCreationTime) *lpCreationTime = info.creation;
  if (lpLastAccessTime) *lpLastAccessTime = info.access;
  if (lpLastWriteTime) *lpLastWriteTime = info.write;
  return TRUE;
}

TWAPI BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                       const FILETIME* lpLastWriteTime) {
  (void)lpCreationTime;  // Linux keeps the birth time itself
  auto file = fileOf(hFile);
  if (!file) return FALSE;
  if (!(file->Access() & FILE_WRITE_ATTRIBUTES)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  struct timespec times[2];
  for (int i = 0; i < 2; ++i) {
    const FILETIME* t = i == 0 ? lpLastAccessTime : lpLastWriteTime;
    // A null pointer or 0 leaves the time alone; 0xFFFFFFFF:0xFFFFFFFF too
    // (Windows uses it to stop updates, which Linux cannot do).
    if (!t || (t->dwLowDateTime == 0 && t->dwHighDateTime == 0) ||
        (t->dwLowDateTime == 0xFFFFFFFF && t->dwHighDateTime == 0xFFFFFFFF)) {
      times[i].tv_sec = 0;
      times[i].tv_nsec = UTIME_OMIT;
      continue;
    }
    std::int64_t s, ns;
    tw::file::FromFileTime(*t, s, ns);
    times[i].tv_sec = s;
    times[i].tv_nsec = ns;
  }
  if (::futimens(file->Fd(), times) != 0) {
    SetLastError(tw::file::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}
