// National language support: code pages, character classes, case mapping,
// string comparison, locale information, date and time pictures, and
// FormatMessageW.
//
// The locale is the machine's (config.json "locale", default "en-US"); the
// ANSI code page is config.json "ansi_code_page" (default 1252). Supported
// locales: en-US, en-GB, de-DE (and the invariant locale).
#pragma once
#include <cstdarg>

#include "tw/wintypes.h"

// ---------------------------------------------------------------------------
// Code pages
// ---------------------------------------------------------------------------
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2

typedef struct _cpinfo {
  UINT MaxCharSize;
  BYTE DefaultChar[MAX_DEFAULTCHAR];
  BYTE LeadByte[MAX_LEADBYTES];
} CPINFO, *LPCPINFO;
static_assert(sizeof(CPINFO) == 20);

// Code pages: the ANSI one (CP_ACP, CP_THREAD_ACP), 437 and 850 (OEM), 1250 to
// 1258, 874, 28591 to 28605, 20127, CP_UTF8 and the other single-byte pages
// ICU knows. 1252 is exact as on Windows, including the five bytes Windows
// leaves undefined (0x81 0x8D 0x8F 0x90 0x9D map to U+0081 ...). Characters
// without a mapping get the best fit (the letter without its accent, the
// ASCII form of a full-width letter) unless WC_NO_BEST_FIT_CHARS, else the
// default character ("?" unless given). Invalid UTF-8 becomes U+FFFD, or fails
// with ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS. Multi-byte
// East Asian pages are not supported (ERROR_INVALID_PARAMETER).
TWAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                              LPWSTR lpWideCharStr, int cchWideChar);
TWAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                              LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                              LPBOOL lpUsedDefaultChar);
TWAPI UINT GetACP(void);
TWAPI UINT GetOEMCP(void);
TWAPI BOOL IsValidCodePage(UINT CodePage);
TWAPI BOOL GetCPInfo(UINT CodePage, LPCPINFO lpCPInfo);

// ---------------------------------------------------------------------------
// Character classes and case mapping
// ---------------------------------------------------------------------------
#define CT_CTYPE1 0x00000001
#define CT_CTYPE2 0x00000002
#define CT_CTYPE3 0x00000004

#define C1_UPPER 0x0001
#define C1_LOWER 0x0002
#define C1_DIGIT 0x0004
#define C1_SPACE 0x0008
#define C1_PUNCT 0x0010
#define C1_CNTRL 0x0020
#define C1_BLANK 0x0040
#define C1_XDIGIT 0x0080
#define C1_ALPHA 0x0100
#define C1_DEFINED 0x0200

#define C2_LEFTTORIGHT 0x0001
#define C2_RIGHTTOLEFT 0x0002
#define C2_EUROPENUMBER 0x0003
#define C2_EUROPESEPARATOR 0x0004
#define C2_EUROPETERMINATOR 0x0005
#define C2_ARABICNUMBER 0x0006
#define C2_COMMONSEPARATOR 0x0007
#define C2_BLOCKSEPARATOR 0x0008
#define C2_SEGMENTSEPARATOR 0x0009
#define C2_WHITESPACE 0x000A
#define C2_OTHERNEUTRAL 0x000B
#define C2_NOTAPPLICABLE 0x0000

#define C3_NONSPACING 0x0001
#define C3_DIACRITIC 0x0002
#define C3_VOWELMARK 0x0004
#define C3_SYMBOL 0x0008
#define C3_KATAKANA 0x0010
#define C3_HIRAGANA 0x0020
#define C3_HALFWIDTH 0x0040
#define C3_FULLWIDTH 0x0080
#define C3_IDEOGRAPH 0x0100
#define C3_KASHIDA 0x0200
#define C3_LEXICAL 0x0400
#define C3_HIGHSURROGATE 0x0800
#define C3_LOWSURROGATE 0x1000
#define C3_ALPHA 0x8000
#define C3_NOTAPPLICABLE 0x0000

