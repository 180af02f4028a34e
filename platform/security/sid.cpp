// Security identifiers: allocation, comparison and the string forms.
#include <cstdio>
#include <cstring>
#include <string>

#include "sd_parts.h"
#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/memory.h"
#include "tw/root.h"
#include "tw/token.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::security {
namespace {

constexpr size_t kSidHeader = 8;

struct Alias {
  const char16_t* code;
  const char16_t* sid;
};

// The SDDL aliases of the well-known accounts.
constexpr Alias kAliases[] = {
    {u"WD", u"S-1-1-0"},      {u"CO", u"S-1-3-0"},      {u"CG", u"S-1-3-1"},       {u"NU", u"S-1-5-2"},
    {u"IU", u"S-1-5-4"},      {u"SU", u"S-1-5-6"},      {u"AN", u"S-1-5-7"},       {u"PS", u"S-1-5-10"},
    {u"AU", u"S-1-5-11"},     {u"RC", u"S-1-5-12"},     {u"SY", u"S-1-5-18"},      {u"LS", u"S-1-5-19"},
    {u"NS", u"S-1-5-20"},     {u"BA", u"S-1-5-32-544"}, {u"BU", u"S-1-5-32-545"},  {u"BG", u"S-1-5-32-546"},
    {u"PU", u"S-1-5-32-547"}, {u"RD", u"S-1-5-32-555"}, {u"AC", u"S-1-15-2-1"},    {u"LW", u"S-1-16-4096"},
    {u"ME", u"S-1-16-8192"},  {u"HI", u"S-1-16-12288"}, {u"SI", u"S-1-16-16384"},
};

struct Account {
  const char16_t* name;
  const char16_t* sid;
};

constexpr Account kAccounts[] = {
    {u"EVERYONE", u"S-1-1-0"},         {u"SYSTEM", u"S-1-5-18"},          {u"LOCAL SYSTEM", u"S-1-5-18"},
    {u"NT AUTHORITY\\SYSTEM", u"S-1-5-18"}, {u"ADMINISTRATORS", u"S-1-5-32-544"},
    {u"BUILTIN\\ADMINISTRATORS", u"S-1-5-32-544"}, {u"USERS", u"S-1-5-32-545"},
    {u"BUILTIN\\USERS", u"S-1-5-32-545"}, {u"AUTHENTICATED USERS", u"S-1-5-11"},
    {u"CREATOR OWNER", u"S-1-3-0"},    {u"LOCAL SERVICE", u"S-1-5-19"},   {u"NETWORK SERVICE", u"S-1-5-20"},
};

// Parses "S-1-<authority>-<sub>..."; nullopt when malformed.
std::optional<Bytes> parseNumeric(std::u16string_view text) {
  Bytes sid = tw::token::SidToBytes(text);
  if (sid.empty()) return std::nullopt;
  return sid;
}

}  // namespace

DWORD SidLength(const void* sid, size_t limit) {
  if (!sid || limit < kSidHeader) return 0;
  auto* p = static_cast<const BYTE*>(sid);
  if (p[0] != SID_REVISION || p[1] > SID_MAX_SUB_AUTHORITIES) return 0;
  size_t length = kSidHeader + 4u * p[1];
  return length <= limit ? static_cast<DWORD>(length) : 0;
}

Bytes SidBytes(const void* sid) {
  auto* p = static_cast<const BYTE*>(sid);
  return Bytes(p, p + SidLength(sid));
}

std::u16string SidToString(const Bytes& sid) { return tw::token::SidFromBytes(sid); }

std::optional<Bytes> SidFromString(std::u16string_view text) {
  if (text.size() == 2) {
    for (const auto& alias : kAliases)
      if (tw::EqualsNoCase(text, alias.code)) return parseNumeric(alias.sid);
    return std::nullopt;
  }
  return parseNumeric(text);
}

