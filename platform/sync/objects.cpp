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

HANDLE CreateObject(Kind kind, LPCWSTR name, DWORD access, const std::function<void(ObjectRecord&)>& init) {
  ObjectName parsed;
  if (!ParseObjectName(name, parsed)) return nullptr;
  auto arena = Arena::Current();
  if (!arena) return nullptr;
  std::uint32_t index;
  std::uint32_t generation;
  bool existed = false;
  {
    Arena::Lock lock(*arena);
    if (!lock.Ok()) return nullptr;
    arena->ReapLocked(lock);
    index = arena->FindLocked(parsed);
    auto& objects = arena->Tables().objects;
    if (index != kNone) {
      if (objects[index].kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      if (!arena->AddRefLocked(index)) return nullptr;
      existed = true;
    } else {
      index = arena->CreateLocked(lock, kind, parsed);
      if (index == kNone) return nullptr;
      init(objects[index]);
    }
    generation = objects[index].generation;
  }
  // Made after the lock is released: the object's destructor takes it.
  auto object = std::make_shared<ArenaObject>(arena, index, generation, kind, MapAccess(kind, access));
  HANDLE handle = tw::kernel::InsertHandle(object);
  if (!handle) return nullptr;
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE OpenObject(Kind kind, LPCWSTR name, DWORD access) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ObjectName parsed;
  if (!ParseObjectName(name, parsed)) return nullptr;
  if (parsed.name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  auto arena = Arena::Current();
  if (!arena) return nullptr;
  std::uint32_t index;
  std::uint32_t generation;
  {
    Arena::Lock lock(*arena);
    if (!lock.Ok()) return nullptr;
    arena->ReapLocked(lock);
    index = arena->FindLocked(parsed);
    if (index == kNone) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    auto& record = arena->Tables().objects[index];
    if (record.kind != kind) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (!arena->AddRefLocked(index)) return nullptr;
    generation = record.generation;
  }
  auto object = std::make_shared<ArenaObject>(arena, index, generation, kind, MapAccess(kind, access));
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
