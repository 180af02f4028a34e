// The printf family: the CRT's buffer and truncation rules around the engine
// (tw/format.h). Where the CRT would call its invalid-parameter handler these
// return -1 with errno set, and empty the buffer when the CRT would.
#include <cerrno>

#include "tw/format.h"
#include "tw/wcrt.h"

namespace {

using tw::fmt::Format;
using tw::fmt::Output;
using tw::fmt::VaArgs;

// Formats into at most `capacity` units of buffer (null: count only).
template <class C>
int run(C* buffer, size_t capacity, const C* format, va_list args) {
  Output<C> out{buffer, capacity};
  VaArgs source(args);
  return Format(out, format, source);
}

// _snwprintf: at most count units; no terminator when the output fills the
// buffer exactly; -1 when it is longer.
template <class C>
int legacySnprintf(C* buffer, size_t count, const C* format, va_list args) {
  if (!format || (!buffer && count != 0)) {
    errno = EINVAL;
    return -1;
  }
  int n = run(buffer, buffer ? count : 0, format, args);
  if (n < 0 || !buffer) return n;
  if (static_cast<size_t>(n) < count) buffer[n] = 0;
  return static_cast<size_t>(n) <= count ? n : -1;
}

// swprintf with a count: always terminated; -1 when truncated.
template <class C>
int countedSprintf(C* buffer, size_t count, const C* format, va_list args) {
  if (!format || (!buffer && count != 0)) {
    errno = EINVAL;
    return -1;
  }
  if (!buffer) return run<C>(nullptr, 0, format, args);
  if (count == 0) return -1;
  int n = run(buffer, count - 1, format, args);
  if (n < 0) {
    buffer[0] = 0;
    return -1;
  }
  if (static_cast<size_t>(n) < count) {
    buffer[n] = 0;
    return n;
  }
  buffer[count - 1] = 0;
  return -1;
}

// swprintf_s: a result that does not fit is an error (buffer emptied).
template <class C>
int secureSprintf(C* buffer, size_t size, const C* format, va_list args) {
  if (!buffer || size == 0) {
    errno = EINVAL;
    return -1;
  }
  if (!format) {
    buffer[0] = 0;
    errno = EINVAL;
    return -1;
  }
  int n = run(buffer, size - 1, format, args);
  if (n < 0) {
    buffer[0] = 0;
    return -1;
  }
  if (static_cast<size_t>(n) >= size) {
    buffer[0] = 0;
    errno = ERANGE;
    return -1;
  }
  buffer[n] = 0;
  return n;
}

// _snwprintf_s: count below size cuts the output at count units; count
// _TRUNCATE cuts at what fits; otherwise not fitting is an error.
template <class C>
int secureSnprintf(C* buffer, size_t size, size_t count, const C* format, va_list args) {
  if (count == 0 && !buffer && size == 0) return 0;
  if (!format || !buffer || size == 0) {
    if (buffer && size) buffer[0] = 0;
    errno = EINVAL;
    return -1;
  }
  if (size > count) {
    int n = run(buffer, count, format, args);
    if (n < 0) {
      buffer[0] = 0;
      return -1;
    }
    if (static_cast<size_t>(n) > count) {
      buffer[count] = 0;
      return -1;
    }
    buffer[n] = 0;
    return n;
  }
  int n = run(buffer, size - 1, format, args);
  if (n < 0) {
    buffer[0] = 0;
    return -1;
  }
  if (static_cast<size_t>(n) < size) {
    buffer[n] = 0;
    return n;
  }
  if (count == _TRUNCATE) {
    buffer[size - 1] = 0;
    return -1;
  }
  buffer[0] = 0;
  errno = ERANGE;
  return -1;
}

template <class C>
int countOnly(const C* format, va_list args) {
  if (!format) {
    errno = EINVAL;
    return -1;
  }
  return run<C>(nullptr, 0, format, args);
}

}  // namespace

#define TW_VARIADIC(call)      \
  va_list args;                \
  va_start(args, format);      \
  int result = (call);         \
  va_end(args);                \
  return result

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  return legacySnprintf(buffer, count, format, args);
}
int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  TW_VARIADIC(legacySnprintf(buffer, count, format, args));
}
int _vsnwprintf_s(WCHAR* buffer, size_t size, size_t count, const WCHAR* format, va_list args) {
  return secureSnprintf(buffer, size, count, format, args);
}
int _snwprintf_s(WCHAR* buffer, size_t size, size_t count, const WCHAR* format, ...) {
  TW_VARIADIC(secureSnprintf(buffer, size, count, format, args));
}
int vswprintf_s(WCHAR* buffer, size_t size, const WCHAR* format, va_list args) {
  return secureSprintf(buffer, size, format, args);
}
int swprintf_s(WCHAR* buffer, size_t size, const WCHAR* format, ...) {
  TW_VARIADIC(secureSprintf(buffer, size, format, args));
}
int vswprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  return countedSprintf(buffer, count, format, args);
}
int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  TW_VARIADIC(countedSprintf(buffer, count, format, args));
}
int _vscwprintf(const WCHAR* format, va_list args) { return countOnly(format, args); }
int _scwprintf(const WCHAR* format, ...) { TW_VARIADIC(countOnly(format, args)); }

// user32's wsprintfW writes at most 1024 units including the terminator.
int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
  if (!buffer || !format) return -1;
  int n = run(buffer, 1023, format, args);
  if (n < 0) {
    buffer[0] = 0;
    return -1;
  }
  if (n > 1023) n = 1023;
  buffer[n] = 0;
  return n;
}
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) { TW_VARIADIC(wvsprintfW(buffer, format, args)); }

int _vsnprintf(char* buffer, size_t count, const char* format, va_list args) {
  return legacySnprintf(buffer, count, format, args);
}
int _snprintf(char* buffer, size_t count, const char* format, ...) {
  TW_VARIADIC(legacySnprintf(buffer, count, format, args));
}
int _vsnprintf_s(char* buffer, size_t size, size_t count, const char* format, va_list args) {
  return secureSnprintf(buffer, size, count, format, args);
}
int _snprintf_s(char* buffer, size_t size, size_t count, const char* format, ...) {
  TW_VARIADIC(secureSnprintf(buffer, size, count, format, args));
}
int vsprintf_s(char* buffer, size_t size, const char* format, va_list args) {
  return secureSprintf(buffer, size, format, args);
}
int sprintf_s(char* buffer, size_t size, const char* format, ...) {
  TW_VARIADIC(secureSprintf(buffer, size, format, args));
}
int _vscprintf(const char* format, va_list args) { return countOnly(format, args); }
int _scprintf(const char* format, ...) { TW_VARIADIC(countOnly(format, args)); }
