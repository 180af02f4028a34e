// Share modes across handles and processes, as open-file-description locks.
//
// Each handle is its own open file description (its own open()), so its OFD
// locks belong to it alone and vanish when its last descriptor closes, also
// when the process dies. Bytes at kBase + n:
//   0 read access    1 write access    2 delete access
//   3 read denied    4 write denied    5 delete denied
// A handle holds shared (read) locks on its bytes; shared locks never block
// each other, so they only serve as marks that F_OFD_GETLK finds.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "tw/fileio.h"

namespace tw::file::share {
namespace {

constexpr off_t kBase = 0x7FFFFFFFFFFFFF00LL;
enum Slot : off_t { AccRead = 0, AccWrite, AccDelete, DenyRead, DenyWrite, DenyDelete, SlotCount };

// True when another open file description holds a lock on the slot range.
bool held(int fd, off_t slot, off_t count = 1) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kBase + slot;
  probe.l_len = count;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;  // no lock support: nothing to see
  return probe.l_type != F_UNLCK;
}

void mark(int fd, off_t slot) {
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kBase + slot;
  lock.l_len = 1;
  // Fails (EBADF) only on a write-only descriptor, which cannot carry read
  // locks; such a handle then does not restrict later opens.
  (void)fcntl(fd, F_OFD_SETLK, &lock);
}

bool wantsRead(DWORD access) { return access & (FILE_READ_DATA | FILE_EXECUTE); }
bool wantsWrite(DWORD access) { return access & (FILE_WRITE_DATA | FILE_APPEND_DATA); }
bool wantsDelete(DWORD access) { return access & DELETE; }

}  // namespace

Gate::Gate(int fd) : fd_(fd) {
  while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

Gate::~Gate() { flock(fd_, LOCK_UN); }

DWORD Claim(int fd, DWORD access, DWORD share) {
  bool r = wantsRead(access), w = wantsWrite(access), d = wantsDelete(access);
  // A handle without data access (attributes only) neither checks nor restricts.
  if (!r && !w && !d) return ERROR_SUCCESS;
  if ((r && held(fd, DenyRead)) || (w && held(fd, DenyWrite)) || (d && held(fd, DenyDelete)) ||
      (!(share & FILE_SHARE_READ) && held(fd, AccRead)) || (!(share & FILE_SHARE_WRITE) && held(fd, AccWrite)) ||
      (!(share & FILE_SHARE_DELETE) && held(fd, AccDelete)))
    return ERROR_SHARING_VIOLATION;
  if (r) mark(fd, AccRead);
  if (w) mark(fd, AccWrite);
  if (d) mark(fd, AccDelete);
  if (!(share & FILE_SHARE_READ)) mark(fd, DenyRead);
  if (!(share & FILE_SHARE_WRITE)) mark(fd, DenyWrite);
  if (!(share & FILE_SHARE_DELETE)) mark(fd, DenyDelete);
  return ERROR_SUCCESS;
}

bool DeleteRefused(int fd) { return held(fd, DenyDelete); }

bool InUse(int fd) { return held(fd, 0, SlotCount); }

}  // namespace tw::file::share
