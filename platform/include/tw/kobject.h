// Internal: the kernel handle table behind HANDLE values. Each area derives
// its objects from KernelObject and inserts them here; CloseHandle removes
// the handle and the object dies with its last reference.
#pragma once
#include <memory>
#include "tw/lasterror.h"
#include "tw/wintypes.h"
#include "winerror.h"

namespace tw::kernel {

enum class ObjectType { File, Directory, Mutex, Event, Semaphore, Thread, Process, Token, FileMapping, Pipe,
                        FindFile, EventLog, CryptProvider, Other };

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  virtual ObjectType Type() const = 0;
};

TWCPPAPI HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// Null (and ERROR_INVALID_HANDLE) for an unknown handle.
TWCPPAPI std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes the handle; false (and ERROR_INVALID_HANDLE) if it was not there.
TWCPPAPI bool RemoveHandle(HANDLE handle);
// Resolves GetCurrentThread()/GetCurrentProcess() pseudo handles; set by the
// thread area.
using PseudoResolver = std::shared_ptr<KernelObject> (*)(HANDLE);
TWCPPAPI void SetPseudoHandleResolver(PseudoResolver resolver);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  auto object = LookupHandle(handle);
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (object && !typed) SetLastError(ERROR_INVALID_HANDLE);
  return typed;
}

}  // namespace tw::kernel
