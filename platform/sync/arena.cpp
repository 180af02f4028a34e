// The object table shared by the processes of a machine root (see arena.h).
#include "arena.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

#include "tw/kernelsync.h"
#include "tw/lasterror.h"
#include "tw/root.h"
#include "winerror.h"

namespace tw::sync {
namespace {

constexpr std::uint32_t kMagic = 0x4F4B5754;  // "TWKO"
constexpr std::uint32_t kVersion = 1;
constexpr const char* kFileName = "kobjects.v1";
// Longest time any process may hold the table lock; past it the table is
// reported busy instead of hanging the caller.
constexpr int kLockTimeoutSeconds = 15;
constexpr std::uint32_t kMaxSleepMs = 1000;  // waiters re-check at least this often

timespec MonotonicIn(long long ms) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  long long ns = now.tv_nsec + (ms % 1000) * 1000000LL;
  now.tv_sec += static_cast<time_t>(ms / 1000 + ns / 1000000000LL);
  now.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return now;
}

std::string BootId() {
  std::string id;
  if (FILE* f = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
    char buffer[64] = {};
    if (std::fgets(buffer, sizeof buffer, f)) id = buffer;
    std::fclose(f);
  }
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  return id.substr(0, 47);
}

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    default:
      return ERROR_GEN_FAILURE;
  }
}

void Report(const std::filesystem::path& path, const char* what) {
  std::fprintf(stderr, "tw: kernel object table %s: %s\n", path.c_str(), what);
}

std::uint32_t NameHash(std::uint32_t space, std::u16string_view name) {
  std::uint32_t h = 2166136261u ^ space;
  for (char16_t c : name) {
    h ^= c;
    h *= 16777619u;
  }
  return h ? h : 1;
}

bool ValidKind(std::uint32_t kind) { return kind >= 1 && kind <= 5; }

bool InitMutex(pthread_mutex_t* mutex) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr)) return false;
  bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
            pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK) == 0 && pthread_mutex_init(mutex, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

// flock with a bound, so a stuck process cannot hang every other one.
bool LockFile(int fd) {
  for (int i = 0; i < kLockTimeoutSeconds * 100; ++i) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    usleep(10000);
  }
  return false;
}

struct Registry {
  std::mutex mutex;
  std::uint64_t generation = 0;
  std::shared_ptr<Arena> arena;
};
Registry& registry() {
  static Registry* r = new Registry;  // outlives static destructors that close handles
  return *r;
}

}  // namespace

Arena::Arena(std::filesystem::path path, int fd, ArenaLayout* layout)
    : path_(std::move(path)), fd_(fd), layout_(layout) {}

Arena::~Arena() {
  munmap(layout_, sizeof(ArenaLayout));
  close(fd_);
}

std::shared_ptr<Arena> Arena::Current() {
  auto& r = registry();
  std::lock_guard guard(r.mutex);
  std::uint64_t generation = tw::root::Generation();
  if (!r.arena || r.generation != generation || r.arena->broken_.load()) {
    auto arena = Attach(tw::root::Path("run"));
    if (!arena) return nullptr;
    r.arena = std::move(arena);
    r.generation = generation;
  }
  return r.arena;
}

