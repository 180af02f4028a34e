// Global, local and heap memory. A movable block's handle is not its
// address: GlobalLock gives the address and counts locks. Handles and blocks
// are tracked so that a double free fails cleanly (ERROR_INVALID_HANDLE)
// instead of corrupting the heap, and so tests can count live blocks.
#pragma once
#include "tw/wintypes.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_NOCOMPACT 0x0010
#define GMEM_NODISCARD 0x0020
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GMEM_DISCARDABLE 0x0100
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE 0x2000
#define GMEM_INVALID_HANDLE 0x8000
#define GMEM_LOCKCOUNT 0x00FF
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LMEM_MODIFY 0x0080
#define LMEM_INVALID_HANDLE 0x8000
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010

TWAPI HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
TWAPI HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
TWAPI HGLOBAL GlobalFree(HGLOBAL hMem);
TWAPI LPVOID GlobalLock(HGLOBAL hMem);
TWAPI BOOL GlobalUnlock(HGLOBAL hMem);
TWAPI SIZE_T GlobalSize(HGLOBAL hMem);
TWAPI UINT GlobalFlags(HGLOBAL hMem);
TWAPI HGLOBAL GlobalHandle(LPCVOID pMem);

TWAPI HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
TWAPI HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags);
TWAPI HLOCAL LocalFree(HLOCAL hMem);
TWAPI LPVOID LocalLock(HLOCAL hMem);
TWAPI BOOL LocalUnlock(HLOCAL hMem);
TWAPI SIZE_T LocalSize(HLOCAL hMem);

TWAPI HANDLE GetProcessHeap(void);
TWAPI LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes);
TWAPI LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes);
TWAPI BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem);
TWAPI SIZE_T HeapSize(HANDLE hHeap, DWORD dwFlags, LPCVOID lpMem);

#define ZeroMemory(p, n) memset((p), 0, (n))
#define CopyMemory(d, s, n) memcpy((d), (s), (n))
#define MoveMemory(d, s, n) memmove((d), (s), (n))
#define FillMemory(p, n, v) memset((p), (v), (n))
