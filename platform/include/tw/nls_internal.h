// Internal: helpers of the national-language layer that other areas of the
// platform use (the module loader's message tables, the event log's message
// rendering, the CRT's character classes).
#pragma once
#include <string>

#include "tw/wintypes.h"

namespace tw::nls {

// GetStringTypeW's three classes of one UTF-16 unit.
TWCPPAPI WORD CType1(WCHAR c);
TWCPPAPI WORD CType2(WCHAR c);
TWCPPAPI WORD CType3(WCHAR c);
// Simple Unicode case mapping of one unit (surrogates unchanged).
TWCPPAPI WCHAR UpperUnit(WCHAR c);
TWCPPAPI WCHAR LowerUnit(WCHAR c);

// A supported locale (en-US, en-GB, de-DE, invariant).
struct LocaleData;
// The locale an LCID names, with LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT
// and the neutral forms resolved to the configured locale; null when it is
// not supported.
TWCPPAPI const LocaleData* FindLocale(DWORD lcid);
// By name ("en-US", case-insensitive; "" = invariant; null = user default;
// LOCALE_NAME_SYSTEM_DEFAULT); null when not supported.
TWCPPAPI const LocaleData* FindLocaleByName(const WCHAR* name);
// A value as GetLocaleInfoW gives it (without modifiers); false when the
// LCTYPE is unknown.
TWCPPAPI bool LocaleValue(const LocaleData& locale, DWORD lctype, std::u16string& value);
TWCPPAPI DWORD LocaleLcid(const LocaleData& locale);
// ICU's name for the locale's collation ("en_US", "de_DE", "" for root).
TWCPPAPI const char* LocaleIcuName(const LocaleData& locale);

}  // namespace tw::nls
