// The workstation query of the "Netapi32.dll" built-in module, answered from
// the machine configuration: the local computer and its workgroup, or a
// configured host and its domain. Not included by <windows.h>.
#pragma once

#include "tw/wintypes.h"

typedef DWORD NET_API_STATUS;
typedef WCHAR* LMSTR;

#define NERR_Success 0
#define PLATFORM_ID_NT 500

typedef struct _WKSTA_INFO_100 {
  DWORD wki100_platform_id;
  LMSTR wki100_computername;
  LMSTR wki100_langroup;
  DWORD wki100_ver_major;
  DWORD wki100_ver_minor;
} WKSTA_INFO_100, *PWKSTA_INFO_100, *LPWKSTA_INFO_100;

static_assert(sizeof(WKSTA_INFO_100) == 32);

// Level 100 only (other levels: ERROR_INVALID_LEVEL). `servername` null,
// empty or the local computer (with or without leading "\\") is the local
// computer; a configured host by NetBIOS or DNS name gives that host;
// anything else is ERROR_BAD_NETPATH. The block is freed with
// NetApiBufferFree.
TWAPI NET_API_STATUS NetWkstaGetInfo(LMSTR servername, DWORD level, LPBYTE* bufptr);
TWAPI NET_API_STATUS NetApiBufferFree(LPVOID Buffer);

typedef NET_API_STATUS(WINAPI* LPFN_NETWKSTAGETINFO)(LMSTR servername, DWORD level, LPBYTE* bufptr);
typedef NET_API_STATUS(WINAPI* LPFN_NETAPIBUFFERFREE)(LPVOID Buffer);
