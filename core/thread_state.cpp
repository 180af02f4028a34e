#include "core/thread_state.h"

#include <atomic>
#include <mutex>

#include <windows.h>

namespace tw::core {
namespace {

std::atomic<DWORD> g_slot{TLS_OUT_OF_INDEXES};
std::mutex g_slotLock;

DWORD Slot() {
  DWORD slot = g_slot.load();
  if (slot != TLS_OUT_OF_INDEXES) return slot;
  // Linked into a program rather than loaded: no process attach has run.
  std::lock_guard lock(g_slotLock);
  if (g_slot.load() == TLS_OUT_OF_INDEXES) g_slot = TlsAlloc();
  return g_slot.load();
}

void Release(THREAD_STATE* state) {
  if (!state) return;
  for (HANDLE& object : state->hCachedGdi) {
    if (object) DeleteObject(static_cast<HGDIOBJ>(object));
    object = nullptr;
  }
  if (state->pCmdHeader) GlobalFree(state->pCmdHeader);
  if (state->pszAddPortName) GlobalFree(state->pszAddPortName);
  if (state->hScratch) {
    if (state->pScratch) GlobalUnlock(state->hScratch);
    GlobalFree(state->hScratch);
  }
  GlobalFree(state);
}

}  // namespace

BOOL ThreadStateAttachProcess() {
  std::lock_guard lock(g_slotLock);
  if (g_slot.load() == TLS_OUT_OF_INDEXES) g_slot = TlsAlloc();
  return g_slot.load() != TLS_OUT_OF_INDEXES;
}

void ThreadStateDetachProcess() {
  ThreadStateDetachThread();
  std::lock_guard lock(g_slotLock);
  DWORD slot = g_slot.exchange(TLS_OUT_OF_INDEXES);
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
}

BOOL ThreadStateAttachThread() { return GetThreadState() != nullptr; }

void ThreadStateDetachThread() {
  DWORD slot = g_slot.load();
  if (slot == TLS_OUT_OF_INDEXES) return;
  Release(static_cast<THREAD_STATE*>(TlsGetValue(slot)));
  TlsSetValue(slot, nullptr);
}

THREAD_STATE* GetThreadState() {
  DWORD slot = Slot();
  if (slot == TLS_OUT_OF_INDEXES) return nullptr;
  auto* state = static_cast<THREAD_STATE*>(TlsGetValue(slot));
  if (state) return state;
  state = static_cast<THREAD_STATE*>(GlobalAlloc(GPTR, sizeof(THREAD_STATE)));
  if (state && !TlsSetValue(slot, state)) {
    GlobalFree(state);
    return nullptr;
  }
  return state;
}

void ClearCommandHeader() {
  THREAD_STATE* state = GetThreadState();
  if (!state) return;
  if (state->pCmdHeader) GlobalFree(state->pCmdHeader);
  state->pCmdHeader = nullptr;
  state->dwCmdHeaderFill = 0;
}

}  // namespace tw::core
