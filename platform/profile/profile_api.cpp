// The profile API.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tw/inifile.h"
#include "tw/lasterror.h"
#include "tw/profile.h"
#include "tw/utf.h"
#include "winerror.h"

namespace {

using tw::profile::IniDocument;

// Copies a value into the caller's buffer: one pair of matching quotes
// around it removed when asked, cut to nSize - 1 units. The length copied.
DWORD copyValue(std::u16string_view value, bool stripQuotes, LPWSTR buffer, DWORD size) {
  value = value.substr(0, value.find(u'\0'));  // a NUL in the file ends the text, as in C strings
  if (stripQuotes && value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  size_t n = std::min<size_t>(value.size(), size - 1);
  value.copy(buffer, n);
  buffer[n] = 0;
  return DWORD(n);
}

// Writes strings each followed by a null, and a final null. When they do not
// all fit, the last one is cut so that two nulls end the buffer, and the
// result is nSize - 2, as Windows reports it.
DWORD copyList(const std::vector<std::u16string>& items, LPWSTR buffer, DWORD size) {
  if (size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  size_t pos = 0;
  for (const auto& item : items) {
    if (pos + item.size() + 2 > size) {
      size_t room = size - 2 > pos ? size - 2 - pos : 0;
      item.copy(buffer + pos, room);
      buffer[size - 2] = 0;
      buffer[size - 1] = 0;
      return size - 2;
    }
    item.copy(buffer + pos, item.size());
    pos += item.size();
    buffer[pos++] = 0;
  }
  buffer[pos] = 0;
  if (pos == 0) buffer[1] = 0;  // an empty list is two nulls
  return DWORD(pos);
}

// The document of a profile file; empty when it cannot be read. `found`
// tells whether it could.
IniDocument load(LPCWSTR fileName, bool& found) {
  IniDocument document;
  std::u16string path;
  found = tw::profile::ProfilePath(fileName, path) == ERROR_SUCCESS && tw::profile::Load(path, document) == 0;
  return document;
}

// RtlUnicodeStringToInteger with base 0: leading blanks, a sign, "0x" / "0o"
// / "0b" prefixes, digits up to the first other character; 32-bit wrap.
UINT parseInteger(std::u16string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] <= u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  UINT base = 10;
  if (i + 1 < s.size() && s[i] == u'0') {
    switch (s[i + 1]) {
      case u'x': base = 16; break;
      case u'o': base = 8; break;
      case u'b': base = 2; break;
      default: break;
    }
    if (base != 10) i += 2;
  }
  UINT total = 0;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    UINT digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (c >= u'A' && c <= u'Z') digit = c - u'A' + 10;
    else if (c >= u'a' && c <= u'z') digit = c - u'a' + 10;
    else break;
    if (digit >= base) break;
    total = total * base + digit;
  }
  return negative ? 0u - total : total;
}

BOOL finishWrite(DWORD rc) {
  if (rc) {
    SetLastError(rc);
    return FALSE;
  }
  return TRUE;
}

// Runs a change on the profile file.
BOOL change(LPCWSTR fileName, bool create, const std::function<bool(IniDocument&)>& edit) {
  std::u16string path;
  if (DWORD rc = tw::profile::ProfilePath(fileName, path)) return finishWrite(rc);
  return finishWrite(tw::profile::Update(path, create, edit));
}

}  // namespace

TWAPI DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                     LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) return 0;
  bool found = false;
  IniDocument document = load(lpFileName, found);
  if (!lpAppName) {
    SetLastError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return copyList(document.SectionNames(), lpReturnedString, nSize);
  }
  if (!lpKeyName) {
    auto keys = document.KeyNames(tw::View(lpAppName));
    if (!keys.empty()) {
      SetLastError(ERROR_SUCCESS);
      return copyList(keys, lpReturnedString, nSize);
    }
  } else if (std::u16string value; *lpKeyName && document.Value(lpAppName, lpKeyName, value)) {
    SetLastError(ERROR_SUCCESS);
    return copyValue(value, true, lpReturnedString, nSize);
  }
  // The default, without its trailing blanks.
  std::u16string_view fallback = tw::View(lpDefault);
  while (!fallback.empty() && fallback.back() == u' ') fallback.remove_suffix(1);
  DWORD n = copyValue(fallback, true, lpReturnedString, nSize);
  SetLastError(ERROR_FILE_NOT_FOUND);
  return n;
}

TWAPI UINT GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName) {
  WCHAR buffer[30];  // as Windows: longer values are read cut
  if (GetPrivateProfileStringW(lpAppName, lpKeyName, u"", buffer, 30, lpFileName) == 0) return UINT(nDefault);
  return parseInteger(buffer);
}

TWAPI DWORD GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                      LPCWSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) return 0;
  if (!lpAppName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    lpReturnedString[0] = 0;
    return 0;
  }
  bool found = false;
  IniDocument document = load(lpFileName, found);
  SetLastError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  return copyList(document.SectionLines(lpAppName), lpReturnedString, nSize);
}

TWAPI DWORD GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName) {
  if (!lpszReturnBuffer || nSize == 0) return 0;
  bool found = false;
  IniDocument document = load(lpFileName, found);
  SetLastError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  return copyList(document.SectionNames(), lpszReturnBuffer, nSize);
}

TWAPI BOOL WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString, LPCWSTR lpFileName) {
  if (!lpAppName) {
    // All three null asks to flush the (here absent) cache, which reports FALSE.
    SetLastError(lpKeyName || lpString ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
    return FALSE;
  }
  std::u16string section(lpAppName);
  if (!lpKeyName)
    return change(lpFileName, false, [&](IniDocument& d) { return d.DeleteSection(section); });
  std::u16string key(lpKeyName);
  if (!lpString) return change(lpFileName, false, [&](IniDocument& d) { return d.DeleteKey(section, key); });
  std::u16string value(lpString);
  return change(lpFileName, true, [&](IniDocument& d) { return d.SetValue(section, key, value); });
}

TWAPI BOOL WritePrivateProfileSectionW(LPCWSTR lpAppName, LPCWSTR lpString, LPCWSTR lpFileName) {
  if (!lpAppName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string section(lpAppName);
  if (!lpString)
    return change(lpFileName, false, [&](IniDocument& d) { return d.DeleteSection(section); });
  std::vector<std::u16string> lines;
  for (LPCWSTR p = lpString; *p; p += lines.back().size() + 1) lines.emplace_back(p);
  return change(lpFileName, true, [&](IniDocument& d) { return d.ReplaceSection(section, lines); });
}

TWAPI DWORD GetProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault, LPWSTR lpReturnedString,
                              DWORD nSize) {
  return GetPrivateProfileStringW(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, nullptr);
}

TWAPI UINT GetProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault) {
  return GetPrivateProfileIntW(lpAppName, lpKeyName, nDefault, nullptr);
}

TWAPI BOOL WriteProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString) {
  return WritePrivateProfileStringW(lpAppName, lpKeyName, lpString, nullptr);
}
