// Character classes (GetStringTypeW, IsCharAlphaW, iswalpha, ...) and simple
// case mapping (CharUpperW, CharLowerW), on ICU's character properties.
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/nls_internal.h"
#include "tw/wcrt.h"
#include "winerror.h"

namespace tw::nls {

WORD CType1(WCHAR c) {
  const int8_t type = u_charType(c);
  if (type == U_UNASSIGNED) return 0;
  WORD v = C1_DEFINED;
  switch (type) {
    case U_UPPERCASE_LETTER:
      v |= C1_UPPER | C1_ALPHA;
      break;
    case U_LOWERCASE_LETTER:
      v |= C1_LOWER | C1_ALPHA;
      break;
    case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER:
    case U_OTHER_LETTER:
      v |= C1_ALPHA;
      break;
    case U_DECIMAL_DIGIT_NUMBER:
      v |= C1_DIGIT;
      break;
    case U_CONTROL_CHAR:
      v |= C1_CNTRL;
      break;
    case U_DASH_PUNCTUATION:
    case U_START_PUNCTUATION:
    case U_END_PUNCTUATION:
    case U_CONNECTOR_PUNCTUATION:
    case U_OTHER_PUNCTUATION:
    case U_INITIAL_PUNCTUATION:
    case U_FINAL_PUNCTUATION:
    case U_MATH_SYMBOL:
    case U_CURRENCY_SYMBOL:
    case U_MODIFIER_SYMBOL:
    case U_OTHER_SYMBOL:
      v |= C1_PUNCT;
      break;
    case U_OTHER_NUMBER:
      v |= C1_PUNCT;
      break;
    default:
      break;
  }
  // Windows counts the Latin-1 superscript digits as digits too.
  if (c == 0x00B2 || c == 0x00B3 || c == 0x00B9) v |= C1_DIGIT;
  if (u_isUWhiteSpace(c)) v |= C1_SPACE;
  if (c == u'\t' || type == U_SPACE_SEPARATOR) v |= C1_BLANK;
  if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f') ||
      (c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF26) || (c >= 0xFF41 && c <= 0xFF46))
    v |= C1_XDIGIT;
  return v;
}

WORD CType2(WCHAR c) {
  switch (u_charDirection(c)) {
    case U_LEFT_TO_RIGHT:
      return C2_LEFTTORIGHT;
    case U_RIGHT_TO_LEFT:
    case U_RIGHT_TO_LEFT_ARABIC:
      return C2_RIGHTTOLEFT;
    case U_EUROPEAN_NUMBER:
      return C2_EUROPENUMBER;
    case U_EUROPEAN_NUMBER_SEPARATOR:
      return C2_EUROPESEPARATOR;
    case U_EUROPEAN_NUMBER_TERMINATOR:
      return C2_EUROPETERMINATOR;
    case U_ARABIC_NUMBER:
      return C2_ARABICNUMBER;
    case U_COMMON_NUMBER_SEPARATOR:
      return C2_COMMONSEPARATOR;
    case U_BLOCK_SEPARATOR:
      return C2_BLOCKSEPARATOR;
    case U_SEGMENT_SEPARATOR:
      return C2_SEGMENTSEPARATOR;
    case U_WHITE_SPACE_NEUTRAL:
      return C2_WHITESPACE;
    case U_BOUNDARY_NEUTRAL:  // controls without a direction of their own
      return C2_NOTAPPLICABLE;
    default:  // other neutrals, marks, embeddings and isolates
      return C2_OTHERNEUTRAL;
  }
}

WORD CType3(WCHAR c) {
  if (c >= 0xD800 && c <= 0xDBFF) return C3_HIGHSURROGATE;
  if (c >= 0xDC00 && c <= 0xDFFF) return C3_LOWSURROGATE;
  const int8_t type = u_charType(c);
  if (type == U_UNASSIGNED) return 0;
  WORD v = 0;
  if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK) v |= C3_NONSPACING;
  if (u_hasBinaryProperty(c, UCHAR_DIACRITIC)) v |= C3_DIACRITIC;
  if (type == U_MATH_SYMBOL || type == U_CURRENCY_SYMBOL || type == U_MODIFIER_SYMBOL || type == U_OTHER_SYMBOL)
    v |= C3_SYMBOL;
  const UScriptCode script = static_cast<UScriptCode>(u_getIntPropertyValue(c, UCHAR_SCRIPT));
  if (script == USCRIPT_KATAKANA) v |= C3_KATAKANA;
  if (script == USCRIPT_HIRAGANA) v |= C3_HIRAGANA;
  const int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
  if (width == U_EA_HALFWIDTH || width == U_EA_NARROW) v |= C3_HALFWIDTH;
  if (width == U_EA_FULLWIDTH || width == U_EA_WIDE) v |= C3_FULLWIDTH;
  if (u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC)) v |= C3_IDEOGRAPH;
  if (c == 0x0640) v |= C3_KASHIDA;
  if (u_isUAlphabetic(c)) v |= C3_ALPHA;
  return v;
}

WCHAR UpperUnit(WCHAR c) {
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  UChar32 u = u_toupper(c);
  return u <= 0xFFFF ? static_cast<WCHAR>(u) : c;
}

