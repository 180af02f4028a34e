// Locale information, date and time pictures, and linguistic comparison,
// for the configured locale (en-US by default; en-GB and de-DE prove that the
// configuration is used).
#include <gtest/gtest.h>

#include <string>

#include "../time/time_test_support.h"
#include "root_guard.h"
#include "tw/root.h"
#include "tw_test.h"
#include "windows.h"

namespace {

std::u16string Info(LCID lcid, LCTYPE type) {
  int n = GetLocaleInfoW(lcid, type, nullptr, 0);
  EXPECT_GT(n, 0) << "type " << type;
  if (n <= 0) return u"<error>";
  std::u16string out(static_cast<size_t>(n), u'\0');
  EXPECT_EQ(GetLocaleInfoW(lcid, type, out.data(), n), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

SYSTEMTIME Tuesday() {
  SYSTEMTIME st{};
  st.wYear = 2026;
  st.wMonth = 12;
  st.wDay = 8;
  st.wDayOfWeek = 5;  // wrong on purpose: the functions compute it
  st.wHour = 14;
  st.wMinute = 5;
  st.wSecond = 9;
  return st;
}

std::u16string Date(LCID lcid, DWORD flags, const SYSTEMTIME* st, const WCHAR* picture = nullptr) {
  WCHAR buf[128];
  int n = GetDateFormatW(lcid, flags, st, picture, buf, 128);
  return n > 0 ? std::u16string(buf, static_cast<size_t>(n - 1)) : u"<error>";
}

std::u16string Time(LCID lcid, DWORD flags, const SYSTEMTIME* st, const WCHAR* picture = nullptr) {
  WCHAR buf[128];
  int n = GetTimeFormatW(lcid, flags, st, picture, buf, 128);
  return n > 0 ? std::u16string(buf, static_cast<size_t>(n - 1)) : u"<error>";
}

void UseLocale(const char16_t* name, UINT acp = 1252) {
  tw::config::Machine m = *tw::config::Get();
  m.locale = name;
  m.ansiCodePage = acp;
  ASSERT_TRUE(tw::config::Save(m));
}

TEST(LocaleInfo, UnitedStatesDefaults) {
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), u"M/d/yyyy");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT), u"h:mm:ss tt");
  EXPECT_EQ(Info(LOCALE_SYSTEM_DEFAULT, LOCALE_SLONGDATE), u"dddd, MMMM d, yyyy");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDATE), u"/");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_STIME), u":");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL), u".");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND), u",");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE), u"1252");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTCODEPAGE), u"437");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SNAME), u"en-US");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME), u"en");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME), u"US");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDAYNAME1), u"Monday");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME12), u"Dec");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_S2359), u"PM");
  EXPECT_EQ(Info(0x0409, LOCALE_SENGLISHLANGUAGENAME), u"English");
  EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0409u);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0409);
}

TEST(LocaleInfo, SizesNumbersAndErrors) {
  WCHAR buf[4];
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, nullptr, 0), 9);
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buf, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, 0x7777, buf, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoW(0x0411, LOCALE_SNAME, buf, 4), 0) << "Japanese is not a configured locale";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  DWORD number = 0;
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_RETURN_NUMBER | LOCALE_IDEFAULTANSICODEPAGE,
                           reinterpret_cast<LPWSTR>(&number), 2),
            2);
  EXPECT_EQ(number, 1252u);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_RETURN_NUMBER | LOCALE_ILANGUAGE,
                           reinterpret_cast<LPWSTR>(&number), 2),
            2);
  EXPECT_EQ(number, 0x0409u);
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_RETURN_NUMBER | LOCALE_SDATE,
                           reinterpret_cast<LPWSTR>(&number), 2),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  WCHAR name[LOCALE_NAME_MAX_LENGTH];
  EXPECT_EQ(LCIDToLocaleName(0x0407, name, LOCALE_NAME_MAX_LENGTH, 0), 6);
  EXPECT_EQ(std::u16string(name), u"de-DE");
  EXPECT_EQ(LocaleNameToLCID(u"en-gb", 0), 0x0809u);
  EXPECT_EQ(GetLocaleInfoEx(u"de-DE", LOCALE_SDECIMAL, name, LOCALE_NAME_MAX_LENGTH), 2);
  EXPECT_EQ(std::u16string(name), u",");
}

