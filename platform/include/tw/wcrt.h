// The UTF-16 C runtime subset: wide string helpers, number conversions, the
// wide (and narrow) printf family with Microsoft semantics, and the CRT time
// helpers.
//
// WCHAR is char16_t. Names that glibc also declares for wchar_t (wcslen,
// wcscpy, swprintf, wcsftime, ...) are C++ overloads taking WCHAR, so glibc's
// wchar_t functions stay usable beside them. Names glibc does not have
// (wcscpy_s, _wcsicmp, _snwprintf, ...) are plain C exports.
//
// Differences from the Microsoft CRT, on purpose:
// - Where the CRT would call the invalid-parameter handler (which ends the
//   process by default), these functions return the documented error
//   (EINVAL, ERANGE, or -1 for the printf family) and, where the CRT would
//   empty the destination, empty it. Nothing aborts.
// - Case-insensitive compares and _wcslwr/_wcsupr work as in the "C" locale:
//   they fold only A-Z / a-z (as the CRT does unless setlocale was called).
//   lstrcmpiW (tw/nls.h) is the linguistic, locale-aware comparison.
// - `long` on Windows is 32 bits: wcstol returns LONG and clamps to 32 bits,
//   %ld reads a 32-bit argument.
#pragma once

// The standard library's wide headers come first: their std:: names are
// using-declarations of glibc's functions, and must not see the WCHAR
// overloads below (libstdc++ takes the address of std::wcstol,
// std::vswprintf, ... which an overload would make ambiguous).
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <string>

#include "tw/wintypes.h"

typedef int errno_t;
typedef std::int64_t __time64_t;
#ifndef STRUNCATE
#define STRUNCATE 80
#endif
#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif

// ---------------------------------------------------------------------------
// Length, copy, concatenation
// ---------------------------------------------------------------------------
TWCPPAPI size_t wcslen(const WCHAR* s);
TWCPPAPI size_t wcsnlen(const WCHAR* s, size_t maxCount);
TWCPPAPI WCHAR* wcscpy(WCHAR* dest, const WCHAR* src);
TWCPPAPI WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count);  // pads with zeros, may not terminate
TWCPPAPI WCHAR* wcscat(WCHAR* dest, const WCHAR* src);
TWCPPAPI WCHAR* wcsncat(WCHAR* dest, const WCHAR* src, size_t count);  // always terminates

// The secure forms: 0 on success; EINVAL for a null or unterminated buffer,
// ERANGE when the result does not fit (the destination is then emptied);
// wcsncpy_s/wcsncat_s with count _TRUNCATE copy what fits and return STRUNCATE.
TWAPI errno_t wcscpy_s(WCHAR* dest, size_t destSize, const WCHAR* src);
TWAPI errno_t wcsncpy_s(WCHAR* dest, size_t destSize, const WCHAR* src, size_t count);
TWAPI errno_t wcscat_s(WCHAR* dest, size_t destSize, const WCHAR* src);
TWAPI errno_t wcsncat_s(WCHAR* dest, size_t destSize, const WCHAR* src, size_t count);

// ---------------------------------------------------------------------------
// Comparison and search
// ---------------------------------------------------------------------------
TWCPPAPI int wcscmp(const WCHAR* a, const WCHAR* b);
TWCPPAPI int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count);
// Fold A-Z to a-z only (the "C" locale), compare the lower-case forms.
TWAPI int _wcsicmp(const WCHAR* a, const WCHAR* b);
TWAPI int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count);

TWCPPAPI const WCHAR* wcschr(const WCHAR* s, WCHAR c);
TWCPPAPI WCHAR* wcschr(WCHAR* s, WCHAR c);
TWCPPAPI const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
TWCPPAPI WCHAR* wcsrchr(WCHAR* s, WCHAR c);
TWCPPAPI const WCHAR* wcsstr(const WCHAR* s, const WCHAR* find);
TWCPPAPI WCHAR* wcsstr(WCHAR* s, const WCHAR* find);
TWCPPAPI const WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set);
TWCPPAPI WCHAR* wcspbrk(WCHAR* s, const WCHAR* set);
TWCPPAPI size_t wcsspn(const WCHAR* s, const WCHAR* set);
TWCPPAPI size_t wcscspn(const WCHAR* s, const WCHAR* set);
// The standard three-argument form (as the current CRT has it).
TWCPPAPI WCHAR* wcstok(WCHAR* s, const WCHAR* delimiters, WCHAR** context);
TWAPI WCHAR* wcstok_s(WCHAR* s, const WCHAR* delimiters, WCHAR** context);