// One 16-bit value per unit of the source (cchSrc -1: null-terminated, and
// the terminator gets a value too). CT_CTYPE1 from the Unicode general
// categories, CT_CTYPE2 from the Unicode bidi classes (R and AL are
// C2_RIGHTTOLEFT; marks, embeddings and boundary neutrals are
// C2_OTHERNEUTRAL / C2_NOTAPPLICABLE), CT_CTYPE3 approximated from ICU
// properties.
TWAPI BOOL GetStringTypeW(DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc, LPWORD lpCharType);
TWAPI BOOL GetStringTypeExW(LCID Locale, DWORD dwInfoType, LPCWSTR lpSrcStr, int cchSrc, LPWORD lpCharType);

TWAPI BOOL IsCharAlphaW(WCHAR ch);
TWAPI BOOL IsCharAlphaNumericW(WCHAR ch);
TWAPI BOOL IsCharUpperW(WCHAR ch);
TWAPI BOOL IsCharLowerW(WCHAR ch);
// Simple (one unit to one unit) Unicode case mapping. CharUpperW/CharLowerW
// with a pointer whose high word is zero convert the single character in its
// low word and return it the same way.
TWAPI LPWSTR CharUpperW(LPWSTR lpsz);
TWAPI LPWSTR CharLowerW(LPWSTR lpsz);
TWAPI DWORD CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
TWAPI DWORD CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
// Next/previous character, keeping surrogate pairs and combining marks with
// their base; stops at the terminator / the start.
TWAPI LPWSTR CharNextW(LPCWSTR lpsz);
TWAPI LPWSTR CharPrevW(LPCWSTR lpszStart, LPCWSTR lpszCurrent);

// ---------------------------------------------------------------------------
// Locales and string comparison
// ---------------------------------------------------------------------------
#define LANG_NEUTRAL 0x00
#define LANG_INVARIANT 0x7f
#define LANG_ENGLISH 0x09
#define LANG_GERMAN 0x07
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_ENGLISH_UK 0x02
#define SUBLANG_GERMAN 0x01
#define SORT_DEFAULT 0x0
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid) & 0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define MAKELCID(lgid, srtid) ((DWORD)((((DWORD)((WORD)(srtid))) << 16) | ((DWORD)((WORD)(lgid)))))
#define LANGIDFROMLCID(lcid) ((WORD)(lcid))
typedef WORD LANGID;

#define LOCALE_NEUTRAL 0x0000
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_CUSTOM_DEFAULT 0x0C00
#define LOCALE_CUSTOM_UNSPECIFIED 0x1000
#define LOCALE_CUSTOM_UI_DEFAULT 0x1400
#define LOCALE_INVARIANT 0x007F
#define LOCALE_NAME_MAX_LENGTH 85
#define LOCALE_NAME_INVARIANT u""
#define LOCALE_NAME_USER_DEFAULT nullptr
#define LOCALE_NAME_SYSTEM_DEFAULT u"!x-sys-default-locale"

#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

#define NORM_IGNORECASE 0x00000001
#define NORM_IGNORENONSPACE 0x00000002
#define NORM_IGNORESYMBOLS 0x00000004
#define SORT_STRINGSORT 0x00001000
#define NORM_IGNOREKANATYPE 0x00010000
#define NORM_IGNOREWIDTH 0x00020000
#define NORM_LINGUISTIC_CASING 0x08000000
#define LINGUISTIC_IGNORECASE 0x00000010
#define LINGUISTIC_IGNOREDIACRITIC 0x00000020
#define SORT_DIGITSASNUMBERS 0x00000008

#define LCMAP_LOWERCASE 0x00000100
#define LCMAP_UPPERCASE 0x00000200
#define LCMAP_TITLECASE 0x00000300
#define LCMAP_SORTKEY 0x00000400
#define LCMAP_BYTEREV 0x00000800
#define LCMAP_HIRAGANA 0x00100000
#define LCMAP_KATAKANA 0x00200000
#define LCMAP_HALFWIDTH 0x00400000
#define LCMAP_FULLWIDTH 0x00800000
#define LCMAP_LINGUISTIC_CASING 0x01000000

