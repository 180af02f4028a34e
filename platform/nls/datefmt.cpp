// GetDateFormatW / GetTimeFormatW: Windows date and time pictures.
#include <cstring>
#include <string>
#include <vector>

#include "tw/clock.h"
#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/nls_internal.h"
#include "tw/time.h"
#include "winerror.h"

namespace {

using tw::nls::LocaleData;

std::u16string value(const LocaleData& locale, LCTYPE type) {
  std::u16string v;
  tw::nls::LocaleValue(locale, type, v);
  return v;
}

void appendNumber(std::u16string& out, unsigned v, int minDigits) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
    v /= 10;
  } while (v);
  while (static_cast<int>(digits.size()) < minDigits) digits.insert(digits.begin(), u'0');
  out += digits;
}

// One element of a picture: a run of the same format letter, or literal text.
struct Token {
  char16_t letter;  // 0 for literal text
  int count;
  std::u16string text;
};

// Splits a picture into format runs (letters from `letters`) and literal
// text; quoted text is literal, '' is one quote.
std::vector<Token> tokenize(std::u16string_view picture, std::u16string_view letters) {
  std::vector<Token> tokens;
  auto literal = [&](char16_t c) {
    if (tokens.empty() || tokens.back().letter != 0) tokens.push_back({0, 0, {}});
    tokens.back().text += c;
  };
  for (size_t i = 0; i < picture.size();) {
    char16_t c = picture[i];
    if (c == u'\'') {
      ++i;
      if (i < picture.size() && picture[i] == u'\'') {  // '' outside quotes
        literal(u'\'');
        ++i;
        continue;
      }
      while (i < picture.size()) {
        if (picture[i] == u'\'') {
          if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
            literal(u'\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        literal(picture[i++]);
      }
      continue;
    }
    if (letters.find(c) != std::u16string_view::npos) {
      size_t j = i;
      while (j < picture.size() && picture[j] == c) ++j;
      tokens.push_back({c, static_cast<int>(j - i), {}});
      i = j;
      continue;
    }
    literal(c);
    ++i;
  }
  return tokens;
}

std::u16string eraName(const LocaleData& locale) {
  return value(locale, LOCALE_SISO639LANGNAME) == u"de" ? u"n. Chr." : u"A.D.";
}

std::u16string formatDate(const LocaleData& locale, const SYSTEMTIME& d, std::u16string_view picture) {
  std::u16string out;
  for (const Token& t : tokenize(picture, u"dMyg")) {
    switch (t.letter) {
      case 0:
        out += t.text;
        break;
      case u'd':
        if (t.count <= 2)
          appendNumber(out, d.wDay, t.count);
        else  // Monday is SDAYNAME1; wDayOfWeek counts from Sunday
          out += value(locale, (t.count == 3 ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1) + (d.wDayOfWeek + 6) % 7);
        break;
      case u'M':
        if (t.count <= 2)
          appendNumber(out, d.wMonth, t.count);
        else
          out += value(locale, (t.count == 3 ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1) + d.wMonth - 1);
        break;
      case u'y':
        if (t.count <= 2)
          appendNumber(out, d.wYear % 100, t.count);  // "y": no leading zero
        else
          appendNumber(out, d.wYear, 1);
        break;
      case u'g':
        out += eraName(locale);
        break;
    }
  }
  return out;
}

std::u16string formatTime(const LocaleData& locale, const SYSTEMTIME& t, std::u16string_view picture, DWORD flags) {
  std::vector<Token> tokens = tokenize(picture, u"hHmst");
  auto dropWithSeparators = [&](char16_t letter, bool after) {
    for (size_t i = 0; i < tokens.size();) {
      if (tokens[i].letter != letter) {
        ++i;
        continue;
      }
      size_t from = i, to = i + 1;
      if (from > 0 && tokens[from - 1].letter == 0) --from;
      if (after && to < tokens.size() && tokens[to].letter == 0) ++to;
      tokens.erase(tokens.begin() + from, tokens.begin() + to);
      i = from;
    }
  };
  if (flags & TIME_NOMINUTESORSECONDS) {
    dropWithSeparators(u'm', false);
    dropWithSeparators(u's', false);
  } else if (flags & TIME_NOSECONDS) {
    dropWithSeparators(u's', false);
  }
  if (flags & TIME_NOTIMEMARKER) dropWithSeparators(u't', true);
  std::u16string out;
  const std::u16string marker = value(locale, t.wHour < 12 ? LOCALE_S1159 : LOCALE_S2359);
  for (const Token& tok : tokens) {
    switch (tok.letter) {
      case 0:
        out += tok.text;
        break;
      case u'h':
        if (flags & TIME_FORCE24HOURFORMAT)
          appendNumber(out, t.wHour, tok.count >= 2 ? 2 : 1);
        else
          appendNumber(out, t.wHour % 12 == 0 ? 12 : t.wHour % 12, tok.count >= 2 ? 2 : 1);
        break;
      case u'H':
        appendNumber(out, t.wHour, tok.count >= 2 ? 2 : 1);
        break;
      case u'm':
        appendNumber(out, t.wMinute, tok.count >= 2 ? 2 : 1);
        break;
      case u's':
        appendNumber(out, t.wSecond, tok.count >= 2 ? 2 : 1);
        break;
      case u't':
        if (tok.count == 1)
          out += marker.substr(0, 1);
        else
          out += marker;
        break;
    }
  }
  return out;
}

int dateFormat(const LocaleData* locale, DWORD flags, const SYSTEMTIME* date, LPCWSTR format, LPWSTR out, int cch) {
  if (!locale || cch < 0 || (cch > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD kinds = DATE_SHORTDATE | DATE_LONGDATE | DATE_YEARMONTH | DATE_MONTHDAY;
  const DWORD allowed = kinds | DATE_USE_ALT_CALENDAR | DATE_LTRREADING | DATE_RTLREADING | DATE_AUTOLAYOUT |
                        LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP;
  DWORD kind = flags & kinds;
  if ((flags & ~allowed) || (kind & (kind - 1)) || (format && (kind || (flags & LOCALE_NOUSEROVERRIDE))) ||
      ((flags & DATE_LTRREADING) && (flags & DATE_RTLREADING))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  SYSTEMTIME d;
  if (date) {
    d = *date;
    d.wHour = d.wMinute = d.wSecond = d.wMilliseconds = 0;  // only the date counts
    std::int64_t v;
    if (!tw::clock::SystemTimeTo100ns(d, v)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    tw::clock::SystemTimeFrom100ns(v, d);  // the real day of the week
  } else {
    GetLocalTime(&d);
  }
  std::u16string picture;
  if (format)
    picture = format;
  else
    picture = value(*locale, kind == DATE_LONGDATE      ? LOCALE_SLONGDATE
                             : kind == DATE_YEARMONTH ? LOCALE_SYEARMONTH
                             : kind == DATE_MONTHDAY  ? LOCALE_SMONTHDAY
                                                      : LOCALE_SSHORTDATE);
  return tw::nls::CopyOut(formatDate(*locale, d, picture), out, cch);
}

int timeFormat(const LocaleData* locale, DWORD flags, const SYSTEMTIME* time, LPCWSTR format, LPWSTR out, int cch) {
  if (!locale || cch < 0 || (cch > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed = TIME_NOMINUTESORSECONDS | TIME_NOSECONDS | TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT |
                        LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP;
  if ((flags & ~allowed) || (format && (flags & LOCALE_NOUSEROVERRIDE))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  SYSTEMTIME t;
  if (time) {
    t = *time;
    if (t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else {
    GetLocalTime(&t);
  }
  std::u16string picture = format ? std::u16string(format) : value(*locale, LOCALE_STIMEFORMAT);
  return tw::nls::CopyOut(formatTime(*locale, t, picture, flags), out, cch);
}

}  // namespace

int GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat, LPWSTR lpDateStr,
                   int cchDate) {
  return dateFormat(tw::nls::FindLocale(Locale), dwFlags, lpDate, lpFormat, lpDateStr, cchDate);
}

int GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCWSTR lpFormat, LPWSTR lpTimeStr,
                   int cchTime) {
  return timeFormat(tw::nls::FindLocale(Locale), dwFlags, lpTime, lpFormat, lpTimeStr, cchTime);
}

int GetDateFormatEx(LPCWSTR lpLocaleName, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat, LPWSTR lpDateStr,
                    int cchDate, LPCWSTR lpCalendar) {
  if (lpCalendar) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return dateFormat(tw::nls::FindLocaleByName(lpLocaleName), dwFlags, lpDate, lpFormat, lpDateStr, cchDate);
}

int GetTimeFormatEx(LPCWSTR lpLocaleName, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCWSTR lpFormat, LPWSTR lpTimeStr,
                    int cchTime) {
  return timeFormat(tw::nls::FindLocaleByName(lpLocaleName), dwFlags, lpTime, lpFormat, lpTimeStr, cchTime);
}
