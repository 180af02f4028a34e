// Registry keys: create, open, close, delete, enumerate, query, security.
#include <algorithm>
#include <cstring>

#include "../security/sd_parts.h"
#include "keyspace.h"
#include "store.h"
#include "tw/lasterror.h"
#include "winerror.h"

using namespace tw::registry;
using namespace tw::registry::detail;

namespace {

// What a key without a stored descriptor reports: the usual rights of a
// software key.
const char16_t* const kDefaultSddl = u"O:BAG:SYD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";

tw::security::Descriptor storedDescriptor(const KeyRow& row) {
  tw::security::Descriptor sd;
  if (row.sd.empty() || !tw::security::ReadDescriptor(row.sd.data(), &sd))
    tw::security::ParseSddl(kDefaultSddl, &sd);
  return sd;
}

LONG viewOf(REGSAM sam, bool* view32) {
  if ((sam & KEY_WOW64_RES) == KEY_WOW64_RES) return ERROR_INVALID_PARAMETER;
  *view32 = (sam & KEY_WOW64_32KEY) != 0;
  return ERROR_SUCCESS;
}

FILETIME toFileTime(std::int64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFF);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
  return ft;
}

// Copies a name into a caller's buffer of *count units (terminator included).
LONG copyName(const std::u16string& name, LPWSTR buffer, LPDWORD count) {
  if (name.size() + 1 > *count) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Deletes the keys of a subtree, refusing hive roots and honouring faults.
LONG deleteSubtree(Db& db, const std::vector<KeyRow>& rows) {
  std::vector<std::int64_t> ids;
  for (const auto& row : rows) {
    if (row.flags & kFlagProtected) return ERROR_ACCESS_DENIED;
    if (LONG rc = CheckFault(db, row.id, Op::DeleteKey)) return rc;
    ids.push_back(row.id);
  }
  if (rows.empty()) return ERROR_SUCCESS;
  if (LONG rc = db.DeleteKeys(ids)) return rc;
  return db.Touch(rows.front().parent);
}

LONG copyTree(Db& db, std::int64_t from, std::int64_t to, bool toVolatile) {
  std::vector<ValueRow> values;
  if (LONG rc = db.Values(from, &values)) return rc;
  for (const auto& v : values)
    if (LONG rc = db.SetValue(to, v.name, v.type, v.data.data(), v.data.size())) return rc;
  std::vector<KeyRow> children;
  if (LONG rc = db.Children(from, &children)) return rc;
  for (const auto& child : children) {
    if (child.id == to) continue;  // copying a key into its own subtree
    std::int64_t target = 0;
    if (LONG rc = db.Child(to, child.name, &target)) return rc;
    if (!target) {
      if (LONG rc = db.AddKey(to, child.name, toVolatile, 0, child.className, nullptr, &target)) return rc;
    }
    if (LONG rc = copyTree(db, child.id, target, toVolatile)) return rc;
  }
  return ERROR_SUCCESS;
}

}  // namespace

