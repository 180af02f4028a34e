// Files, directories and paths: the Win32 file API on the machine root, and
// the CRT's _wfopen family for text files.
//
// Windows paths map onto the root as tw/pathmap.h describes (C:\a ->
// <root>/drive_c/a, Linux absolute paths used as they are). File handles are
// kernel handles (CloseHandle closes them). Share modes are enforced between
// handles and between processes; see docs/platform.md, "Files and paths".
#pragma once
#include <cstdarg>
#include <cstdio>

#include "tw/wintypes.h"
#include "tw/access_rights.h"
#include "winerror.h"


// ---- error codes the file functions report beyond winerror.h ---------------
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif
#ifndef ERROR_INVALID_USER_BUFFER
#define ERROR_INVALID_USER_BUFFER 1784L
#endif

// ---- file-specific access rights -------------------------------------------
#define FILE_READ_DATA 0x0001
#define FILE_LIST_DIRECTORY 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_ADD_FILE 0x0002
#define FILE_APPEND_DATA 0x0004
#define FILE_ADD_SUBDIRECTORY 0x0004
#define FILE_READ_EA 0x0008
#define FILE_WRITE_EA 0x0010
#define FILE_EXECUTE 0x0020
#define FILE_TRAVERSE 0x0020
#define FILE_DELETE_CHILD 0x0040
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define FILE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FF)
#define FILE_GENERIC_READ (STANDARD_RIGHTS_READ | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA | SYNCHRONIZE)
#define FILE_GENERIC_WRITE \
  (STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | FILE_APPEND_DATA | SYNCHRONIZE)
#define FILE_GENERIC_EXECUTE (STANDARD_RIGHTS_EXECUTE | FILE_READ_ATTRIBUTES | FILE_EXECUTE | SYNCHRONIZE)

// ---- share modes and dispositions ------------------------------------------
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

// ---- attributes and flags ----------------------------------------------------
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_ATTRIBUTE_SPARSE_FILE 0x00000200
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define FILE_ATTRIBUTE_COMPRESSED 0x00000800
#define FILE_ATTRIBUTE_OFFLINE 0x00001000
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000
#define FILE_ATTRIBUTE_ENCRYPTED 0x00004000
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_NO_BUFFERING 0x20000000
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define FILE_FLAG_POSIX_SEMANTICS 0x01000000
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define FILE_FLAG_OPEN_NO_RECALL 0x00100000

// ---- file pointer, sizes, types ----------------------------------------------
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
#define FILE_TYPE_REMOTE 0x8000

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008
#define MOVEFILE_CREATE_HARDLINK 0x00000010
#define MOVEFILE_FAIL_IF_NOT_TRACKABLE 0x00000020

// ---- records (x64 layouts) ---------------------------------------------------
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    };
    PVOID Pointer;
  };
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;
static_assert(sizeof(OVERLAPPED) == 32);

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
static_assert(offsetof(WIN32_FIND_DATAW, ftLastWriteTime) == 20);
static_assert(offsetof(WIN32_FIND_DATAW, nFileSizeLow) == 32);
static_assert(offsetof(WIN32_FIND_DATAW, cFileName) == 44);
static_assert(offsetof(WIN32_FIND_DATAW, cAlternateFileName) == 564);

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;
static_assert(sizeof(WIN32_FILE_ATTRIBUTE_DATA) == 36);

// ---- handles -------------------------------------------------------------------
TWAPI HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
TWAPI BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                    LPOVERLAPPED lpOverlapped);
TWAPI BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                     LPOVERLAPPED lpOverlapped);
TWAPI DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
TWAPI BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                            DWORD dwMoveMethod);
TWAPI BOOL SetEndOfFile(HANDLE hFile);
TWAPI DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
TWAPI BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
TWAPI BOOL FlushFileBuffers(HANDLE hFile);
TWAPI DWORD GetFileType(HANDLE hFile);
TWAPI BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                       LPFILETIME lpLastWriteTime);
TWAPI BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                       const FILETIME* lpLastWriteTime);

// ---- names -----------------------------------------------------------------------
TWAPI BOOL DeleteFileW(LPCWSTR lpFileName);
TWAPI BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
TWAPI BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
TWAPI BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
TWAPI BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
TWAPI BOOL RemoveDirectoryW(LPCWSTR lpPathName);
TWAPI DWORD GetFileAttributesW(LPCWSTR lpFileName);
// The name in the ANSI code page.
TWAPI DWORD GetFileAttributesA(LPCSTR lpFileName);
TWAPI BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, LPVOID lpFileInformation);
TWAPI BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);
TWAPI HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
TWAPI BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
TWAPI BOOL FindClose(HANDLE hFindFile);
// shlwapi: TRUE when the path names an existing file or directory.
TWAPI BOOL PathFileExistsW(LPCWSTR pszPath);

// ---- directories and path names ----------------------------------------------------
TWAPI DWORD GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer, LPWSTR* lpFilePart);
TWAPI DWORD GetLongPathNameW(LPCWSTR lpszShortPath, LPWSTR lpszLongPath, DWORD cchBuffer);
// There are no 8.3 names: the long name comes back.
TWAPI DWORD GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer);
TWAPI DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer);
TWAPI BOOL SetCurrentDirectoryW(LPCWSTR lpPathName);
TWAPI UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
TWAPI UINT GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);
TWAPI UINT GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
TWAPI DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
TWAPI UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName);

// ---- CRT stream files ------------------------------------------------------------------
// _wfopen returns a real stdio FILE*: fwrite, fflush, fseek, fread and fclose
// are the C library's own. Modes as the Microsoft CRT reads them: r w a with
// + t b c n N S R T D x, and ", ccs=UTF-8" / "UTF-16LE" / "UNICODE". Text mode
// turns "\n" into "\r\n" on output (and back on input); Unicode modes convert
// between UTF-16 and the file's encoding and write the byte-order mark into a
// new or empty file. The WCHAR functions below write UTF-16 text into any
// such stream (raw UTF-16 units in binary mode, as the Microsoft CRT does).
typedef int errno_t;

#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40
#define _SH_SECURE 0x80

TWAPI FILE* _wfopen(const WCHAR* filename, const WCHAR* mode);
TWAPI FILE* _wfsopen(const WCHAR* filename, const WCHAR* mode, int shflag);
TWAPI errno_t _wfopen_s(FILE** pFile, const WCHAR* filename, const WCHAR* mode);
// 0 when the file exists (mode 0), can be written (2), read (4) or both (6);
// else -1 with errno ENOENT or EACCES.
TWAPI int _waccess(const WCHAR* path, int mode);

// C++ overloads of the wide stdio functions for WCHAR text. fputws returns 0
// or -1; fputwc the character or 0xFFFF (WEOF).
TWCPPAPI int fputws(const WCHAR* text, FILE* stream);
TWCPPAPI int fputwc(WCHAR ch, FILE* stream);
// A line up to and with its "\n" (at most count - 1 units); null at the end.
TWCPPAPI WCHAR* fgetws(WCHAR* buffer, int count, FILE* stream);
// Microsoft printf semantics (%s wide, %S narrow; see tw/wcrt.h). The units
// written, or -1.
TWCPPAPI int fwprintf(FILE* stream, const WCHAR* format, ...);
TWCPPAPI int vfwprintf(FILE* stream, const WCHAR* format, va_list args);