// Linguistic comparison of the locale (ICU collation of the locale's
// language): CSTR_LESS_THAN / CSTR_EQUAL / CSTR_GREATER_THAN, 0 on error.
// Without SORT_STRINGSORT the hyphen and the apostrophe count only when the
// strings are otherwise equal (Windows' word sort: "coop" < "co-op" < "cop"). NORM_IGNORECASE compares case-folded strings ("Straße" equals
// "STRASSE"); NORM_IGNORENONSPACE ignores accents; NORM_IGNORESYMBOLS drops
// punctuation and symbols.
TWAPI int CompareStringW(LCID Locale, DWORD dwCmpFlags, LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2,
                         int cchCount2);
TWAPI int CompareStringEx(LPCWSTR lpLocaleName, DWORD dwCmpFlags, LPCWSTR lpString1, int cchCount1,
                          LPCWSTR lpString2, int cchCount2, void* lpVersionInformation, LPVOID lpReserved,
                          LPARAM lParam);
// Unit by unit; bIgnoreCase upper-cases each unit first (simple mapping).
TWAPI int CompareStringOrdinal(LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2, int cchCount2,
                               BOOL bIgnoreCase);
// LCMAP_UPPERCASE / LCMAP_LOWERCASE (with LCMAP_LINGUISTIC_CASING), and
// LCMAP_BYTEREV. Returns the units written (with the terminator when cchSrc
// is -1); cchDest 0 asks for the size.
TWAPI int LCMapStringW(LCID Locale, DWORD dwMapFlags, LPCWSTR lpSrcStr, int cchSrc, LPWSTR lpDestStr, int cchDest);

// ---------------------------------------------------------------------------
// Locale information
// ---------------------------------------------------------------------------
typedef DWORD LCTYPE;
#define LOCALE_NOUSEROVERRIDE 0x80000000
#define LOCALE_USE_CP_ACP 0x40000000
#define LOCALE_RETURN_NUMBER 0x20000000
#define LOCALE_RETURN_GENITIVE_NAMES 0x10000000
#define LOCALE_ALLOW_NEUTRAL_NAMES 0x08000000