TWAPI LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR lpClass, DWORD dwOptions,
                              REGSAM samDesired, const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                              LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  if (dwOptions & (REG_OPTION_CREATE_LINK | REG_OPTION_OPEN_LINK)) return ERROR_NOT_SUPPORTED;
  if (dwOptions & ~DWORD(REG_OPTION_VOLATILE | REG_OPTION_BACKUP_RESTORE | REG_OPTION_DONT_VIRTUALIZE))
    return ERROR_INVALID_PARAMETER;
  bool view32 = false;
  if (LONG rc = viewOf(samDesired, &view32)) return rc;
  std::vector<std::u16string> names;
  if (LONG rc = SplitPath(lpSubKey, &names)) return rc;
  tw::security::Bytes sd;
  if (lpSecurityAttributes && lpSecurityAttributes->lpSecurityDescriptor) {
    tw::security::Descriptor parsed;
    if (!tw::security::ReadDescriptor(lpSecurityAttributes->lpSecurityDescriptor, &parsed))
      return ERROR_INVALID_SECURITY_DESCR;
    sd = tw::security::WriteSelfRelative(parsed);
  }
  const bool wantVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
  std::int64_t result = 0;
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  LONG rc = Run(Mode::Write, [&](Db& db) {
    std::int64_t start = 0;
    REGSAM access = 0;
    if (LONG e = ResolveKey(db, hKey, &start, &access)) return e;
    std::int64_t reached = 0;
    size_t matched = 0;
    if (LONG e = Descend(db, start, names, view32, &reached, &matched)) return e;
    if (FaultsActive()) {
      std::u16string target;
      if (LONG e = TargetPath(db, reached, names, matched, &target)) return e;
      if (LONG e = CheckFaultPath(target, Op::Create)) return e;
    }
    if (matched == names.size()) {
      result = reached;
      disposition = REG_OPENED_EXISTING_KEY;
      return LONG(ERROR_SUCCESS);
    }
    if (reached == start && !(access & KEY_CREATE_SUB_KEY)) return LONG(ERROR_ACCESS_DENIED);
    KeyRow parent;
    bool found = false;
    if (LONG e = db.Key(reached, &parent, &found)) return e;
    if (!found) return LONG(ERROR_KEY_DELETED);
    if (parent.isVolatile && !wantVolatile) return LONG(ERROR_CHILD_MUST_BE_VOLATILE);
    std::int64_t current = reached;
    for (size_t i = matched; i < names.size(); ++i) {
      bool last = i + 1 == names.size();
      std::u16string_view className = last && lpClass ? std::u16string_view(lpClass) : std::u16string_view();
      if (LONG e = db.AddKey(current, names[i], wantVolatile, 0, className, sd.empty() ? nullptr : &sd, &current))
        return e;
    }
    result = current;
    disposition = REG_CREATED_NEW_KEY;
    return LONG(ERROR_SUCCESS);
  });
  if (rc != ERROR_SUCCESS) return rc;
  *phkResult = InsertKeyHandle(result, MapAccess(samDesired) & ~REGSAM(KEY_WOW64_RES));
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

TWAPI LSTATUS RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return RegCreateKeyExW(hKey, lpSubKey ? lpSubKey : u"", 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, phkResult,
                         nullptr);
}

TWAPI LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  bool view32 = false;
  if (LONG rc = viewOf(samDesired, &view32)) return rc;
  std::vector<std::u16string> names;
  if (LONG rc = SplitPath(lpSubKey, &names)) return rc;
  std::int64_t result = 0;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t start = 0;
    REGSAM access = 0;
    if (LONG e = ResolveKey(db, hKey, &start, &access)) return e;
    size_t matched = 0;
    if (LONG e = Descend(db, start, names, view32, &result, &matched)) return e;
    if (matched != names.size()) return LONG(ERROR_FILE_NOT_FOUND);
    return CheckFault(db, result, Op::Open);
  });
  if (rc != ERROR_SUCCESS) return rc;
  *phkResult = InsertKeyHandle(result, MapAccess(samDesired) & ~REGSAM(KEY_WOW64_RES));
  return ERROR_SUCCESS;
}

TWAPI LSTATUS RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return RegOpenKeyExW(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
}

TWAPI LSTATUS RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_USERS ||
      hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_CONFIG || hKey == HKEY_PERFORMANCE_DATA)
    return ERROR_SUCCESS;
  return RemoveKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

TWAPI LSTATUS RegFlushKey(HKEY hKey) {
  // Every call is committed when it returns; flushing only checks the handle.
  return Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    REGSAM access = 0;
    return ResolveKey(db, hKey, &id, &access);
  });
}

TWAPI LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  bool view32 = false;
  if (LONG rc = viewOf(samDesired, &view32)) return rc;
  std::vector<std::u16string> names;
  if (LONG rc = SplitPath(lpSubKey, &names)) return rc;
  return Run(Mode::Write, [&](Db& db) {
    std::int64_t start = 0, target = 0;
    REGSAM access = 0;
    if (LONG e = ResolveKey(db, hKey, &start, &access)) return e;
    // An empty name deletes the key the handle names, which needs DELETE.
    if (names.empty() && !(access & DELETE)) return LONG(ERROR_ACCESS_DENIED);
    size_t matched = 0;
    if (LONG e = Descend(db, start, names, view32, &target, &matched)) return e;
    if (matched != names.size()) return LONG(ERROR_FILE_NOT_FOUND);
    KeyRow row;
    bool found = false;
    if (LONG e = db.Key(target, &row, &found)) return e;
    if (!found) return LONG(ERROR_KEY_DELETED);
    DWORD children = 0;
    if (LONG e = db.ChildCount(target, &children)) return e;
    // Windows refuses to delete a key that still has subkeys.
    if (children) return LONG(ERROR_ACCESS_DENIED);
    return deleteSubtree(db, {row});
  });
}

