// Registry values: query, set, delete, enumerate, RegGetValueW.
#include <cstring>

#include "keyspace.h"
#include "store.h"
#include "tw/casefold.h"
#include "tw/registry.h"
#include "tw/utf.h"
#include "winerror.h"

extern char** environ;

using namespace tw::registry;
using namespace tw::registry::detail;

namespace {

std::u16string_view nameOf(LPCWSTR name) { return name ? std::u16string_view(name) : std::u16string_view(); }

// Copies data into a caller's buffer with the size-query rules of the API.
LONG giveData(const Bytes& data, LPBYTE buffer, LPDWORD size) {
  if (!size) return ERROR_SUCCESS;
  DWORD have = *size;
  *size = static_cast<DWORD>(data.size());
  if (!buffer) return ERROR_SUCCESS;
  if (have < data.size()) return ERROR_MORE_DATA;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return ERROR_SUCCESS;
}

// The value of an environment variable of this process, by a
// case-insensitive name as on Windows.
bool environmentValue(std::u16string_view name, std::u16string* value) {
  std::u16string wanted = tw::Upcase(name);
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view text(*entry);
    size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    if (tw::Upcase(tw::FromUtf8(text.substr(0, eq))) == wanted) {
      *value = tw::FromUtf8(text.substr(eq + 1));
      return true;
    }
  }
  return false;
}

// %NAME% references replaced by their values; unknown names stay as written.
std::u16string expand(std::u16string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(u'%', i);
    if (open == std::u16string_view::npos) break;
    size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) break;
    out.append(text.substr(i, open - i));
    std::u16string value;
    if (close > open + 1 && environmentValue(text.substr(open + 1, close - open - 1), &value)) {
      out += value;
      i = close + 1;
    } else {
      out.append(text.substr(open, close - open));
      i = close;  // the closing % may open the next reference
    }
  }
  out.append(text.substr(std::min(i, text.size())));
  return out;
}

std::u16string unitsOf(const Bytes& data) {
  std::u16string text(data.size() / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * 2);
  return text;
}

Bytes bytesOf(std::u16string_view text) {
  Bytes out(text.size() * 2);
  if (!text.empty()) std::memcpy(out.data(), text.data(), out.size());
  return out;
}

DWORD typeFlag(DWORD type) {
  switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;  // only RRF_RT_ANY admits the other types
  }
}

}  // namespace

TWAPI LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                               LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  ValueRow value;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, KEY_QUERY_VALUE, Op::QueryValue, &id)) return e;
    bool found = false;
    if (LONG e = db.Value(id, nameOf(lpValueName), &value, &found)) return e;
    return found ? LONG(ERROR_SUCCESS) : LONG(ERROR_FILE_NOT_FOUND);
  });
  if (rc != ERROR_SUCCESS) return rc;
  if (lpType) *lpType = value.type;
  // The bytes exactly as stored: a string set without terminator comes back without one.
  return giveData(value.data, lpData, lpcbData);
}

TWAPI LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                             DWORD cbData) {
  if (nameOf(lpValueName).size() > static_cast<size_t>(kMaxValueNameChars)) return ERROR_INVALID_PARAMETER;
  if (!lpData && cbData) return ERROR_NOACCESS;
  return Run(Mode::Write, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, KEY_SET_VALUE, Op::SetValue, &id)) return e;
    return db.SetValue(id, nameOf(lpValueName), dwType, lpData, cbData);
  });
}

TWAPI LSTATUS RegSetKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName, DWORD dwType, LPCVOID lpData,
                              DWORD cbData) {
  // One transaction for creating the subkey and setting the value.
  Batch batch;
  if (batch.Status()) return batch.Status();
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(hKey, lpSubKey ? lpSubKey : u"", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(key, lpValueName, 0, dwType, static_cast<const BYTE*>(lpData), cbData);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return rc;
  return batch.Commit();
}

TWAPI LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return Run(Mode::Write, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, KEY_SET_VALUE, Op::DeleteValue, &id)) return e;
    bool found = false;
    if (LONG e = db.DeleteValue(id, nameOf(lpValueName), &found)) return e;
    return found ? LONG(ERROR_SUCCESS) : LONG(ERROR_FILE_NOT_FOUND);
  });
}

