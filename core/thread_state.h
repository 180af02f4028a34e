// Per-thread state of the monitor: the partial command header of the driver's
// stream, the Add Port dialog's name buffer and the rendering caches. One
// 128-byte block per thread, reached through one thread-local slot.
#pragma once

#include <cstddef>

#include "tw/wintypes.h"

#pragma pack(push, 8)
struct THREAD_STATE {
  BYTE* pCmdHeader;        // 16-byte block while a header is being reassembled
  DWORD dwCmdHeaderFill;   // bytes of the header received so far (0..15)
  DWORD dwReserved;
  WCHAR* pszAddPortName;   // the Add Port dialog's name buffer
  HANDLE hCachedGdi[2];    // GDI objects rendering may cache; [0] is the render bitmap
  HGLOBAL hScratch;        // rendering scratch block
  void* pScratch;          // its locked address
  BYTE bmiRenderBitmap[40];  // the BITMAPINFOHEADER the render bitmap was made from
  BYTE reserved[32];
};
#pragma pack(pop)
static_assert(sizeof(THREAD_STATE) == 128);
static_assert(offsetof(THREAD_STATE, pCmdHeader) == 0);
static_assert(offsetof(THREAD_STATE, dwCmdHeaderFill) == 8);
static_assert(offsetof(THREAD_STATE, hScratch) == 40);
static_assert(offsetof(THREAD_STATE, bmiRenderBitmap) == 56);

namespace tw::core {

// Allocates the thread-local slot (process attach). FALSE when no slot is free.
BOOL ThreadStateAttachProcess();
// Releases the calling thread's block and frees the slot (process detach).
void ThreadStateDetachProcess();
// Creates the calling thread's block (thread attach). FALSE when out of memory.
BOOL ThreadStateAttachThread();
// Releases the calling thread's block (thread detach).
void ThreadStateDetachThread();

// The calling thread's block, created on first use for threads that existed
// before the library was loaded (and the slot with it, when the library was
// linked rather than loaded). Null only when memory is exhausted.
THREAD_STATE* GetThreadState();

// Forgets the partial command header of the calling thread (start of a document).
void ClearCommandHeader();

}  // namespace tw::core