TWAPI LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) { return RegDeleteKeyExW(hKey, lpSubKey, 0, 0); }

TWAPI LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  std::vector<std::u16string> names;
  if (LONG rc = SplitPath(lpSubKey, &names)) return rc;
  const bool ownKey = !lpSubKey;
  return Run(Mode::Write, [&](Db& db) {
    std::int64_t start = 0, target = 0;
    REGSAM access = 0;
    if (LONG e = ResolveKey(db, hKey, &start, &access)) return e;
    REGSAM needed = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | (ownKey ? KEY_SET_VALUE : 0);
    if ((access & needed) != needed) return LONG(ERROR_ACCESS_DENIED);
    size_t matched = 0;
    if (LONG e = Descend(db, start, names, false, &target, &matched)) return e;
    if (matched != names.size()) return LONG(ERROR_FILE_NOT_FOUND);
    if (!ownKey) {
      std::vector<KeyRow> rows;
      if (LONG e = db.Subtree(target, &rows)) return e;
      return deleteSubtree(db, rows);
    }
    // A null subkey empties the key itself: its subkeys and its values.
    std::vector<KeyRow> children;
    if (LONG e = db.Children(target, &children)) return e;
    for (const auto& child : children) {
      std::vector<KeyRow> rows;
      if (LONG e = db.Subtree(child.id, &rows)) return e;
      if (LONG e = deleteSubtree(db, rows)) return e;
    }
    if (LONG e = CheckFault(db, target, Op::DeleteValue)) return e;
    return db.DeleteValues(target);
  });
}

TWAPI LSTATUS RegCopyTreeW(HKEY hKeySrc, LPCWSTR lpSubKey, HKEY hKeyDest) {
  std::vector<std::u16string> names;
  if (LONG rc = SplitPath(lpSubKey, &names)) return rc;
  return Run(Mode::Write, [&](Db& db) {
    std::int64_t source = 0, dest = 0, from = 0;
    if (LONG e = UseKey(db, hKeySrc, KEY_READ & ~READ_CONTROL, Op::EnumValues, &source)) return e;
    if (LONG e = UseKey(db, hKeyDest, KEY_CREATE_SUB_KEY | KEY_SET_VALUE, Op::SetValue, &dest)) return e;
    size_t matched = 0;
    if (LONG e = Descend(db, source, names, false, &from, &matched)) return e;
    if (matched != names.size()) return LONG(ERROR_FILE_NOT_FOUND);
    KeyRow target;
    bool found = false;
    if (LONG e = db.Key(dest, &target, &found)) return e;
    return copyTree(db, from, dest, target.isVolatile);
  });
}

TWAPI LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                            LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  KeyRow row;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, KEY_ENUMERATE_SUB_KEYS, Op::EnumKeys, &id)) return e;
    bool found = false;
    if (LONG e = db.ChildAt(id, dwIndex, &row, &found)) return e;
    return found ? LONG(ERROR_SUCCESS) : LONG(ERROR_NO_MORE_ITEMS);
  });
  if (rc != ERROR_SUCCESS) return rc;
  if (row.name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  if (lpClass && row.className.size() + 1 > *lpcchClass) return ERROR_MORE_DATA;
  copyName(row.name, lpName, lpcchName);
  if (lpClass) copyName(row.className, lpClass, lpcchClass);
  if (lpftLastWriteTime) *lpftLastWriteTime = toFileTime(row.lastWrite);
  return ERROR_SUCCESS;
}

