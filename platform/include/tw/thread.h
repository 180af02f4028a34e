// Threads, thread-local storage, sleeping and the ids of the current process
// and thread. Thread ids are the Linux thread ids; process ids the Linux
// process ids. Sleep and every finite wait are scaled by TW_TIME_SCALE.
#pragma once
#include "tw/wintypes.h"

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

#ifndef CREATE_SUSPENDED
#define CREATE_SUSPENDED 0x00000004
#endif
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

#define THREAD_TERMINATE 0x0001
#define THREAD_SUSPEND_RESUME 0x0002
#define THREAD_GET_CONTEXT 0x0008
#define THREAD_SET_CONTEXT 0x0010
#define THREAD_QUERY_INFORMATION 0x0040
#define THREAD_SET_INFORMATION 0x0020
#define THREAD_QUERY_LIMITED_INFORMATION 0x0800
#define THREAD_ALL_ACCESS 0x1FFFFF

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu
#define TLS_MINIMUM_AVAILABLE 64

// The new thread gets DLL_THREAD_ATTACH in every loaded module before
// lpStartAddress runs and DLL_THREAD_DETACH after it returns (or calls
// ExitThread); its handle is signalled when it has ended.
TWAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                          LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                          LPDWORD lpThreadId);
// Runs the thread's unwinding (C++ destructors on its stack run) and ends it.
TWAPI __attribute__((noreturn)) void ExitThread(DWORD dwExitCode);
// STILL_ACTIVE while the thread runs.
TWAPI BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Starts a thread made with CREATE_SUSPENDED; returns the previous suspend
// count ((DWORD)-1 on failure).
TWAPI DWORD ResumeThread(HANDLE hThread);
TWAPI DWORD GetThreadId(HANDLE Thread);
TWAPI int GetThreadPriority(HANDLE hThread);
TWAPI BOOL SetThreadPriority(HANDLE hThread, int nPriority);

TWAPI DWORD GetCurrentThreadId(void);
TWAPI DWORD GetCurrentProcessId(void);

TWAPI void Sleep(DWORD dwMilliseconds);
// No asynchronous procedure calls exist here, so SleepEx always returns 0.
TWAPI DWORD SleepEx(DWORD dwMilliseconds, BOOL bAlertable);
TWAPI BOOL SwitchToThread(void);

// Thread-local storage: 1088 slots as on Windows; values have no destructors.
// TlsFree clears the slot's value in every thread.
TWAPI DWORD TlsAlloc(void);
TWAPI BOOL TlsFree(DWORD dwTlsIndex);
// Sets the last error to 0 on success, so a stored NULL can be told from a failure.
TWAPI LPVOID TlsGetValue(DWORD dwTlsIndex);
TWAPI BOOL TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue);