WCHAR LowerUnit(WCHAR c) {
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  UChar32 u = u_tolower(c);
  return u <= 0xFFFF ? static_cast<WCHAR>(u) : c;
}

}  // namespace tw::nls

using tw::nls::CType1;

BOOL GetStringTypeW(DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc, LPWORD lpCharType) {
  if (!lpSrcStr || !lpCharType || cchSrc == 0 || cchSrc < -1 ||
      static_cast<const void*>(lpSrcStr) == static_cast<const void*>(lpCharType)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WORD (*classify)(WCHAR);
  switch (dwInfoType) {
    case CT_CTYPE1:
      classify = tw::nls::CType1;
      break;
    case CT_CTYPE2:
      classify = tw::nls::CType2;
      break;
    case CT_CTYPE3:
      classify = tw::nls::CType3;
      break;
    default:
      SetLastError(ERROR_INVALID_FLAGS);
      return FALSE;
  }
  size_t n = cchSrc == -1 ? wcslen(lpSrcStr) + 1 : static_cast<size_t>(cchSrc);
  for (size_t i = 0; i < n; ++i) lpCharType[i] = classify(lpSrcStr[i]);
  return TRUE;
}

BOOL GetStringTypeExW(LCID, DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc, LPWORD lpCharType) {
  // The classes do not depend on the locale.
  return GetStringTypeW(dwInfoType, lpSrcStr, cchSrc, lpCharType);
}

BOOL IsCharAlphaW(WCHAR ch) { return (CType1(ch) & C1_ALPHA) ? TRUE : FALSE; }
BOOL IsCharAlphaNumericW(WCHAR ch) { return (CType1(ch) & (C1_ALPHA | C1_DIGIT)) ? TRUE : FALSE; }
BOOL IsCharUpperW(WCHAR ch) { return (CType1(ch) & C1_UPPER) ? TRUE : FALSE; }
BOOL IsCharLowerW(WCHAR ch) { return (CType1(ch) & C1_LOWER) ? TRUE : FALSE; }

namespace {

LPWSTR mapString(LPWSTR text, WCHAR (*map)(WCHAR)) {
  if (!text) return nullptr;
  if (IS_INTRESOURCE(text)) {  // one character in the low word
    WCHAR c = map(static_cast<WCHAR>(reinterpret_cast<ULONG_PTR>(text)));
    return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c));
  }
  for (WCHAR* p = text; *p; ++p) *p = map(*p);
  return text;
}

DWORD mapBuffer(LPWSTR text, DWORD length, WCHAR (*map)(WCHAR)) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = map(text[i]);
  return length;
}

bool isLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isMark(WCHAR c) {
  int8_t t = u_charType(c);
  return t == U_NON_SPACING_MARK || t == U_ENCLOSING_MARK || t == U_COMBINING_SPACING_MARK;
}

}  // namespace

LPWSTR CharUpperW(LPWSTR lpsz) { return mapString(lpsz, tw::nls::UpperUnit); }
LPWSTR CharLowerW(LPWSTR lpsz) { return mapString(lpsz, tw::nls::LowerUnit); }
DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) { return mapBuffer(lpsz, cchLength, tw::nls::UpperUnit); }
DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) { return mapBuffer(lpsz, cchLength, tw::nls::LowerUnit); }

LPWSTR CharNextW(LPCWSTR lpsz) {
  if (!lpsz) return nullptr;
  if (!*lpsz) return const_cast<LPWSTR>(lpsz);
  const WCHAR* p = lpsz;
  if (isHighSurrogate(p[0]) && isLowSurrogate(p[1]))
    p += 2;
  else
    ++p;
  while (*p && isMark(*p)) ++p;
  return const_cast<LPWSTR>(p);
}

LPWSTR CharPrevW(LPCWSTR lpszStart, LPCWSTR lpszCurrent) {
  if (!lpszStart || !lpszCurrent || lpszCurrent <= lpszStart) return const_cast<LPWSTR>(lpszStart);
  const WCHAR* p = lpszCurrent - 1;
  while (p > lpszStart && isMark(*p)) --p;
  if (p > lpszStart && isLowSurrogate(*p) && isHighSurrogate(p[-1])) --p;
  return const_cast<LPWSTR>(p);
}

// The wide CRT classes ("C" locale) answer from the same table.
int iswspace(WCHAR c) { return (CType1(c) & C1_SPACE) != 0; }
int iswdigit(WCHAR c) { return (CType1(c) & C1_DIGIT) != 0; }
int iswxdigit(WCHAR c) { return (CType1(c) & C1_XDIGIT) != 0; }
int iswalpha(WCHAR c) { return (CType1(c) & C1_ALPHA) != 0; }
int iswalnum(WCHAR c) { return (CType1(c) & (C1_ALPHA | C1_DIGIT)) != 0; }
int iswupper(WCHAR c) { return (CType1(c) & C1_UPPER) != 0; }
int iswlower(WCHAR c) { return (CType1(c) & C1_LOWER) != 0; }
int iswpunct(WCHAR c) { return (CType1(c) & C1_PUNCT) != 0; }
int iswcntrl(WCHAR c) { return (CType1(c) & C1_CNTRL) != 0; }
int iswprint(WCHAR c) {
  WORD t = CType1(c);
  return (t & C1_DEFINED) && !(t & C1_CNTRL);
}
