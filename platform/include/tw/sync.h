// Synchronisation: critical sections, interlocked operations, and the kernel
// objects that can be shared between processes by name (mutexes, events,
// semaphores, file mappings) with the wait functions.
//
// Named objects live in one table per machine root and are shared by every
// process that uses that root. Names are case-sensitive and live in the
// "Global\", "Local\" and "Session\N\" namespaces, as on Windows (see
// docs/platform.md, "Threads and kernel objects").
#pragma once
#include "tw/wintypes.h"
#include "tw/access_rights.h"


#define MUTEX_MODIFY_STATE 0x0001
#define MUTEX_ALL_ACCESS 0x1F0001
#define EVENT_QUERY_STATE 0x0001
#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS 0x1F0003
#define SEMAPHORE_QUERY_STATE 0x0001
#define SEMAPHORE_MODIFY_STATE 0x0002
#define SEMAPHORE_ALL_ACCESS 0x1F0003

#define CREATE_MUTEX_INITIAL_OWNER 0x00000001
#define CREATE_EVENT_MANUAL_RESET 0x00000001
#define CREATE_EVENT_INITIAL_SET 0x00000002

// ---- waits ---------------------------------------------------------------
#define MAXIMUM_WAIT_OBJECTS 64
#ifndef WAIT_IO_COMPLETION
#define WAIT_IO_COMPLETION 0x000000C0L
#endif

// ---- file mappings -------------------------------------------------------
#ifndef PAGE_NOACCESS
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define PAGE_WRITECOPY 0x08
#define PAGE_EXECUTE 0x10
#define PAGE_EXECUTE_READ 0x20
#define PAGE_EXECUTE_READWRITE 0x40
#define PAGE_EXECUTE_WRITECOPY 0x80
#endif
#ifndef SEC_COMMIT
#define SEC_IMAGE 0x01000000
#define SEC_RESERVE 0x04000000
#define SEC_COMMIT 0x08000000
#define SEC_NOCACHE 0x10000000
#define SEC_WRITECOMBINE 0x40000000
#define SEC_LARGE_PAGES 0x80000000
#endif
#define SECTION_QUERY 0x0001
#define SECTION_MAP_WRITE 0x0002
#define SECTION_MAP_READ 0x0004
#define SECTION_MAP_EXECUTE 0x0008
#define SECTION_EXTEND_SIZE 0x0010
#define SECTION_ALL_ACCESS 0x000F001F
#define FILE_MAP_COPY 0x00000001
#define FILE_MAP_WRITE SECTION_MAP_WRITE
#define FILE_MAP_READ SECTION_MAP_READ
#define FILE_MAP_EXECUTE 0x00000020
#define FILE_MAP_ALL_ACCESS SECTION_ALL_ACCESS

// ---- critical sections ---------------------------------------------------
// The x64 Windows layout (40 bytes). Critical sections are in-process only;
// the fields are this layer's own: LockCount is the lock word (0 free, 1 held,
// 2 held with waiters), OwningThread the owner's thread id, RecursionCount
// its depth. DebugInfo and LockSemaphore are unused.
typedef struct _RTL_CRITICAL_SECTION {
  PVOID DebugInfo;
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
  HANDLE LockSemaphore;
  ULONG_PTR SpinCount;
} RTL_CRITICAL_SECTION, CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;
static_assert(sizeof(CRITICAL_SECTION) == 40);

#define CRITICAL_SECTION_NO_DEBUG_INFO 0x01000000

TWAPI void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
TWAPI BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
TWAPI BOOL InitializeCriticalSectionEx(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount, DWORD Flags);
TWAPI DWORD SetCriticalSectionSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
TWAPI void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
TWAPI BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
TWAPI void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
TWAPI void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---- interlocked operations (full barriers, as on Windows) ---------------
inline LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* addend, LONG value) {
  return __atomic_fetch_add(addend, value, __ATOMIC_SEQ_CST);
}
// Returns the initial value of *destination; stores exchange when it equalled comperand.
inline LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comperand) {
  __atomic_compare_exchange_n(destination, &comperand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comperand;
}
inline LONGLONG InterlockedIncrement64(LONGLONG volatile* addend) {
  return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONGLONG InterlockedDecrement64(LONGLONG volatile* addend) {
  return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONGLONG InterlockedExchange64(LONGLONG volatile* target, LONGLONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONGLONG InterlockedCompareExchange64(LONGLONG volatile* destination, LONGLONG exchange, LONGLONG comperand) {
  __atomic_compare_exchange_n(destination, &comperand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comperand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* destination, PVOID exchange, PVOID comperand) {
  __atomic_compare_exchange_n(destination, &comperand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comperand;
}

// ---- mutexes, events, semaphores -----------------------------------------
// Security attributes are accepted; their descriptor is ignored (handles are
// never inherited: there is no handle inheritance across processes here).
TWAPI HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
TWAPI HANDLE CreateMutexExW(LPSECURITY_ATTRIBUTES lpMutexAttributes, LPCWSTR lpName, DWORD dwFlags,
                            DWORD dwDesiredAccess);
TWAPI HANDLE OpenMutexW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
TWAPI BOOL ReleaseMutex(HANDLE hMutex);

TWAPI HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                          LPCWSTR lpName);
TWAPI HANDLE CreateEventExW(LPSECURITY_ATTRIBUTES lpEventAttributes, LPCWSTR lpName, DWORD dwFlags,
                            DWORD dwDesiredAccess);
TWAPI HANDLE OpenEventW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
TWAPI BOOL SetEvent(HANDLE hEvent);
TWAPI BOOL ResetEvent(HANDLE hEvent);
TWAPI BOOL PulseEvent(HANDLE hEvent);

TWAPI HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                              LPCWSTR lpName);
TWAPI HANDLE CreateSemaphoreExW(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount, LONG lMaximumCount,
                                LPCWSTR lpName, DWORD dwFlags, DWORD dwDesiredAccess);
TWAPI HANDLE OpenSemaphoreW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
TWAPI BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);

// ---- waits (finite timeouts are scaled by TW_TIME_SCALE) -----------------
TWAPI DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
TWAPI DWORD WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL bAlertable);
TWAPI DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);
TWAPI DWORD WaitForMultipleObjectsEx(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds,
                                     BOOL bAlertable);
TWAPI DWORD SignalObjectAndWait(HANDLE hObjectToSignal, HANDLE hObjectToWaitOn, DWORD dwMilliseconds,
                                BOOL bAlertable);

// ---- file mappings -------------------------------------------------------
// hFile INVALID_HANDLE_VALUE: memory shared by name (the size is required);
// otherwise a file handle of the file API.
TWAPI HANDLE CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                                DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName);
TWAPI HANDLE OpenFileMappingW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
// The offset must be a multiple of 64 KiB; a view reaching past the end of the
// mapping fails with ERROR_ACCESS_DENIED. Size 0 maps to the end.
TWAPI LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                           DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap);
TWAPI LPVOID MapViewOfFileEx(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                             DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap, LPVOID lpBaseAddress);
TWAPI BOOL UnmapViewOfFile(LPCVOID lpBaseAddress);
TWAPI BOOL FlushViewOfFile(LPCVOID lpBaseAddress, SIZE_T dwNumberOfBytesToFlush);