TEST(LocaleInfo, TheConfiguredLocaleIsUsed) {
  twtest::RootGuard keep;
  twtest::TempRoot root;
  UseLocale(u"de-DE", 1250);
  EXPECT_EQ(GetUserDefaultLCID(), 0x0407u);
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), u"dd.MM.yyyy");
  EXPECT_EQ(Info(LOCALE_SYSTEM_DEFAULT, LOCALE_STIMEFORMAT), u"HH:mm:ss");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SDATE), u".");
  EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE), u"1250") << "the configured ANSI code page";
  SYSTEMTIME st = Tuesday();
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &st), u"08.12.2026");
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_LONGDATE, &st), u"Dienstag, 8. Dezember 2026");
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, 0, &st), u"14:05:09");
  EXPECT_EQ(Date(0x0409, DATE_SHORTDATE, &st), u"12/8/2026") << "an explicit locale is still honoured";
  UseLocale(u"en-GB");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st), u"08/12/2026");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, DATE_LONGDATE, &st), u"08 December 2026");
  EXPECT_EQ(Time(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st), u"14:05");
  UseLocale(u"xx-YY");
  EXPECT_EQ(GetUserDefaultLCID(), 0x0409u) << "an unknown configured locale falls back to en-US";
}

TEST(DateFormat, LocalePicturesAndExplicitPictures) {
  SYSTEMTIME st = Tuesday();
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &st), u"12/8/2026");
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, 0, &st), u"12/8/2026") << "no flag: the short date";
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_LONGDATE, &st), u"Tuesday, December 8, 2026");
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_YEARMONTH, &st), u"December 2026");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, 0, &st, u"yyyy'-'MM'-'dd"), u"2026-12-08");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, 0, &st, u"dd MMM yy"), u"08 Dec 26");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, 0, &st, u"ddd, d. MMMM y"), u"Tue, 8. December 26");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, 0, &st, u"'It''s' dddd'!' gg"), u"It's Tuesday! A.D.");
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, 0, &st, u"M/d/yyyy"), u"12/8/2026");
  SYSTEMTIME early = st;
  early.wMonth = 3;
  early.wDay = 4;
  early.wYear = 2005;
  EXPECT_EQ(Date(LOCALE_USER_DEFAULT, 0, &early, u"MM/dd/yy y"), u"03/04/05 5");
}

TEST(DateFormat, SizesErrorsAndTheClock) {
  SYSTEMTIME st = Tuesday();
  EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, nullptr, 0), 10);
  WCHAR small[5];
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, small, 5), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, u"yyyy", small, 5), 0)
      << "a picture and a date flag together";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE | DATE_LONGDATE, &st, nullptr, small, 5), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  SYSTEMTIME bad = st;
  bad.wMonth = 2;
  bad.wDay = 30;
  SetLastError(0);
  EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, 0, &bad, nullptr, small, 5), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  twtest::FakeClock clock("2026-12-08T14:05:09", "UTC");
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, nullptr), u"12/8/2026") << "null date: today";
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, 0, nullptr), u"2:05:09 PM") << "null time: now";
}

TEST(TimeFormat, FlagsAndPictures) {
  SYSTEMTIME st = Tuesday();
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, 0, &st), u"2:05:09 PM");
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, TIME_NOSECONDS, &st), u"2:05 PM");
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, TIME_NOMINUTESORSECONDS, &st), u"2 PM");
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, TIME_NOTIMEMARKER, &st), u"2:05:09");
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, TIME_FORCE24HOURFORMAT, &st), u"14:05:09 PM")
      << "a forced 24-hour clock keeps an existing time marker";
  EXPECT_EQ(Time(LOCALE_SYSTEM_DEFAULT, TIME_FORCE24HOURFORMAT | TIME_NOTIMEMARKER, &st), u"14:05:09");
  EXPECT_EQ(Time(LOCALE_USER_DEFAULT, 0, &st, u"hh':'mm':'ss tt"), u"02:05:09 PM");
  EXPECT_EQ(Time(LOCALE_USER_DEFAULT, 0, &st, u"HH:mm"), u"14:05");
  EXPECT_EQ(Time(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, u"hh':'mm':'ss tt"), u"02:05 PM")
      << "the separator before the seconds goes too";
  EXPECT_EQ(Time(LOCALE_USER_DEFAULT, 0, &st, u"h t"), u"2 P");
  SYSTEMTIME midnight = st;
  midnight.wHour = 0;
  midnight.wMinute = 7;
  EXPECT_EQ(Time(LOCALE_USER_DEFAULT, 0, &midnight), u"12:07:09 AM");
  SYSTEMTIME bad = st;
  bad.wHour = 24;
  WCHAR buf[32];
  SetLastError(0);
  EXPECT_EQ(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &bad, nullptr, buf, 32), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, nullptr, 0), 11);
  // The submission time of a job as a post-print hand-off writes it.
  EXPECT_EQ(Date(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &st) + u" " + Time(LOCALE_SYSTEM_DEFAULT, 0, &st),
            u"12/8/2026 2:05:09 PM");
}

