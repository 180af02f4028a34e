// File mappings. A named mapping backed by memory is a file under
// <root>/run/sections that lives as long as the object (any handle or view of
// any process); an unnamed one is an anonymous memory file of this process.
// A mapping of a file handle maps that file (through the file API's resolver).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>

#include "objects.h"
#include "tw/handles.h"
#include "tw/kernelsync.h"
#include "tw/kobject.h"
#include "tw/sync.h"
#include "winerror.h"

namespace tw::sync {
namespace {

constexpr std::uint64_t kGranularity = 65536;   // allocation granularity

std::atomic<FileDescriptorResolver> g_resolver{nullptr};

class SectionObject : public tw::kernel::KernelObject {
 public:
  SectionObject(int fd, std::uint64_t size, DWORD protect, DWORD access, std::shared_ptr<ArenaObject> named)
      : fd_(fd), size_(size), protect_(protect), access_(access), named_(std::move(named)) {}
  ~SectionObject() override { close(fd_); }
  tw::kernel::ObjectType Type() const override { return tw::kernel::ObjectType::FileMapping; }
  int Fd() const { return fd_; }
  std::uint64_t Size() const { return size_; }
  bool Writable() const { return protect_ == PAGE_READWRITE || protect_ == PAGE_EXECUTE_READWRITE; }
  DWORD Access() const { return access_; }

