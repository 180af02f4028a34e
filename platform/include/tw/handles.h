// Kernel handles: one process-wide table for files, kernel objects, threads,
// processes, tokens, mappings and find handles. An unknown or closed handle
// fails with ERROR_INVALID_HANDLE; it never crashes.
#pragma once
#include "tw/wintypes.h"

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002
#define HANDLE_FLAG_INHERIT 0x00000001
#define HANDLE_FLAG_PROTECT_FROM_CLOSE 0x00000002

TWAPI BOOL CloseHandle(HANDLE hObject);
TWAPI BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                           LPHANDLE lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions);
TWAPI HANDLE GetCurrentProcess(void);
TWAPI HANDLE GetCurrentThread(void);