std::optional<Bytes> SidForName(std::u16string_view name) {
  for (const auto& account : kAccounts)
    if (tw::EqualsNoCase(name, account.name)) return parseNumeric(account.sid);
  auto machine = tw::config::Get();
  std::u16string_view user = name;
  if (tw::EqualsNoCase(name, u"CURRENT_USER")) user = machine->spoolerUser;
  if (auto slash = user.rfind(u'\\'); slash != std::u16string_view::npos) user = user.substr(slash + 1);
  if (const auto* found = tw::config::FindUser(*machine, user); found && !found->sid.empty())
    return parseNumeric(found->sid);
  return std::nullopt;
}

}  // namespace tw::security

using namespace tw::security;

TWAPI BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                                    DWORD n0, DWORD n1, DWORD n2, DWORD n3, DWORD n4, DWORD n5, DWORD n6, DWORD n7,
                                    PSID* pSid) {
  if (!pIdentifierAuthority || !pSid || nSubAuthorityCount > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD length = GetSidLengthRequired(nSubAuthorityCount);
  auto* sid = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, length));
  if (!sid) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  sid[0] = SID_REVISION;
  sid[1] = nSubAuthorityCount;
  std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
  const DWORD subs[8] = {n0, n1, n2, n3, n4, n5, n6, n7};
  std::memcpy(sid + 8, subs, 4u * nSubAuthorityCount);
  *pSid = sid;
  return TRUE;
}

TWAPI PVOID FreeSid(PSID pSid) {
  if (!pSid) return nullptr;
  return LocalFree(pSid) ? pSid : nullptr;
}

TWAPI BOOL InitializeSid(PSID Sid, PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount) {
  if (!Sid || !pIdentifierAuthority || nSubAuthorityCount > SID_MAX_SUB_AUTHORITIES) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* sid = static_cast<BYTE*>(Sid);
  sid[0] = SID_REVISION;
  sid[1] = nSubAuthorityCount;
  std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
  return TRUE;
}

TWAPI DWORD GetSidLengthRequired(UCHAR nSubAuthorityCount) { return 8u + 4u * nSubAuthorityCount; }

TWAPI BOOL IsValidSid(PSID pSid) { return SidLength(pSid) ? TRUE : FALSE; }

TWAPI DWORD GetLengthSid(PSID pSid) { return SidLength(pSid); }

TWAPI BOOL EqualSid(PSID pSid1, PSID pSid2) {
  DWORD a = SidLength(pSid1), b = SidLength(pSid2);
  if (!a || !b) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return a == b && std::memcmp(pSid1, pSid2, a) == 0;
}

TWAPI BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid) {
  DWORD length = SidLength(pSourceSid);
  if (!length || !pDestinationSid) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  if (nDestinationSidLength < length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memmove(pDestinationSid, pSourceSid, length);
  return TRUE;
}

TWAPI PDWORD GetSidSubAuthority(PSID pSid, DWORD nSubAuthority) {
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<PDWORD>(static_cast<BYTE*>(pSid) + 8 + 4 * nSubAuthority);
}

TWAPI PUCHAR GetSidSubAuthorityCount(PSID pSid) {
  SetLastError(ERROR_SUCCESS);
  return static_cast<PUCHAR>(pSid) + 1;
}

TWAPI PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID pSid) {
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<PSID_IDENTIFIER_AUTHORITY>(static_cast<BYTE*>(pSid) + 2);
}

TWAPI BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid) {
  if (!StringSid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!SidLength(Sid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  std::u16string text = SidToString(SidBytes(Sid));
  auto* out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
  if (!out) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  *StringSid = out;
  return TRUE;
}

TWAPI BOOL ConvertStringSidToSidW(LPCWSTR StringSid, PSID* Sid) {
  if (!StringSid || !Sid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto sid = SidFromString(StringSid);
  if (!sid) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  auto* out = LocalAlloc(LMEM_FIXED, sid->size());
  if (!out) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::memcpy(out, sid->data(), sid->size());
  *Sid = out;
  return TRUE;
}