 private:
  int fd_;
  std::uint64_t size_;
  DWORD protect_;
  DWORD access_;
  std::shared_ptr<ArenaObject> named_;  // the table reference of a named mapping
};

struct View {
  std::size_t length;
  std::shared_ptr<SectionObject> section;  // a view keeps its mapping alive
};

struct Views {
  std::mutex mutex;
  std::map<std::uintptr_t, View> byBase;
};
Views& views() {
  static Views* v = new Views;
  return *v;
}

bool ValidProtect(DWORD protect) {
  switch (protect) {
    case PAGE_READONLY:
    case PAGE_READWRITE:
    case PAGE_WRITECOPY:
    case PAGE_EXECUTE_READ:
    case PAGE_EXECUTE_READWRITE:
    case PAGE_EXECUTE_WRITECOPY:
      return true;
    default:
      return false;
  }
}

bool WritableProtect(DWORD protect) { return protect == PAGE_READWRITE || protect == PAGE_EXECUTE_READWRITE; }

// Opens the backing of a named mapping for this process.
int OpenBacking(const std::string& path, bool writable) {
  int fd = open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) SetLastError(ErrorFromErrno(errno));
  return fd;
}

HANDLE Insert(std::shared_ptr<SectionObject> section, bool existed) {
  HANDLE handle = tw::kernel::InsertHandle(std::move(section));
  if (handle) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// Finds or makes the table entry of a named mapping and takes a reference;
// fills in the backing to open, the mapping's size and protection.
std::shared_ptr<ArenaObject> NamedSection(const ObjectName& name, bool create, DWORD access, std::uint64_t size,
                                          DWORD protect, const std::string& filePath, std::string& path,
                                          std::uint64_t& actualSize, DWORD& actualProtect, bool& existed) {
  Visit visit = [&](Arena& arena, Arena::Lock&, ObjectRecord& r, bool created) {
    auto& t = arena.Tables();
    if (!created) {
      if (r.section >= kMaxSections || !t.sections[r.section].used) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
      }
      const auto& s = t.sections[r.section];
      path = s.fileBacked ? std::string(s.path, strnlen(s.path, sizeof s.path)) : arena.SectionPath(s.id).string();
      actualSize = r.size;
      actualProtect = r.protect;
      return true;
    }
    auto* s = std::find_if(std::begin(t.sections), std::end(t.sections), [](const auto& e) { return !e.used; });
    if (s == std::end(t.sections)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    if (filePath.size() >= sizeof s->path) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    *s = {};
    s->used = 1;
    s->fileBacked = filePath.empty() ? 0 : 1;
    s->id = t.header.nextSectionId++;
    std::memcpy(s->path, filePath.data(), filePath.size());
    r.section = static_cast<std::uint32_t>(s - t.sections);
    r.size = actualSize = size;
    r.protect = actualProtect = protect;
    path = filePath;
    if (s->fileBacked) return true;
    // Memory shared by name: a file of the mapping's size (removed with the object).
    path = arena.SectionPath(s->id).string();
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (!ok) SetLastError(ErrorFromErrno(errno));
    if (fd >= 0) close(fd);
    return ok;
  };
  Acquired got;
  if (!AcquireObject(Kind::Section, name, create, visit, got)) return nullptr;
  existed = got.existed;
  return std::make_shared<ArenaObject>(got.arena, got.index, got.generation, Kind::Section,
                                       MapAccess(Kind::Section, access));
}

// The view holding address (views' lock held), or end() with ERROR_INVALID_ADDRESS.
std::map<std::uintptr_t, View>::iterator FindView(Views& v, LPCVOID address) {
  const auto a = reinterpret_cast<std::uintptr_t>(address);
  auto it = v.byBase.upper_bound(a);
  if (!address || it == v.byBase.begin() || a >= std::prev(it)->first + std::prev(it)->second.length) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return v.byBase.end();
  }
  return std::prev(it);
}

std::string LinuxPathOf(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  ssize_t n = readlink(link, target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

}  // namespace

void SetFileDescriptorResolver(FileDescriptorResolver resolver) { g_resolver.store(resolver); }

std::size_t LiveViewCount() {
  auto& v = views();
  std::lock_guard guard(v.mutex);
  return v.byBase.size();
}

}  // namespace tw::sync

using namespace tw::sync;

TWAPI HANDLE CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES, DWORD flProtect, DWORD dwMaximumSizeHigh,
                                DWORD dwMaximumSizeLow, LPCWSTR lpName) {
  const DWORD protect = flProtect & 0xFF;  // SEC_* attributes are accepted and have no effect
  if (!ValidProtect(protect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ObjectName name;
  if (!ParseObjectName(lpName, name)) return nullptr;
  std::uint64_t size = (static_cast<std::uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  if (size > static_cast<std::uint64_t>(LLONG_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int fd = -1;
  std::string filePath;
  if (hFile != INVALID_HANDLE_VALUE) {
    auto resolver = g_resolver.load();
    if (!resolver || !hFile) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    bool fileWritable = false;
    fd = resolver(hFile, &fileWritable);
    if (fd < 0) return nullptr;
    struct stat st {};
    fstat(fd, &st);
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    DWORD error = 0;
    if (WritableProtect(protect) && !fileWritable) error = ERROR_ACCESS_DENIED;
    else if (size == 0 && fileSize == 0) error = ERROR_FILE_INVALID;
    else if (size > fileSize && !WritableProtect(protect)) error = ERROR_ACCESS_DENIED;
    else if (size > fileSize && ftruncate(fd, static_cast<off_t>(size)) != 0) error = ErrorFromErrno(errno);
    if (error) {
      close(fd);
      SetLastError(error);
      return nullptr;
    }
    if (size == 0) size = fileSize;
    if (!name.name.empty()) filePath = LinuxPathOf(fd);
  } else if (size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }

  if (name.name.empty()) {
    if (fd < 0) {
      fd = memfd_create("tw-section", MFD_CLOEXEC);
      if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        DWORD error = ErrorFromErrno(errno);
        if (fd >= 0) close(fd);
        SetLastError(error);
        return nullptr;
      }
    }
    return Insert(std::make_shared<SectionObject>(fd, size, protect, SECTION_ALL_ACCESS, nullptr), false);
  }
  if (fd >= 0) close(fd);  // named: every process opens the file by its path
  std::string path;
  std::uint64_t actualSize = 0;
  DWORD actualProtect = 0;
  bool existed = false;
  auto named = NamedSection(name, true, SECTION_ALL_ACCESS, size, protect, filePath, path, actualSize, actualProtect,
                            existed);
  if (!named) return nullptr;
  int backing = OpenBacking(path, WritableProtect(actualProtect));
  if (backing < 0) return nullptr;
  return Insert(std::make_shared<SectionObject>(backing, actualSize, actualProtect, SECTION_ALL_ACCESS, named),
                existed);
}

TWAPI HANDLE OpenFileMappingW(DWORD dwDesiredAccess, BOOL, LPCWSTR lpName) {
  ObjectName name;
  if (!ParseNameToOpen(lpName, name)) return nullptr;
  std::string path;
  std::uint64_t size = 0;
  DWORD protect = 0;
  bool existed = false;
  auto named = NamedSection(name, false, dwDesiredAccess, 0, 0, {}, path, size, protect, existed);
  if (!named) return nullptr;
  int backing = OpenBacking(path, WritableProtect(protect));
  if (backing < 0) return nullptr;
  return Insert(std::make_shared<SectionObject>(backing, size, protect, named->Access(), named), false);
}

TWAPI LPVOID MapViewOfFileEx(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                             DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap, LPVOID lpBaseAddress) {
  auto section = std::dynamic_pointer_cast<SectionObject>(tw::kernel::LookupHandle(hFileMappingObject));
  if (!section) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // FILE_MAP_COPY is SECTION_QUERY: it means copy-on-write only on its own.
  const bool copy = (dwDesiredAccess & ~static_cast<DWORD>(FILE_MAP_EXECUTE)) == FILE_MAP_COPY;
  const bool write = !copy && (dwDesiredAccess & FILE_MAP_WRITE);
  const bool read = dwDesiredAccess & FILE_MAP_READ;
  if (!write && !copy && !read) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((write && (!section->Writable() || !(section->Access() & SECTION_MAP_WRITE))) ||
      ((read || copy) && !(section->Access() & SECTION_MAP_READ))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const std::uint64_t offset = (static_cast<std::uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
  if (offset % kGranularity) {
    SetLastError(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  // A view must lie inside the mapping.
  if (offset >= section->Size() || dwNumberOfBytesToMap > section->Size() - offset) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const std::size_t length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : section->Size() - offset;
  const int prot = (write || copy) ? PROT_READ | PROT_WRITE : PROT_READ;
  int flags = copy ? MAP_PRIVATE : MAP_SHARED;
  if (lpBaseAddress) flags |= MAP_FIXED_NOREPLACE;
  void* base = mmap(lpBaseAddress, length, prot, flags, section->Fd(), static_cast<off_t>(offset));
  if (base == MAP_FAILED || (lpBaseAddress && base != lpBaseAddress)) {
    if (base != MAP_FAILED) munmap(base, length);
    SetLastError(lpBaseAddress ? ERROR_INVALID_ADDRESS : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto& v = views();
  std::lock_guard guard(v.mutex);
  v.byBase[reinterpret_cast<std::uintptr_t>(base)] = View{length, std::move(section)};
  return base;
}

TWAPI LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                           DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
  return MapViewOfFileEx(hFileMappingObject, dwDesiredAccess, dwFileOffsetHigh, dwFileOffsetLow,
                         dwNumberOfBytesToMap, nullptr);
}

TWAPI BOOL UnmapViewOfFile(LPCVOID lpBaseAddress) {
  std::shared_ptr<SectionObject> release;  // dropped after the views lock
  {
    auto& v = views();
    std::lock_guard guard(v.mutex);
    auto it = FindView(v, lpBaseAddress);
    if (it == v.byBase.end()) return FALSE;
    munmap(reinterpret_cast<void*>(it->first), it->second.length);
    release = std::move(it->second.section);
    v.byBase.erase(it);
  }
  return TRUE;
}

TWAPI BOOL FlushViewOfFile(LPCVOID lpBaseAddress, SIZE_T dwNumberOfBytesToFlush) {
  auto& v = views();
  std::lock_guard guard(v.mutex);
  auto it = FindView(v, lpBaseAddress);
  if (it == v.byBase.end()) return FALSE;
  const auto address = reinterpret_cast<std::uintptr_t>(lpBaseAddress);
  const std::uintptr_t end = it->first + it->second.length;
  const std::uintptr_t start = address & ~static_cast<std::uintptr_t>(4095);
  std::size_t length = dwNumberOfBytesToFlush ? dwNumberOfBytesToFlush + (address - start) : end - start;
  if (start + length > end) length = end - start;
  if (msync(reinterpret_cast<void*>(start), length, MS_SYNC) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}