// kernel32's string functions. A null pointer counts as an empty string
// (lstrlenW returns 0; the copies return null). lstrcpynW copies at most
// count - 1 units and always terminates. lstrcmpW/lstrcmpiW are the
// linguistic comparisons of the user's locale (CompareStringW, word sort;
// lstrcmpiW with NORM_IGNORECASE), so "a" < "B" and "co-op" sorts beside
// "coop"; use _wcsicmp or CompareStringOrdinal for ordinal compares.
TWAPI int lstrlenW(LPCWSTR s);
TWAPI LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR src);
TWAPI LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR src, int count);
TWAPI LPWSTR lstrcatW(LPWSTR dest, LPCWSTR src);
TWAPI int lstrcmpW(LPCWSTR a, LPCWSTR b);
TWAPI int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// ---------------------------------------------------------------------------
// Case, duplication
// ---------------------------------------------------------------------------
// A-Z / a-z only ("C" locale); EINVAL for a null or unterminated buffer
// (emptied).
TWAPI errno_t _wcslwr_s(WCHAR* s, size_t size);
TWAPI errno_t _wcsupr_s(WCHAR* s, size_t size);
TWAPI WCHAR* _wcslwr(WCHAR* s);
TWAPI WCHAR* _wcsupr(WCHAR* s);
// malloc'ed copy (free() it); null for null.
TWAPI WCHAR* _wcsdup(const WCHAR* s);
TWAPI WCHAR* _wcsrev(WCHAR* s);
TWAPI WCHAR* _wcsset(WCHAR* s, WCHAR c);
TWAPI WCHAR* _wcsnset(WCHAR* s, WCHAR c, size_t count);

// Character classes of the "C" locale's wide functions: the Unicode classes
// of GetStringTypeW(CT_CTYPE1). towupper/towlower map A-Z / a-z only.
TWCPPAPI int iswspace(WCHAR c);
TWCPPAPI int iswdigit(WCHAR c);  // C1_DIGIT: also other scripts' digits and ² ³ ¹, as on Windows
TWCPPAPI int iswxdigit(WCHAR c);
TWCPPAPI int iswalpha(WCHAR c);
TWCPPAPI int iswalnum(WCHAR c);
TWCPPAPI int iswupper(WCHAR c);
TWCPPAPI int iswlower(WCHAR c);
TWCPPAPI int iswpunct(WCHAR c);
TWCPPAPI int iswcntrl(WCHAR c);
TWCPPAPI int iswprint(WCHAR c);
TWCPPAPI WCHAR towupper(WCHAR c);
TWCPPAPI WCHAR towlower(WCHAR c);

// ---------------------------------------------------------------------------
// Numbers
// ---------------------------------------------------------------------------
// Leading white space, an optional sign, "0x"/"0X" for base 16 (and base 0),
// a leading 0 means octal for base 0. Out of range: clamped, errno = ERANGE.
// `end` (may be null) gets the first unparsed character, or the start when
// nothing was parsed.
TWCPPAPI LONG wcstol(const WCHAR* s, WCHAR** end, int base);
TWCPPAPI ULONG wcstoul(const WCHAR* s, WCHAR** end, int base);
TWCPPAPI LONGLONG wcstoll(const WCHAR* s, WCHAR** end, int base);
TWCPPAPI ULONGLONG wcstoull(const WCHAR* s, WCHAR** end, int base);
TWAPI LONGLONG _wcstoi64(const WCHAR* s, WCHAR** end, int base);
TWAPI ULONGLONG _wcstoui64(const WCHAR* s, WCHAR** end, int base);
// Decimal, "C" locale ('.' decimal point), also "inf", "nan", hex floats.
TWCPPAPI double wcstod(const WCHAR* s, WCHAR** end);
// Decimal; out of range clamps (INT_MAX / INT_MIN ...) and sets ERANGE, as the
// current CRT does. 0 for a null pointer.
TWAPI int _wtoi(const WCHAR* s);
TWAPI LONG _wtol(const WCHAR* s);
TWAPI LONGLONG _wtoi64(const WCHAR* s);
TWAPI double _wtof(const WCHAR* s);

