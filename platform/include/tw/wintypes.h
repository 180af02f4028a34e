// Basic Win32 types with the x64 (LLP64) Windows layouts.
//
// LONG and ULONG are 32-bit here, as on Windows; never use the C type `long`
// in a record shared with other programs. WCHAR is char16_t (UTF-16), so wide
// literals are written u"...".
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define APIENTRY
#define CALLBACK
#define WINAPIV
#define STDAPI extern "C" HRESULT
#define CONST const
#define VOID void

// Functions exported by libtwplatform.so with C linkage (the names modules
// find with GetProcAddress on a built-in module are these).
#define TWAPI extern "C" __attribute__((visibility("default")))
// C++-linkage exports (overloads of CRT names that clash with glibc's).
#define TWCPPAPI __attribute__((visibility("default")))

typedef std::uint8_t BYTE, *PBYTE, *LPBYTE;
typedef std::uint16_t WORD, *PWORD, *LPWORD;
typedef std::uint32_t DWORD, *PDWORD, *LPDWORD;
typedef std::int32_t BOOL, *PBOOL, *LPBOOL;
typedef std::int32_t LONG, *PLONG, *LPLONG;
typedef std::uint32_t ULONG, *PULONG;
typedef std::int32_t INT, *PINT, *LPINT;
typedef std::uint32_t UINT, *PUINT;
typedef std::int16_t SHORT;
typedef std::uint16_t USHORT;
typedef char CHAR, *PCHAR, *LPSTR, *PSTR;
typedef const char *LPCSTR, *PCSTR;
typedef unsigned char UCHAR, *PUCHAR;
typedef char16_t WCHAR, *PWCHAR, *LPWSTR, *PWSTR;
typedef const char16_t *LPCWSTR, *PCWSTR;
typedef WCHAR TCHAR, *LPTSTR;
typedef const WCHAR *LPCTSTR;
typedef std::int64_t LONGLONG, INT64, *PLONGLONG;
typedef std::uint64_t ULONGLONG, UINT64, DWORD64, QWORD, *PULONGLONG;
typedef std::uintptr_t ULONG_PTR, DWORD_PTR, UINT_PTR, SIZE_T, *PULONG_PTR, *PSIZE_T;
typedef std::intptr_t LONG_PTR, INT_PTR, SSIZE_T;
typedef float FLOAT;
typedef double DOUBLE;
typedef void *PVOID, *LPVOID;
typedef const void *LPCVOID;
typedef BYTE BOOLEAN;
typedef LONG HRESULT;
typedef LONG NTSTATUS;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef DWORD LCID;
typedef DWORD COLORREF, *LPCOLORREF;
typedef DWORD ACCESS_MASK, REGSAM;
typedef ULONG_PTR HCRYPTPROV;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// Handles. STRICT-style distinct pointer types so that a brush cannot be
// passed where a key is expected.
typedef void *HANDLE, **PHANDLE, **LPHANDLE;
#define DECLARE_HANDLE(name) \
  struct name##__ {          \
    int unused;              \
  };                         \
  typedef struct name##__ *name
DECLARE_HANDLE(HKEY);
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HGDIOBJ_);  // not used: HGDIOBJ is void* as on Windows
DECLARE_HANDLE(HPEN);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HPALETTE);
DECLARE_HANDLE(HRGN);
DECLARE_HANDLE(HENHMETAFILE);
DECLARE_HANDLE(HMETAFILE);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HRSRC);
DECLARE_HANDLE(HCURSOR_);
typedef HKEY *PHKEY;
typedef HINSTANCE HMODULE;
typedef HANDLE HGLOBAL, HLOCAL, HGDIOBJ;
typedef HICON HCURSOR;
typedef void *HCOLORSPACE;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#define HIBYTE(w) ((BYTE)((((DWORD_PTR)(w)) >> 8) & 0xff))
#define MAKEWORD(a, b) ((WORD)(((BYTE)(((DWORD_PTR)(a)) & 0xff)) | ((WORD)((BYTE)(((DWORD_PTR)(b)) & 0xff))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;
static_assert(sizeof(LARGE_INTEGER) == 8);

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;
static_assert(sizeof(FILETIME) == 8);

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;
static_assert(sizeof(SYSTEMTIME) == 16);

typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
static_assert(sizeof(GUID) == 16);

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24);

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *PPOINT, *LPPOINT;
typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *PSIZE, *LPSIZE, SIZEL, *PSIZEL;
typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *PRECT, *LPRECT, RECTL, *PRECTL, *LPRECTL;
typedef const RECT *LPCRECT;
typedef struct _POINTL {
  LONG x;
  LONG y;
} POINTL, *PPOINTL;
typedef struct tagPOINTS {
  SHORT x;
  SHORT y;
} POINTS, *PPOINTS;
static_assert(sizeof(POINT) == 8 && sizeof(RECT) == 16 && sizeof(SIZE) == 8 && sizeof(POINTS) == 4);
