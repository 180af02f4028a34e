// String comparison (CompareStringW, CompareStringOrdinal, lstrcmpW,
// lstrcmpiW) and LCMapStringW, on ICU collation.
#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/nls_internal.h"
#include "tw/wcrt.h"
#include "winerror.h"

namespace {

using tw::nls::LocaleData;

constexpr DWORD kCompareFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | SORT_STRINGSORT |
                                NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | NORM_LINGUISTIC_CASING |
                                LINGUISTIC_IGNORECASE | LINGUISTIC_IGNOREDIACRITIC | SORT_DIGITSASNUMBERS;

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// Collators are kept per thread (one per locale and setting), since opening
// one costs far more than a comparison.
UCollator* collatorFor(const char* icuName, bool ignoreAccents, bool numeric) {
  thread_local std::map<std::tuple<std::string, bool, bool>, std::unique_ptr<UCollator, CollatorCloser>> cache;
  auto key = std::make_tuple(std::string(icuName), ignoreAccents, numeric);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second.get();
  UErrorCode err = U_ZERO_ERROR;
  UCollator* c = ucol_open(icuName, &err);
  if (U_FAILURE(err) || !c) return nullptr;
  // Accents ignored but case kept: primary strength with the case level.
  ucol_setAttribute(c, UCOL_STRENGTH, ignoreAccents ? UCOL_PRIMARY : UCOL_TERTIARY, &err);
  if (ignoreAccents) ucol_setAttribute(c, UCOL_CASE_LEVEL, UCOL_ON, &err);
  ucol_setAttribute(c, UCOL_NUMERIC_COLLATION, numeric ? UCOL_ON : UCOL_OFF, &err);
  ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &err);
  cache.emplace(key, std::unique_ptr<UCollator, CollatorCloser>(c));
  return c;
}

std::u16string prepare(std::u16string_view text, DWORD flags) {
  std::u16string out;
  out.reserve(text.size());
  for (WCHAR c : text) {
    if (flags & NORM_IGNORESYMBOLS) {
      WORD t = tw::nls::CType1(c);
      if (t & (C1_PUNCT | C1_SPACE)) continue;
    }
    if ((flags & NORM_IGNOREWIDTH) && c >= 0xFF01 && c <= 0xFF5E) c = static_cast<WCHAR>(c - 0xFEE0);
    if ((flags & NORM_IGNOREWIDTH) && c == 0x3000) c = u' ';
    out += c;
  }
  if (flags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE)) {
    UErrorCode err = U_ZERO_ERROR;
    std::u16string folded(out.size() * 3 + 1, u'\0');
    int32_t n = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()), out.data(),
                              static_cast<int32_t>(out.size()), U_FOLD_CASE_DEFAULT, &err);
    if (U_SUCCESS(err)) {
      folded.resize(n);
      out = std::move(folded);
    }
  }
  return out;
}

std::u16string withoutHyphens(const std::u16string& s) {
  std::u16string out;
  for (WCHAR c : s)
    if (c != u'-' && c != u'\'') out += c;
  return out;
}

