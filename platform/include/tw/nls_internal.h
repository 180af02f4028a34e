// Internal: helpers of the national-language layer that other areas of the
// platform use (the module loader's message tables, the event log's message
// rendering, the CRT's character classes).
#pragma once
#include <string>
#include <string_view>

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

// The NLS functions' output rule: copies text and its terminator into out
// (cch units) and returns the units with the terminator; cch 0 only answers
// that size; a smaller buffer fails with ERROR_INSUFFICIENT_BUFFER (0).
TWCPPAPI int CopyOut(std::u16string_view text, LPWSTR out, int cch);

// FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE) asks the module loader for a
// module's message text through this hook. The resolver gets the module
// (null: the process's main module), the message id and the language asked
// for (0: the loader's usual order), fills `text` with the message as stored
// (inserts not expanded), and returns ERROR_SUCCESS, ERROR_MR_MID_NOT_FOUND,
// ERROR_RESOURCE_LANG_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND (the module
// has no message table) or ERROR_INVALID_HANDLE. Without a resolver every
// module lacks a message table. Registering null removes it.
using MessageTableResolver = DWORD (*)(HMODULE module, DWORD id, DWORD language, std::u16string& text);
TWCPPAPI void SetMessageTableResolver(MessageTableResolver resolver);
// The system's text for a Win32 error code ("Access is denied.\r\n"), or
// null when the table has none.
TWCPPAPI const char16_t* SystemMessageText(DWORD id);

}  // namespace tw::nls
