// Global, local and process-heap memory.
//
// Every block is registered, so an unknown or already freed handle fails with
// ERROR_INVALID_HANDLE instead of corrupting the heap, and the live-block
// counters let tests prove that nothing leaks.
#include "tw/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "tw/debug.h"
#include "tw/lasterror.h"
#include "winerror.h"

namespace {

// Requests beyond this are refused rather than reserved (an untrusted size
// must not take the machine's memory).
constexpr SIZE_T kMaxBlock = SIZE_T(1) << 35;

enum class Kind { Global, Local };

struct Block {
  Kind kind;
  bool moveable;
  UINT flags;
  UINT lockCount = 0;
  SIZE_T size;
  void* data;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<const void*, Block*> byHandle;  // fixed: handle == data
  std::unordered_map<const void*, Block*> byData;
};

Table& table() {
  static Table* t = new Table;  // never destroyed: blocks may be freed during static destruction
  return *t;
}

tw::debug::Counter counterOf(Kind kind) {
  return kind == Kind::Global ? tw::debug::Counter::GlobalBlocks : tw::debug::Counter::LocalBlocks;
}

void* rawAlloc(SIZE_T size, bool zero) {
  if (size > kMaxBlock) return nullptr;
  SIZE_T n = size ? size : 1;
  return zero ? std::calloc(1, n) : std::malloc(n);
}

HANDLE allocBlock(Kind kind, UINT flags, SIZE_T size) {
  bool moveable = (flags & GMEM_MOVEABLE) != 0;
  void* data = rawAlloc(size, (flags & GMEM_ZEROINIT) != 0);
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* block = new (std::nothrow) Block{kind, moveable, flags, 0, size, data};
  if (!block) {
    std::free(data);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const void* handle = moveable ? static_cast<const void*>(block) : data;
  {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    t.byHandle[handle] = block;
    t.byData[data] = block;
  }
  tw::debug::Add(counterOf(kind), 1);
  return const_cast<void*>(handle);
}

// Caller holds the table lock.
Block* findLocked(const void* handle) {
  auto& t = table();
  auto it = t.byHandle.find(handle);
  return it == t.byHandle.end() ? nullptr : it->second;
}

HANDLE freeBlock(HANDLE handle) {
  if (!handle) return nullptr;
  Block* block;
  {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    block = findLocked(handle);
    if (!block) {
      SetLastError(ERROR_INVALID_HANDLE);
      return handle;
    }
    t.byHandle.erase(handle);
    t.byData.erase(block->data);
  }
  tw::debug::Add(counterOf(block->kind), -1);
  std::free(block->data);
  delete block;
  return nullptr;
}

LPVOID lockBlock(HANDLE handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Block* block = findLocked(handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (block->moveable && block->lockCount < GMEM_LOCKCOUNT) ++block->lockCount;
  return block->data;
}

BOOL unlockBlock(HANDLE handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Block* block = findLocked(handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!block->moveable) return TRUE;
  if (block->lockCount == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--block->lockCount > 0) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

SIZE_T sizeOf(HANDLE handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Block* block = findLocked(handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return block->size;
}

HANDLE reallocBlock(HANDLE handle, SIZE_T size, UINT flags) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Block* block = findLocked(handle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (flags & GMEM_MODIFY) return handle;  // attribute change only; nothing we track changes
  // A fixed block, or a locked movable one, may move only when the caller allows it.
  bool mayMove = (flags & GMEM_MOVEABLE) || (block->moveable && block->lockCount == 0);
  if (size > block->size && !mayMove) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (size > kMaxBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* data = block->data;
  if (size > block->size || size < block->size) {
    void* moved = std::realloc(block->data, size ? size : 1);
    if (!moved) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    data = moved;
  }
  if ((flags & GMEM_ZEROINIT) && size > block->size)
    std::memset(static_cast<char*>(data) + block->size, 0, size - block->size);
  t.byData.erase(block->data);
  block->data = data;
  block->size = size;
  t.byData[data] = block;
  if (!block->moveable && data != handle) {  // a fixed block's handle is its address
    t.byHandle.erase(handle);
    t.byHandle[data] = block;
    return data;
  }
  return handle;
}

}  // namespace

TWAPI HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return allocBlock(Kind::Global, uFlags, dwBytes); }
TWAPI HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) { return reallocBlock(hMem, dwBytes, uFlags); }
TWAPI HGLOBAL GlobalFree(HGLOBAL hMem) { return freeBlock(hMem); }
TWAPI LPVOID GlobalLock(HGLOBAL hMem) { return lockBlock(hMem); }
TWAPI BOOL GlobalUnlock(HGLOBAL hMem) { return unlockBlock(hMem); }
TWAPI SIZE_T GlobalSize(HGLOBAL hMem) { return sizeOf(hMem); }

TWAPI UINT GlobalFlags(HGLOBAL hMem) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Block* block = findLocked(hMem);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return GMEM_INVALID_HANDLE;
  }
  return block->lockCount & GMEM_LOCKCOUNT;
}

TWAPI HGLOBAL GlobalHandle(LPCVOID pMem) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.byData.find(pMem);
  if (it == t.byData.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  Block* block = it->second;
  return block->moveable ? static_cast<HGLOBAL>(block) : block->data;
}

TWAPI HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) { return allocBlock(Kind::Local, uFlags, uBytes); }
TWAPI HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags) { return reallocBlock(hMem, uBytes, uFlags); }
TWAPI HLOCAL LocalFree(HLOCAL hMem) { return freeBlock(hMem); }
TWAPI LPVOID LocalLock(HLOCAL hMem) { return lockBlock(hMem); }
TWAPI BOOL LocalUnlock(HLOCAL hMem) { return unlockBlock(hMem); }
TWAPI SIZE_T LocalSize(HLOCAL hMem) { return sizeOf(hMem); }