TEST(Compare, LinguisticOrderAndFlags) {
  auto cmp = [](DWORD flags, const WCHAR* a, const WCHAR* b) {
    return CompareStringW(LOCALE_USER_DEFAULT, flags, a, -1, b, -1);
  };
  EXPECT_EQ(cmp(NORM_IGNORECASE, u"Test", u"TEST"), CSTR_EQUAL);
  EXPECT_EQ(cmp(0, u"Test", u"TEST"), CSTR_LESS_THAN) << "lower case first";
  EXPECT_EQ(cmp(0, u"a", u"B"), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringOrdinal(u"a", -1, u"B", -1, FALSE), CSTR_GREATER_THAN);
  // Word sort keeps "coop" and "co-op" together; string sort puts the hyphen first.
  EXPECT_EQ(cmp(0, u"coop", u"co-op"), CSTR_LESS_THAN);
  EXPECT_EQ(cmp(0, u"co-op", u"cop"), CSTR_LESS_THAN);
  EXPECT_EQ(cmp(SORT_STRINGSORT, u"co-op", u"coop"), CSTR_LESS_THAN);
  EXPECT_EQ(cmp(NORM_IGNORECASE, u"Straße", u"STRASSE"), CSTR_EQUAL);
  EXPECT_EQ(cmp(NORM_IGNORENONSPACE, u"resume", u"résumé"), CSTR_EQUAL);
  EXPECT_NE(cmp(0, u"resume", u"résumé"), CSTR_EQUAL);
  EXPECT_NE(cmp(NORM_IGNORENONSPACE, u"Resume", u"résumé"), CSTR_EQUAL) << "case still counts";
  EXPECT_EQ(cmp(NORM_IGNORESYMBOLS, u"a.b-c", u"abc"), CSTR_EQUAL);
  EXPECT_EQ(cmp(SORT_DIGITSASNUMBERS, u"file10", u"file9"), CSTR_GREATER_THAN);
  EXPECT_EQ(cmp(0, u"file10", u"file9"), CSTR_LESS_THAN);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, u"abcX", 3, u"abcY", 3), CSTR_EQUAL);
  SetLastError(0);
  EXPECT_EQ(cmp(0x40000000, u"a", u"a"), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_EQ(CompareStringEx(u"de-DE", NORM_IGNORECASE, u"\u00C4", -1, u"\u00E4", -1, nullptr, nullptr, 0), CSTR_EQUAL);
}

TEST(Compare, OrdinalFoldsUnitByUnit) {
  EXPECT_EQ(CompareStringOrdinal(u"abc", -1, u"ABC", -1, TRUE), CSTR_EQUAL);
  EXPECT_EQ(CompareStringOrdinal(u"\u00E4", -1, u"\u00C4", -1, TRUE), CSTR_EQUAL);
  EXPECT_EQ(CompareStringOrdinal(u"\u00E4", -1, u"\u00C4", -1, FALSE), CSTR_GREATER_THAN);
  EXPECT_EQ(CompareStringOrdinal(u"Stra\u00DFe", -1, u"STRASSE", -1, TRUE), CSTR_GREATER_THAN) << "no expansion";
  EXPECT_EQ(CompareStringOrdinal(u"ab", -1, u"abc", -1, FALSE), CSTR_LESS_THAN);
}

}  // namespace
