// The host-name functions of the "wsock32.dll" built-in module.
//
// They answer from the machine configuration (config.json: computer_name,
// dns_name, address, hosts), never from the real network, so a job sees the
// same names everywhere. The functions are reached through the module, as
// the monitor loads them:
//
//   HMODULE ws = LoadLibraryW(u"wsock32.dll");
//   auto startup = reinterpret_cast<LPFN_WSASTARTUP>(GetProcAddress(ws, "WSAStartup"));
//
// They are not exported from the layer under their C names, which would
// replace the C library's functions of the same names for the whole process.
// Types follow the x64 Windows layouts. Not included by <windows.h>.
#pragma once

#include "tw/wintypes.h"

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
#define AF_INET 2
#define INADDR_NONE 0xffffffffu
#define SOCKET_ERROR (-1)

#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEAFNOSUPPORT 10047L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSAHOST_NOT_FOUND 11001L
#define WSANO_DATA 11004L

typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

// The host entry; one per thread, valid until the thread's next call.
typedef struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;
} HOSTENT, *PHOSTENT, *LPHOSTENT;

typedef struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;

static_assert(sizeof(WSADATA) == 408);
static_assert(sizeof(HOSTENT) == 32);
static_assert(sizeof(IN_ADDR) == 4);

typedef int(WINAPI* LPFN_WSASTARTUP)(WORD wVersionRequested, LPWSADATA lpWSAData);
typedef int(WINAPI* LPFN_WSACLEANUP)();
typedef int(WINAPI* LPFN_WSAGETLASTERROR)();
typedef int(WINAPI* LPFN_GETHOSTNAME)(char* name, int namelen);
typedef struct hostent*(WINAPI* LPFN_GETHOSTBYNAME)(const char* name);
typedef struct hostent*(WINAPI* LPFN_GETHOSTBYADDR)(const char* addr, int len, int type);
typedef char*(WINAPI* LPFN_INET_NTOA)(struct in_addr in);
typedef ULONG(WINAPI* LPFN_INET_ADDR)(const char* cp);

namespace tw::winsock {
// The functions behind the module's exports (for the layer's own callers).
TWCPPAPI int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
TWCPPAPI int WSACleanup();
TWCPPAPI int WSAGetLastError();
TWCPPAPI int gethostname(char* name, int namelen);
TWCPPAPI struct hostent* gethostbyname(const char* name);
TWCPPAPI struct hostent* gethostbyaddr(const char* addr, int len, int type);
TWCPPAPI char* inet_ntoa(struct in_addr in);
TWCPPAPI ULONG inet_addr(const char* cp);
}  // namespace tw::winsock
