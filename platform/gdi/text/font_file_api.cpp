// AddFontResourceExW / RemoveFontResourceExW: font files added for this
// process only (FR_PRIVATE). Fonts for every process are installed on the
// machine through fontconfig, not through this call.
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "font_registry.h"
#include "tw/lasterror.h"
#include "tw/pathmap.h"
#include "winerror.h"

using namespace tw::gdi::text;

int AddFontResourceExW(LPCWSTR name, DWORD fl, PVOID res) {
  if (!name || !*name || res || (fl & ~DWORD(FR_PRIVATE | FR_NOT_ENUM))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!(fl & FR_PRIVATE)) {
    SetLastError(ERROR_ACCESS_DENIED);  // installing for all processes is fontconfig's business
    return 0;
  }
  std::u16string path(name);
  std::filesystem::path host;
  if (DWORD error = tw::path::ToHost(path, host)) {
    SetLastError(error);
    return 0;
  }
  std::ifstream in(host, std::ios::binary);
  if (!in) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  auto bytes = std::make_shared<std::vector<BYTE>>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return AddPrivateFontFile(path, std::move(bytes));
}

BOOL RemoveFontResourceExW(LPCWSTR name, DWORD fl, PVOID pdv) {
  if (!name || !*name || pdv || !(fl & FR_PRIVATE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return RemovePrivateFontFile(name) ? TRUE : FALSE;
}
