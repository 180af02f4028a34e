// Creating and opening kernel objects by name, and handle look-ups.
#include "objects.h"

#include "tw/kobject.h"
#include "tw/sync.h"
#include "tw/thread.h"

namespace tw::sync {
namespace {

DWORD AllAccess(Kind kind) {
  switch (kind) {
    case Kind::Mutex: return MUTEX_ALL_ACCESS;
    case Kind::Event: return EVENT_ALL_ACCESS;
    case Kind::Semaphore: return SEMAPHORE_ALL_ACCESS;
    case Kind::Section: return SECTION_ALL_ACCESS;
    case Kind::Thread: return THREAD_ALL_ACCESS;
    default: return 0;
  }
}

}  // namespace

DWORD MapAccess(Kind kind, DWORD desired) {
  const DWORD all = AllAccess(kind);
  if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) return all;
  DWORD access = desired & ~static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
  const bool section = kind == Kind::Section;
  if (desired & GENERIC_READ) access |= READ_CONTROL | (section ? SECTION_QUERY | SECTION_MAP_READ : 0x0001);
  if (desired & GENERIC_WRITE) access |= READ_CONTROL | (section ? SECTION_MAP_WRITE : 0x0002);
  if (desired & GENERIC_EXECUTE) access |= READ_CONTROL | (section ? SECTION_MAP_EXECUTE : SYNCHRONIZE);
  return access & all;
}

bool AcquireObject(Kind kind, const ObjectName& name, bool create, const Visit& visit, Acquired& out) {
  auto arena = Arena::Current();
  if (!arena) return false;
  Arena::Lock lock(*arena);
  if (!lock.Ok()) return false;
  if (!name.name.empty()) arena->ReapLocked(lock);  // a stale object must not be found
  std::uint32_t index = arena->FindLocked(name);
  const bool existed = index != kNone;
  auto& objects = arena->Tables().objects;
  if (existed) {
    if (objects[index].kind != kind) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (!arena->AddRefLocked(index)) return false;
  } else {
    if (!create) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
    index = arena->CreateLocked(lock, kind, name);
    if (index == kNone) return false;
  }
  auto& record = objects[index];
  if (visit && !visit(*arena, lock, record, !existed)) {
    arena->ReleaseLocked(lock, index, record.generation);
    return false;
  }
  out = {arena, index, record.generation, existed};
  return true;
}

bool ParseNameToOpen(LPCWSTR text, ObjectName& out) {
  if (!text) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!ParseObjectName(text, out)) return false;
  if (out.name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return true;
}

HANDLE CreateObject(Kind kind, LPCWSTR name, DWORD access, const std::function<void(ObjectRecord&)>& init) {
  ObjectName parsed;
  if (!ParseObjectName(name, parsed)) return nullptr;
  Acquired got;
  // Ownership and state are set on a new record only: an existing object is opened as it is.
  Visit visit = [&](Arena&, Arena::Lock&, ObjectRecord& record, bool created) {
    if (created) init(record);
    return true;
  };
  if (!AcquireObject(kind, parsed, true, visit, got)) return nullptr;
  // Made after the lock is released: the object's destructor takes it.
  auto object = std::make_shared<ArenaObject>(got.arena, got.index, got.generation, kind, MapAccess(kind, access));
  HANDLE handle = tw::kernel::InsertHandle(object);
  if (handle) SetLastError(got.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenObject(Kind kind, LPCWSTR name, DWORD access) {
  ObjectName parsed;
  Acquired got;
  if (!ParseNameToOpen(name, parsed) || !AcquireObject(kind, parsed, false, nullptr, got)) return nullptr;
  auto object = std::make_shared<ArenaObject>(got.arena, got.index, got.generation, kind, MapAccess(kind, access));
  HANDLE handle = tw::kernel::InsertHandle(object);
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

std::shared_ptr<ArenaObject> LookupObject(HANDLE handle, Kind kind) {
  auto object = std::dynamic_pointer_cast<ArenaObject>(tw::kernel::LookupHandle(handle));
  if (!object || object->ObjectKind() != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return object;
}

BOOL WithRecord(HANDLE handle, Kind kind, DWORD neededAccess,
                const std::function<BOOL(Arena::Lock&, ObjectRecord&)>& op) {
  auto object = LookupObject(handle, kind);  // outlives the lock: its destructor locks
  if (!object) return FALSE;
  if ((object->Access() & neededAccess) != neededAccess) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  Arena::Lock lock(object->ObjectArena());
  if (!lock.Ok()) return FALSE;
  auto* record = object->ObjectArena().RecordLocked(object->Index(), object->Generation());
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return op(lock, *record);
}

}  // namespace tw::sync