#define LOCALE_ILANGUAGE 0x00000001
#define LOCALE_SLANGUAGE 0x00000002
#define LOCALE_SLOCALIZEDDISPLAYNAME 0x00000002
#define LOCALE_SABBREVLANGNAME 0x00000003
#define LOCALE_SNATIVELANGNAME 0x00000004
#define LOCALE_SNATIVELANGUAGENAME 0x00000004
#define LOCALE_ICOUNTRY 0x00000005
#define LOCALE_SCOUNTRY 0x00000006
#define LOCALE_SLOCALIZEDCOUNTRYNAME 0x00000006
#define LOCALE_SABBREVCTRYNAME 0x00000007
#define LOCALE_SNATIVECTRYNAME 0x00000008
#define LOCALE_SNATIVECOUNTRYNAME 0x00000008
#define LOCALE_IDEFAULTLANGUAGE 0x00000009
#define LOCALE_IDEFAULTCOUNTRY 0x0000000A
#define LOCALE_IDEFAULTCODEPAGE 0x0000000B
#define LOCALE_SLIST 0x0000000C
#define LOCALE_IMEASURE 0x0000000D
#define LOCALE_SDECIMAL 0x0000000E
#define LOCALE_STHOUSAND 0x0000000F
#define LOCALE_SGROUPING 0x00000010
#define LOCALE_IDIGITS 0x00000011
#define LOCALE_ILZERO 0x00000012
#define LOCALE_SNATIVEDIGITS 0x00000013
#define LOCALE_SCURRENCY 0x00000014
#define LOCALE_SINTLSYMBOL 0x00000015
#define LOCALE_SMONDECIMALSEP 0x00000016
#define LOCALE_SMONTHOUSANDSEP 0x00000017
#define LOCALE_SMONGROUPING 0x00000018
#define LOCALE_ICURRDIGITS 0x00000019
#define LOCALE_IINTLCURRDIGITS 0x0000001A
#define LOCALE_ICURRENCY 0x0000001B
#define LOCALE_INEGCURR 0x0000001C
#define LOCALE_SDATE 0x0000001D
#define LOCALE_STIME 0x0000001E
#define LOCALE_SSHORTDATE 0x0000001F
#define LOCALE_SLONGDATE 0x00000020
#define LOCALE_IDATE 0x00000021
#define LOCALE_ILDATE 0x00000022
#define LOCALE_ITIME 0x00000023
#define LOCALE_ICENTURY 0x00000024
#define LOCALE_ITLZERO 0x00000025
#define LOCALE_IDAYLZERO 0x00000026
#define LOCALE_IMONLZERO 0x00000027
#define LOCALE_S1159 0x00000028
#define LOCALE_S2359 0x00000029
#define LOCALE_SDAYNAME1 0x0000002A
#define LOCALE_SDAYNAME2 0x0000002B
#define LOCALE_SDAYNAME3 0x0000002C
#define LOCALE_SDAYNAME4 0x0000002D
#define LOCALE_SDAYNAME5 0x0000002E
#define LOCALE_SDAYNAME6 0x0000002F
#define LOCALE_SDAYNAME7 0x00000030
#define LOCALE_SABBREVDAYNAME1 0x00000031
#define LOCALE_SABBREVDAYNAME2 0x00000032
#define LOCALE_SABBREVDAYNAME3 0x00000033
#define LOCALE_SABBREVDAYNAME4 0x00000034
#define LOCALE_SABBREVDAYNAME5 0x00000035
#define LOCALE_SABBREVDAYNAME6 0x00000036
#define LOCALE_SABBREVDAYNAME7 0x00000037
#define LOCALE_SMONTHNAME1 0x00000038
#define LOCALE_SMONTHNAME2 0x00000039
#define LOCALE_SMONTHNAME3 0x0000003A
#define LOCALE_SMONTHNAME4 0x0000003B
#define LOCALE_SMONTHNAME5 0x0000003C
#define LOCALE_SMONTHNAME6 0x0000003D
#define LOCALE_SMONTHNAME7 0x0000003E
#define LOCALE_SMONTHNAME8 0x0000003F
#define LOCALE_SMONTHNAME9 0x00000040
#define LOCALE_SMONTHNAME10 0x00000041
#define LOCALE_SMONTHNAME11 0x00000042
#define LOCALE_SMONTHNAME12 0x00000043
#define LOCALE_SMONTHNAME13 0x0000100E
#define LOCALE_SABBREVMONTHNAME1 0x00000044
#define LOCALE_SABBREVMONTHNAME2 0x00000045
#define LOCALE_SABBREVMONTHNAME3 0x00000046
#define LOCALE_SABBREVMONTHNAME4 0x00000047
#define LOCALE_SABBREVMONTHNAME5 0x00000048
#define LOCALE_SABBREVMONTHNAME6 0x00000049
#define LOCALE_SABBREVMONTHNAME7 0x0000004A
#define LOCALE_SABBREVMONTHNAME8 0x0000004B
#define LOCALE_SABBREVMONTHNAME9 0x0000004C
#define LOCALE_SABBREVMONTHNAME10 0x0000004D
#define LOCALE_SABBREVMONTHNAME11 0x0000004E
#define LOCALE_SABBREVMONTHNAME12 0x0000004F
#define LOCALE_SABBREVMONTHNAME13 0x0000100F
#define LOCALE_SPOSITIVESIGN 0x00000050
#define LOCALE_SNEGATIVESIGN 0x00000051
#define LOCALE_IPOSSIGNPOSN 0x00000052
#define LOCALE_INEGSIGNPOSN 0x00000053
#define LOCALE_IPOSSYMPRECEDES 0x00000054
#define LOCALE_IPOSSEPBYSPACE 0x00000055
#define LOCALE_INEGSYMPRECEDES 0x00000056
#define LOCALE_INEGSEPBYSPACE 0x00000057
#define LOCALE_SISO639LANGNAME 0x00000059
#define LOCALE_SISO3166CTRYNAME 0x0000005A
#define LOCALE_IGEOID 0x0000005B
#define LOCALE_SNAME 0x0000005C
#define LOCALE_SDURATION 0x0000005D
#define LOCALE_SSHORTESTDAYNAME1 0x00000060
#define LOCALE_SSHORTESTDAYNAME2 0x00000061
#define LOCALE_SSHORTESTDAYNAME3 0x00000062
#define LOCALE_SSHORTESTDAYNAME4 0x00000063
#define LOCALE_SSHORTESTDAYNAME5 0x00000064
#define LOCALE_SSHORTESTDAYNAME6 0x00000065
#define LOCALE_SSHORTESTDAYNAME7 0x00000066
#define LOCALE_SISO639LANGNAME2 0x00000067
#define LOCALE_SISO3166CTRYNAME2 0x00000068
#define LOCALE_SNAN 0x00000069
#define LOCALE_SPOSINFINITY 0x0000006A
#define LOCALE_SNEGINFINITY 0x0000006B
#define LOCALE_SSCRIPTS 0x0000006C
#define LOCALE_SPARENT 0x0000006D
#define LOCALE_SCONSOLEFALLBACKNAME 0x0000006E
#define LOCALE_IREADINGLAYOUT 0x00000070
#define LOCALE_INEUTRAL 0x00000071
#define LOCALE_SENGLISHDISPLAYNAME 0x00000072
#define LOCALE_SNATIVEDISPLAYNAME 0x00000073
#define LOCALE_INEGATIVEPERCENT 0x00000074
#define LOCALE_IPOSITIVEPERCENT 0x00000075
#define LOCALE_SPERCENT 0x00000076
#define LOCALE_SPERMILLE 0x00000077
#define LOCALE_SMONTHDAY 0x00000078
#define LOCALE_SSHORTTIME 0x00000079
#define LOCALE_SOPENTYPELANGUAGETAG 0x0000007A
#define LOCALE_SSORTLOCALE 0x0000007B
#define LOCALE_SENGLANGUAGE 0x00001001
#define LOCALE_SENGLISHLANGUAGENAME 0x00001001
#define LOCALE_SENGCOUNTRY 0x00001002
#define LOCALE_SENGLISHCOUNTRYNAME 0x00001002
#define LOCALE_STIMEFORMAT 0x00001003
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004
#define LOCALE_ITIMEMARKPOSN 0x00001005
#define LOCALE_SYEARMONTH 0x00001006
#define LOCALE_SENGCURRNAME 0x00001007
#define LOCALE_SNATIVECURRNAME 0x00001008
#define LOCALE_ICALENDARTYPE 0x00001009
#define LOCALE_IPAPERSIZE 0x0000100A
#define LOCALE_IOPTIONALCALENDAR 0x0000100B
#define LOCALE_IFIRSTDAYOFWEEK 0x0000100C
#define LOCALE_IFIRSTWEEKOFYEAR 0x0000100D
#define LOCALE_INEGNUMBER 0x00001010
#define LOCALE_IDEFAULTMACCODEPAGE 0x00001011
#define LOCALE_IDEFAULTEBCDICCODEPAGE 0x00001012
#define LOCALE_SSORTNAME 0x00001013
#define LOCALE_IDIGITSUBSTITUTION 0x00001014