TWAPI LSTATUS RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
  return RegEnumKeyExW(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

TWAPI LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                               LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                               LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                               LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  KeyRow self;
  std::vector<KeyRow> children;
  std::vector<ValueRow> values;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, KEY_QUERY_VALUE, Op::QueryInfo, &id)) return e;
    bool found = false;
    if (LONG e = db.Key(id, &self, &found)) return e;
    if (LONG e = db.Children(id, &children)) return e;
    return db.Values(id, &values);
  });
  if (rc != ERROR_SUCCESS) return rc;
  if (lpClass && self.className.size() + 1 > *lpcchClass) {
    *lpcchClass = static_cast<DWORD>(self.className.size());
    return ERROR_MORE_DATA;
  }
  if (lpClass) copyName(self.className, lpClass, lpcchClass);
  else if (lpcchClass) *lpcchClass = static_cast<DWORD>(self.className.size());
  DWORD maxSubKey = 0, maxClass = 0, maxValueName = 0, maxValue = 0;
  for (const auto& child : children) {
    maxSubKey = std::max<DWORD>(maxSubKey, static_cast<DWORD>(child.name.size()));
    maxClass = std::max<DWORD>(maxClass, static_cast<DWORD>(child.className.size()));
  }
  for (const auto& value : values) {
    maxValueName = std::max<DWORD>(maxValueName, static_cast<DWORD>(value.name.size()));
    maxValue = std::max<DWORD>(maxValue, static_cast<DWORD>(value.data.size()));
  }
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(children.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSubKey;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = maxClass;
  if (lpcValues) *lpcValues = static_cast<DWORD>(values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxValueName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = maxValue;
  if (lpcbSecurityDescriptor)
    *lpcbSecurityDescriptor = static_cast<DWORD>(tw::security::WriteSelfRelative(storedDescriptor(self)).size());
  if (lpftLastWriteTime) *lpftLastWriteTime = toFileTime(self.lastWrite);
  return ERROR_SUCCESS;
}

TWAPI LSTATUS RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                                PSECURITY_DESCRIPTOR pSecurityDescriptor) {
  tw::security::Descriptor given;
  if (!pSecurityDescriptor) return ERROR_INVALID_PARAMETER;
  if (!tw::security::ReadDescriptor(pSecurityDescriptor, &given)) return ERROR_INVALID_SECURITY_DESCR;
  REGSAM needed = 0;
  if (SecurityInformation & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
  if (SecurityInformation & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
  if (SecurityInformation & SACL_SECURITY_INFORMATION) needed |= ACCESS_SYSTEM_SECURITY;
  return Run(Mode::Write, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, needed, Op::SetSecurity, &id)) return e;
    KeyRow row;
    bool found = false;
    if (LONG e = db.Key(id, &row, &found)) return e;
    auto stored = storedDescriptor(row);
    tw::security::Merge(&stored, given, SecurityInformation);
    return db.SetKeySd(id, tw::security::WriteSelfRelative(stored));
  });
}

TWAPI LSTATUS RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                                PSECURITY_DESCRIPTOR pSecurityDescriptor, LPDWORD lpcbSecurityDescriptor) {
  if (!lpcbSecurityDescriptor) return ERROR_INVALID_PARAMETER;
  REGSAM needed = READ_CONTROL;
  if (SecurityInformation & SACL_SECURITY_INFORMATION) needed |= ACCESS_SYSTEM_SECURITY;
  KeyRow row;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    if (LONG e = UseKey(db, hKey, needed, Op::GetSecurity, &id)) return e;
    bool found = false;
    return db.Key(id, &row, &found);
  });
  if (rc != ERROR_SUCCESS) return rc;
  auto bytes = tw::security::WriteSelfRelative(tw::security::Select(storedDescriptor(row), SecurityInformation));
  if (!pSecurityDescriptor || *lpcbSecurityDescriptor < bytes.size()) {
    *lpcbSecurityDescriptor = static_cast<DWORD>(bytes.size());
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(pSecurityDescriptor, bytes.data(), bytes.size());
  *lpcbSecurityDescriptor = static_cast<DWORD>(bytes.size());
  return ERROR_SUCCESS;
}

namespace tw::registry {

LONG KeySecuritySddl(HKEY key, std::u16string* sddl) {
  KeyRow row;
  LONG rc = Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    REGSAM access = 0;
    if (LONG e = ResolveKey(db, key, &id, &access)) return e;
    bool found = false;
    return db.Key(id, &row, &found);
  });
  if (rc == ERROR_SUCCESS) *sddl = tw::security::ToSddl(storedDescriptor(row));
  return rc;
}

LONG IsKeyVolatile(HKEY key, bool* isVolatile) {
  return Run(Mode::Read, [&](Db& db) {
    std::int64_t id = 0;
    REGSAM access = 0;
    if (LONG e = ResolveKey(db, key, &id, &access)) return e;
    KeyRow row;
    bool found = false;
    if (LONG e = db.Key(id, &row, &found)) return e;
    *isVolatile = row.isVolatile;
    return LONG(ERROR_SUCCESS);
  });
}

}  // namespace tw::registry
