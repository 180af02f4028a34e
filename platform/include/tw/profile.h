// Profile (INI) files: the GetPrivateProfile*/WritePrivateProfile* family and
// its win.ini forms.
//
// As on Windows: a file name without a folder lives in the Windows folder
// (C:\Windows); sections and keys compare without case; blanks around names
// and values are trimmed and one pair of matching quotes (" or ') around a
// value is removed on reading; a file that begins with the UTF-16LE byte-order
// mark is read and written as UTF-16, any other as ANSI text (the configured
// code page). Writes keep every line they do not change (comments included),
// end lines with CR LF, append new sections at the end, and are safe against
// writers in other processes. See docs/platform.md, "Profile files".
#pragma once
#include "tw/wintypes.h"

TWAPI DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                     LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
TWAPI UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName);
TWAPI DWORD GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                      LPCWSTR lpFileName);
TWAPI DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName);
TWAPI BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString, LPCWSTR lpFileName);
TWAPI BOOL WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName);

// win.ini in the Windows folder.
TWAPI DWORD GetProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault, LPWSTR lpReturnedString,
                              DWORD nSize);
TWAPI UINT GetProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault);
TWAPI BOOL WriteProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString);