// The value as text (the terminator counted in the result); cchData 0 asks
// for the size; too small: ERROR_INSUFFICIENT_BUFFER. With
// LOCALE_RETURN_NUMBER a numeric value is written as a DWORD (cchData 2).
// Unknown LCTYPE: ERROR_INVALID_FLAGS; unknown locale: ERROR_INVALID_PARAMETER.
// LOCALE_USER_DEFAULT and LOCALE_SYSTEM_DEFAULT are the configured locale,
// whose LOCALE_IDEFAULTANSICODEPAGE is the configured ANSI code page.
TWAPI int GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData);
TWAPI int GetLocaleInfoEx(LPCWSTR lpLocaleName, LCTYPE LCType, LPWSTR lpLCData, int cchData);
TWAPI LCID GetUserDefaultLCID(void);
TWAPI LCID GetSystemDefaultLCID(void);
TWAPI LCID GetThreadLocale(void);
TWAPI LANGID GetUserDefaultLangID(void);
TWAPI LANGID GetSystemDefaultLangID(void);
TWAPI LANGID GetUserDefaultUILanguage(void);
TWAPI LANGID GetSystemDefaultUILanguage(void);
TWAPI int GetUserDefaultLocaleName(LPWSTR lpLocaleName, int cchLocaleName);
TWAPI int GetSystemDefaultLocaleName(LPWSTR lpLocaleName, int cchLocaleName);
TWAPI LCID LocaleNameToLCID(LPCWSTR lpName, DWORD dwFlags);
TWAPI int LCIDToLocaleName(LCID Locale, LPWSTR lpName, int cchName, DWORD dwFlags);
TWAPI BOOL IsValidLocale(LCID Locale, DWORD dwFlags);
#define LCID_INSTALLED 0x00000001
#define LCID_SUPPORTED 0x00000002

