// The supported locales and GetLocaleInfoW. The values are the ones Windows
// 10 reports for the locale without user overrides.
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/nls_internal.h"
#include "tw/root.h"
#include "tw/wcrt.h"
#include "winerror.h"

namespace tw::nls {

struct LocaleData {
  LCID lcid;
  std::u16string_view name;
  const char* icuName;
  std::map<LCTYPE, std::u16string_view> values;
};

namespace {

using Values = std::map<LCTYPE, std::u16string_view>;

// The calendar names of a language; the week starts on Monday
// (LOCALE_SDAYNAME1).
struct CalendarNames {
  const char16_t* days[7];
  const char16_t* abbrevDays[7];
  const char16_t* shortestDays[7];
  const char16_t* months[12];
  const char16_t* abbrevMonths[12];
};

void setNames(Values& v, const CalendarNames& n) {
  for (int i = 0; i < 7; ++i) {
    v[LOCALE_SDAYNAME1 + i] = n.days[i];
    v[LOCALE_SABBREVDAYNAME1 + i] = n.abbrevDays[i];
    v[LOCALE_SSHORTESTDAYNAME1 + i] = n.shortestDays[i];
  }
  for (int i = 0; i < 12; ++i) {
    v[LOCALE_SMONTHNAME1 + i] = n.months[i];
    v[LOCALE_SABBREVMONTHNAME1 + i] = n.abbrevMonths[i];
  }
  v[LOCALE_SMONTHNAME13] = u"";
  v[LOCALE_SABBREVMONTHNAME13] = u"";
}

Values englishNames() {
  Values v;
  setNames(v, {{u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday", u"Sunday"},
               {u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun"},
               {u"Mo", u"Tu", u"We", u"Th", u"Fr", u"Sa", u"Su"},
               {u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August", u"September",
                u"October", u"November", u"December"},
               {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"}});
  return v;
}

Values enUS() {
  Values v = englishNames();
  Values own = {
      {LOCALE_ILANGUAGE, u"0409"},
      {LOCALE_SLANGUAGE, u"English (United States)"},
      {LOCALE_SABBREVLANGNAME, u"ENU"},
      {LOCALE_SNATIVELANGNAME, u"English"},
      {LOCALE_ICOUNTRY, u"1"},
      {LOCALE_SCOUNTRY, u"United States"},
      {LOCALE_SABBREVCTRYNAME, u"USA"},
      {LOCALE_SNATIVECTRYNAME, u"United States"},
      {LOCALE_IDEFAULTLANGUAGE, u"0409"},
      {LOCALE_IDEFAULTCOUNTRY, u"1"},
      {LOCALE_IDEFAULTCODEPAGE, u"437"},
      {LOCALE_SLIST, u","},
      {LOCALE_IMEASURE, u"1"},
      {LOCALE_SDECIMAL, u"."},
      {LOCALE_STHOUSAND, u","},
      {LOCALE_SGROUPING, u"3;0"},
      {LOCALE_IDIGITS, u"2"},
      {LOCALE_ILZERO, u"1"},
      {LOCALE_SNATIVEDIGITS, u"0123456789"},
      {LOCALE_SCURRENCY, u"$"},
      {LOCALE_SINTLSYMBOL, u"USD"},
      {LOCALE_SMONDECIMALSEP, u"."},
      {LOCALE_SMONTHOUSANDSEP, u","},
      {LOCALE_SMONGROUPING, u"3;0"},
      {LOCALE_ICURRDIGITS, u"2"},
      {LOCALE_IINTLCURRDIGITS, u"2"},
      {LOCALE_ICURRENCY, u"0"},
      {LOCALE_INEGCURR, u"0"},
      {LOCALE_SDATE, u"/"},
      {LOCALE_STIME, u":"},
      {LOCALE_SSHORTDATE, u"M/d/yyyy"},
      {LOCALE_SLONGDATE, u"dddd, MMMM d, yyyy"},
      {LOCALE_IDATE, u"0"},
      {LOCALE_ILDATE, u"0"},
      {LOCALE_ITIME, u"0"},
      {LOCALE_ICENTURY, u"1"},
      {LOCALE_ITLZERO, u"0"},
      {LOCALE_IDAYLZERO, u"0"},
      {LOCALE_IMONLZERO, u"0"},
      {LOCALE_S1159, u"AM"},
      {LOCALE_S2359, u"PM"},
      {LOCALE_SPOSITIVESIGN, u""},
      {LOCALE_SNEGATIVESIGN, u"-"},
      {LOCALE_IPOSSIGNPOSN, u"3"},
      {LOCALE_INEGSIGNPOSN, u"0"},
      {LOCALE_IPOSSYMPRECEDES, u"1"},
      {LOCALE_IPOSSEPBYSPACE, u"0"},
      {LOCALE_INEGSYMPRECEDES, u"1"},
      {LOCALE_INEGSEPBYSPACE, u"0"},
      {LOCALE_SISO639LANGNAME, u"en"},
      {LOCALE_SISO3166CTRYNAME, u"US"},
      {LOCALE_IGEOID, u"244"},
      {LOCALE_SNAME, u"en-US"},
      {LOCALE_SDURATION, u"h:mm:ss"},
      {LOCALE_SISO639LANGNAME2, u"eng"},
      {LOCALE_SISO3166CTRYNAME2, u"USA"},
      {LOCALE_SNAN, u"NaN"},
      {LOCALE_SPOSINFINITY, u"\u221E"},
      {LOCALE_SNEGINFINITY, u"-\u221E"},
      {LOCALE_SSCRIPTS, u"Latn;"},
      {LOCALE_SPARENT, u"en"},
      {LOCALE_SCONSOLEFALLBACKNAME, u"en-US"},
      {LOCALE_IREADINGLAYOUT, u"0"},
      {LOCALE_INEUTRAL, u"0"},
      {LOCALE_SENGLISHDISPLAYNAME, u"English (United States)"},
      {LOCALE_SNATIVEDISPLAYNAME, u"English (United States)"},
      {LOCALE_INEGATIVEPERCENT, u"1"},
      {LOCALE_IPOSITIVEPERCENT, u"1"},
      {LOCALE_SPERCENT, u"%"},
      {LOCALE_SPERMILLE, u"\u2030"},
      {LOCALE_SMONTHDAY, u"MMMM d"},
      {LOCALE_SSHORTTIME, u"h:mm tt"},
      {LOCALE_SOPENTYPELANGUAGETAG, u"ENG "},
      {LOCALE_SSORTLOCALE, u"en-US"},
      {LOCALE_SENGLANGUAGE, u"English"},
      {LOCALE_SENGCOUNTRY, u"United States"},
      {LOCALE_STIMEFORMAT, u"h:mm:ss tt"},
      {LOCALE_IDEFAULTANSICODEPAGE, u"1252"},
      {LOCALE_ITIMEMARKPOSN, u"0"},
      {LOCALE_SYEARMONTH, u"MMMM yyyy"},
      {LOCALE_SENGCURRNAME, u"US Dollar"},
      {LOCALE_SNATIVECURRNAME, u"US Dollar"},
      {LOCALE_ICALENDARTYPE, u"1"},
      {LOCALE_IPAPERSIZE, u"1"},
      {LOCALE_IOPTIONALCALENDAR, u"0"},
      {LOCALE_IFIRSTDAYOFWEEK, u"6"},
      {LOCALE_IFIRSTWEEKOFYEAR, u"0"},
      {LOCALE_INEGNUMBER, u"1"},
      {LOCALE_IDEFAULTMACCODEPAGE, u"10000"},
      {LOCALE_IDEFAULTEBCDICCODEPAGE, u"037"},
      {LOCALE_SSORTNAME, u"Default"},
      {LOCALE_IDIGITSUBSTITUTION, u"1"},
  };
  for (auto& [k, val] : own) v[k] = val;
  return v;
}

Values overlay(Values base, const Values& changes) {
  for (auto& [k, val] : changes) base[k] = val;
  return base;
}

Values enGB() {
  return overlay(enUS(), {
                             {LOCALE_ILANGUAGE, u"0809"},
                             {LOCALE_SLANGUAGE, u"English (United Kingdom)"},
                             {LOCALE_SABBREVLANGNAME, u"ENG"},
                             {LOCALE_ICOUNTRY, u"44"},
                             {LOCALE_SCOUNTRY, u"United Kingdom"},
                             {LOCALE_SABBREVCTRYNAME, u"GBR"},
                             {LOCALE_SNATIVECTRYNAME, u"United Kingdom"},
                             {LOCALE_IDEFAULTLANGUAGE, u"0809"},
                             {LOCALE_IDEFAULTCOUNTRY, u"44"},
                             {LOCALE_IDEFAULTCODEPAGE, u"850"},
                             {LOCALE_IMEASURE, u"0"},
                             {LOCALE_SCURRENCY, u"\u00A3"},
                             {LOCALE_SINTLSYMBOL, u"GBP"},
                             {LOCALE_INEGCURR, u"1"},
                             {LOCALE_SSHORTDATE, u"dd/MM/yyyy"},
                             {LOCALE_SLONGDATE, u"dd MMMM yyyy"},
                             {LOCALE_IDATE, u"1"},
                             {LOCALE_ILDATE, u"1"},
                             {LOCALE_ITIME, u"1"},
                             {LOCALE_ITLZERO, u"1"},
                             {LOCALE_IDAYLZERO, u"1"},
                             {LOCALE_IMONLZERO, u"1"},
                             {LOCALE_S1159, u"AM"},
                             {LOCALE_S2359, u"PM"},
                             {LOCALE_SISO3166CTRYNAME, u"GB"},
                             {LOCALE_IGEOID, u"242"},
                             {LOCALE_SNAME, u"en-GB"},
                             {LOCALE_SISO3166CTRYNAME2, u"GBR"},
                             {LOCALE_SCONSOLEFALLBACKNAME, u"en-GB"},
                             {LOCALE_SENGLISHDISPLAYNAME, u"English (United Kingdom)"},
                             {LOCALE_SNATIVEDISPLAYNAME, u"English (United Kingdom)"},
                             {LOCALE_INEGATIVEPERCENT, u"1"},
                             {LOCALE_IPOSITIVEPERCENT, u"1"},
                             {LOCALE_SMONTHDAY, u"d MMMM"},
                             {LOCALE_SSHORTTIME, u"HH:mm"},
                             {LOCALE_SSORTLOCALE, u"en-GB"},
                             {LOCALE_SENGCOUNTRY, u"United Kingdom"},
                             {LOCALE_STIMEFORMAT, u"HH:mm:ss"},
                             {LOCALE_SENGCURRNAME, u"British Pound"},
                             {LOCALE_SNATIVECURRNAME, u"Pound Sterling"},
                             {LOCALE_IPAPERSIZE, u"9"},
                             {LOCALE_IFIRSTDAYOFWEEK, u"0"},
                             {LOCALE_IFIRSTWEEKOFYEAR, u"2"},
                         });
}

Values deDE() {
  Values v = overlay(enUS(), {
                                 {LOCALE_ILANGUAGE, u"0407"},
                                 {LOCALE_SLANGUAGE, u"German (Germany)"},
                                 {LOCALE_SABBREVLANGNAME, u"DEU"},
                                 {LOCALE_SNATIVELANGNAME, u"Deutsch"},
                                 {LOCALE_ICOUNTRY, u"49"},
                                 {LOCALE_SCOUNTRY, u"Germany"},
                                 {LOCALE_SABBREVCTRYNAME, u"DEU"},
                                 {LOCALE_SNATIVECTRYNAME, u"Deutschland"},
                                 {LOCALE_IDEFAULTLANGUAGE, u"0407"},
                                 {LOCALE_IDEFAULTCOUNTRY, u"49"},
                                 {LOCALE_IDEFAULTCODEPAGE, u"850"},
                                 {LOCALE_SLIST, u";"},
                                 {LOCALE_IMEASURE, u"0"},
                                 {LOCALE_SDECIMAL, u","},
                                 {LOCALE_STHOUSAND, u"."},
                                 {LOCALE_SCURRENCY, u"\u20AC"},
                                 {LOCALE_SINTLSYMBOL, u"EUR"},
                                 {LOCALE_SMONDECIMALSEP, u","},
                                 {LOCALE_SMONTHOUSANDSEP, u"."},
                                 {LOCALE_ICURRENCY, u"3"},
                                 {LOCALE_INEGCURR, u"8"},
                                 {LOCALE_SDATE, u"."},
                                 {LOCALE_SSHORTDATE, u"dd.MM.yyyy"},
                                 {LOCALE_SLONGDATE, u"dddd, d. MMMM yyyy"},
                                 {LOCALE_IDATE, u"1"},
                                 {LOCALE_ILDATE, u"1"},
                                 {LOCALE_ITIME, u"1"},
                                 {LOCALE_ITLZERO, u"1"},
                                 {LOCALE_IDAYLZERO, u"1"},
                                 {LOCALE_IMONLZERO, u"1"},
                                 {LOCALE_S1159, u""},
                                 {LOCALE_S2359, u""},
                                 {LOCALE_IPOSSYMPRECEDES, u"0"},
                                 {LOCALE_IPOSSEPBYSPACE, u"1"},
                                 {LOCALE_INEGSYMPRECEDES, u"0"},
                                 {LOCALE_INEGSEPBYSPACE, u"1"},
                                 {LOCALE_INEGSIGNPOSN, u"1"},
                                 {LOCALE_IPOSSIGNPOSN, u"1"},
                                 {LOCALE_SISO639LANGNAME, u"de"},
                                 {LOCALE_SISO3166CTRYNAME, u"DE"},
                                 {LOCALE_IGEOID, u"94"},
                                 {LOCALE_SNAME, u"de-DE"},
                                 {LOCALE_SISO639LANGNAME2, u"deu"},
                                 {LOCALE_SISO3166CTRYNAME2, u"DEU"},
                                 {LOCALE_SPARENT, u"de"},
                                 {LOCALE_SCONSOLEFALLBACKNAME, u"de-DE"},
                                 {LOCALE_SENGLISHDISPLAYNAME, u"German (Germany)"},
                                 {LOCALE_SNATIVEDISPLAYNAME, u"Deutsch (Deutschland)"},
                                 {LOCALE_INEGATIVEPERCENT, u"0"},
                                 {LOCALE_IPOSITIVEPERCENT, u"0"},
                                 {LOCALE_SMONTHDAY, u"d. MMMM"},
                                 {LOCALE_SSHORTTIME, u"HH:mm"},
                                 {LOCALE_SOPENTYPELANGUAGETAG, u"DEU "},
                                 {LOCALE_SSORTLOCALE, u"de-DE"},
                                 {LOCALE_SENGLANGUAGE, u"German"},
                                 {LOCALE_SENGCOUNTRY, u"Germany"},
                                 {LOCALE_STIMEFORMAT, u"HH:mm:ss"},
                                 {LOCALE_SENGCURRNAME, u"Euro"},
                                 {LOCALE_SNATIVECURRNAME, u"Euro"},
                                 {LOCALE_IPAPERSIZE, u"9"},
                                 {LOCALE_IFIRSTDAYOFWEEK, u"0"},
                                 {LOCALE_IFIRSTWEEKOFYEAR, u"2"},
                             });
  setNames(v, {{u"Montag", u"Dienstag", u"Mittwoch", u"Donnerstag", u"Freitag", u"Samstag", u"Sonntag"},
               {u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa", u"So"},
               {u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa", u"So"},
               {u"Januar", u"Februar", u"M\u00E4rz", u"April", u"Mai", u"Juni", u"Juli", u"August", u"September",
                u"Oktober", u"November", u"Dezember"},
               {u"Jan", u"Feb", u"M\u00E4r", u"Apr", u"Mai", u"Jun", u"Jul", u"Aug", u"Sep", u"Okt", u"Nov", u"Dez"}});
  return v;
}

Values invariant() {
  return overlay(enUS(), {
                             {LOCALE_ILANGUAGE, u"007f"},
                             {LOCALE_SLANGUAGE, u"Invariant Language (Invariant Country)"},
                             {LOCALE_SABBREVLANGNAME, u"IVL"},
                             {LOCALE_SNATIVELANGNAME, u"Invariant Language"},
                             {LOCALE_SCOUNTRY, u"Invariant Country"},
                             {LOCALE_SABBREVCTRYNAME, u"IVC"},
                             {LOCALE_SNATIVECTRYNAME, u"Invariant Country"},
                             {LOCALE_IDEFAULTLANGUAGE, u"0409"},
                             {LOCALE_SCURRENCY, u"\u00A4"},
                             {LOCALE_SINTLSYMBOL, u"XDR"},
                             {LOCALE_SSHORTDATE, u"MM/dd/yyyy"},
                             {LOCALE_SLONGDATE, u"dddd, dd MMMM yyyy"},
                             {LOCALE_ITIME, u"1"},
                             {LOCALE_ITLZERO, u"1"},
                             {LOCALE_IDAYLZERO, u"1"},
                             {LOCALE_IMONLZERO, u"1"},
                             {LOCALE_SISO639LANGNAME, u"iv"},
                             {LOCALE_SISO3166CTRYNAME, u"IV"},
                             {LOCALE_IGEOID, u"244"},
                             {LOCALE_SNAME, u""},
                             {LOCALE_SISO639LANGNAME2, u"ivl"},
                             {LOCALE_SISO3166CTRYNAME2, u"ivc"},
                             {LOCALE_SPARENT, u""},
                             {LOCALE_SCONSOLEFALLBACKNAME, u""},
                             {LOCALE_SENGLISHDISPLAYNAME, u"Invariant Language (Invariant Country)"},
                             {LOCALE_SNATIVEDISPLAYNAME, u"Invariant Language (Invariant Country)"},
                             {LOCALE_SMONTHDAY, u"MMMM dd"},
                             {LOCALE_SSHORTTIME, u"HH:mm"},
                             {LOCALE_SSORTLOCALE, u""},
                             {LOCALE_SENGLANGUAGE, u"Invariant Language"},
                             {LOCALE_SENGCOUNTRY, u"Invariant Country"},
                             {LOCALE_STIMEFORMAT, u"HH:mm:ss"},
                             {LOCALE_SYEARMONTH, u"yyyy MMMM"},
                             {LOCALE_SENGCURRNAME, u"International Monetary Fund"},
                             {LOCALE_SNATIVECURRNAME, u"International Monetary Fund"},
                             {LOCALE_IFIRSTDAYOFWEEK, u"6"},
                         });
}

const LocaleData* table() {
  static const LocaleData locales[] = {
      {0x0409, u"en-US", "en_US", enUS()},
      {0x0809, u"en-GB", "en_GB", enGB()},
      {0x0407, u"de-DE", "de_DE", deDE()},
      {LOCALE_INVARIANT, u"", "", invariant()},
  };
  return locales;
}
constexpr int kLocaleCount = 4;

const LocaleData* byName(std::u16string_view name) {
  for (int i = 0; i < kLocaleCount; ++i)
    if (tw::EqualsNoCase(table()[i].name, name)) return &table()[i];
  return nullptr;
}

const LocaleData* byLcid(LCID lcid) {
  for (int i = 0; i < kLocaleCount; ++i)
    if (table()[i].lcid == lcid) return &table()[i];
  return nullptr;
}

// The configured locale; an unsupported configuration falls back to en-US.
const LocaleData* configured() {
  const LocaleData* l = byName(tw::config::Get()->locale);
  return l ? l : &table()[0];
}

}  // namespace

const LocaleData* FindLocale(DWORD lcid) {
  if (HIWORD(lcid) != 0) return nullptr;  // alternate sort orders are not supported
  WORD lang = LANGIDFROMLCID(lcid);
  switch (lang) {
    case LOCALE_NEUTRAL:
    case LOCALE_USER_DEFAULT:
    case LOCALE_SYSTEM_DEFAULT:
    case LOCALE_CUSTOM_DEFAULT:
    case LOCALE_CUSTOM_UI_DEFAULT:
      return configured();
    default:
      break;
  }
  if (SUBLANGID(lang) == SUBLANG_NEUTRAL || SUBLANGID(lang) == SUBLANG_SYS_DEFAULT) {
    // A language without a country: the configured locale when it speaks
    // that language, else the language's main locale.
    const LocaleData* c = configured();
    if (PRIMARYLANGID(c->lcid) == PRIMARYLANGID(lang)) return c;
    return byLcid(MAKELANGID(PRIMARYLANGID(lang), SUBLANG_DEFAULT));
  }
  return byLcid(lang);
}

const LocaleData* FindLocaleByName(const WCHAR* name) {
  if (!name) return configured();
  std::u16string_view n(name);
  if (n == LOCALE_NAME_SYSTEM_DEFAULT) return configured();
  return byName(n);
}

bool LocaleValue(const LocaleData& locale, DWORD lctype, std::u16string& value) {
  if (lctype == LOCALE_IDEFAULTANSICODEPAGE && &locale == configured()) {
    value.clear();
    for (char ch : std::to_string(GetACP())) value += static_cast<char16_t>(ch);
    return true;
  }
  auto it = locale.values.find(lctype);
  if (it == locale.values.end()) return false;
  value = it->second;
  return true;
}

DWORD LocaleLcid(const LocaleData& locale) { return locale.lcid; }
const char* LocaleIcuName(const LocaleData& locale) { return locale.icuName; }

int CopyOut(std::u16string_view text, LPWSTR out, int cch) {
  int needed = static_cast<int>(text.size()) + 1;
  if (cch == 0) return needed;
  if (cch < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
  out[text.size()] = 0;
  return needed;
}

}  // namespace tw::nls

namespace {

using tw::nls::LocaleData;

int localeInfo(const LocaleData* locale, LCTYPE type, LPWSTR out, int cch) {
  if (cch < 0 || (cch > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!locale) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const LCTYPE modifiers =
      LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP | LOCALE_RETURN_NUMBER | LOCALE_RETURN_GENITIVE_NAMES | LOCALE_ALLOW_NEUTRAL_NAMES;
  std::u16string value;
  if (!tw::nls::LocaleValue(*locale, type & ~modifiers, value)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (type & LOCALE_RETURN_NUMBER) {
    // Only the numeric values (the I... types) have a number; it is written
    // as a DWORD into the buffer, whose size counts 2 units.
    WCHAR* end = nullptr;
    int base = (type & ~modifiers) == LOCALE_ILANGUAGE || (type & ~modifiers) == LOCALE_IDEFAULTLANGUAGE ? 16 : 10;
    DWORD number = static_cast<DWORD>(wcstoul(value.c_str(), &end, base));
    if (value.empty() || *end) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    const int units = sizeof(DWORD) / sizeof(WCHAR);
    if (cch == 0) return units;
    if (cch < units) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(out, &number, sizeof(number));
    return units;
  }
  return tw::nls::CopyOut(value, out, cch);
}

LANGID configuredLangId() { return static_cast<LANGID>(tw::nls::LocaleLcid(*tw::nls::FindLocale(LOCALE_USER_DEFAULT))); }

}  // namespace

int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
  return localeInfo(tw::nls::FindLocale(Locale), LCType, lpLCData, cchData);
}

int GetLocaleInfoEx(LPCWSTR lpLocaleName, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
  return localeInfo(tw::nls::FindLocaleByName(lpLocaleName), LCType, lpLCData, cchData);
}

LCID GetUserDefaultLCID(void) { return configuredLangId(); }
LCID GetSystemDefaultLCID(void) { return configuredLangId(); }
LCID GetThreadLocale(void) { return configuredLangId(); }
LANGID GetUserDefaultLangID(void) { return configuredLangId(); }
LANGID GetSystemDefaultLangID(void) { return configuredLangId(); }
LANGID GetUserDefaultUILanguage(void) { return configuredLangId(); }
LANGID GetSystemDefaultUILanguage(void) { return configuredLangId(); }

int GetUserDefaultLocaleName(LPWSTR lpLocaleName, int cchLocaleName) {
  return localeInfo(tw::nls::FindLocale(LOCALE_USER_DEFAULT), LOCALE_SNAME, lpLocaleName, cchLocaleName);
}

int GetSystemDefaultLocaleName(LPWSTR lpLocaleName, int cchLocaleName) {
  return GetUserDefaultLocaleName(lpLocaleName, cchLocaleName);
}

LCID LocaleNameToLCID(LPCWSTR lpName, DWORD) {
  const LocaleData* l = tw::nls::FindLocaleByName(lpName);
  if (!l) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return tw::nls::LocaleLcid(*l);
}

int LCIDToLocaleName(LCID Locale, LPWSTR lpName, int cchName, DWORD) {
  return localeInfo(tw::nls::FindLocale(Locale), LOCALE_SNAME, lpName, cchName);
}

BOOL IsValidLocale(LCID Locale, DWORD dwFlags) {
  if (dwFlags != LCID_INSTALLED && dwFlags != LCID_SUPPORTED) return FALSE;
  WORD lang = LANGIDFROMLCID(Locale);
  if (lang == LOCALE_USER_DEFAULT || lang == LOCALE_SYSTEM_DEFAULT) return TRUE;
  return (HIWORD(Locale) == 0 && tw::nls::FindLocale(Locale)) ? TRUE : FALSE;
}
