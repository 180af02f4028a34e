// The random owner password of a document that has only a user password.
#include "output/pdf/pdf_password.h"

#include <windows.h>
#include <wincrypt.h>

#include "core/log/tw_log.h"

namespace tw::output {

// An owner password nobody knows: 32 random bytes read as 16 UTF-16 units.
// A zero unit would end the password early, so such units are drawn again.
std::u16string RandomOwnerPassword() {
  std::u16string password;
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    Trace(u"CTWVectorPDFFile::SetPdfEncryption: no random numbers (%d)", GetLastError());
    return password;
  }
  char16_t units[16] = {};
  if (CryptGenRandom(prov, sizeof units, reinterpret_cast<BYTE*>(units))) {
    for (char16_t& unit : units) {
      for (int tries = 0; unit == 0 && tries < 64; ++tries)
        if (!CryptGenRandom(prov, sizeof unit, reinterpret_cast<BYTE*>(&unit))) break;
      if (unit == 0) unit = u'0' + static_cast<char16_t>(password.size() % 10);
      password.push_back(unit);
    }
  }
  CryptReleaseContext(prov, 0);
  return password;
}

}  // namespace tw::output
