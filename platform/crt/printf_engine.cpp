// The printf engine with the Microsoft CRT's semantics, for narrow (char) and
// wide (char16_t) output.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tw/format.h"
#include "tw/nls.h"

namespace tw::fmt {
namespace {

enum class Size { Default, Char, Short, Long32, Long64, Pointer };

struct Conversion {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;  // -1: none
  Size size = Size::Default;
  bool wideArg = false, narrowArg = false;  // h / l / w on c and s
  char conv = 0;
};

template <class C>
void pad(Output<C>& out, int count, C c) {
  for (int i = 0; i < count; ++i) out.Put(c);
}

// Emits body (units of C) in the field: sign/prefix first, zeros after them
// when zero padding, spaces before or after.
template <class C>
void emitField(Output<C>& out, const Conversion& s, const std::basic_string<C>& prefix, const std::basic_string<C>& body,
               bool zeroPad) {
  int len = static_cast<int>(prefix.size() + body.size());
  int fill = s.width > len ? s.width - len : 0;
  if (!s.left && !zeroPad) pad(out, fill, C(' '));
  for (C c : prefix) out.Put(c);
  if (!s.left && zeroPad) pad(out, fill, C('0'));
  for (C c : body) out.Put(c);
  if (s.left) pad(out, fill, C(' '));
}

template <class C>
std::basic_string<C> widenAscii(const char* s, size_t n) {
  std::basic_string<C> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out += static_cast<C>(static_cast<unsigned char>(s[i]));
  return out;
}

template <class C>
void formatInteger(Output<C>& out, const Conversion& s, ArgSource& args) {
  const bool isSigned = s.conv == 'd' || s.conv == 'i';
  std::uint64_t bits;
  switch (s.size) {
    case Size::Long64:
    case Size::Pointer:
      bits = args.Int64();
      break;
    default:
      bits = args.Int32();
      break;
  }
  bool negative = false;
  std::uint64_t magnitude;
  if (isSigned) {
    std::int64_t v;
    switch (s.size) {
      case Size::Char:
        v = static_cast<signed char>(bits);
        break;
      case Size::Short:
        v = static_cast<std::int16_t>(bits);
        break;
      case Size::Long64:
      case Size::Pointer:
        v = static_cast<std::int64_t>(bits);
        break;
      default:
        v = static_cast<std::int32_t>(bits);
        break;
    }
    negative = v < 0;
    magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  } else {
    switch (s.size) {
      case Size::Char:
        magnitude = static_cast<std::uint8_t>(bits);
        break;
      case Size::Short:
        magnitude = static_cast<std::uint16_t>(bits);
        break;
      case Size::Long64:
      case Size::Pointer:
        magnitude = bits;
        break;
      default:
        magnitude = static_cast<std::uint32_t>(bits);
        break;
    }
  }
  const unsigned base = (s.conv == 'o') ? 8 : (s.conv == 'x' || s.conv == 'X') ? 16 : 10;
  const char* digitSet = s.conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  char tmp[32];
  int n = 0;
  for (std::uint64_t m = magnitude; m; m /= base) tmp[n++] = digitSet[m % base];
  std::basic_string<C> body;
  const int precision = s.precision < 0 ? 1 : s.precision;
  for (int i = n; i < precision; ++i) body += C('0');
  for (int i = n - 1; i >= 0; --i) body += C(tmp[i]);
  if (s.alternate && base == 8 && (body.empty() || body[0] != C('0'))) body.insert(body.begin(), C('0'));
  std::basic_string<C> prefix;
  if (negative)
    prefix = C('-');
  else if (isSigned && s.plus)
    prefix = C('+');
  else if (isSigned && s.space)
    prefix = C(' ');
  if (s.alternate && base == 16 && magnitude != 0) {
    prefix += C('0');
    prefix += C(s.conv);
  }
  emitField(out, s, prefix, body, s.zero && !s.left && s.precision < 0);
}

template <class C>
void formatPointer(Output<C>& out, const Conversion& s, ArgSource& args) {
  // 16 upper-case hex digits, no prefix.
  auto v = reinterpret_cast<std::uintptr_t>(args.Pointer());
  char tmp[17];
  std::snprintf(tmp, sizeof(tmp), "%016llX", static_cast<unsigned long long>(v));
  emitField(out, s, {}, widenAscii<C>(tmp, 16), false);
}

template <class C>
void formatFloat(Output<C>& out, const Conversion& s, ArgSource& args) {
  double v = args.Double();
  const bool upper = s.conv == 'E' || s.conv == 'F' || s.conv == 'G' || s.conv == 'A';
  if (!std::isfinite(v)) {
    std::string text;
    bool negative = std::signbit(v);
    if (std::isinf(v)) {
      text = "inf";
    } else {
      std::uint64_t bits;
      std::memcpy(&bits, &v, sizeof(bits));
      const std::uint64_t quietBit = 1ull << 51, payload = bits & ((1ull << 51) - 1);
      if (!(bits & quietBit)) {
        text = "nan(snan)";
      } else if (negative && payload == 0) {
        text = "nan(ind)";  // the indeterminate value, e.g. 0.0 / 0.0
      } else {
        text = "nan";
      }
    }
    if (upper)
      for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::basic_string<C> prefix;
    if (negative)
      prefix = C('-');
    else if (s.plus)
      prefix = C('+');
    else if (s.space)
      prefix = C(' ');
    emitField(out, s, prefix, widenAscii<C>(text.data(), text.size()), false);
    return;
  }
  // Finite values: the C library's digits are the same as the CRT's
  // (correctly rounded, exponent with at least two digits).
  int precision = s.precision;
  if (precision < 0 && (s.conv == 'a' || s.conv == 'A')) precision = 13;  // the CRT's default for %a
  std::string pattern = "%";
  if (s.left) pattern += '-';
  if (s.plus) pattern += '+';
  if (s.space) pattern += ' ';
  if (s.alternate) pattern += '#';
  if (s.zero) pattern += '0';
  pattern += std::to_string(s.width);
  if (precision >= 0) pattern += "." + std::to_string(precision);
  pattern += s.conv;
  int n = std::snprintf(nullptr, 0, pattern.c_str(), v);
  if (n < 0) return;
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern.c_str(), v);
  for (int i = 0; i < n; ++i) out.Put(static_cast<C>(static_cast<unsigned char>(text[i])));
}

// Text of a %s argument in the output's width. `wide` tells what the
// argument points to. At most `limit` source units are read (a precision may
// cover a buffer that is not terminated).
template <class C>
std::basic_string<C> stringArgument(const void* p, bool wide, int limit) {
  static const char kNull[] = "(null)";
  if (!p) return widenAscii<C>(kNull, sizeof(kNull) - 1);
  const size_t max = limit < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(limit);
  if (wide) {
    const auto* w = static_cast<const char16_t*>(p);
    size_t n = 0;
    while (n < max && w[n]) ++n;
    if constexpr (sizeof(C) == 2) {
      return std::basic_string<C>(w, n);
    } else {
      if (n == 0) return {};
      int bytes = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
      std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
      if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(n), out.data(), bytes, nullptr, nullptr);
      return out;
    }
  }
  const auto* a = static_cast<const char*>(p);
  size_t n = 0;
  while (n < max && a[n]) ++n;
  if constexpr (sizeof(C) == 1) {
    return std::string(a, n);
  } else {
    if (n == 0) return {};
    int units = MultiByteToWideChar(CP_ACP, 0, a, static_cast<int>(n), nullptr, 0);
    std::u16string out(static_cast<size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, a, static_cast<int>(n), out.data(), units);
    return out;
  }
}

