// Code-page conversion as Windows does it: the 1252 table including its five
// undefined bytes, default characters, best fit, composition, UTF-8 error
// handling, size queries and the configured ANSI code page.
#include <gtest/gtest.h>

#include <string>

#include "tw/root.h"
#include "root_guard.h"
#include "tw_test.h"
#include "windows.h"

namespace {

std::u16string toWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n) MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

std::string toBytes(UINT cp, const std::u16string& text, DWORD flags = 0, const char* defaultChar = nullptr,
                    BOOL* usedDefault = nullptr) {
  int n = WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, defaultChar,
                              usedDefault);
  std::string out(static_cast<size_t>(n), '\0');
  if (n)
    WideCharToMultiByte(cp, flags, text.data(), static_cast<int>(text.size()), out.data(), n, defaultChar,
                        usedDefault);
  return out;
}

// Windows-1252 as Microsoft publishes it (0x80-0x9F; the rest is Latin-1);
// the bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character and Windows
// maps them to the C1 controls U+0081 ... so that every byte round-trips.
const char16_t kExpected1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

TEST(CodePage1252, EveryByteMapsAndRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::u16string wide = toWide(1252, all);
  ASSERT_EQ(wide.size(), 255u);
  for (int b = 1; b < 256; ++b) {
    char16_t expected = (b >= 0x80 && b < 0xA0) ? kExpected1252[b - 0x80] : char16_t(b);
    EXPECT_EQ(wide[b - 1], expected) << "byte " << b;
  }
  BOOL usedDefault = TRUE;
  EXPECT_EQ(toBytes(1252, wide, 0, nullptr, &usedDefault), all);
  EXPECT_FALSE(usedDefault);
  // MB_ERR_INVALID_CHARS never fails on 1252: every byte is defined.
  EXPECT_EQ(toWide(1252, "\x81\x8D\x8F\x90\x9D", MB_ERR_INVALID_CHARS), u"\u0081\u008D\u008F\u0090\u009D");
}

TEST(CodePage1252, DefaultCharacterAndBestFit) {
  BOOL used = FALSE;
  EXPECT_EQ(toBytes(1252, u"a\u20ACb\u4E2D", 0, nullptr, &used), "a\x80" "b?");
  EXPECT_TRUE(used);
  used = FALSE;
  EXPECT_EQ(toBytes(1252, u"x\u4E2Dy", 0, "_", &used), "x_y") << "the caller's default character";
  EXPECT_TRUE(used);
  // Best fit: the letter without its accent, the ASCII form of a full-width
  // letter; without best fit the default character.
  used = TRUE;
  EXPECT_EQ(toBytes(1252, u"\u0100\uFF21", 0, nullptr, &used), "AA");
  EXPECT_FALSE(used) << "a best-fit character is not the default character";
  EXPECT_EQ(toBytes(1252, u"\u0100\uFF21", WC_NO_BEST_FIT_CHARS, nullptr, &used), "??");
  EXPECT_TRUE(used);
  // A surrogate pair is two units without a mapping.
  EXPECT_EQ(toBytes(1252, u"\U0001F600", 0, "_"), "__");
}

TEST(CodePage1252, CompositeCheckComposesBeforeConverting) {
  EXPECT_EQ(toBytes(1252, u"e\u0301", WC_COMPOSITECHECK), "\xE9");
  EXPECT_EQ(toBytes(1252, u"e\u0301", 0).size(), 2u) << "without the flag base and mark are converted apart";
  // ā has no byte in 1252: discard the mark, or use the default character.
  EXPECT_EQ(toBytes(1252, u"a\u0304x", WC_COMPOSITECHECK | WC_DISCARDNS), "ax");
  BOOL used = FALSE;
  EXPECT_EQ(toBytes(1252, u"a\u0304x", WC_COMPOSITECHECK | WC_DEFAULTCHAR, "_", &used), "_x");
  EXPECT_TRUE(used);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(1252, WC_DISCARDNS, u"a", 1, nullptr, 0, nullptr, nullptr), 0)
      << "the composite options need WC_COMPOSITECHECK";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_EQ(toWide(1252, "\xE9", MB_COMPOSITE), u"e\u0301");
}