std::shared_ptr<Arena> Arena::Attach(const std::filesystem::path& runDir) {
  std::error_code ec;
  std::filesystem::create_directories(runDir / "sections", ec);
  const auto path = runDir / kFileName;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      int e = errno;
      Report(path, std::strerror(e));
      SetLastError(ErrorFromErrno(e));
      return nullptr;
    }
    if (!LockFile(fd)) {
      Report(path, "cannot lock the file (another process holds it)");
      close(fd);
      SetLastError(ERROR_BUSY);
      return nullptr;
    }
    struct stat st {};
    fstat(fd, &st);
    bool fresh = st.st_size == 0;
    bool corrupt = !fresh && static_cast<std::uint64_t>(st.st_size) != sizeof(ArenaLayout);
    if (fresh && ftruncate(fd, sizeof(ArenaLayout)) != 0) {
      int e = errno;
      Report(path, std::strerror(e));
      close(fd);
      SetLastError(ErrorFromErrno(e));
      return nullptr;
    }
    void* map = corrupt ? MAP_FAILED : mmap(nullptr, sizeof(ArenaLayout), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (!corrupt && map == MAP_FAILED) {
      int e = errno;
      Report(path, std::strerror(e));
      close(fd);
      SetLastError(ErrorFromErrno(e));
      return nullptr;
    }
    auto* layout = static_cast<ArenaLayout*>(map);
    std::string boot = BootId();
    if (!corrupt) {
      auto& h = layout->header;
      if (fresh || h.magic == 0) {
        fresh = true;  // a creator that died half-way leaves no magic
      } else if (h.magic != kMagic || h.version != kVersion || h.layoutSize != sizeof(ArenaLayout)) {
        corrupt = true;
      } else if (boot != std::string(h.bootId, strnlen(h.bootId, sizeof h.bootId))) {
        fresh = true;  // written before the last boot: no process of it is alive
      }
    }
    if (corrupt) {
      if (map != MAP_FAILED) munmap(map, sizeof(ArenaLayout));
      auto aside = runDir / (std::string(kFileName) + ".corrupt");
      std::filesystem::rename(path, aside, ec);
      Report(path, ec ? "corrupt, and it cannot be moved aside: remove it"
                      : "corrupt; moved aside to kobjects.v1.corrupt and started afresh");
      close(fd);
      if (ec) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
      }
      continue;
    }
    if (fresh) {
      std::memset(static_cast<void*>(layout), 0, sizeof(ArenaLayout));
      auto& h = layout->header;
      if (!InitMutex(&h.lock)) {
        munmap(map, sizeof(ArenaLayout));
        close(fd);
        SetLastError(ERROR_GEN_FAILURE);
        return nullptr;
      }
      std::memcpy(h.bootId, boot.data(), boot.size());
      h.version = kVersion;
      h.layoutSize = sizeof(ArenaLayout);
      h.nextSectionId = 1;
      // Backing files of a previous table belong to nobody now.
      for (auto& entry : std::filesystem::directory_iterator(runDir / "sections", ec))
        std::filesystem::remove(entry.path(), ec);
      __atomic_store_n(&h.magic, kMagic, __ATOMIC_RELEASE);
    }
    flock(fd, LOCK_UN);
    return std::shared_ptr<Arena>(new Arena(path, fd, layout));
  }
  SetLastError(ERROR_INVALID_DATA);
  return nullptr;
}

void Arena::MarkBroken(const char* why) {
  if (!broken_.exchange(true)) Report(path_, why);
}

std::filesystem::path Arena::SectionPath(std::uint64_t id) const {
  return path_.parent_path() / "sections" / std::to_string(id);
}

// ---- lock -----------------------------------------------------------------

Arena::Lock::Lock(Arena& arena) : arena_(arena) {
  if (arena.broken_.load()) {
    SetLastError(ERROR_INVALID_DATA);
    return;
  }
  auto& h = arena.layout_->header;
  timespec deadline = MonotonicIn(kLockTimeoutSeconds * 1000LL);
  int rc = pthread_mutex_clocklock(&h.lock, CLOCK_MONOTONIC, &deadline);
  if (rc == EOWNERDEAD) {
    // A process died holding the lock, maybe half-way through a change.
    pthread_mutex_consistent(&h.lock);
    rc = 0;
    ok_ = true;
    arena.RepairLocked();
    changed_ = true;
  }
  if (rc == EDEADLK) {
    Report(arena.path_, "lock taken twice by one thread (internal error)");
    SetLastError(ERROR_GEN_FAILURE);
    return;
  }
  if (rc == ETIMEDOUT) {
    Report(arena.path_, "locked by a process that does not respond");
    SetLastError(ERROR_BUSY);
    return;
  }
  if (rc != 0) {
    arena.MarkBroken("its lock is damaged");
    SetLastError(ERROR_INVALID_DATA);
    return;
  }
  ok_ = true;
  if (h.magic != kMagic || h.version != kVersion || h.layoutSize != sizeof(ArenaLayout)) {
    Unlock();
    arena.MarkBroken("its header is damaged");
    SetLastError(ERROR_INVALID_DATA);
  }
}