template <class C>
C charArgument(std::uint32_t value, bool wide) {
  if constexpr (sizeof(C) == 2) {
    if (wide) return static_cast<C>(value);
    char byte = static_cast<char>(value);
    WCHAR w = 0;
    return MultiByteToWideChar(CP_ACP, 0, &byte, 1, &w, 1) == 1 ? w : C('?');
  } else {
    if (!wide) return static_cast<C>(value);
    WCHAR w = static_cast<WCHAR>(value);
    char byte = '?';
    WideCharToMultiByte(CP_ACP, 0, &w, 1, &byte, 1, nullptr, nullptr);
    return byte;
  }
}

int invalid() {
  errno = EINVAL;
  return -1;
}

}  // namespace

template <class C>
int Format(Output<C>& out, const C* format, ArgSource& args) {
  if (!format) return invalid();
  // Which argument a plain %s / %c takes: the output's own width.
  constexpr bool kWideOutput = sizeof(C) == 2;
  for (const C* p = format; *p; ++p) {
    if (*p != C('%')) {
      out.Put(*p);
      continue;
    }
    ++p;
    Conversion s;
    for (;; ++p) {
      if (*p == C('-'))
        s.left = true;
      else if (*p == C('+'))
        s.plus = true;
      else if (*p == C(' '))
        s.space = true;
      else if (*p == C('#'))
        s.alternate = true;
      else if (*p == C('0'))
        s.zero = true;
      else
        break;
    }
    if (*p == C('*')) {
      int w = static_cast<std::int32_t>(args.Int32());
      if (w < 0) {
        s.left = true;
        w = w == INT32_MIN ? INT32_MAX : -w;
      }
      s.width = w;
      ++p;
    } else {
      for (; *p >= C('0') && *p <= C('9'); ++p) {
        if (s.width > 100000000) return invalid();
        s.width = s.width * 10 + (*p - C('0'));
      }
    }
    if (*p == C('.')) {
      ++p;
      s.precision = 0;
      if (*p == C('*')) {
        int prec = static_cast<std::int32_t>(args.Int32());
        s.precision = prec < 0 ? -1 : prec;
        ++p;
      } else {
        for (; *p >= C('0') && *p <= C('9'); ++p) {
          if (s.precision > 100000000) return invalid();
          s.precision = s.precision * 10 + (*p - C('0'));
        }
      }
    }
    // Size prefixes.
    if (*p == C('h')) {
      ++p;
      if (*p == C('h')) {
        s.size = Size::Char;
        ++p;
      } else {
        s.size = Size::Short;
      }
      s.narrowArg = true;
    } else if (*p == C('l')) {
      ++p;
      if (*p == C('l')) {
        s.size = Size::Long64;
        ++p;
      } else {
        s.size = Size::Long32;  // Windows long is 32 bits
        s.wideArg = true;
      }
    } else if (*p == C('w')) {
      ++p;
      s.wideArg = true;
    } else if (*p == C('L')) {
      ++p;  // long double is double on Windows
    } else if (*p == C('I')) {
      ++p;
      if (p[0] == C('6') && p[1] == C('4')) {
        s.size = Size::Long64;
        p += 2;
      } else if (p[0] == C('3') && p[1] == C('2')) {
        s.size = Size::Long32;
        p += 2;
      } else {
        s.size = Size::Pointer;
      }
    } else if (*p == C('z') || *p == C('t') || *p == C('j')) {
      ++p;
      s.size = Size::Long64;
    }
    const C conv = *p;
    if (!conv) return invalid();  // a lone '%' at the end
    s.conv = static_cast<char>(conv < 0x80 ? conv : 0);
    switch (conv) {
      case C('%'):
        out.Put(C('%'));
        break;
      case C('d'):
      case C('i'):
      case C('u'):
      case C('o'):
      case C('x'):
      case C('X'):
        formatInteger(out, s, args);
        break;
      case C('p'):
        formatPointer(out, s, args);
        break;
      case C('e'):
      case C('E'):
      case C('f'):
      case C('F'):
      case C('g'):
      case C('G'):
      case C('a'):
      case C('A'):
        formatFloat(out, s, args);
        break;
      case C('c'):
      case C('C'): {
        // c is the output's own width, C the other one; h/l/w say it outright.
        bool wide = s.wideArg ? true : s.narrowArg ? false : (conv == C('c')) == kWideOutput;
        std::basic_string<C> body(1, charArgument<C>(args.Int32(), wide));
        emitField(out, s, {}, body, s.zero && !s.left);
        break;
      }
      case C('s'):
      case C('S'): {
        bool wide = s.wideArg ? true : s.narrowArg ? false : (conv == C('s')) == kWideOutput;
        std::basic_string<C> body = stringArgument<C>(args.Pointer(), wide, s.precision);
        if (s.precision >= 0 && body.size() > static_cast<size_t>(s.precision)) body.resize(s.precision);
        emitField(out, s, {}, body, s.zero && !s.left);
        break;
      }
      default:
        // %n is disabled in the CRT; anything else is not a conversion.
        return invalid();
    }
  }
  return out.length > static_cast<size_t>(INT32_MAX) ? invalid() : static_cast<int>(out.length);
}

template int Format<char>(Output<char>&, const char*, ArgSource&);
template int Format<char16_t>(Output<char16_t>&, const char16_t*, ArgSource&);

}  // namespace tw::fmt
