// The wide string helpers: secure copies and their error rules, the A-Z-only
// case-insensitive compares, searches, number parsing and formatting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <climits>
#include <cstdlib>
#include <string>

#include "tw_test.h"
#include "windows.h"

namespace {

std::u16string S(const WCHAR* s) { return s ? std::u16string(s) : std::u16string(u"<null>"); }

TEST(WideCopy, SecureCopyReportsAndEmptiesOnOverflow) {
  WCHAR buf[6];
  EXPECT_EQ(wcscpy_s(buf, 6, u"hello"), 0);
  EXPECT_EQ(S(buf), u"hello");
  EXPECT_EQ(wcscpy_s(buf, 6, u"hello!"), ERANGE);
  EXPECT_EQ(buf[0], 0) << "the destination is emptied when the source does not fit";
  EXPECT_EQ(wcscpy_s(nullptr, 6, u"x"), EINVAL);
  EXPECT_EQ(wcscpy_s(buf, 0, u"x"), EINVAL);
  buf[0] = u'z';
  EXPECT_EQ(wcscpy_s(buf, 6, nullptr), EINVAL);
  EXPECT_EQ(buf[0], 0);
  // Array template form.
  WCHAR arr[4];
  EXPECT_EQ(wcscpy_s(arr, u"abc"), 0);
  EXPECT_EQ(wcscpy_s(arr, u"abcd"), ERANGE);
}

TEST(WideCopy, CountedSecureCopyAndTruncate) {
  WCHAR buf[5];
  EXPECT_EQ(wcsncpy_s(buf, 5, u"abcdef", 3), 0);
  EXPECT_EQ(S(buf), u"abc");
  EXPECT_EQ(wcsncpy_s(buf, 5, u"abcdef", 5), ERANGE);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(wcsncpy_s(buf, 5, u"abcdef", _TRUNCATE), STRUNCATE);
  EXPECT_EQ(S(buf), u"abcd");
  EXPECT_EQ(wcsncpy_s(buf, 5, u"ab", _TRUNCATE), 0);
  EXPECT_EQ(S(buf), u"ab");
  EXPECT_EQ(wcsncpy_s(buf, 5, u"abcd", 4), 0) << "exactly filling the buffer with its terminator is fine";
  EXPECT_EQ(S(buf), u"abcd");
}

TEST(WideCopy, ConcatenationRules) {
  WCHAR buf[8] = u"abc";
  EXPECT_EQ(wcscat_s(buf, 8, u"defg"), 0);
  EXPECT_EQ(S(buf), u"abcdefg");
  EXPECT_EQ(wcscat_s(buf, 8, u"h"), ERANGE);
  EXPECT_EQ(buf[0], 0);
  WCHAR unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(wcscat_s(unterminated, 3, u"x"), EINVAL);
  WCHAR t[6] = u"ab";
  EXPECT_EQ(wcsncat_s(t, 6, u"cdefgh", _TRUNCATE), STRUNCATE);
  EXPECT_EQ(S(t), u"abcde");
  WCHAR u[6] = u"ab";
  EXPECT_EQ(wcsncat_s(u, 6, u"cdefgh", 2), 0);
  EXPECT_EQ(S(u), u"abcd");
}

TEST(WideCopy, ClassicCopiesPadAndTerminateAsTheStandardSays) {
  WCHAR buf[6];
  std::fill(std::begin(buf), std::end(buf), u'#');
  wcsncpy(buf, u"ab", 5);
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(buf[4], 0) << "wcsncpy pads with zeros up to the count";
  EXPECT_EQ(buf[5], u'#');
  std::fill(std::begin(buf), std::end(buf), u'#');
  wcsncpy(buf, u"abcdefgh", 3);
  EXPECT_EQ(buf[2], u'c');
  EXPECT_EQ(buf[3], u'#') << "no terminator when the source is longer than the count";
  WCHAR cat[10] = u"ab";
  wcsncat(cat, u"cdef", 2);
  EXPECT_EQ(S(cat), u"abcd");
  WCHAR dst[10];
  EXPECT_EQ(S(wcscat(wcscpy(dst, u"ab"), u"cd")), u"abcd");
}

TEST(WideCompare, CaseInsensitiveCompareFoldsOnlyAsciiLetters) {
  EXPECT_EQ(_wcsicmp(u"Hello", u"hELLO"), 0);
  EXPECT_NE(_wcsicmp(u"\u00C4", u"\u00E4"), 0) << "Ä and ä differ: only A-Z are folded";
  EXPECT_LT(_wcsicmp(u"abc", u"ABD"), 0);
  // Compared as lower case, so '_' (0x5F) sorts before 'a' (0x61) although it
  // is above 'A' (0x41).
  EXPECT_LT(_wcsicmp(u"_", u"A"), 0);
  EXPECT_GT(_wcsicmp(u"ab", u"A"), 0);
  EXPECT_EQ(_wcsnicmp(u"PrinterX", u"printerY", 7), 0);
  EXPECT_NE(_wcsnicmp(u"PrinterX", u"printerY", 8), 0);
  EXPECT_EQ(_wcsnicmp(u"ab", u"AB", 10), 0) << "stops at the terminator";
}

TEST(WideCompare, OrdinalCompareAndSearch) {
  EXPECT_LT(wcscmp(u"B", u"a"), 0) << "ordinal: 'B' (0x42) before 'a' (0x61)";
  EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
  const WCHAR* path = u"C:\\dir\\file.ext";
  EXPECT_EQ(S(wcsrchr(path, u'\\')), u"\\file.ext");
  EXPECT_EQ(S(wcschr(path, u'\\')), u"\\dir\\file.ext");
  EXPECT_EQ(wcschr(path, u'?'), nullptr);
  EXPECT_EQ(wcschr(path, 0), path + wcslen(path)) << "the terminator is part of the string";
  EXPECT_EQ(S(wcsstr(path, u"file")), u"file.ext");
  EXPECT_EQ(wcsstr(path, u"files"), nullptr);
  EXPECT_EQ(wcsstr(path, u""), path);
  EXPECT_EQ(wcsspn(u"  \tx", u" \t"), 3u);
  EXPECT_EQ(wcscspn(u"abc;def", u";,"), 3u);
  EXPECT_EQ(S(wcspbrk(u"abc;def", u",;")), u";def");
  WCHAR mutableText[] = u"k=v";
  WCHAR* eq = wcschr(mutableText, u'=');
  *eq = u':';
  EXPECT_EQ(S(mutableText), u"k:v");
}

TEST(WideCompare, TokenizerKeepsItsPlace) {
  WCHAR text[] = u",,a,b;;c,";
  WCHAR* ctx = nullptr;
  std::u16string seen;
  for (WCHAR* t = wcstok_s(text, u",;", &ctx); t; t = wcstok_s(nullptr, u",;", &ctx)) seen += std::u16string(t) + u"|";
  EXPECT_EQ(seen, u"a|b|c|");
}

TEST(WideCase, LowerAndUpperInPlaceFoldOnlyAscii) {
  WCHAR s[] = u"Straße ÄBC";
  EXPECT_EQ(_wcslwr_s(s, sizeof(s) / sizeof(WCHAR)), 0);
  EXPECT_EQ(S(s), u"straße Äbc");
  EXPECT_EQ(_wcsupr_s(s), 0);
  EXPECT_EQ(S(s), u"STRAßE ÄBC");
  WCHAR unterminated[2] = {u'a', u'b'};
  EXPECT_EQ(_wcsupr_s(unterminated, 2), EINVAL);
  EXPECT_EQ(unterminated[0], 0);
  WCHAR* dup = _wcsdup(u"copy");
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(S(dup), u"copy");
  std::free(dup);
  WCHAR rev[] = u"abc";
  EXPECT_EQ(S(_wcsrev(rev)), u"cba");
}

TEST(WideNumbers, ParsingFollowsTheCrt) {
  WCHAR* end = nullptr;
  EXPECT_EQ(wcstol(u"  -42xyz", &end, 10), -42);
  EXPECT_EQ(S(end), u"xyz");
  EXPECT_EQ(wcstol(u"0x1F", nullptr, 16), 31);
  EXPECT_EQ(wcstol(u"0x1F", nullptr, 0), 31);
  EXPECT_EQ(wcstol(u"017", nullptr, 0), 15);
  EXPECT_EQ(wcstol(u"z", &end, 36), 35);
  const WCHAR* none = u"  abc";
  EXPECT_EQ(wcstol(none, &end, 10), 0);
  EXPECT_EQ(end, none) << "nothing parsed: end is the start";
  errno = 0;
  EXPECT_EQ(wcstol(u"2147483648", nullptr, 10), INT_MAX) << "LONG is 32 bits: clamped";
  EXPECT_EQ(errno, ERANGE);
  errno = 0;
  EXPECT_EQ(wcstol(u"-2147483648", nullptr, 10), INT_MIN);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(wcstoul(u"4294967295", nullptr, 10), 4294967295u);
  EXPECT_EQ(wcstoul(u"-1", nullptr, 10), 4294967295u) << "negated, as strtoul";
  errno = 0;
  EXPECT_EQ(wcstoul(u"4294967296", nullptr, 10), 4294967295u);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(_wcstoi64(u"-9223372036854775808", nullptr, 10), LLONG_MIN);
  EXPECT_EQ(_wcstoui64(u"18446744073709551615", nullptr, 10), ULLONG_MAX);
}

TEST(WideNumbers, AtoiFamilyClampsAndStopsAtJunk) {
  EXPECT_EQ(_wtoi(u" 123abc"), 123);
  EXPECT_EQ(_wtoi(u"+7"), 7);
  EXPECT_EQ(_wtoi(u"abc"), 0);
  EXPECT_EQ(_wtoi(nullptr), 0);
  EXPECT_EQ(_wtoi(u"99999999999"), INT_MAX);
  EXPECT_EQ(_wtoi(u"-99999999999"), INT_MIN);
  EXPECT_EQ(_wtol(u"-5"), -5);
  EXPECT_EQ(_wtoi64(u"12345678901234"), 12345678901234LL);
  WCHAR* end = nullptr;
  EXPECT_DOUBLE_EQ(wcstod(u"3.25e2 rest", &end), 325.0);
  EXPECT_EQ(S(end), u" rest");
  EXPECT_DOUBLE_EQ(_wtof(u"-0.5"), -0.5);
}

TEST(WideNumbers, IntegerToText) {
  WCHAR buf[40];
  EXPECT_EQ(_itow_s(-123, buf, 40, 10), 0);
  EXPECT_EQ(S(buf), u"-123");
  EXPECT_EQ(_itow_s(-1, buf, 40, 16), 0);
  EXPECT_EQ(S(buf), u"ffffffff") << "other radixes show the two's complement";
  EXPECT_EQ(_ultow_s(255, buf, 40, 2), 0);
  EXPECT_EQ(S(buf), u"11111111");
  EXPECT_EQ(_i64tow_s(-9223372036854775807LL - 1, buf, 40, 10), 0);
  EXPECT_EQ(S(buf), u"-9223372036854775808");
  EXPECT_EQ(_ui64tow_s(0xABCDEFull, buf, 40, 16), 0);
  EXPECT_EQ(S(buf), u"abcdef");
  EXPECT_EQ(_itow_s(12345, buf, 5, 10), ERANGE) << "5 digits need 6 units";
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(_itow_s(1, buf, 40, 1), EINVAL);
}

TEST(KernelStrings, LstrFunctionsGuardNullAndTerminate) {
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(u"four"), 4);
  WCHAR buf[5];
  EXPECT_EQ(lstrcpynW(buf, u"abcdefg", 5), buf);
  EXPECT_EQ(S(buf), u"abcd") << "count - 1 units and a terminator";
  EXPECT_EQ(lstrcpynW(buf, u"xy", 5), buf);
  EXPECT_EQ(S(buf), u"xy");
  EXPECT_EQ(lstrcpyW(nullptr, u"a"), nullptr);
  WCHAR cat[10];
  lstrcpyW(cat, u"ab");
  lstrcatW(cat, u"cd");
  EXPECT_EQ(S(cat), u"abcd");
}

TEST(KernelStrings, LstrcmpIsLinguistic) {
  EXPECT_LT(lstrcmpW(u"a", u"B"), 0) << "linguistic order, unlike wcscmp";
  EXPECT_GT(lstrcmpW(u"B", u"a"), 0);
  EXPECT_NE(lstrcmpW(u"abc", u"ABC"), 0);
  EXPECT_EQ(lstrcmpiW(u"abc", u"ABC"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u00C4rger", u"\u00E4RGER"), 0) << "case folding covers more than A-Z";
  EXPECT_NE(lstrcmpiW(u"Test", u"Tests"), 0);
  EXPECT_EQ(lstrcmpiW(nullptr, nullptr), 0);
  EXPECT_LT(lstrcmpiW(nullptr, u"a"), 0);
  EXPECT_GT(lstrcmpiW(u"a", nullptr), 0);
}

}  // namespace
