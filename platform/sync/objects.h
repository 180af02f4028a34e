// Private to the kernel-object area: creating, opening and operating on the
// table's objects through handles.
#pragma once
#include <functional>
#include <memory>

#include "arena.h"
#include "tw/lasterror.h"
#include "winerror.h"

namespace tw::sync {

// The access a handle gets for a requested mask (generic rights mapped).
DWORD MapAccess(Kind kind, DWORD desired);

// Makes a new object of that kind, or opens the existing one of that name
// (last error ERROR_ALREADY_EXISTS, init not run). init runs on a new record
// under the table lock. Returns the handle or null with the last error set.
HANDLE CreateObject(Kind kind, LPCWSTR name, DWORD access, const std::function<void(ObjectRecord&)>& init);
// Opens an existing named object: ERROR_FILE_NOT_FOUND when there is none,
// ERROR_INVALID_HANDLE when the name belongs to another kind of object.
HANDLE OpenObject(Kind kind, LPCWSTR name, DWORD access);

// The object of a handle if it is of that kind (else null, ERROR_INVALID_HANDLE).
std::shared_ptr<ArenaObject> LookupObject(HANDLE handle, Kind kind);

// Runs op on the handle's record under the table lock after checking the
// kind and the handle's access (ERROR_ACCESS_DENIED).
BOOL WithRecord(HANDLE handle, Kind kind, DWORD neededAccess,
                const std::function<BOOL(Arena::Lock&, ObjectRecord&)>& op);

// Signalling operations on a locked record (false with the last error set).
bool ReleaseMutexLocked(ObjectRecord& mutex);
void SetEventLocked(ObjectRecord& event);
bool ReleaseSemaphoreLocked(ObjectRecord& semaphore, LONG count, LONG* previous);

// Takes ownership of a free mutex for the calling thread (or recurses);
// returns whether it had been abandoned.
bool AcquireMutexLocked(const std::shared_ptr<Arena>& arena, ObjectRecord& mutex);

}  // namespace tw::sync
