// Character classes and case mapping: GetStringTypeW's CT_CTYPE1 values as
// Windows documents them, the right-to-left classes of CT_CTYPE2 that text
// extraction relies on, IsCharAlphaNumericW for printer tags, CharUpperW's
// single-character form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tw_test.h"
#include "windows.h"

namespace {

std::vector<WORD> Types(DWORD kind, const std::u16string& text) {
  std::vector<WORD> out(text.size());
  EXPECT_TRUE(GetStringTypeW(kind, text.data(), static_cast<int>(text.size()), out.data()));
  return out;
}

TEST(StringType, Ctype1OfAsciiAndLatin) {
  auto t = Types(CT_CTYPE1, u"A z5 \t\n!\u00C4\u00A0\u00B2");
  EXPECT_EQ(t[0], C1_UPPER | C1_XDIGIT | C1_ALPHA | C1_DEFINED);
  EXPECT_EQ(t[1], C1_SPACE | C1_BLANK | C1_DEFINED);
  EXPECT_EQ(t[2], C1_LOWER | C1_ALPHA | C1_DEFINED);
  EXPECT_EQ(t[3], C1_DIGIT | C1_XDIGIT | C1_DEFINED);
  EXPECT_EQ(t[5], C1_CNTRL | C1_SPACE | C1_BLANK | C1_DEFINED) << "tab";
  EXPECT_EQ(t[6], C1_CNTRL | C1_SPACE | C1_DEFINED) << "line feed";
  EXPECT_EQ(t[7], C1_PUNCT | C1_DEFINED);
  EXPECT_EQ(t[8], C1_UPPER | C1_ALPHA | C1_DEFINED) << "Ä";
  EXPECT_EQ(t[9], C1_SPACE | C1_BLANK | C1_DEFINED) << "no-break space";
  EXPECT_EQ(t[10], C1_DIGIT | C1_PUNCT | C1_DEFINED) << "superscript two";
  WORD unassigned;
  const WCHAR noChar = 0x0378;
  ASSERT_TRUE(GetStringTypeW(CT_CTYPE1, &noChar, 1, &unassigned));
  EXPECT_EQ(unassigned, 0);
}

TEST(StringType, Ctype2BidiClassesForRightToLeftText) {
  // Hebrew alef, Arabic beh, Latin a, digit, '+', '$', Arabic-Indic digit
  // one, ',', space, '!', paragraph separator, tab.
  auto t = Types(CT_CTYPE2, u"\u05D0\u0628a1+$\u0661, !\u2029\t");
  EXPECT_EQ(t[0], C2_RIGHTTOLEFT);
  EXPECT_EQ(t[1], C2_RIGHTTOLEFT);
  EXPECT_EQ(t[2], C2_LEFTTORIGHT);
  EXPECT_EQ(t[3], C2_EUROPENUMBER);
  EXPECT_EQ(t[4], C2_EUROPESEPARATOR);
  EXPECT_EQ(t[5], C2_EUROPETERMINATOR);
  EXPECT_EQ(t[6], C2_ARABICNUMBER);
  EXPECT_EQ(t[7], C2_COMMONSEPARATOR);
  EXPECT_EQ(t[8], C2_WHITESPACE);
  EXPECT_EQ(t[9], C2_OTHERNEUTRAL);
  EXPECT_EQ(t[10], C2_BLOCKSEPARATOR);
  EXPECT_EQ(t[11], C2_SEGMENTSEPARATOR);
}

TEST(StringType, LengthsAndErrors) {
  WORD out[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  ASSERT_TRUE(GetStringTypeW(CT_CTYPE1, u"ab", -1, out));
  EXPECT_EQ(out[2], C1_CNTRL | C1_DEFINED) << "-1 classifies the terminator too";
  EXPECT_EQ(out[3], 0xFFFF);
  SetLastError(0);
  EXPECT_FALSE(GetStringTypeW(CT_CTYPE1 | CT_CTYPE2, u"a", 1, out));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  SetLastError(0);
  EXPECT_FALSE(GetStringTypeW(CT_CTYPE1, u"a", 0, out));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  auto t3 = Types(CT_CTYPE3, u"\u0301\u30A2\uFF21\u4E00");
  EXPECT_TRUE(t3[0] & C3_NONSPACING);
  EXPECT_TRUE(t3[1] & C3_KATAKANA);
  EXPECT_TRUE(t3[2] & C3_FULLWIDTH);
  EXPECT_TRUE(t3[3] & C3_IDEOGRAPH);
  ASSERT_TRUE(GetStringTypeExW(LOCALE_USER_DEFAULT, CT_CTYPE2, u"\u05D0", 1, out));
  EXPECT_EQ(out[0], C2_RIGHTTOLEFT);
}

TEST(CharClasses, PrinterTagReplacesWhatIsNotALetterOrDigit) {
  // The printer tag: every character that is not a letter or digit becomes
  // "_"; letters of any script count.
  std::u16string name = u"HP LaserJet 4/5 (Büro)-Ä€日本";
  for (auto& c : name)
    if (!IsCharAlphaNumericW(c)) c = u'_';
  EXPECT_EQ(name, u"HP_LaserJet_4_5__Büro__Ä_日本");
  EXPECT_TRUE(IsCharAlphaW(u'\u05D0'));
  EXPECT_FALSE(IsCharAlphaW(u'5'));
  EXPECT_TRUE(IsCharUpperW(u'\u00C4'));
  EXPECT_FALSE(IsCharUpperW(u'\u00E4'));
  EXPECT_TRUE(IsCharLowerW(u'\u00DF'));
  EXPECT_TRUE(iswspace(u'\u3000'));
  EXPECT_TRUE(iswalpha(u'\u00E9'));
  EXPECT_FALSE(iswalpha(u'_'));
  EXPECT_EQ(towupper(u'\u00E9'), u'\u00E9') << "the \"C\" locale maps a-z only";
}

TEST(CaseMapping, CharUpperAndLowerInPlaceAndSingleCharacter) {
  WCHAR text[] = u"Grüße, ÿ straße";
  EXPECT_EQ(CharUpperW(text), text);
  EXPECT_EQ(std::u16string(text), u"GRÜßE, \u0178 STRAßE")
      << "one unit to one unit: ß has no single upper-case letter";
  CharLowerW(text);
  EXPECT_EQ(std::u16string(text), u"grüße, ÿ straße");
  LPWSTR one = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(u'\u00E4')));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(one), static_cast<ULONG_PTR>(u'\u00C4'))
      << "a pointer with a zero high word is one character";
  WCHAR buf[] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ(CharUpperBuffW(buf, 2), 2u);
  EXPECT_EQ(std::u16string(buf, 4), u"ABcd");
  EXPECT_EQ(CharLowerBuffW(buf, 4), 4u);
  EXPECT_EQ(std::u16string(buf, 4), u"abcd");
}

