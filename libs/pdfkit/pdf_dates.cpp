#include "pdf_dates.h"

#include <windows.h>

#include <cstdio>

namespace twpdf {

PdfStamp Now() {
  SYSTEMTIME local, utc;
  GetLocalTime(&local);
  GetSystemTime(&utc);
  FILETIME lf, uf;
  SystemTimeToFileTime(&local, &lf);
  SystemTimeToFileTime(&utc, &uf);
  auto ticks = [](const FILETIME& f) { return (static_cast<long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  // The offset in whole minutes (the two clock readings are a moment apart).
  long long minutes = (ticks(lf) - ticks(uf) + 300000000LL) / 600000000LL;
  char sign = minutes < 0 ? '-' : '+';
  long long a = minutes < 0 ? -minutes : minutes;
  char pdf[64], xmp[64];
  std::snprintf(pdf, sizeof pdf, "D:%04u%02u%02u%02u%02u%02u%c%02lld'%02lld'", local.wYear, local.wMonth, local.wDay,
                local.wHour, local.wMinute, local.wSecond, sign, a / 60, a % 60);
  std::snprintf(xmp, sizeof xmp, "%04u-%02u-%02uT%02u:%02u:%02u%c%02lld:%02lld", local.wYear, local.wMonth, local.wDay,
                local.wHour, local.wMinute, local.wSecond, sign, a / 60, a % 60);
  return {pdf, xmp};
}

}  // namespace twpdf