TEST(CodePageUtf8, InvalidInputBecomesReplacementOrFails) {
  EXPECT_EQ(toWide(CP_UTF8, "a\xC3(b"), u"a\uFFFD(b");
  EXPECT_EQ(toWide(CP_UTF8, "x\xE2\x82"), u"x\uFFFD") << "a truncated sequence is one replacement";
  EXPECT_EQ(toWide(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "an encoded surrogate is not a prefix";
  EXPECT_EQ(toWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong forms are invalid byte by byte";
  EXPECT_EQ(toWide(CP_UTF8, "\xF0\x9F\x98\x80"), u"\U0001F600");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC3(b", -1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3\xA9", -1, nullptr, 0), 2);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

TEST(CodePageUtf8, EncodingRulesAndParameters) {
  EXPECT_EQ(toBytes(CP_UTF8, u"\u00E9\u20AC\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(toBytes(CP_UTF8, u"a\xD800z"), "a\xEF\xBF\xBDz") << "a lone surrogate becomes U+FFFD";
  SetLastError(0);
  const WCHAR lone[] = {u'a', 0xD800, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, nullptr, &used), 0)
      << "UTF-8 takes no default character";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A character that does not fit whole is not split.
  char out[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u20AC", 2, out, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(CodePageSizes, QueriesTerminatorsAndShortBuffers) {
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4) << "-1 counts the terminator";
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0), 3);
  WCHAR w[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 4), 4);
  EXPECT_EQ(std::u16string(w), u"abc");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, w, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, w, 4), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab", -1, nullptr, 0, nullptr, nullptr), 3);
  char b[3];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"ab", -1, b, 3, nullptr, nullptr), 3);
  EXPECT_STREQ(b, "ab");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, b, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(54321, 0, "a", 1, w, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(IsValidCodePage(54321));
  EXPECT_TRUE(IsValidCodePage(1252));
  EXPECT_TRUE(IsValidCodePage(CP_UTF8));
}

TEST(CodePageConfig, AnsiCodePageComesFromTheMachineConfiguration) {
  twtest::RootGuard keep;
  twtest::TempRoot root;
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 437u);
  EXPECT_EQ(toWide(CP_ACP, "\xA5"), u"\u00A5");
  tw::config::Machine m = *tw::config::Get();
  m.ansiCodePage = 1250;
  m.locale = u"de-DE";
  ASSERT_TRUE(tw::config::Save(m));
  EXPECT_EQ(GetACP(), 1250u);
  EXPECT_EQ(GetOEMCP(), 850u);
  EXPECT_EQ(toWide(CP_ACP, "\xA5"), u"\u0104") << "1250: 0xA5 is A with ogonek";
  EXPECT_EQ(toBytes(CP_ACP, u"\u0104\u0160"), "\xA5\x8A");
  EXPECT_EQ(toWide(850, "\x82\x9B"), u"\u00E9\u00F8");
}

TEST(CodePageGdiCharsets, EuropeanPagesAreWindowsTables) {
  // Letters of each page (the 0xC0-0xFF rows 8-bit text uses most).
  EXPECT_EQ(toWide(1250, "\x8A\xC8\xD8\xE8\xF9"), u"\u0160\u010C\u0158\u010D\u016F");
  EXPECT_EQ(toWide(1251, "\xC0\xDF\xE0\xFF\xA8\xB8"), u"\u0410\u042F\u0430\u044F\u0401\u0451");
  EXPECT_EQ(toWide(1253, "\xC1\xD9\xE1\xF9\xA2"), u"\u0391\u03A9\u03B1\u03C9\u0386");
  EXPECT_EQ(toWide(1254, "\xD0\xDD\xDE\xF0\xFD\xFE"), u"\u011E\u0130\u015E\u011F\u0131\u015F");
  EXPECT_EQ(toWide(1257, "\xC0\xD0\xE0\xF0"), u"\u0104\u0160\u0105\u0161");
  // Bytes without a character in the published tables map as Windows maps
  // them, so no byte is invalid.
  EXPECT_EQ(toWide(1250, "\x81\x98", MB_ERR_INVALID_CHARS), u"\u0081\u0098");
  EXPECT_EQ(toWide(1253, "\xAA\xD2\xFF", MB_ERR_INVALID_CHARS), u"\uF8F9\uF8FA\uF8FB");
  EXPECT_EQ(toWide(1257, "\xA1\xA5", MB_ERR_INVALID_CHARS), u"\uF8FC\uF8FD");
  // Every byte comes back from its character.
  for (UINT cp : {1250u, 1251u, 1253u, 1254u, 1257u}) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    BOOL usedDefault = FALSE;
    EXPECT_EQ(toBytes(cp, toWide(cp, all), 0, nullptr, &usedDefault), all) << cp;
    EXPECT_FALSE(usedDefault) << cp;
    EXPECT_TRUE(IsValidCodePage(cp));
  }
}

TEST(CodePageOem, Page437AndItsGlyphs) {
  EXPECT_EQ(toWide(437, "\x82\xB0\xE1\xFE"), u"\u00E9\u2591\u00DF\u25A0");
  EXPECT_EQ(toWide(437, "\x01\x7F"), u"\u0001\u007F");
  EXPECT_EQ(toWide(437, "\x01\x7F", MB_USEGLYPHCHARS), u"\u263A\u2302");
  EXPECT_EQ(toBytes(437, u"\u00E9\u2591"), "\x82\xB0");
  EXPECT_EQ(toWide(20127, "A\xC1"), u"AA") << "US-ASCII strips the high bit, as Windows does";
}

}  // namespace
