// Security context: access tokens naming a configured user, per-thread
// impersonation, the spooler's impersonation pair (RevertToPrinterSelf /
// ImpersonatePrinterClient) and the user's environment (Userenv).
//
// A token is a kernel object (tw/kobject.h) holding the user (name, domain,
// SID string) and the session. A thread impersonates at most one token;
// a thread that does not impersonate acts as the process user
// (tw::identity::ProcessUser). Only the calling thread's impersonation can be
// read or changed (NULL or GetCurrentThread() as the thread handle).
#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "tw/module.h"
#include "tw/root.h"
#include "tw/wintypes.h"
#include "winerror.h"


typedef PVOID PSID;

#define TOKEN_ASSIGN_PRIMARY 0x0001
#define TOKEN_DUPLICATE 0x0002
#define TOKEN_IMPERSONATE 0x0004
#define TOKEN_QUERY 0x0008
#define TOKEN_QUERY_SOURCE 0x0010
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_ADJUST_GROUPS 0x0040
#define TOKEN_ADJUST_DEFAULT 0x0080
#define TOKEN_ADJUST_SESSIONID 0x0100
#define TOKEN_READ 0x00020008
#define TOKEN_ALL_ACCESS 0x000F01FF

typedef enum _TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE, *PTOKEN_TYPE;
typedef enum _SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL, *PSECURITY_IMPERSONATION_LEVEL;
typedef enum _TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenGroups,
  TokenPrivileges,
  TokenOwner,
  TokenPrimaryGroup,
  TokenDefaultDacl,
  TokenSource,
  TokenType,
  TokenImpersonationLevel,
  TokenStatistics,
  TokenRestrictedSids,
  TokenSessionId
} TOKEN_INFORMATION_CLASS, *PTOKEN_INFORMATION_CLASS;

typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;
typedef struct _TOKEN_USER {
  SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;
static_assert(sizeof(SID_AND_ATTRIBUTES) == 16 && sizeof(TOKEN_USER) == 16);

// Only the calling thread is supported: ThreadHandle is GetCurrentThread()
// (other thread handles fail with ERROR_NOT_SUPPORTED). FALSE with
// ERROR_NO_TOKEN when the thread does not impersonate.
TWAPI BOOL OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL OpenAsSelf, PHANDLE TokenHandle);
TWAPI BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
// TokenUser (TOKEN_USER followed by the SID), TokenSessionId, TokenType,
// TokenImpersonationLevel. Short buffer: ERROR_INSUFFICIENT_BUFFER (variable
// size) or ERROR_BAD_LENGTH (fixed size), with the size needed.
TWAPI BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                               LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength);
TWAPI BOOL ImpersonateLoggedOnUser(HANDLE hToken);
TWAPI BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL ImpersonationLevel);
TWAPI BOOL RevertToSelf(void);
// Thread null = the calling thread; Token null = stop impersonating.
TWAPI BOOL SetThreadToken(PHANDLE Thread, HANDLE Token);
TWAPI BOOL DuplicateToken(HANDLE ExistingTokenHandle, SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                          PHANDLE DuplicateTokenHandle);
TWAPI BOOL DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess, LPSECURITY_ATTRIBUTES lpTokenAttributes,
                            SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                            PHANDLE phNewToken);

// The spooler's pair, exported by the spooler host's built-in "Spoolss.dll"
// (see tw::token::SpoolssExports). RevertToPrinterSelf returns the thread's
// impersonation token (a new handle) and stops impersonating; null with
// ERROR_NO_TOKEN when the thread does not impersonate.
// ImpersonatePrinterClient impersonates with the token and closes it.
TWAPI HANDLE RevertToPrinterSelf(void);
TWAPI BOOL ImpersonatePrinterClient(HANDLE hToken);

// Userenv (built-in module "Userenv.dll"). Expands %NAME% with the
// environment of the token's user (null token: the system's variables only);
// unknown names stay as they are; a short buffer fails with
// ERROR_INSUFFICIENT_BUFFER. dwSize counts characters with the terminator.
TWAPI BOOL ExpandEnvironmentStringsForUserW(HANDLE hToken, LPCWSTR lpSrc, LPWSTR lpDest, DWORD dwSize);
TWAPI BOOL GetUserProfileDirectoryW(HANDLE hToken, LPWSTR lpProfileDir, LPDWORD lpcchSize);

// ---------------------------------------------------------------------------
// Internal API of the layer.
namespace tw::token {

// A new token for a configured user ("alice", "DOMAIN\alice" or a SID
// string), in the given session. Null with ERROR_NONE_MAPPED for an unknown
// user. The spooler host makes one per job for the job's user and lets the
// port thread impersonate it (ImpersonateLoggedOnUser or SetThreadToken).
TWCPPAPI HANDLE MakeUserToken(std::u16string_view user, DWORD sessionId,
                              TOKEN_TYPE type = TokenImpersonation);

struct TokenInfo {
  tw::config::User user;
  DWORD sessionId = 0;
  TOKEN_TYPE type = TokenPrimary;
  SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
};
// What a token handle holds, or nullopt (ERROR_INVALID_HANDLE).
TWCPPAPI std::optional<TokenInfo> Query(HANDLE token);
// The account the calling thread acts as: its impersonation token's user,
// else the process user. For logs that record who did something.
TWCPPAPI tw::config::User ThreadUser();
TWCPPAPI bool IsImpersonating();

// "RevertToPrinterSelf" and "ImpersonatePrinterClient", ready for the
// spooler host's tw::module::RegisterBuiltin(u"Spoolss.dll", ...).
TWCPPAPI std::span<const tw::module::BuiltinExport> SpoolssExports();

// Binary SID (revision 1, as Windows lays it out) from "S-1-5-21-...", and back.
// Empty / "" for a malformed input.
TWCPPAPI std::vector<BYTE> SidToBytes(std::u16string_view sid);
TWCPPAPI std::u16string SidFromBytes(std::span<const BYTE> bytes);

}  // namespace tw::token
