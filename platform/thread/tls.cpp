// Thread-local storage slots. Each thread keeps its values in a table made on
// its first TlsSetValue; every value carries the generation of its slot, so
// TlsFree clears the slot in every thread at once (a later TlsAlloc of the same
// index starts from NULL everywhere, as on Windows).
#include <array>
#include <memory>
#include <mutex>

#include "tw/lasterror.h"
#include "tw/thread.h"
#include "winerror.h"

namespace {

constexpr DWORD kSlots = 1088;  // 64 + 1024 expansion slots, as on Windows

struct Slots {
  std::mutex mutex;
  std::array<bool, kSlots> used{};
  std::array<std::uint32_t, kSlots> generation{};  // read without the lock by the owning threads' gets
};
Slots& slots() {
  static Slots* s = new Slots;
  return *s;
}

struct Value {
  LPVOID value;
  std::uint32_t generation;
};
thread_local std::unique_ptr<Value[]> t_values;

bool Allocated(DWORD index) {
  if (index >= kSlots) return false;
  auto& s = slots();
  std::lock_guard guard(s.mutex);
  return s.used[index];
}

std::uint32_t GenerationOf(DWORD index) { return __atomic_load_n(&slots().generation[index], __ATOMIC_ACQUIRE); }

}  // namespace

TWAPI DWORD TlsAlloc(void) {
  auto& s = slots();
  std::lock_guard guard(s.mutex);
  for (DWORD i = 0; i < kSlots; ++i) {
    if (s.used[i]) continue;
    s.used[i] = true;
    return i;
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return TLS_OUT_OF_INDEXES;
}

TWAPI BOOL TlsFree(DWORD dwTlsIndex) {
  auto& s = slots();
  std::lock_guard guard(s.mutex);
  if (dwTlsIndex >= kSlots || !s.used[dwTlsIndex]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  s.used[dwTlsIndex] = false;
  __atomic_add_fetch(&s.generation[dwTlsIndex], 1, __ATOMIC_RELEASE);
  return TRUE;
}

TWAPI LPVOID TlsGetValue(DWORD dwTlsIndex) {
  if (dwTlsIndex >= kSlots) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  if (!t_values) return nullptr;
  const Value& v = t_values[dwTlsIndex];
  return v.generation == GenerationOf(dwTlsIndex) ? v.value : nullptr;
}

TWAPI BOOL TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue) {
  if (!Allocated(dwTlsIndex)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!t_values) t_values = std::make_unique<Value[]>(kSlots);
  t_values[dwTlsIndex] = {lpTlsValue, GenerationOf(dwTlsIndex)};
  return TRUE;
}
