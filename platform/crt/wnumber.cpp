// Number parsing and formatting of the wide CRT subset (wcstol, _wtoi,
// _itow_s, ...). Windows `long` is 32 bits, so the "l" functions work on LONG.
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "tw/wcrt.h"

namespace {

bool isSpace(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int digitValue(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

// Parses an integer as strtoull does: the magnitude in `value` (saturated at
// ULLONG_MAX with `overflow`), the sign, and the end. Returns false when no
// digits were found (then *end = s) or the base is invalid.
struct Parsed {
  unsigned long long value = 0;
  bool negative = false;
  bool overflow = false;
  const WCHAR* end = nullptr;
};

bool parseInteger(const WCHAR* s, int base, Parsed& out) {
  out = Parsed{};
  out.end = s;
  if (!s || base < 0 || base == 1 || base > 36) {
    errno = EINVAL;
    return false;
  }
  const WCHAR* p = s;
  while (isSpace(*p)) ++p;
  if (*p == u'-' || *p == u'+') out.negative = (*p++ == u'-');
  if ((base == 0 || base == 16) && p[0] == u'0' && (p[1] == u'x' || p[1] == u'X') && digitValue(p[2]) < 16) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = (p[0] == u'0') ? 8 : 10;
  }
  const WCHAR* digits = p;
  const unsigned long long limit = std::numeric_limits<unsigned long long>::max();
  for (int d; (d = digitValue(*p)) < base; ++p) {
    if (out.value > (limit - d) / base) out.overflow = true;
    out.value = out.overflow ? limit : out.value * base + d;
  }
  if (p == digits) return false;
  out.end = p;
  return true;
}

template <class T>
T signedResult(const WCHAR* s, WCHAR** end, int base) {
  Parsed r;
  bool ok = parseInteger(s, base, r);
  if (end) *end = const_cast<WCHAR*>(r.end);
  if (!ok) return 0;
  using U = std::make_unsigned_t<T>;
  const U maxPositive = static_cast<U>(std::numeric_limits<T>::max());
  if (r.negative) {
    if (r.overflow || r.value > maxPositive + 1ull) {
      errno = ERANGE;
      return std::numeric_limits<T>::min();
    }
    return static_cast<T>(0 - static_cast<U>(r.value));
  }
  if (r.overflow || r.value > maxPositive) {
    errno = ERANGE;
    return std::numeric_limits<T>::max();
  }
  return static_cast<T>(r.value);
}

template <class U>
U unsignedResult(const WCHAR* s, WCHAR** end, int base) {
  Parsed r;
  bool ok = parseInteger(s, base, r);
  if (end) *end = const_cast<WCHAR*>(r.end);
  if (!ok) return 0;
  if (r.overflow || r.value > std::numeric_limits<U>::max()) {
    errno = ERANGE;
    return std::numeric_limits<U>::max();
  }
  // "-1" gives the negated value, as strtoul does.
  return r.negative ? static_cast<U>(0 - static_cast<U>(r.value)) : static_cast<U>(r.value);
}

}  // namespace

LONG wcstol(const WCHAR* s, WCHAR** end, int base) { return signedResult<LONG>(s, end, base); }
ULONG wcstoul(const WCHAR* s, WCHAR** end, int base) { return unsignedResult<ULONG>(s, end, base); }
LONGLONG wcstoll(const WCHAR* s, WCHAR** end, int base) { return signedResult<LONGLONG>(s, end, base); }
ULONGLONG wcstoull(const WCHAR* s, WCHAR** end, int base) { return unsignedResult<ULONGLONG>(s, end, base); }
LONGLONG _wcstoi64(const WCHAR* s, WCHAR** end, int base) { return signedResult<LONGLONG>(s, end, base); }
ULONGLONG _wcstoui64(const WCHAR* s, WCHAR** end, int base) { return unsignedResult<ULONGLONG>(s, end, base); }

int _wtoi(const WCHAR* s) {
  if (!s) {
    errno = EINVAL;
    return 0;
  }
  return signedResult<int>(s, nullptr, 10);
}
LONG _wtol(const WCHAR* s) {
  if (!s) {
    errno = EINVAL;
    return 0;
  }
  return signedResult<LONG>(s, nullptr, 10);
}
LONGLONG _wtoi64(const WCHAR* s) {
  if (!s) {
    errno = EINVAL;
    return 0;
  }
  return signedResult<LONGLONG>(s, nullptr, 10);
}

double wcstod(const WCHAR* s, WCHAR** end) {
  if (end) *end = const_cast<WCHAR*>(s);
  if (!s) {
    errno = EINVAL;
    return 0;
  }
  // Only ASCII can be part of a number: narrow the leading ASCII run and let
  // the "C" locale's strtod parse it.
  std::string narrow;
  for (const WCHAR* p = s; *p && *p < 0x80; ++p) narrow += static_cast<char>(*p);
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  char* stop = nullptr;
  double value = strtod_l(narrow.c_str(), &stop, cLocale);
  if (end) *end = const_cast<WCHAR*>(s + (stop - narrow.c_str()));
  return value;
}

double _wtof(const WCHAR* s) { return wcstod(s, nullptr); }

namespace {

// Writes the digits of value (and a '-' when negative) into buffer.
errno_t formatInteger(ULONGLONG magnitude, bool negative, WCHAR* buffer, size_t size, int radix) {
  if (!buffer || size == 0) return EINVAL;
  buffer[0] = 0;
  if (radix < 2 || radix > 36) return EINVAL;
  WCHAR digits[66];
  size_t n = 0;
  do {
    int d = static_cast<int>(magnitude % radix);
    digits[n++] = static_cast<WCHAR>(d < 10 ? u'0' + d : u'a' + d - 10);
    magnitude /= radix;
  } while (magnitude);
  if (negative) digits[n++] = u'-';
  if (n + 1 > size) return ERANGE;
  for (size_t i = 0; i < n; ++i) buffer[i] = digits[n - 1 - i];
  buffer[n] = 0;
  return 0;
}

template <class T>
errno_t formatSigned(T value, WCHAR* buffer, size_t size, int radix) {
  using U = std::make_unsigned_t<T>;
  bool negative = radix == 10 && value < 0;
  U magnitude = negative ? static_cast<U>(0 - static_cast<U>(value)) : static_cast<U>(value);
  return formatInteger(magnitude, negative, buffer, size, radix);
}

}  // namespace

errno_t _itow_s(int value, WCHAR* buffer, size_t size, int radix) { return formatSigned(value, buffer, size, radix); }
errno_t _ltow_s(LONG value, WCHAR* buffer, size_t size, int radix) { return formatSigned(value, buffer, size, radix); }
errno_t _ultow_s(ULONG value, WCHAR* buffer, size_t size, int radix) {
  return formatInteger(value, false, buffer, size, radix);
}
errno_t _i64tow_s(LONGLONG value, WCHAR* buffer, size_t size, int radix) {
  return formatSigned(value, buffer, size, radix);
}
errno_t _ui64tow_s(ULONGLONG value, WCHAR* buffer, size_t size, int radix) {
  return formatInteger(value, false, buffer, size, radix);
}

WCHAR* _itow(int value, WCHAR* buffer, int radix) {
  formatSigned(value, buffer, 33, radix);
  return buffer;
}
WCHAR* _ltow(LONG value, WCHAR* buffer, int radix) {
  formatSigned(value, buffer, 33, radix);
  return buffer;
}
WCHAR* _ultow(ULONG value, WCHAR* buffer, int radix) {
  formatInteger(value, false, buffer, 33, radix);
  return buffer;
}
WCHAR* _i64tow(LONGLONG value, WCHAR* buffer, int radix) {
  formatSigned(value, buffer, 65, radix);
  return buffer;
}
WCHAR* _ui64tow(ULONGLONG value, WCHAR* buffer, int radix) {
  formatInteger(value, false, buffer, 65, radix);
  return buffer;
}