TEST(CaseMapping, CharNextKeepsPairsAndMarks) {
  const WCHAR* s = u"e\u0301\U0001F600x";
  const WCHAR* p = CharNextW(s);
  EXPECT_EQ(p, s + 2) << "the accent stays with its letter";
  p = CharNextW(p);
  EXPECT_EQ(p, s + 4) << "a surrogate pair is one character";
  EXPECT_EQ(CharPrevW(s, p), s + 2);
  EXPECT_EQ(CharPrevW(s, s + 2), s);
  const WCHAR* end = s + 5;
  EXPECT_EQ(CharNextW(end), end) << "stays on the terminator";
}

TEST(LcMap, UpperLowerAndSizes) {
  WCHAR out[16];
  EXPECT_EQ(LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, u"abcä", -1, nullptr, 0), 5);
  EXPECT_EQ(LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, u"abcä", -1, out, 16), 5);
  EXPECT_EQ(std::u16string(out), u"ABCÄ");
  EXPECT_EQ(LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_LOWERCASE, u"ÀB", 2, out, 16), 2);
  EXPECT_EQ(std::u16string(out, 2), u"àb");
  SetLastError(0);
  EXPECT_EQ(LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, u"abc", 3, out, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_HIRAGANA, u"abc", 3, out, 16), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

}  // namespace