int compare(const LocaleData* locale, DWORD flags, LPCWSTR s1, int n1, LPCWSTR s2, int n2) {
  if (!locale || !s1 || !s2 || n1 < -1 || n2 < -1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (flags & ~kCompareFlags) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  std::u16string a = prepare(std::u16string_view(s1, n1 < 0 ? wcslen(s1) : size_t(n1)), flags);
  std::u16string b = prepare(std::u16string_view(s2, n2 < 0 ? wcslen(s2) : size_t(n2)), flags);
  UCollator* coll = collatorFor(tw::nls::LocaleIcuName(*locale),
                                (flags & (NORM_IGNORENONSPACE | LINGUISTIC_IGNOREDIACRITIC)) != 0,
                                (flags & SORT_DIGITSASNUMBERS) != 0);
  if (!coll) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  auto coll16 = [&](const std::u16string& x, const std::u16string& y) {
    return ucol_strcoll(coll, x.data(), static_cast<int32_t>(x.size()), y.data(), static_cast<int32_t>(y.size()));
  };
  UCollationResult r = UCOL_EQUAL;
  if (!(flags & SORT_STRINGSORT)) {
    // Word sort: hyphen and apostrophe weigh only when all else is equal, and
    // then the string with fewer of them comes first ("coop" < "co-op").
    std::u16string a2 = withoutHyphens(a), b2 = withoutHyphens(b);
    r = coll16(a2, b2);
    if (r == UCOL_EQUAL && a.size() - a2.size() != b.size() - b2.size())
      r = (a.size() - a2.size()) < (b.size() - b2.size()) ? UCOL_LESS : UCOL_GREATER;
  }
  if (r == UCOL_EQUAL) r = coll16(a, b);
  return r == UCOL_LESS ? CSTR_LESS_THAN : r == UCOL_EQUAL ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

}  // namespace

int CompareStringW(LCID Locale, DWORD dwCmpFlags, LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2,
                   int cchCount2) {
  return compare(tw::nls::FindLocale(Locale), dwCmpFlags, lpString1, cchCount1, lpString2, cchCount2);
}

int CompareStringEx(LPCWSTR lpLocaleName, DWORD dwCmpFlags, LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2,
                    int cchCount2, void* lpVersionInformation, LPVOID lpReserved, LPARAM lParam) {
  if (lpVersionInformation || lpReserved || lParam) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return compare(tw::nls::FindLocaleByName(lpLocaleName), dwCmpFlags, lpString1, cchCount1, lpString2, cchCount2);
}

int CompareStringOrdinal(LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2, int cchCount2, BOOL bIgnoreCase) {
  if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view a(lpString1, cchCount1 < 0 ? wcslen(lpString1) : size_t(cchCount1));
  std::u16string_view b(lpString2, cchCount2 < 0 ? wcslen(lpString2) : size_t(cchCount2));
  int r = bIgnoreCase ? tw::CompareNoCase(a, b) : a.compare(b);
  return r < 0 ? CSTR_LESS_THAN : r == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

// A null pointer sorts before every string, as Windows does.
int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return (a == b) ? 0 : (a ? 1 : -1);
  return CompareStringW(LOCALE_USER_DEFAULT, 0, a, -1, b, -1) - CSTR_EQUAL;
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return (a == b) ? 0 : (a ? 1 : -1);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) - CSTR_EQUAL;
}

int LCMapStringW(LCID Locale, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc, LPWSTR lpDestStr, int cchDest) {
  const LocaleData* locale = tw::nls::FindLocale(Locale);
  if (!locale || !lpSrcStr || cchSrc == 0 || cchSrc < -1 || cchDest < 0 || (cchDest > 0 && !lpDestStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t n = cchSrc < 0 ? wcslen(lpSrcStr) + 1 : size_t(cchSrc);
  const DWORD kind = dwMapFlags & ~DWORD(LCMAP_LINGUISTIC_CASING);
  if (kind == LCMAP_SORTKEY) {
    // The sort key is a byte string; cchDest counts bytes.
    UCollator* coll = collatorFor(tw::nls::LocaleIcuName(*locale), false, false);
    if (!coll) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    int32_t srcLen = static_cast<int32_t>(cchSrc < 0 ? n - 1 : n);
    int32_t needed = ucol_getSortKey(coll, lpSrcStr, srcLen, nullptr, 0);
    if (cchDest == 0) return needed;
    if (cchDest < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    ucol_getSortKey(coll, lpSrcStr, srcLen, reinterpret_cast<uint8_t*>(lpDestStr), cchDest);
    return needed;
  }
  WCHAR (*map)(WCHAR) = nullptr;
  if (kind == LCMAP_UPPERCASE)
    map = tw::nls::UpperUnit;
  else if (kind == LCMAP_LOWERCASE)
    map = tw::nls::LowerUnit;
  else if (kind != LCMAP_BYTEREV) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (cchDest == 0) return static_cast<int>(n);
  if (static_cast<size_t>(cchDest) < n) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < n; ++i) {
    WCHAR c = lpSrcStr[i];
    lpDestStr[i] = map ? map(c) : static_cast<WCHAR>((c >> 8) | (c << 8));
  }
  return static_cast<int>(n);
}