Arena::Lock::~Lock() { Unlock(); }

void Arena::Lock::Unlock() {
  if (!ok_) return;
  auto& h = arena_.layout_->header;
  bool wake = changed_;
  if (wake) h.sequence.fetch_add(1);
  changed_ = false;
  ok_ = false;
  pthread_mutex_unlock(&h.lock);
  if (wake) syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&h.sequence), FUTEX_WAKE, INT32_MAX, nullptr, nullptr, 0);
}

bool Arena::Lock::WaitForChange(std::uint32_t timeoutMs) {
  auto& h = arena_.layout_->header;
  std::uint32_t seen = h.sequence.load();
  Unlock();
  std::uint32_t ms = timeoutMs < kMaxSleepMs ? timeoutMs : kMaxSleepMs;
  timespec relative{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000L)};
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&h.sequence), FUTEX_WAIT, seen, &relative, nullptr, 0);
  Lock again(arena_);
  if (!again.ok_) return false;
  again.ok_ = false;  // hand the held lock over to this guard
  ok_ = true;
  changed_ = again.changed_;
  return true;
}

// ---- tables -----------------------------------------------------------------

void Arena::RepairLocked() {
  auto& t = *layout_;
  for (auto& o : t.objects) o.refs = 0;
  for (auto& p : t.processes) p.holders = 0;
  for (auto& hd : t.holders) {
    if (!hd.used) continue;
    if (hd.object >= kMaxObjects || hd.process >= kMaxProcesses || !ValidKind(static_cast<std::uint32_t>(t.objects[hd.object].kind)) ||
        t.processes[hd.process].pid <= 0 || hd.refs == 0) {
      hd = {};
      continue;
    }
    t.objects[hd.object].refs += hd.refs;
    t.processes[hd.process].holders++;
  }
  for (auto& p : t.processes)
    if (p.holders == 0) p = {};
  for (std::uint32_t i = 0; i < kMaxObjects; ++i) {
    auto& o = t.objects[i];
    if (o.kind != Kind::Free && (!ValidKind(static_cast<std::uint32_t>(o.kind)) || o.refs == 0 || o.nameLength > kMaxName)) {
      FreeObjectLocked(i);
      continue;
    }
    t.index[i].kind = static_cast<std::uint32_t>(o.kind);
    t.index[i].hash = o.kind == Kind::Free ? 0 : NameHash(o.space, std::u16string_view(o.name, o.nameLength));
  }
}

std::uint32_t Arena::ProcessLocked(bool create) {
  auto& t = *layout_;
  const auto& self = Self();
  std::uint32_t free = kNone;
  for (std::uint32_t i = 0; i < kMaxProcesses; ++i) {
    auto& p = t.processes[i];
    if (p.pid == self.pid && p.startTime == self.processStart) return i;
    if (p.pid == 0 && free == kNone) free = i;
  }
  if (!create || free == kNone) return kNone;
  t.processes[free] = {self.pid, 0, self.processStart};
  return free;
}

ObjectRecord* Arena::RecordLocked(std::uint32_t object, std::uint32_t generation) {
  if (object >= kMaxObjects) return nullptr;
  auto& o = layout_->objects[object];
  if (o.kind == Kind::Free || !ValidKind(static_cast<std::uint32_t>(o.kind)) || o.generation != generation) return nullptr;
  return &o;
}

std::uint32_t Arena::FindLocked(const ObjectName& name) const {
  if (name.name.empty()) return kNone;
  const auto& t = *layout_;
  std::uint32_t hash = NameHash(name.space, name.name);
  for (std::uint32_t i = 0; i < kMaxObjects; ++i) {
    if (t.index[i].hash != hash || t.index[i].kind == 0) continue;
    const auto& o = t.objects[i];
    if (o.kind != Kind::Free && o.space == name.space && o.nameLength == name.name.size() &&
        std::u16string_view(o.name, o.nameLength) == name.name)
      return i;
  }
  return kNone;
}