TWAPI LSTATUS RegDeleteKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(hKey, lpSubKey, 0, KEY_SET_VALUE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegDeleteValueW(key, lpValueName);
  RegCloseKey(key);
  return rc;
}

TWAPI LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                            LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  ValueRow value;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, KEY_QUERY_VALUE, Op::EnumValues, &id)) return e;
    bool found = false;
    if (LONG e = db.ValueAt(id, dwIndex, &value, &found)) return e;
    return found ? LONG(ERROR_SUCCESS) : LONG(ERROR_NO_MORE_ITEMS);
  });
  if (rc != ERROR_SUCCESS) return rc;
  // A name that does not fit fails the call and leaves the count as it was.
  if (value.name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
  std::memcpy(lpValueName, value.name.c_str(), (value.name.size() + 1) * sizeof(WCHAR));
  *lpcchValueName = static_cast<DWORD>(value.name.size());
  if (lpType) *lpType = value.type;
  return giveData(value.data, lpData, lpcbData);
}

TWAPI LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                           PVOID pvData, LPDWORD pcbData) {
  const DWORD types = dwFlags & RRF_RT_ANY;
  if (!types || (pvData && !pcbData) || (dwFlags & RRF_WOW64_MASK) == RRF_WOW64_MASK) return ERROR_INVALID_PARAMETER;
  // Reading REG_EXPAND_SZ as such only makes sense without expansion.
  if ((types & RRF_RT_REG_EXPAND_SZ) && !(dwFlags & RRF_NOEXPAND) && types != RRF_RT_ANY)
    return ERROR_INVALID_PARAMETER;
  const DWORD capacity = pcbData ? *pcbData : 0;
  auto fail = [&](LONG rc) {
    if ((dwFlags & RRF_ZEROONFAILURE) && pvData && capacity) std::memset(pvData, 0, capacity);
    return rc;
  };

  HKEY key = hkey;
  bool opened = false;
  if (lpSubKey && *lpSubKey) {
    REGSAM view = (dwFlags & RRF_SUBKEY_WOW6432KEY) ? KEY_WOW64_32KEY : 0;
    if (LONG rc = RegOpenKeyExW(hkey, lpSubKey, 0, KEY_QUERY_VALUE | view, &key)) return fail(rc);
    opened = true;
  }
  DWORD type = REG_NONE, size = 0;
  Bytes data;
  LONG rc = RegQueryValueExW(key, lpValue, nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    data.resize(size);
    rc = RegQueryValueExW(key, lpValue, nullptr, &type, data.data(), &size);
    data.resize(size);
  }
  if (opened) RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return fail(rc);

  if (type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
    std::u16string text = unitsOf(data);
    if (auto nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
    data = bytesOf(expand(text));
    type = REG_SZ;
  }
  if (types != RRF_RT_ANY && !(typeFlag(type) & types)) return fail(ERROR_UNSUPPORTED_TYPE);
  if (type == REG_BINARY && types != RRF_RT_ANY) {
    // Binary data read as a number (RRF_RT_DWORD, RRF_RT_QWORD) must have the number's size.
    bool dword = (types & RRF_RT_DWORD) == RRF_RT_DWORD, qword = (types & RRF_RT_QWORD) == RRF_RT_QWORD;
    if ((dword || qword) && !(dword && data.size() == 4) && !(qword && data.size() == 8))
      return fail(ERROR_DATATYPE_MISMATCH);
  }
  // Strings come back terminated (a list with its double terminator).
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    if (data.size() % 2) data.push_back(0);
    auto units = unitsOf(data);
    if (units.empty() || units.back() != u'\0') units.push_back(u'\0');
    if (type == REG_MULTI_SZ && (units.size() < 2 || units[units.size() - 2] != u'\0')) units.push_back(u'\0');
    data = bytesOf(units);
  }
  if (pdwType) *pdwType = type;
  rc = giveData(data, static_cast<LPBYTE>(pvData), pcbData);
  return rc == ERROR_SUCCESS ? rc : fail(rc);
}