// ---------------------------------------------------------------------------
// Date and time pictures
// ---------------------------------------------------------------------------
#define DATE_SHORTDATE 0x00000001
#define DATE_LONGDATE 0x00000002
#define DATE_USE_ALT_CALENDAR 0x00000004
#define DATE_YEARMONTH 0x00000008
#define DATE_LTRREADING 0x00000010
#define DATE_RTLREADING 0x00000020
#define DATE_AUTOLAYOUT 0x00000040
#define DATE_MONTHDAY 0x00000080

#define TIME_NOMINUTESORSECONDS 0x00000001
#define TIME_NOSECONDS 0x00000002
#define TIME_NOTIMEMARKER 0x00000004
#define TIME_FORCE24HOURFORMAT 0x00000008

// Pictures: d dd ddd dddd M MM MMM MMMM y yy yyyy (yyyyy) g gg for dates,
// h hh H HH m mm s ss t tt for times; text in single quotes is copied ('' is
// one quote). lpFormat null: the locale's picture (DATE_SHORTDATE when no
// date flag is given; for times LOCALE_STIMEFORMAT). A null time is the
// current local time. The TIME_NO* flags drop the element and the separator
// before it (the time marker also the one after it); TIME_FORCE24HOURFORMAT
// shows hours 0-23 and keeps an existing time marker. Returns the units with
// the terminator; cch 0 asks for the size.
TWAPI int GetDateFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat, LPWSTR lpDateStr,
                         int cchDate);
TWAPI int GetTimeFormatW(LCID Locale, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCWSTR lpFormat, LPWSTR lpTimeStr,
                         int cchTime);
TWAPI int GetDateFormatEx(LPCWSTR lpLocaleName, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat,
                          LPWSTR lpDateStr, int cchDate, LPCWSTR lpCalendar);
TWAPI int GetTimeFormatEx(LPCWSTR lpLocaleName, DWORD dwFlags, const SYSTEMTIME* lpTime, LPCWSTR lpFormat,
                          LPWSTR lpTimeStr, int cchTime);

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

// The message from a string, a module's message table (through the module
// loader) or the system's table of Win32 error texts (English, as Windows
// has them, each ending in "\r\n"; a FACILITY_WIN32 HRESULT finds the text of
// its code). Inserts %1..%99 with an optional !printf format! (default !s!,
// a wide string; * takes the width/precision from the next inserts); %0 ends
// the message, %n is CR LF, %r CR, %t a tab, %b and "% " a space, %. %! %%
// the character. Width 0 keeps the text's line breaks; FORMAT_MESSAGE_MAX_
// WIDTH_MASK turns them into spaces; another width wraps lines at it.
// Arguments: a va_list* (every insert one pointer-sized argument) or, with
// FORMAT_MESSAGE_ARGUMENT_ARRAY, a DWORD_PTR array.
// Errors: ERROR_MR_MID_NOT_FOUND (317) for an unknown id,
// ERROR_RESOURCE_LANG_NOT_FOUND for a language without texts,
// ERROR_RESOURCE_TYPE_NOT_FOUND for a module without a message table,
// ERROR_INSUFFICIENT_BUFFER when nSize is too small, ERROR_INVALID_PARAMETER
// for inserts without arguments or a malformed insert.
// Returns the units written, without the terminator.
TWAPI DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                           DWORD nSize, va_list* Arguments);
