// The process-wide kernel handle table.
#include <atomic>
#include <mutex>
#include <unordered_map>

#include "tw/debug.h"
#include "tw/handles.h"
#include "tw/kobject.h"
#include "tw/lasterror.h"
#include "winerror.h"

namespace tw::kernel {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<ULONG_PTR, std::shared_ptr<KernelObject>> objects;
  // Handle values are multiples of 4, as on Windows, and are not reused soon
  // after being closed, so a stale handle fails instead of naming a new object.
  ULONG_PTR next = 0x1000;
};

Table& table() {
  static Table* t = new Table;  // outlives static destructors that close handles
  return *t;
}

std::atomic<PseudoResolver> g_pseudo{nullptr};

bool isPseudo(HANDLE h) { return h == GetCurrentProcess() || h == GetCurrentThread(); }

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto& t = table();
  ULONG_PTR value;
  {
    std::lock_guard lock(t.mutex);
    do {
      value = t.next;
      t.next += 4;
      if (t.next >= 0x7FFFFFF0) t.next = 0x1000;
    } while (t.objects.count(value));
    t.objects.emplace(value, std::move(object));
  }
  tw::debug::Add(tw::debug::Counter::KernelHandles, 1);
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  if (isPseudo(handle)) {
    if (auto resolver = g_pseudo.load()) {
      if (auto object = resolver(handle)) return object;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<ULONG_PTR>(handle));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> object;  // released outside the lock
  {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == t.objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    object = std::move(it->second);
    t.objects.erase(it);
  }
  tw::debug::Add(tw::debug::Counter::KernelHandles, -1);
  return true;
}

void SetPseudoHandleResolver(PseudoResolver resolver) { g_pseudo.store(resolver); }

}  // namespace tw::kernel

TWAPI HANDLE GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
TWAPI HANDLE GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

TWAPI BOOL CloseHandle(HANDLE hObject) {
  if (hObject == GetCurrentProcess() || hObject == GetCurrentThread()) return TRUE;  // pseudo handles
  return tw::kernel::RemoveHandle(hObject) ? TRUE : FALSE;
}

TWAPI BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                           LPHANDLE lpTargetHandle, DWORD, BOOL, DWORD dwOptions) {
  // Only duplication within this process is possible.
  if (hSourceProcessHandle != GetCurrentProcess() || hTargetProcessHandle != GetCurrentProcess()) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  auto object = tw::kernel::LookupHandle(hSourceHandle);
  if (!object) return FALSE;
  HANDLE copy = tw::kernel::InsertHandle(object);
  if (!copy) return FALSE;
  if (lpTargetHandle) *lpTargetHandle = copy;
  else CloseHandle(copy);
  if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
  return TRUE;
}
