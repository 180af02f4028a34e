// The spooler's impersonation pair. The spooler host registers them as its
// built-in "Spoolss.dll" (tw::token::SpoolssExports), where the monitor
// finds them with GetProcAddress.
#include "token_state.h"
#include "tw/handles.h"
#include "tw/token.h"

TWAPI HANDLE RevertToPrinterSelf(void) { return tw::token::takeImpersonation(); }

TWAPI BOOL ImpersonatePrinterClient(HANDLE hToken) {
  if (!tw::token::Query(hToken)) return FALSE;  // ERROR_INVALID_HANDLE
  BOOL ok = tw::token::impersonate(hToken);
  CloseHandle(hToken);  // the token is the callee's in every case, as on Windows
  return ok;
}

namespace tw::token {

std::span<const tw::module::BuiltinExport> SpoolssExports() {
  static const tw::module::BuiltinExport exports[] = {
      {"RevertToPrinterSelf", 0, reinterpret_cast<FARPROC>(&RevertToPrinterSelf)},
      {"ImpersonatePrinterClient", 0, reinterpret_cast<FARPROC>(&ImpersonatePrinterClient)},
  };
  return exports;
}

}  // namespace tw::token
