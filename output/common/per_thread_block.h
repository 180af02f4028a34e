// A zero-filled block per thread in a TLS slot, for the encoder libraries
// whose attach/detach routine the monitor's DllMain runs: the slot is taken at
// process attach, a thread's block at thread attach (or on first use, for
// threads older than the library), freed at thread detach; process detach
// frees the calling thread's block and the slot.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <type_traits>

namespace tw::output {

template <class T>
class PerThreadBlock {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                "the block is plain zero-filled memory");

 public:
  constexpr PerThreadBlock() = default;
  PerThreadBlock(const PerThreadBlock&) = delete;
  PerThreadBlock& operator=(const PerThreadBlock&) = delete;

  // The attach/detach routine's work for one DllMain reason.
  BOOL OnReason(DWORD reason) {
    switch (reason) {
      case DLL_PROCESS_ATTACH: return Slot() != TLS_OUT_OF_INDEXES && Get() != nullptr;
      case DLL_THREAD_ATTACH: return Get() != nullptr;
      case DLL_THREAD_DETACH: FreeThisThread(); return TRUE;
      case DLL_PROCESS_DETACH: {
        FreeThisThread();
        std::lock_guard lock(slotLock_);
        DWORD slot = slot_.exchange(TLS_OUT_OF_INDEXES);
        if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
        return TRUE;
      }
      default: return TRUE;
    }
  }

  // This thread's block, made on first use; null when none can be had.
  T* Get() {
    DWORD slot = Slot();
    if (slot == TLS_OUT_OF_INDEXES) return nullptr;
    if (auto* block = static_cast<T*>(TlsGetValue(slot))) return block;
    auto* block = static_cast<T*>(GlobalAlloc(GPTR, sizeof(T)));
    if (block && !TlsSetValue(slot, block)) {
      GlobalFree(block);
      return nullptr;
    }
    return block;
  }

 private:
  DWORD Slot() {
    DWORD slot = slot_.load();
    if (slot != TLS_OUT_OF_INDEXES) return slot;
    // Linked into a program, or used before process attach.
    std::lock_guard lock(slotLock_);
    if (slot_.load() == TLS_OUT_OF_INDEXES) slot_ = TlsAlloc();
    return slot_.load();
  }

  void FreeThisThread() {
    DWORD slot = slot_.load();
    if (slot == TLS_OUT_OF_INDEXES) return;
    if (void* block = TlsGetValue(slot)) GlobalFree(block);
    TlsSetValue(slot, nullptr);
  }

  std::atomic<DWORD> slot_{TLS_OUT_OF_INDEXES};
  std::mutex slotLock_;
};

}  // namespace tw::output
