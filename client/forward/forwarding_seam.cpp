// Stand-in for printer forwarding until it is built.
#include "client/forward/forwarding.h"

#include <windows.h>

BOOL WriteEndDocForPrinterForwardingToRegistry(CTWJob&) { return TRUE; }
BOOL WriteNoRedirectMsgForPrinterForwardingToRegistry(CTWJob&) { return TRUE; }
// Nobody reads the page's files yet: they do not stay behind.
BOOL WritePrinterForwardingDataToRegistry(CTWJob&, const WCHAR* pageFile, DWORD,
                                          const std::vector<std::u16string>& copyFiles) {
  if (pageFile) DeleteFileW(pageFile);
  for (const auto& f : copyFiles) DeleteFileW(f.c_str());
  return TRUE;
}
