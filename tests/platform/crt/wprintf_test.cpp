// The printf family with the Microsoft CRT's semantics: %s wide and %S
// narrow, sizes (l is 32 bits, I64, I), flags and precision, the CRT's
// floating-point texts, and the different truncation rules of _snwprintf,
// swprintf, swprintf_s and _snwprintf_s.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <string>

#include "tw_test.h"
#include "windows.h"

namespace {

template <class... A>
std::u16string F(const WCHAR* format, A... args) {
  WCHAR buf[512];
  int n = swprintf_s(buf, 512, format, args...);
  EXPECT_GE(n, 0) << "format failed";
  return n < 0 ? u"<error>" : std::u16string(buf, static_cast<size_t>(n));
}

template <class... A>
std::string N(const char* format, A... args) {
  char buf[512];
  int n = sprintf_s(buf, 512, format, args...);
  EXPECT_GE(n, 0) << "format failed";
  return n < 0 ? "<error>" : std::string(buf, static_cast<size_t>(n));
}

TEST(WidePrintf, FormatsTheMonitorUses) {
  EXPECT_EQ(F(u"%s_%0.3d", u"Invoice", 7), u"Invoice_007") << "%0.3d pads to three digits";
  EXPECT_EQ(F(u"%s_%0.3d", u"Invoice", 1234), u"Invoice_1234");
  EXPECT_EQ(F(u"%s%0.6d.bmp", u"ocr", 12), u"ocr000012.bmp");
  EXPECT_EQ(F(u"%S line %d", "job.cpp", 812), u"job.cpp line 812") << "%S is a narrow string";
  EXPECT_EQ(F(u"%d; TIFF Error: %d (%S)", 5, -3, "bad strip"), u"5; TIFF Error: -3 (bad strip)");
  EXPECT_EQ(F(u"%.8f %s", 12.5, u"INFO"), u"12.50000000 INFO");
  EXPECT_EQ(F(u"%.8f", 0.123456789012), u"0.12345679");
  EXPECT_EQ(F(u"%02d:%02d:%02d.%03d", 9, 5, 7, 42), u"09:05:07.042");
  EXPECT_EQ(F(u"TARNWICK_CMD_FLAG: %X is invalid", 0x8000F44Fu), u"TARNWICK_CMD_FLAG: 8000F44F is invalid");
  EXPECT_EQ(F(u"EUDC\\%d", 1252), u"EUDC\\1252");
  EXPECT_EQ(F(u"\\\\.\\pipe\\%s%d", u"TwPipe", 4711), u"\\\\.\\pipe\\TwPipe4711");
  EXPECT_EQ(F(u"100%%"), u"100%");
}

TEST(WidePrintf, StringAndCharacterWidths) {
  EXPECT_EQ(F(u"[%-10s]", u"ab"), u"[ab        ]");
  EXPECT_EQ(F(u"[%10s]", u"ab"), u"[        ab]");
  EXPECT_EQ(F(u"[%.3s]", u"abcdef"), u"[abc]");
  EXPECT_EQ(F(u"[%*s]", 4, u"x"), u"[   x]");
  EXPECT_EQ(F(u"[%-*s]", 4, u"x"), u"[x   ]");
  EXPECT_EQ(F(u"[%*s]", -4, u"x"), u"[x   ]") << "a negative * width means left-aligned";
  EXPECT_EQ(F(u"[%.*s]", 2, u"xyz"), u"[xy]");
  EXPECT_EQ(F(u"[%05s]", u"ab"), u"[000ab]") << "the CRT pads strings with zeros too";
  EXPECT_EQ(F(u"%s|%.3s", static_cast<const WCHAR*>(nullptr), static_cast<const WCHAR*>(nullptr)), u"(null)|(nu");
  EXPECT_EQ(F(u"%hs/%ls/%ws", "narrow", u"wide", u"wide2"), u"narrow/wide/wide2");
  EXPECT_EQ(F(u"%S", "caf\xE9"), u"caf\u00E9") << "narrow text is in the ANSI code page";
  EXPECT_EQ(F(u"%c%c%C", u'\u00C4', u'b', 'C'), u"\u00C4bC");
  EXPECT_EQ(F(u"[%3c]", u'x'), u"[  x]");
  // A precision covers a buffer without terminator.
  const WCHAR fixed[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(F(u"%.3s", fixed), u"abc");
}

TEST(WidePrintf, IntegerFlagsAndSizes) {
  EXPECT_EQ(F(u"%08X|%08x", 0xBEEFu, 0xBEEFu), u"0000BEEF|0000beef");
  EXPECT_EQ(F(u"%+d|% d|%+d", 5, 5, -5), u"+5| 5|-5");
  EXPECT_EQ(F(u"%05d|%-5d|%5d", -42, 42, 42), u"-0042|42   |   42");
  EXPECT_EQ(F(u"%5.3d|%-6.3d|", 7, -7), u"  007|-007  |");
  EXPECT_EQ(F(u"%05.3d", 7), u"  007") << "a precision turns zero padding off";
  EXPECT_EQ(F(u"[%.0d]", 0), u"[]");
  EXPECT_EQ(F(u"%#x|%#X|%#o|%#x", 255, 255, 8, 0), u"0xff|0XFF|010|0");
  EXPECT_EQ(F(u"%u|%i|%o", 4294967295u, -1, 8), u"4294967295|-1|10");
  EXPECT_EQ(F(u"%ld|%lu|%lx", LONG(-5), ULONG(4294967295u), ULONG(0xABCu)), u"-5|4294967295|abc");
  EXPECT_EQ(F(u"%I64d|%I64u|%I64X", LONGLONG(-1), ULONGLONG(ULLONG_MAX), ULONGLONG(0x123456789ABull)),
            u"-1|18446744073709551615|123456789AB");
  EXPECT_EQ(F(u"%lld|%llu", LLONG_MIN, 12ull), u"-9223372036854775808|12");
  EXPECT_EQ(F(u"%I64d %d", LONGLONG(1) << 40, 7), u"1099511627776 7") << "a 64-bit argument takes one slot";
  EXPECT_EQ(F(u"%Id|%Iu|%zu|%I32d", SSIZE_T(-3), SIZE_T(~SIZE_T(0)), size_t(9), 11),
            u"-3|18446744073709551615|9|11");
  EXPECT_EQ(F(u"%hd|%hu|%hhx", 65535, 65537, 0x1FF), u"-1|1|ff");
  EXPECT_EQ(F(u"%p", reinterpret_cast<void*>(0x1234)), u"0000000000001234");
  EXPECT_EQ(F(u"%*d|%-*d|", 5, 42, 4, 1), u"   42|1   |");
  EXPECT_EQ(F(u"%.*d", 4, 3), u"0003");
}

TEST(WidePrintf, FloatingPointAsTheCurrentCrt) {
  EXPECT_EQ(F(u"%e", 1.0), u"1.000000e+00") << "two exponent digits (the current CRT)";
  EXPECT_EQ(F(u"%E", 12345.678), u"1.234568E+04");
  EXPECT_EQ(F(u"%e", 1e-300), u"1.000000e-300");
  EXPECT_EQ(F(u"%f|%.0f|%#.0f", 2.5, 2.5, 3.0), u"2.500000|2|3.");
  EXPECT_EQ(F(u"%.2f|%.2f", 0.125, 0.375), u"0.12|0.38") << "exact binary value, rounded half to even";
  EXPECT_EQ(F(u"%g|%g|%g|%g", 0.0001, 0.00001, 100000.0, 1000000.0), u"0.0001|1e-05|100000|1e+06");
  EXPECT_EQ(F(u"%G|%#g", 1e20, 1.5), u"1E+20|1.50000");
  EXPECT_EQ(F(u"%10.3f|%-10.2e|%010.2f", 3.14159, 31.4159, -2.5), u"     3.142|3.14e+01  |-000002.50");
  EXPECT_EQ(F(u"%+.1f|% .1f", 1.25, 1.25), u"+1.2| 1.2");
  EXPECT_EQ(F(u"%a", 1.0), u"0x1.0000000000000p+0");
  volatile double zero = 0.0;
  double indeterminate = zero / zero;
  EXPECT_EQ(F(u"%f|%f|%F", INFINITY, -INFINITY, INFINITY), u"inf|-inf|INF");
  EXPECT_EQ(F(u"%f|%e", indeterminate, std::fabs(indeterminate)), u"-nan(ind)|nan");
  EXPECT_EQ(F(u"[%6f]", INFINITY), u"[   inf]");
}

TEST(WidePrintf, MalformedFormatsFail) {
  WCHAR buf[16] = u"keep";
  errno = 0;
  EXPECT_EQ(swprintf_s(buf, 16, u"%d%n", 1, static_cast<int*>(nullptr)), -1) << "%n is disabled";
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(swprintf_s(buf, 16, u"50%"), -1) << "a lone % at the end";
  EXPECT_EQ(swprintf_s(buf, 16, u"%y", 1), -1);
  EXPECT_EQ(swprintf_s(buf, 16, nullptr), -1);
  EXPECT_EQ(swprintf_s(nullptr, 16, u"x"), -1);
}

TEST(WidePrintfTruncation, LegacySnwprintfDoesNotTerminateWhenFull) {
  WCHAR buf[8];
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(_snwprintf(buf, 5, u"%s", u"hello"), 5) << "fits exactly: the length, no terminator";
  EXPECT_EQ(std::u16string(buf, 6), u"hello#");
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(_snwprintf(buf, 4, u"%s", u"hello"), -1) << "too long: -1, count units, no terminator";
  EXPECT_EQ(std::u16string(buf, 5), u"hell#");
  EXPECT_EQ(_snwprintf(buf, 8, u"%d", 42), 2);
  EXPECT_EQ(std::u16string(buf), u"42");
  EXPECT_EQ(_snwprintf(nullptr, 0, u"%s-%d", u"abc", 12345), 9) << "null buffer and count 0: the length needed";
  EXPECT_EQ(_scwprintf(u"%s-%d", u"abc", 12345), 9);
}

TEST(WidePrintfTruncation, CountedSwprintfAlwaysTerminates) {
  WCHAR buf[8];
  EXPECT_EQ(swprintf(buf, 5, u"%s", u"hello"), -1);
  EXPECT_EQ(std::u16string(buf), u"hell");
  EXPECT_EQ(swprintf(buf, 6, u"%s", u"hello"), 5);
  EXPECT_EQ(std::u16string(buf), u"hello");
}

TEST(WidePrintfTruncation, SecureFormsReportOrCut) {
  WCHAR buf[10];
  errno = 0;
  EXPECT_EQ(swprintf_s(buf, 5, u"%s", u"hello"), -1);
  EXPECT_EQ(buf[0], 0) << "swprintf_s empties the buffer when the text does not fit";
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(swprintf_s(buf, 6, u"%s", u"hello"), 5);

  EXPECT_EQ(_snwprintf_s(buf, 5, _TRUNCATE, u"%s", u"hello"), -1);
  EXPECT_EQ(std::u16string(buf), u"hell") << "_TRUNCATE keeps what fits";
  EXPECT_EQ(_snwprintf_s(buf, 10, 3, u"%s", u"hello"), -1);
  EXPECT_EQ(std::u16string(buf), u"hel") << "a count below the size cuts at count units";
  EXPECT_EQ(_snwprintf_s(buf, 10, 5, u"%s", u"hello"), 5);
  EXPECT_EQ(std::u16string(buf), u"hello");
  errno = 0;
  EXPECT_EQ(_snwprintf_s(buf, 5, 10, u"%s", u"hello"), -1);
  EXPECT_EQ(buf[0], 0) << "a count beyond the size that does not fit is an error";
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(_snwprintf_s(buf, 5, _TRUNCATE, u"%s", u"hi"), 2);
  // Array template forms take the size from the array.
  WCHAR arr[4];
  EXPECT_EQ(swprintf_s(arr, u"%d", 123), 3);
  EXPECT_EQ(swprintf_s(arr, u"%d", 1234), -1);
  EXPECT_EQ(_snwprintf_s(arr, _TRUNCATE, u"%d", 12345), -1);
  EXPECT_EQ(std::u16string(arr), u"123");
}

TEST(WidePrintfTruncation, WsprintfStopsAt1024Units) {
  std::u16string longText(2000, u'x');
  std::u16string buf(1100, u'#');
  EXPECT_EQ(wsprintfW(buf.data(), u"%s", longText.c_str()), 1023);
  EXPECT_EQ(buf[1023], u'\0');
  EXPECT_EQ(buf[1024], u'#');
}

TEST(NarrowPrintf, SameRulesWithNarrowDefaults) {
  EXPECT_EQ(N("%s|%S|%c|%C", "ascii", u"caf\u00E9", 'a', u'\u00FC'), "ascii|caf\xE9|a|\xFC")
      << "in narrow output %S is wide text converted to the ANSI code page";
  EXPECT_EQ(N("%S", u"\u4E2D"), "?");
  EXPECT_EQ(N("%0.3d|%.8f", 5, 1.0), "005|1.00000000");
  char buf[6];
  EXPECT_EQ(_snprintf(buf, 5, "%s", "hello"), 5);
  EXPECT_EQ(_snprintf(buf, 3, "%s", "hello"), -1);
  EXPECT_EQ(_snprintf_s(buf, 6, _TRUNCATE, "%s!", "hello"), -1);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(sprintf_s(buf, 6, "%s!", "hello"), -1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(_scprintf("%05d", 3), 5);
}

}  // namespace
