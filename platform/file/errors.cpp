// Linux errors as the Win32 codes the file functions report.
#include <sys/stat.h>

#include <cerrno>

#include "tw/fileio.h"

namespace tw::file {

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ELOOP: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EAGAIN: return ERROR_LOCK_VIOLATION;
    case ENXIO:
    case ENODEV: return ERROR_NOT_READY;
    default: return ERROR_GEN_FAILURE;
  }
}

DWORD MissingError(const std::filesystem::path& host) {
  struct stat st {};
  auto parent = host.parent_path();
  if (parent.empty() || (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

}  // namespace tw::file