bool Arena::AddRefLocked(std::uint32_t object) {
  auto& t = *layout_;
  std::uint32_t p = ProcessLocked(true);
  if (p == kNone) {
    Report(path_, "too many processes use kernel objects at once");
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  std::uint32_t free = kNone;
  for (std::uint32_t i = 0; i < kMaxHolders; ++i) {
    auto& hd = t.holders[i];
    if (hd.used && hd.object == object && hd.process == p) {
      hd.refs++;
      t.objects[object].refs++;
      return true;
    }
    if (!hd.used && free == kNone) free = i;
  }
  if (free == kNone) {
    if (t.processes[p].holders == 0) t.processes[p] = {};
    Report(path_, "full (too many handles to kernel objects)");
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  t.holders[free] = {1, object, p, 1};
  t.processes[p].holders++;
  t.objects[object].refs++;
  return true;
}

std::uint32_t Arena::CreateLocked(Lock& lock, Kind kind, const ObjectName& name) {
  auto& t = *layout_;
  std::uint32_t slot = kNone;
  for (std::uint32_t i = 0; i < kMaxObjects; ++i) {
    if (t.index[i].kind == 0 && t.objects[i].kind == Kind::Free) {
      slot = i;
      break;
    }
  }
  if (slot == kNone) {
    Report(path_, "full (too many kernel objects)");
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return kNone;
  }
  auto& o = t.objects[slot];
  std::uint32_t generation = o.generation;
  std::memset(static_cast<void*>(&o), 0, sizeof o);
  o.generation = generation;
  o.kind = kind;
  o.space = name.space;
  o.nameLength = static_cast<std::uint32_t>(name.name.size());
  std::memcpy(o.name, name.name.data(), name.name.size() * sizeof(char16_t));
  o.section = kNone;
  t.index[slot] = {static_cast<std::uint32_t>(kind), name.name.empty() ? 0 : NameHash(name.space, name.name)};
  if (!AddRefLocked(slot)) {
    FreeObjectLocked(slot);
    return kNone;
  }
  lock.Changed();
  return slot;
}

void Arena::FreeObjectLocked(std::uint32_t object) {
  auto& t = *layout_;
  auto& o = t.objects[object];
  if (o.kind == Kind::Section && o.section < kMaxSections) {
    auto& s = t.sections[o.section];
    if (s.used && !s.fileBacked) unlink(SectionPath(s.id).c_str());
    s = {};
  }
  std::uint32_t generation = o.generation + 1;
  std::memset(static_cast<void*>(&o), 0, sizeof o);
  o.generation = generation;
  t.index[object] = {};
}

void Arena::ReleaseLocked(Lock& lock, std::uint32_t object, std::uint32_t generation) {
  auto* o = RecordLocked(object, generation);
  if (!o) return;
  auto& t = *layout_;
  std::uint32_t p = ProcessLocked(false);
  if (p == kNone) return;  // e.g. a handle copied into a forked child
  for (auto& hd : t.holders) {
    if (!hd.used || hd.object != object || hd.process != p) continue;
    hd.refs--;
    if (o->refs) o->refs--;
    if (hd.refs == 0) {
      hd = {};
      if (t.processes[p].holders && --t.processes[p].holders == 0) t.processes[p] = {};
    }
    if (o->refs == 0) FreeObjectLocked(object);
    lock.Changed();
    return;
  }
}

void Arena::AbandonLocked(Lock& lock, ObjectRecord& mutex) {
  mutex.ownerPid = 0;
  mutex.ownerTid = 0;
  mutex.ownerStart = 0;
  mutex.recursion = 0;
  mutex.abandoned = 1;
  lock.Changed();
}

void Arena::AbandonOwnedByLocked(Lock& lock, std::int32_t pid, std::int32_t tid) {
  auto& t = *layout_;
  for (std::uint32_t i = 0; i < kMaxObjects; ++i) {
    if (t.index[i].kind != static_cast<std::uint32_t>(Kind::Mutex)) continue;
    auto& o = t.objects[i];
    if (o.kind == Kind::Mutex && o.ownerTid == tid && o.ownerPid == pid) AbandonLocked(lock, o);
  }
}

void Arena::ReapLocked(Lock& lock) {
  auto& t = *layout_;
  const auto& self = Self();
  for (std::uint32_t p = 0; p < kMaxProcesses; ++p) {
    auto& pr = t.processes[p];
    if (pr.pid == 0 || (pr.pid == self.pid && pr.startTime == self.processStart)) continue;
    if (ProcessAlive(static_cast<DWORD>(pr.pid), pr.startTime)) continue;
    for (auto& hd : t.holders) {
      if (!hd.used || hd.process != p) continue;
      if (hd.object < kMaxObjects) {
        auto& o = t.objects[hd.object];
        o.refs = o.refs > hd.refs ? o.refs - hd.refs : 0;
        if (o.kind != Kind::Free && o.refs == 0) FreeObjectLocked(hd.object);
      }
      hd = {};
    }
    pr = {};
    lock.Changed();
  }
  for (std::uint32_t i = 0; i < kMaxObjects; ++i) {
    if (t.index[i].kind != static_cast<std::uint32_t>(Kind::Mutex)) continue;
    auto& o = t.objects[i];
    if (o.kind != Kind::Mutex || o.ownerTid == 0) continue;
    if (o.ownerPid == self.pid && o.ownerTid == self.tid) continue;
    if (!ThreadAlive(o.ownerPid, o.ownerTid, o.ownerStart)) AbandonLocked(lock, o);
  }
}

std::size_t Arena::LiveObjectsLocked() const {
  std::size_t n = 0;
  for (const auto& e : layout_->index) n += e.kind != 0;
  return n;
}

// ---- handles' objects --------------------------------------------------------

ArenaObject::~ArenaObject() {
  Arena::Lock lock(*arena_);
  if (lock.Ok()) arena_->ReleaseLocked(lock, index_, generation_);
}

tw::kernel::ObjectType ArenaObject::Type() const {
  using tw::kernel::ObjectType;
  switch (kind_) {
    case Kind::Mutex: return ObjectType::Mutex;
    case Kind::Event: return ObjectType::Event;
    case Kind::Semaphore: return ObjectType::Semaphore;
    case Kind::Thread: return ObjectType::Thread;
    case Kind::Section: return ObjectType::FileMapping;
    default: return ObjectType::Other;
  }
}

namespace {

// The tables in which this thread owns mutexes, so that its end abandons them.
struct OwnedMutexes {
  std::vector<std::weak_ptr<Arena>> arenas;
  void AbandonAll() {
    const auto& self = Self();
    for (auto& weak : arenas) {
      if (auto a = weak.lock()) {
        Arena::Lock lock(*a);
        if (lock.Ok()) a->AbandonOwnedByLocked(lock, self.pid, self.tid);
      }
    }
    arenas.clear();
  }
  ~OwnedMutexes() { AbandonAll(); }
};
thread_local OwnedMutexes t_owned;

}  // namespace

void NoteMutexOwner(const std::shared_ptr<Arena>& arena) {
  for (auto& weak : t_owned.arenas)
    if (weak.lock() == arena) return;
  t_owned.arenas.push_back(arena);
}

void AbandonThreadMutexes() { t_owned.AbandonAll(); }

// ---- diagnostics ---------------------------------------------------------------

std::filesystem::path ObjectTablePath() { return tw::root::Path("run") / kFileName; }

std::size_t LiveObjectCount() {
  auto arena = Arena::Current();
  if (!arena) return 0;
  Arena::Lock lock(*arena);
  if (!lock.Ok()) return 0;
  arena->ReapLocked(lock);
  return arena->LiveObjectsLocked();
}

bool LockObjectTableForTesting() {
  auto arena = Arena::Current();
  if (!arena) return false;
  auto& h = arena->Tables().header;
  return pthread_mutex_lock(&h.lock) == 0;
}

}  // namespace tw::sync
