// Wide string helpers of the CRT subset and kernel32's lstr* copies.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tw/wcrt.h"

namespace {

inline WCHAR lowerAscii(WCHAR c) { return (c >= u'A' && c <= u'Z') ? WCHAR(c + 32) : c; }
inline WCHAR upperAscii(WCHAR c) { return (c >= u'a' && c <= u'z') ? WCHAR(c - 32) : c; }

// Length of s within size units, or size when it is not terminated there.
size_t boundedLength(const WCHAR* s, size_t size) {
  size_t n = 0;
  while (n < size && s[n]) ++n;
  return n;
}

}  // namespace

size_t wcslen(const WCHAR* s) {
  const WCHAR* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

size_t wcsnlen(const WCHAR* s, size_t maxCount) { return boundedLength(s, maxCount); }

WCHAR* wcscpy(WCHAR* dest, const WCHAR* src) {
  WCHAR* d = dest;
  while ((*d++ = *src++)) {
  }
  return dest;
}

WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count) {
  size_t i = 0;
  for (; i < count && src[i]; ++i) dest[i] = src[i];
  for (; i < count; ++i) dest[i] = 0;
  return dest;
}

WCHAR* wcscat(WCHAR* dest, const WCHAR* src) {
  wcscpy(dest + wcslen(dest), src);
  return dest;
}

WCHAR* wcsncat(WCHAR* dest, const WCHAR* src, size_t count) {
  WCHAR* d = dest + wcslen(dest);
  size_t i = 0;
  for (; i < count && src[i]; ++i) d[i] = src[i];
  d[i] = 0;
  return dest;
}

errno_t wcscpy_s(WCHAR* dest, size_t destSize, const WCHAR* src) {
  if (!dest || destSize == 0) return EINVAL;
  if (!src) {
    dest[0] = 0;
    return EINVAL;
  }
  size_t n = boundedLength(src, destSize);
  if (n == destSize) {
    dest[0] = 0;
    return ERANGE;
  }
  std::memmove(dest, src, (n + 1) * sizeof(WCHAR));
  return 0;
}

errno_t wcsncpy_s(WCHAR* dest, size_t destSize, const WCHAR* src, size_t count) {
  if (count == 0 && !dest && destSize == 0) return 0;  // allowed no-op
  if (!dest || destSize == 0) return EINVAL;
  if (count == 0) {
    dest[0] = 0;
    return 0;
  }
  if (!src) {
    dest[0] = 0;
    return EINVAL;
  }
  size_t want = boundedLength(src, count == _TRUNCATE ? destSize : count);
  if (count == _TRUNCATE && want == destSize) {
    std::memmove(dest, src, (destSize - 1) * sizeof(WCHAR));
    dest[destSize - 1] = 0;
    return STRUNCATE;
  }
  if (want >= destSize) {
    dest[0] = 0;
    return ERANGE;
  }
  std::memmove(dest, src, want * sizeof(WCHAR));
  dest[want] = 0;
  return 0;
}

errno_t wcscat_s(WCHAR* dest, size_t destSize, const WCHAR* src) {
  if (!dest || destSize == 0) return EINVAL;
  size_t used = boundedLength(dest, destSize);
  if (used == destSize || !src) {
    dest[0] = 0;
    return EINVAL;
  }
  size_t room = destSize - used;
  size_t n = boundedLength(src, room);
  if (n == room) {
    dest[0] = 0;
    return ERANGE;
  }
  std::memmove(dest + used, src, (n + 1) * sizeof(WCHAR));
  return 0;
}

errno_t wcsncat_s(WCHAR* dest, size_t destSize, const WCHAR* src, size_t count) {
  if (count == 0 && !dest && destSize == 0) return 0;
  if (!dest || destSize == 0) return EINVAL;
  size_t used = boundedLength(dest, destSize);
  if (used == destSize) {
    dest[0] = 0;
    return EINVAL;
  }
  if (count == 0) return 0;
  if (!src) {
    dest[0] = 0;
    return EINVAL;
  }
  size_t room = destSize - used;
  size_t want = boundedLength(src, count == _TRUNCATE ? room : count);
  if (count == _TRUNCATE && want == room) {
    std::memmove(dest + used, src, (room - 1) * sizeof(WCHAR));
    dest[destSize - 1] = 0;
    return STRUNCATE;
  }
  if (want >= room) {
    dest[0] = 0;
    return ERANGE;
  }
  std::memmove(dest + used, src, want * sizeof(WCHAR));
  dest[used + want] = 0;
  return 0;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b ? 0 : (*a < *b ? -1 : 1);
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) return 0;
  }
  return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  if (!a || !b) {
    errno = EINVAL;
    return 0x7fffffff;  // _NLSCMPERROR
  }
  return _wcsnicmp(a, b, _TRUNCATE);
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count) {
  if (count == 0) return 0;
  if (!a || !b) {
    errno = EINVAL;
    return 0x7fffffff;
  }
  for (size_t i = 0; i < count; ++i) {
    WCHAR x = lowerAscii(a[i]), y = lowerAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
  return 0;
}

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}
WCHAR* wcschr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}
WCHAR* wcsrchr(WCHAR* s, WCHAR c) { return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c)); }

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* find) {
  if (!*find) return s;
  size_t n = wcslen(find);
  for (; *s; ++s)
    if (*s == *find && wcsncmp(s, find, n) == 0) return s;
  return nullptr;
}
WCHAR* wcsstr(WCHAR* s, const WCHAR* find) { return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(s), find)); }

const WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set) {
  for (; *s; ++s)
    if (wcschr(set, *s)) return s;
  return nullptr;
}
WCHAR* wcspbrk(WCHAR* s, const WCHAR* set) { return const_cast<WCHAR*>(wcspbrk(static_cast<const WCHAR*>(s), set)); }

size_t wcsspn(const WCHAR* s, const WCHAR* set) {
  size_t n = 0;
  while (s[n] && wcschr(set, s[n])) ++n;
  return n;
}

size_t wcscspn(const WCHAR* s, const WCHAR* set) {
  size_t n = 0;
  while (s[n] && !wcschr(set, s[n])) ++n;
  return n;
}

WCHAR* wcstok(WCHAR* s, const WCHAR* delimiters, WCHAR** context) {
  if (!s) s = *context;
  if (!s) return nullptr;
  s += wcsspn(s, delimiters);
  if (!*s) {
    *context = s;
    return nullptr;
  }
  WCHAR* end = s + wcscspn(s, delimiters);
  if (*end) *end++ = 0;
  *context = end;
  return s;
}

WCHAR* wcstok_s(WCHAR* s, const WCHAR* delimiters, WCHAR** context) {
  if (!context || !delimiters || (!s && !*context)) {
    errno = EINVAL;
    return nullptr;
  }
  return wcstok(s, delimiters, context);
}

namespace {

errno_t mapCase(WCHAR* s, size_t size, WCHAR (*map)(WCHAR)) {
  if (!s) return EINVAL;
  size_t n = boundedLength(s, size);
  if (n == size) {
    if (size) s[0] = 0;
    return EINVAL;
  }
  for (size_t i = 0; i < n; ++i) s[i] = map(s[i]);
  return 0;
}

}  // namespace

errno_t _wcslwr_s(WCHAR* s, size_t size) { return mapCase(s, size, lowerAscii); }
errno_t _wcsupr_s(WCHAR* s, size_t size) { return mapCase(s, size, upperAscii); }

WCHAR* _wcslwr(WCHAR* s) {
  if (s)
    for (WCHAR* p = s; *p; ++p) *p = lowerAscii(*p);
  return s;
}

WCHAR* _wcsupr(WCHAR* s) {
  if (s)
    for (WCHAR* p = s; *p; ++p) *p = upperAscii(*p);
  return s;
}

WCHAR* _wcsdup(const WCHAR* s) {
  if (!s) return nullptr;
  size_t bytes = (wcslen(s) + 1) * sizeof(WCHAR);
  auto* copy = static_cast<WCHAR*>(std::malloc(bytes));
  if (!copy) {
    errno = ENOMEM;
    return nullptr;
  }
  std::memcpy(copy, s, bytes);
  return copy;
}

WCHAR* _wcsrev(WCHAR* s) {
  if (!s) return s;
  size_t n = wcslen(s);
  for (size_t i = 0; i < n / 2; ++i) {
    WCHAR t = s[i];
    s[i] = s[n - 1 - i];
    s[n - 1 - i] = t;
  }
  return s;
}

WCHAR* _wcsset(WCHAR* s, WCHAR c) {
  if (s)
    for (WCHAR* p = s; *p; ++p) *p = c;
  return s;
}

WCHAR* _wcsnset(WCHAR* s, WCHAR c, size_t count) {
  if (s)
    for (size_t i = 0; i < count && s[i]; ++i) s[i] = c;
  return s;
}

WCHAR towupper(WCHAR c) { return upperAscii(c); }
WCHAR towlower(WCHAR c) { return lowerAscii(c); }

// kernel32's copies. Windows guards them with an exception handler, so a null
// pointer gives a failure result instead of a crash; so do these.
int lstrlenW(LPCWSTR s) { return s ? static_cast<int>(wcslen(s)) : 0; }

LPWSTR lstrcpyW(LPWSTR dest, LPCWSTR src) {
  if (!dest || !src) return nullptr;
  std::memmove(dest, src, (wcslen(src) + 1) * sizeof(WCHAR));
  return dest;
}

LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR src, int count) {
  if (!dest || (!src && count > 0)) return nullptr;
  if (count <= 0) return dest;
  size_t n = boundedLength(src, static_cast<size_t>(count) - 1);
  std::memmove(dest, src, n * sizeof(WCHAR));
  dest[n] = 0;
  return dest;
}

LPWSTR lstrcatW(LPWSTR dest, LPCWSTR src) {
  if (!dest || !src) return nullptr;
  size_t used = wcslen(dest);
  std::memmove(dest + used, src, (wcslen(src) + 1) * sizeof(WCHAR));
  return dest;
}