// ---- process heap -----------------------------------------------------------

namespace {

struct HeapHeader {
  SIZE_T size;
  SIZE_T pad;  // keeps the user block 16-byte aligned
};
char g_processHeap;

struct HeapTable {
  std::mutex mutex;
  std::unordered_map<const void*, bool> live;
};
HeapTable& heapTable() {
  static HeapTable* t = new HeapTable;
  return *t;
}

HeapHeader* headerOf(LPCVOID p) {
  return reinterpret_cast<HeapHeader*>(const_cast<char*>(static_cast<const char*>(p)) - sizeof(HeapHeader));
}

// Removes p from the live set when `take` is set; false for a foreign pointer.
bool checkHeap(HANDLE heap, LPCVOID p, bool take) {
  if (heap != &g_processHeap || !p) return false;
  auto& t = heapTable();
  std::lock_guard lock(t.mutex);
  auto it = t.live.find(p);
  if (it == t.live.end()) return false;
  if (take) t.live.erase(it);
  return true;
}

void addHeap(const void* p) {
  auto& t = heapTable();
  std::lock_guard lock(t.mutex);
  t.live[p] = true;
}

}  // namespace

TWAPI HANDLE GetProcessHeap(void) { return &g_processHeap; }

TWAPI LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  if (hHeap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (dwBytes > kMaxBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* raw = (dwFlags & HEAP_ZERO_MEMORY) ? std::calloc(1, sizeof(HeapHeader) + dwBytes)
                                           : std::malloc(sizeof(HeapHeader) + dwBytes);
  if (!raw) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* header = static_cast<HeapHeader*>(raw);
  header->size = dwBytes;
  addHeap(header + 1);
  tw::debug::Add(tw::debug::Counter::HeapBlocks, 1);
  return header + 1;
}

TWAPI LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
  if (!checkHeap(hHeap, lpMem, false)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HeapHeader* header = headerOf(lpMem);
  SIZE_T old = header->size;
  if (((dwFlags & HEAP_REALLOC_IN_PLACE_ONLY) && dwBytes > old) || dwBytes > kMaxBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  checkHeap(hHeap, lpMem, true);
  auto* moved = static_cast<HeapHeader*>(std::realloc(header, sizeof(HeapHeader) + dwBytes));
  if (!moved) {
    addHeap(lpMem);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old)
    std::memset(reinterpret_cast<char*>(moved + 1) + old, 0, dwBytes - old);
  moved->size = dwBytes;
  addHeap(moved + 1);
  return moved + 1;
}

TWAPI BOOL HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
  if (!lpMem) return TRUE;
  if (!checkHeap(hHeap, lpMem, true)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::free(headerOf(lpMem));
  tw::debug::Add(tw::debug::Counter::HeapBlocks, -1);
  return TRUE;
}

TWAPI SIZE_T HeapSize(HANDLE hHeap, DWORD, LPCVOID lpMem) {
  if (!checkHeap(hHeap, lpMem, false)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<SIZE_T>(-1);
  }
  return headerOf(lpMem)->size;
}
