// Open files: CreateFileW and the file object behind the handle.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "tw/casefold.h"
#include "tw/fileio.h"
#include "tw/handles.h"
#include "tw/lasterror.h"
#include "tw/pathmap.h"
#include "tw/utf.h"

namespace tw::file {
namespace {

constexpr DWORD kAttributeFlags = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD mapGeneric(DWORD access) {
  DWORD mapped = access & ~DWORD(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (access & GENERIC_READ) mapped |= FILE_GENERIC_READ;
  if (access & GENERIC_WRITE) mapped |= FILE_GENERIC_WRITE;
  if (access & GENERIC_EXECUTE) mapped |= FILE_GENERIC_EXECUTE;
  if (access & GENERIC_ALL) mapped |= FILE_ALL_ACCESS;
  return mapped;
}

bool dataRead(DWORD access) { return access & (FILE_READ_DATA | FILE_EXECUTE); }
bool dataWrite(DWORD access) { return access & (FILE_WRITE_DATA | FILE_APPEND_DATA); }

// Opens with the descriptor mode the access needs. Read locks need a
// readable descriptor, so writers open read-write when they can.
int openWith(const std::filesystem::path& host, DWORD access, int extra, mode_t mode = 0666) {
  int base = O_CLOEXEC | O_NOCTTY | extra;
  bool r = dataRead(access), w = dataWrite(access);
  if (w) {
    int fd = ::open(host.c_str(), base | O_RDWR, mode);
    if (fd >= 0 || errno != EACCES || r) return fd;
    return ::open(host.c_str(), base | O_WRONLY, mode);
  }
  int fd = ::open(host.c_str(), base | O_RDONLY, mode);
  if (fd < 0 && errno == EACCES && !r && !(extra & O_CREAT)) fd = ::open(host.c_str(), base | O_PATH);
  return fd;
}

struct Device {
  std::u16string prefix;  // upper case
  DeviceOpener opener;
};
std::mutex g_deviceMutex;
std::vector<Device>& devices() {
  static auto* list = new std::vector<Device>;
  return *list;
}

}  // namespace

FileObject::FileObject(int fd, DWORD access, bool directory, std::filesystem::path host, std::u16string path)
    : fd_(fd), access_(access), directory_(directory), host_(std::move(host)), path_(std::move(path)) {}

FileObject::~FileObject() {
  if (deleteOnClose_) {
    // Only the file this handle opened: the name may have been reused since.
    struct stat mine {}, named {};
    if (fstat(fd_, &mine) == 0 && ::stat(host_.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
        mine.st_ino == named.st_ino) {
      if (directory_) ::rmdir(host_.c_str());
      else ::unlink(host_.c_str());
    }
  }
  ::close(fd_);
}

tw::kernel::ObjectType FileObject::Type() const {
  return directory_ ? tw::kernel::ObjectType::Directory : tw::kernel::ObjectType::File;
}

bool FileObject::CanRead() const { return access_ & FILE_READ_DATA; }
bool FileObject::CanWrite() const { return access_ & (FILE_WRITE_DATA | FILE_APPEND_DATA); }

std::shared_ptr<FileObject> OpenFile(std::u16string_view path, DWORD desiredAccess, DWORD share, DWORD disposition,
                                     DWORD flagsAndAttributes, DWORD& error, bool& existed) {
  existed = false;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  DWORD access = mapGeneric(desiredAccess);
  bool deleteOnClose = flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE;
  if (deleteOnClose) access |= DELETE;
  if (disposition == TRUNCATE_EXISTING && !(access & FILE_WRITE_DATA)) {
    error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (tw::path::IsDevice(path)) {
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::u16string owned(path);
  Resolved where;
  if ((error = Resolve(owned.c_str(), where))) return nullptr;

  bool appendOnly = (access & FILE_APPEND_DATA) && !(access & FILE_WRITE_DATA);
  int ioFlags = (appendOnly ? O_APPEND : 0) | ((flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) ? O_DSYNC : 0);
  bool changes = dataWrite(access) || (access & DELETE) || disposition == CREATE_ALWAYS ||
                 disposition == TRUNCATE_EXISTING;

  // A name may appear between the look and the create (another opener); then
  // look again.
  for (int attempt = 0; attempt < 8; ++attempt) {
    FileInfo info;
    DWORD rc = QueryInfo(where.host, info);
    if (rc == ERROR_SUCCESS) {
      existed = true;
      if (disposition == CREATE_NEW) {
        error = ERROR_FILE_EXISTS;
        return nullptr;
      }
      if (info.directory) {
        // Folders open only with backup semantics and never for truncation.
        if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_ALWAYS ||
            disposition == TRUNCATE_EXISTING || ((access & DELETE) && IsWriteDenied(where.full))) {
          error = ERROR_ACCESS_DENIED;
          return nullptr;
        }
        int fd = ::open(where.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
          error = ErrorFromErrno(errno);
          return nullptr;
        }
        auto dir = std::make_shared<FileObject>(fd, access, true, where.host, where.full);
        {
          share::Gate gate(fd);
          if ((error = share::Claim(fd, access, share))) return nullptr;
        }
        if (deleteOnClose) dir->SetDeleteOnClose();
        return dir;
      }
      if (where.trailingSeparator) {
        error = ERROR_INVALID_NAME;
        return nullptr;
      }
      if (changes && (info.attributes & FILE_ATTRIBUTE_READONLY)) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      // Windows refuses to overwrite a hidden or system file unless the caller
      // names those attributes too.
      DWORD guarded = info.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
      if (disposition == CREATE_ALWAYS && (guarded & ~flagsAndAttributes)) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      if (changes && IsWriteDenied(where.full)) {
        error = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      int fd = openWith(where.host, access, ioFlags);
      if (fd < 0) {
        if (errno == ENOENT) continue;  // removed meanwhile
        error = ErrorFromErrno(errno);
        return nullptr;
      }
      auto file = std::make_shared<FileObject>(fd, access, false, where.host, where.full);
      {
        share::Gate gate(fd);
        if ((error = share::Claim(fd, access, share))) return nullptr;
      }
      // Truncate only after the share check: a refused open changes nothing.
      if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
        if (ftruncate(fd, 0) != 0) {
          error = ErrorFromErrno(errno);
          return nullptr;
        }
      }
      if (disposition == CREATE_ALWAYS)
        StoreAttributesFd(fd, (flagsAndAttributes & kAttributeFlags) | FILE_ATTRIBUTE_ARCHIVE);
      if (deleteOnClose) file->SetDeleteOnClose();
      error = ERROR_SUCCESS;
      return file;
    }
    existed = false;
    if (rc != ERROR_FILE_NOT_FOUND) {
      error = rc;
      return nullptr;
    }
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
      error = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    if (where.trailingSeparator) {
      error = ERROR_INVALID_NAME;
      return nullptr;
    }
    if (IsWriteDenied(where.full)) {
      error = ERROR_ACCESS_DENIED;
      return nullptr;
    }
    int fd = openWith(where.host, access, ioFlags | O_CREAT | O_EXCL);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error = errno == ENOENT ? MissingError(where.host) : ErrorFromErrno(errno);
      return nullptr;
    }
    auto file = std::make_shared<FileObject>(fd, access, false, where.host, where.full);
    {
      share::Gate gate(fd);
      if ((error = share::Claim(fd, access, share))) {
        ::unlink(where.host.c_str());
        return nullptr;
      }
    }
    StoreAttributesFd(fd, (flagsAndAttributes & kAttributeFlags) | FILE_ATTRIBUTE_ARCHIVE);
    if (deleteOnClose) file->SetDeleteOnClose();
    error = ERROR_SUCCESS;
    return file;
  }
  error = ERROR_SHARING_VIOLATION;  // the name kept changing under us
  return nullptr;
}

void RegisterDeviceOpener(std::u16string_view prefix, DeviceOpener opener) {
  std::lock_guard lock(g_deviceMutex);
  auto upper = Upcase(prefix);
  for (auto& d : devices())
    if (d.prefix == upper) {
      d.opener = opener;
      return;
    }
  devices().push_back({upper, opener});
}

}  // namespace tw::file

TWAPI HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                         DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
  std::u16string_view name = tw::View(lpFileName);
  if (tw::path::IsDevice(name)) {
    tw::file::DeviceOpener opener = nullptr;
    {
      std::lock_guard lock(tw::file::g_deviceMutex);
      auto upper = tw::Upcase(name);
      for (const auto& d : tw::file::devices())
        if (upper.compare(0, d.prefix.size(), d.prefix) == 0) opener = d.opener;
    }
    if (!opener) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    return opener(name, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
  }
  DWORD error = 0;
  bool existed = false;
  auto file = tw::file::OpenFile(name, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes,
                                 error, existed);
  if (!file) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = tw::kernel::InsertHandle(std::move(file));
  if (!handle) return INVALID_HANDLE_VALUE;
  bool reportExisting =
      existed && (dwCreationDisposition == OPEN_ALWAYS || dwCreationDisposition == CREATE_ALWAYS);
  SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}
