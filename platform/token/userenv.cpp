// Userenv: the environment and profile of a token's user. The layer
// registers these as the built-in module "Userenv.dll", where the monitor
// loads them by name.
#include <algorithm>

#include "tw/lasterror.h"
#include "tw/sysinfo.h"
#include "tw/token.h"
#include "winerror.h"

namespace {

// The token's user (nullopt and ERROR_INVALID_HANDLE for a bad handle);
// a null token stands for no user at all.
bool userOf(HANDLE token, std::optional<tw::config::User>& user) {
  user.reset();
  if (!token) return true;
  auto info = tw::token::Query(token);
  if (!info) return false;
  user = info->user;
  return true;
}

const tw::module::BuiltinExport kExports[] = {
    {"ExpandEnvironmentStringsForUserW", 0, reinterpret_cast<FARPROC>(&ExpandEnvironmentStringsForUserW)},
    {"GetUserProfileDirectoryW", 0, reinterpret_cast<FARPROC>(&GetUserProfileDirectoryW)},
};

struct RegisterUserenv {
  RegisterUserenv() { tw::module::RegisterBuiltin(u"Userenv.dll", kExports); }
} g_registerUserenv;

}  // namespace

TWAPI BOOL ExpandEnvironmentStringsForUserW(HANDLE hToken, LPCWSTR lpSrc, LPWSTR lpDest, DWORD dwSize) {
  if (!lpSrc || !lpDest) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<tw::config::User> user;
  if (!userOf(hToken, user)) return FALSE;
  std::u16string expanded = tw::env::Expand(lpSrc, tw::env::UserBlock(user ? &*user : nullptr));
  if (expanded.size() + 1 > dwSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(expanded.begin(), expanded.end(), lpDest);
  lpDest[expanded.size()] = 0;
  return TRUE;
}

TWAPI BOOL GetUserProfileDirectoryW(HANDLE hToken, LPWSTR lpProfileDir, LPDWORD lpcchSize) {
  if (!hToken || !lpcchSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<tw::config::User> user;
  if (!userOf(hToken, user)) return FALSE;
  std::u16string profile;
  for (const auto& [name, value] : tw::env::UserBlock(&*user))
    if (name == u"USERPROFILE") profile = value;
  DWORD needed = static_cast<DWORD>(profile.size() + 1);
  if (!lpProfileDir || *lpcchSize < needed) {
    *lpcchSize = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(profile.begin(), profile.end(), lpProfileDir);
  lpProfileDir[profile.size()] = 0;
  *lpcchSize = needed;
  return TRUE;
}