// Radix 2-36, digits above 9 in lower case; a negative value is written with
// a sign only for radix 10 (other radixes show the two's complement).
// EINVAL for a bad radix or buffer, ERANGE when it does not fit (emptied).
TWAPI errno_t _itow_s(int value, WCHAR* buffer, size_t size, int radix);
TWAPI errno_t _ltow_s(LONG value, WCHAR* buffer, size_t size, int radix);
TWAPI errno_t _ultow_s(ULONG value, WCHAR* buffer, size_t size, int radix);
TWAPI errno_t _i64tow_s(LONGLONG value, WCHAR* buffer, size_t size, int radix);
TWAPI errno_t _ui64tow_s(ULONGLONG value, WCHAR* buffer, size_t size, int radix);
// Unchecked forms: the buffer must hold 33 (65 for 64-bit) units.
TWAPI WCHAR* _itow(int value, WCHAR* buffer, int radix);
TWAPI WCHAR* _ltow(LONG value, WCHAR* buffer, int radix);
TWAPI WCHAR* _ultow(ULONG value, WCHAR* buffer, int radix);
TWAPI WCHAR* _i64tow(LONGLONG value, WCHAR* buffer, int radix);
TWAPI WCHAR* _ui64tow(ULONGLONG value, WCHAR* buffer, int radix);

// ---------------------------------------------------------------------------
// printf family with Microsoft semantics
// ---------------------------------------------------------------------------
// In the wide functions %s is a wide string and %S a narrow one (in the ANSI
// code page); %hs/%ls/%ws and %hc/%lc/%wc name the width explicitly; %c is a
// WCHAR, %C a narrow char. In the narrow functions it is the other way round.
// Sizes: h, hh, l (32 bits), ll, I64, I32, I (pointer size), z, t, j.
// Conversions d i u o x X c C s S p e E f F g G a A and %%. %p prints 16
// upper-case hex digits. Exponents have at least two digits ("1.5e+00", as the
// current CRT). Infinity and NaN print as "inf", "nan", "-nan(ind)" (upper
// case for E, F, G). A null %s prints "(null)". %n is refused (the CRT
// disables it). A malformed format returns -1 with errno = EINVAL.
//
// Truncation rules, as in the CRT:
// - _snwprintf / _vsnwprintf: writes at most `count` units. Returns the length
//   when it fits (no terminator when the length equals `count`), else -1 with
//   `count` units written and no terminator. buffer null and count 0: returns
//   the length needed.
// - swprintf / vswprintf (with a count): always terminates; -1 when truncated.
// - swprintf_s / vswprintf_s: too small, null buffer or size 0 → -1, errno
//   ERANGE/EINVAL, buffer emptied (the CRT would call the invalid-parameter
//   handler).
// - _snwprintf_s(buffer, size, count, ...): at most `count` units; count
//   _TRUNCATE writes what fits and returns -1 when truncated; with count below
//   size a longer output is cut at count units (terminated) and -1 returned;
//   otherwise too small → -1, ERANGE, buffer emptied.
// - _scwprintf / _vscwprintf: the length the output would have.
TWAPI int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
TWAPI int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
TWAPI int _snwprintf_s(WCHAR* buffer, size_t size, size_t count, const WCHAR* format, ...);
TWAPI int _vsnwprintf_s(WCHAR* buffer, size_t size, size_t count, const WCHAR* format, va_list args);
TWAPI int swprintf_s(WCHAR* buffer, size_t size, const WCHAR* format, ...);
TWAPI int vswprintf_s(WCHAR* buffer, size_t size, const WCHAR* format, va_list args);
TWCPPAPI int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
TWCPPAPI int vswprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
TWAPI int _scwprintf(const WCHAR* format, ...);
TWAPI int _vscwprintf(const WCHAR* format, va_list args);
// user32's wsprintfW: output limited to 1024 units (terminated); returns the
// length. (user32 knows no floating point; this one formats it like the CRT.)
TWAPI int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
TWAPI int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);

