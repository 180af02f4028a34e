// Private to the kernel-object area: the object table shared by every process
// of a machine root.
//
// One file, <root>/run/kobjects.v1, mapped shared by every process that uses
// the root. It holds fixed-size tables (objects, per-process references,
// processes, file-mapping backings) guarded by one robust process-shared
// mutex. State changes bump a sequence word on which waiters sleep with a
// futex (glibc's process-shared condition variables can hang when a waiter is
// killed; a bare futex word cannot).
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tw/kobject.h"
#include "tw/wintypes.h"

namespace tw::sync {

enum class Kind : std::uint32_t { Free = 0, Mutex = 1, Event = 2, Semaphore = 3, Thread = 4, Section = 5 };

constexpr std::uint32_t kMaxObjects = 4096;
constexpr std::uint32_t kMaxHolders = 8192;
constexpr std::uint32_t kMaxProcesses = 512;
constexpr std::uint32_t kMaxSections = 256;
constexpr std::uint32_t kMaxName = 260;  // MAX_PATH, as Windows limits object names
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// A parsed object name: namespace 0 is the global one, N the session N.
struct ObjectName {
  std::uint32_t space = 0;
  std::u16string name;  // empty: unnamed
};

struct ObjectRecord {
  Kind kind;
  std::uint32_t generation;  // bumped when the slot is freed, so stale references fail
  std::uint32_t space;
  std::uint32_t nameLength;  // 0: unnamed
  std::uint32_t refs;        // sum of the holders' references
  // mutex
  std::int32_t ownerPid;
  std::int32_t ownerTid;  // 0: not owned
  std::uint32_t recursion;
  std::uint64_t ownerStart;  // start time of the owning thread
  std::uint32_t abandoned;
  // event, thread (signalled = ended)
  std::uint32_t signaled;
  std::uint32_t manualReset;
  std::uint32_t pulseSequence;
  std::uint32_t pulseClaimed;
  // semaphore
  std::int32_t count;
  std::int32_t maximum;
  // section
  std::uint32_t section;  // index into the section table
  std::uint32_t protect;
  std::uint64_t size;
  char16_t name[kMaxName];
};

struct IndexEntry {  // compact copy for name look-ups
  std::uint32_t kind;
  std::uint32_t hash;
};

struct HolderRecord {  // references of one process to one object
  std::uint32_t used;
  std::uint32_t object;
  std::uint32_t process;
  std::uint32_t refs;
};

struct ProcessRecord {
  std::int32_t pid;  // 0: free
  std::uint32_t holders;
  std::uint64_t startTime;
};

struct SectionRecord {  // backing store of a named file mapping
  std::uint32_t used;
  std::uint32_t fileBacked;  // 0: a file under run/sections, removed with the object
  std::uint64_t id;
  char path[1024];  // file-backed: the Linux path of the mapped file
};

struct ArenaHeader {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint64_t layoutSize;
  char bootId[48];
  pthread_mutex_t lock;
  std::atomic<std::uint32_t> sequence;  // futex word, bumped on every state change
  std::uint32_t reserved;
  std::uint64_t nextSectionId;
};

struct ArenaLayout {
  alignas(64) ArenaHeader header;
  alignas(64) IndexEntry index[kMaxObjects];
  alignas(64) ObjectRecord objects[kMaxObjects];
  alignas(64) HolderRecord holders[kMaxHolders];
  alignas(64) ProcessRecord processes[kMaxProcesses];
  alignas(64) SectionRecord sections[kMaxSections];
};

class Arena {
 public:
  // The arena of the current machine root (re-attached when the root
  // changes), or null with the last error set.
  static std::shared_ptr<Arena> Current();
  ~Arena();

  // The locked state of the arena: every access to the tables goes through one.
  class Lock {
   public:
    explicit Lock(Arena& arena);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool Ok() const { return ok_; }
    void Changed() { changed_ = true; }
    // Releases the lock, sleeps until the state changes or timeoutMs passes, relocks.
    // False (last error set) if the lock cannot be taken again.
    bool WaitForChange(std::uint32_t timeoutMs);

   private:
    void Unlock();
    Arena& arena_;
    bool ok_ = false;
    bool changed_ = false;
  };

  ArenaLayout& Tables() { return *layout_; }
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path SectionPath(std::uint64_t id) const;

  // All below require a Lock.
  // Drops the references of processes that died, abandons mutexes whose
  // owner thread ended and frees objects nobody references any more.
  void ReapLocked(Lock& lock);
  std::uint32_t FindLocked(const ObjectName& name) const;  // kNone if absent
  // A new object with one reference of this process; kNone (last error set) if full.
  std::uint32_t CreateLocked(Lock& lock, Kind kind, const ObjectName& name);
  bool AddRefLocked(std::uint32_t object);
  void ReleaseLocked(Lock& lock, std::uint32_t object, std::uint32_t generation);
  // Valid when the slot still holds that object.
  ObjectRecord* RecordLocked(std::uint32_t object, std::uint32_t generation);
  // The mutex owner ended: mark abandoned and free.
  void AbandonLocked(Lock& lock, ObjectRecord& mutex);
  // Abandons the mutexes held by the thread (its end).
  void AbandonOwnedByLocked(Lock& lock, std::int32_t pid, std::int32_t tid);
  std::size_t LiveObjectsLocked() const;

 private:
  Arena(std::filesystem::path path, int fd, ArenaLayout* layout);
  static std::shared_ptr<Arena> Attach(const std::filesystem::path& runDir);
  void RepairLocked();
  void FreeObjectLocked(std::uint32_t object);
  std::uint32_t ProcessLocked(bool create);
  void MarkBroken(const char* why);

  std::filesystem::path path_;
  int fd_;
  ArenaLayout* layout_;
  std::atomic<bool> broken_{false};
};

// The arena-backed part of a handle's object.
class ArenaObject : public tw::kernel::KernelObject {
 public:
  ArenaObject(std::shared_ptr<Arena> arena, std::uint32_t index, std::uint32_t generation, Kind kind, DWORD access)
      : arena_(std::move(arena)), index_(index), generation_(generation), kind_(kind), access_(access) {}
  ~ArenaObject() override;
  tw::kernel::ObjectType Type() const override;

  Arena& ObjectArena() const { return *arena_; }
  const std::shared_ptr<Arena>& ArenaPtr() const { return arena_; }
  std::uint32_t Index() const { return index_; }
  std::uint32_t Generation() const { return generation_; }
  Kind ObjectKind() const { return kind_; }
  DWORD Access() const { return access_; }

 private:
  std::shared_ptr<Arena> arena_;
  std::uint32_t index_;
  std::uint32_t generation_;
  Kind kind_;
  DWORD access_;
};

// This process and thread as recorded in the tables.
struct SelfIdentity {
  std::int32_t pid;
  std::int32_t tid;
  std::uint64_t processStart;
  std::uint64_t threadStart;
};
const SelfIdentity& Self();

// Liveness of a thread by id and start time.
bool ThreadAlive(std::int32_t pid, std::int32_t tid, std::uint64_t startTime);

// Remembers that this thread owns mutexes in the arena, so that its end
// abandons them.
void NoteMutexOwner(const std::shared_ptr<Arena>& arena);
// Abandons every mutex the calling thread owns (its end); also done by the
// thread's own exit for threads not made by CreateThread.
void AbandonThreadMutexes();

// Parses "Global\X", "Local\X", "Session\N\X" and bare names; false with the
// last error set for a bad name. A null or empty name is unnamed.
bool ParseObjectName(LPCWSTR text, ObjectName& out);

}  // namespace tw::sync
