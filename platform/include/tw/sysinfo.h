// What the system says about itself: the process environment, the computer
// and user names, the Windows version, the package identity. Answers come
// from the machine configuration (tw/root.h, config.json in the root), never
// from the real host, so jobs are reproducible. docs/identity.md describes
// the process identity and environment.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "tw/root.h"
#include "tw/wintypes.h"
#include "winerror.h"

typedef WCHAR* LPWCH;
typedef std::uint32_t UINT32;


// ---------------------------------------------------------------------------
// Environment of the process.
TWAPI DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
// A null value deletes the variable.
TWAPI BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);
// Returns the size needed, terminator included (0 on failure); unknown
// %NAME% references stay as they are.
TWAPI DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);
// "NAME=value\0...\0\0", sorted by name; free with FreeEnvironmentStringsW.
TWAPI LPWCH GetEnvironmentStringsW(void);
TWAPI BOOL FreeEnvironmentStringsW(LPWCH penv);

// ---------------------------------------------------------------------------
// Computer and user names.
#define MAX_COMPUTERNAME_LENGTH 15
#define UNLEN 256
typedef enum _COMPUTER_NAME_FORMAT {
  ComputerNameNetBIOS,
  ComputerNameDnsHostname,
  ComputerNameDnsDomain,
  ComputerNameDnsFullyQualified,
  ComputerNamePhysicalNetBIOS,
  ComputerNamePhysicalDnsHostname,
  ComputerNamePhysicalDnsDomain,
  ComputerNamePhysicalDnsFullyQualified,
  ComputerNameMax
} COMPUTER_NAME_FORMAT;

// nSize: in = buffer size, out = length without terminator (or the size
// needed with terminator and ERROR_BUFFER_OVERFLOW).
TWAPI BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize);
// As GetComputerNameW, but a short buffer fails with ERROR_MORE_DATA.
TWAPI BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize);
// The user the calling thread impersonates, else the process user. pcbBuffer
// (characters): in = buffer size, out = length with terminator (also the size
// needed with ERROR_INSUFFICIENT_BUFFER).
TWAPI BOOL GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer);

// ---------------------------------------------------------------------------
// Version.
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003
#define VER_SUITE_SINGLEUSERTS 0x00000100

#define VER_MINORVERSION 0x0000001
#define VER_MAJORVERSION 0x0000002
#define VER_BUILDNUMBER 0x0000004
#define VER_PLATFORMID 0x0000008
#define VER_SERVICEPACKMINOR 0x0000010
#define VER_SERVICEPACKMAJOR 0x0000020
#define VER_SUITENAME 0x0000040
#define VER_PRODUCT_TYPE 0x0000080

#define VER_EQUAL 1
#define VER_GREATER 2
#define VER_GREATER_EQUAL 3
#define VER_LESS 4
#define VER_LESS_EQUAL 5
#define VER_AND 6
#define VER_OR 7

typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW;
typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;
typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;
typedef struct _OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156);
static_assert(offsetof(OSVERSIONINFOEXW, wServicePackMajor) == 276 && offsetof(OSVERSIONINFOEXW, wProductType) == 282);

// Major in the low byte, minor in the next, build in the high word.
TWAPI DWORD GetVersion(void);
// dwOSVersionInfoSize must be the size of the plain or the EX structure.
TWAPI BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
TWAPI BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
// FALSE with ERROR_OLD_WIN_VERSION when the system does not match.
TWAPI BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW lpVersionInformation, DWORD dwTypeMask,
                              ULONGLONG dwlConditionMask);
TWAPI ULONGLONG VerSetConditionMask(ULONGLONG ConditionMask, DWORD TypeMask, BYTE Condition);
#define VER_SET_CONDITION(mask, type, condition) ((mask) = VerSetConditionMask((mask), (type), (condition)))

// ---------------------------------------------------------------------------
// Package identity: APPMODEL_ERROR_NO_PACKAGE unless the configuration names
// a package ("package_full_name"). Returns an error code; the length is in
// characters with the terminator.
#define PACKAGE_FULL_NAME_MAX_LENGTH 127
TWAPI LONG GetCurrentPackageFullName(UINT32* packageFullNameLength, PWSTR packageFullName);

// ---------------------------------------------------------------------------
// Internal API of the layer.
namespace tw::identity {

// The user this process runs as: TW_USER (a configured user's name or SID)
// when set, else the configuration's spooler user ("SYSTEM"). Well-known
// accounts (SYSTEM, LOCAL SERVICE, NETWORK SERVICE) exist even when the
// configuration does not list them.
TWCPPAPI tw::config::User ProcessUser();
// The configured user with this name ("alice", "DOMAIN\alice") or SID
// ("S-1-5-..."), or nullopt.
TWCPPAPI std::optional<tw::config::User> FindAccount(std::u16string_view nameOrSid);
// The session this process belongs to: TW_SESSION_ID (default 0), as the
// kernel-object area reads it (tw::sync::CurrentSessionId).
TWCPPAPI DWORD SessionId();

}  // namespace tw::identity

namespace tw::env {

// NAME=value pairs sorted by name without regard to case, as Windows keeps them.
using Block = std::vector<std::pair<std::u16string, std::u16string>>;

// A variable of the process environment.
TWCPPAPI std::optional<std::u16string> Get(std::u16string_view name);
TWCPPAPI Block ProcessBlock();
// The environment a user's processes start with: the system's variables,
// the user's profile variables and the user's configured environment. Null
// user: the system's variables only.
TWCPPAPI Block UserBlock(const tw::config::User* user);
// %NAME% expansion with the Windows rules against a block.
TWCPPAPI std::u16string Expand(std::u16string_view text, const Block& block);
// The process environment as "TW_ENV_<NAME>=<value>" (UTF-8) entries for a
// child's Linux environment; the child's environment starts from them.
TWCPPAPI std::vector<std::string> ChildVariables();

}  // namespace tw::env

#include "tw/token.h"