// Narrow forms (8-bit text in the ANSI code page): same rules, %s narrow.
TWAPI int _snprintf(char* buffer, size_t count, const char* format, ...);
TWAPI int _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
TWAPI int _snprintf_s(char* buffer, size_t size, size_t count, const char* format, ...);
TWAPI int _vsnprintf_s(char* buffer, size_t size, size_t count, const char* format, va_list args);
TWAPI int sprintf_s(char* buffer, size_t size, const char* format, ...);
TWAPI int vsprintf_s(char* buffer, size_t size, const char* format, va_list args);
TWAPI int _scprintf(const char* format, ...);
TWAPI int _vscprintf(const char* format, va_list args);

// ---------------------------------------------------------------------------
// Template forms for arrays (the CRT's secure template overloads)
// ---------------------------------------------------------------------------
template <size_t N>
inline errno_t wcscpy_s(WCHAR (&dest)[N], const WCHAR* src) {
  return wcscpy_s(dest, N, src);
}
template <size_t N>
inline errno_t wcsncpy_s(WCHAR (&dest)[N], const WCHAR* src, size_t count) {
  return wcsncpy_s(dest, N, src, count);
}
template <size_t N>
inline errno_t wcscat_s(WCHAR (&dest)[N], const WCHAR* src) {
  return wcscat_s(dest, N, src);
}
template <size_t N>
inline errno_t wcsncat_s(WCHAR (&dest)[N], const WCHAR* src, size_t count) {
  return wcsncat_s(dest, N, src, count);
}
template <size_t N>
inline errno_t _wcslwr_s(WCHAR (&s)[N]) {
  return _wcslwr_s(s, N);
}
template <size_t N>
inline errno_t _wcsupr_s(WCHAR (&s)[N]) {
  return _wcsupr_s(s, N);
}
template <size_t N>
inline errno_t _itow_s(int value, WCHAR (&buffer)[N], int radix) {
  return _itow_s(value, buffer, N, radix);
}
template <size_t N>
inline int swprintf_s(WCHAR (&buffer)[N], const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vswprintf_s(buffer, N, format, args);
  va_end(args);
  return n;
}
template <size_t N>
inline int _snwprintf_s(WCHAR (&buffer)[N], size_t count, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = _vsnwprintf_s(buffer, N, count, format, args);
  va_end(args);
  return n;
}
template <size_t N>
inline int sprintf_s(char (&buffer)[N], const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vsprintf_s(buffer, N, format, args);
  va_end(args);
  return n;
}

// ---------------------------------------------------------------------------
// CRT time (64-bit time_t, as the current CRT). These read the layer's clock,
// so TW_FAKE_TIME applies; glibc's time() does not see it, so use _time64.
// ---------------------------------------------------------------------------
TWAPI __time64_t _time64(__time64_t* out);
// 0 or EINVAL. Local time uses the process's time zone (TZ).
TWAPI errno_t _localtime64_s(struct tm* out, const __time64_t* t);
TWAPI errno_t _gmtime64_s(struct tm* out, const __time64_t* t);
TWAPI __time64_t _mktime64(struct tm* t);
TWAPI __time64_t _mkgmtime64(struct tm* t);
// The "C" locale's strftime with the CRT's conversions (a A b B c C d D e F g G
// h H I j m M n p r R S t T u U V w W x X y Y z Z %, and the '#' flag that drops
// leading zeros). Returns the length, or 0 (buffer emptied) when it does not
// fit or the format is invalid.
TWCPPAPI size_t wcsftime(WCHAR* buffer, size_t size, const WCHAR* format, const struct tm* t);
// "HH:MM:SS" and "MM/DD/YY" of the current local time, in at least 9 units.
TWAPI errno_t _wstrtime_s(WCHAR* buffer, size_t size);
TWAPI errno_t _wstrdate_s(WCHAR* buffer, size_t size);
TWAPI WCHAR* _wstrtime(WCHAR* buffer);
TWAPI WCHAR* _wstrdate(WCHAR* buffer);
