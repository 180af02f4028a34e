// CryptAcquireContextW, CryptReleaseContext, CryptGenRandom over getrandom().
#include <sys/random.h>

#include <cerrno>
#include <mutex>
#include <unordered_set>

#include "tw/lasterror.h"
#include "wincrypt.h"
#include "winerror.h"

namespace {

std::mutex g_mutex;
std::unordered_set<HCRYPTPROV>& Contexts() {
  static auto* contexts = new std::unordered_set<HCRYPTPROV>;
  return *contexts;
}
HCRYPTPROV g_next = 0x43500000;

bool Known(HCRYPTPROV h) {
  std::lock_guard lock(g_mutex);
  return Contexts().count(h) != 0;
}

BOOL Fail(HRESULT error) {
  SetLastError(static_cast<DWORD>(error));
  return FALSE;
}

}  // namespace

TWAPI BOOL CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR, LPCWSTR, DWORD dwProvType, DWORD dwFlags) {
  if (!phProv) return Fail(static_cast<HRESULT>(ERROR_INVALID_PARAMETER));
  *phProv = 0;
  if (dwProvType != PROV_RSA_FULL && dwProvType != PROV_RSA_AES) return Fail(NTE_BAD_PROV_TYPE);
  if (dwFlags != CRYPT_VERIFYCONTEXT) return Fail(NTE_BAD_FLAGS);
  std::lock_guard lock(g_mutex);
  HCRYPTPROV h = ++g_next;
  Contexts().insert(h);
  *phProv = h;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

TWAPI BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  if (dwFlags != 0) return Fail(NTE_BAD_FLAGS);
  std::lock_guard lock(g_mutex);
  if (Contexts().erase(hProv) == 0) return Fail(NTE_BAD_UID);
  return TRUE;
}

TWAPI BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer) {
  if (!Known(hProv)) return Fail(NTE_BAD_UID);
  if (dwLen && !pbBuffer) return Fail(static_cast<HRESULT>(ERROR_INVALID_PARAMETER));
  DWORD done = 0;
  while (done < dwLen) {
    ssize_t got = getrandom(pbBuffer + done, dwLen - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(static_cast<HRESULT>(ERROR_GEN_FAILURE));
    }
    done += static_cast<DWORD>(got);
  }
  return TRUE;
}
