// Key handles, predefined keys and key paths.
#include "keyspace.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "tw/debug.h"
#include "tw/casefold.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::registry::detail {
namespace {

struct OpenKey {
  std::int64_t id;
  REGSAM access;
  std::uint64_t generation;
};

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<ULONG_PTR, OpenKey> keys;
  // Apart from kernel handles and never reused soon, so a closed key handle
  // fails instead of naming another key.
  ULONG_PTR next = 0x7E0000000000ull;
};

HandleTable& handles() {
  static HandleTable* t = new HandleTable;
  return *t;
}

bool equalUpper(std::u16string_view a, std::u16string_view upper) { return tw::Upcase(a) == upper; }

}  // namespace

HKEY InsertKeyHandle(std::int64_t id, REGSAM access) {
  auto& t = handles();
  ULONG_PTR value;
  {
    std::lock_guard lock(t.mutex);
    value = t.next;
    t.next += 4;
    t.keys.emplace(value, OpenKey{id, access, tw::root::Generation()});
  }
  tw::debug::Add(tw::debug::Counter::RegistryKeys, 1);
  return reinterpret_cast<HKEY>(value);
}

bool RemoveKeyHandle(HKEY key) {
  auto& t = handles();
  {
    std::lock_guard lock(t.mutex);
    if (t.keys.erase(reinterpret_cast<ULONG_PTR>(key)) == 0) return false;
  }
  tw::debug::Add(tw::debug::Counter::RegistryKeys, -1);
  return true;
}

bool PredefinedKey(Db& db, HKEY key, std::int64_t* id, LONG* error) {
  *error = ERROR_SUCCESS;
  if (key == HKEY_LOCAL_MACHINE) *id = kMachineRoot;
  else if (key == HKEY_USERS) *id = kUsersRoot;
  else if (key == HKEY_CLASSES_ROOT) *id = FixedKeys().classes;
  else if (key == HKEY_CURRENT_USER) *error = CurrentUserKey(db, id);
  else if (key == HKEY_PERFORMANCE_DATA || key == HKEY_CURRENT_CONFIG) *error = ERROR_INVALID_HANDLE;
  else return false;
  return true;
}

LONG ResolveKey(Db& db, HKEY key, std::int64_t* id, REGSAM* access) {
  LONG error;
  if (PredefinedKey(db, key, id, &error)) {
    *access = kAllRights;
    return error;
  }
  OpenKey open;
  {
    auto& t = handles();
    std::lock_guard lock(t.mutex);
    auto it = t.keys.find(reinterpret_cast<ULONG_PTR>(key));
    if (it == t.keys.end()) return ERROR_INVALID_HANDLE;
    open = it->second;
  }
  // A handle from before a change of machine root names nothing here.
  if (open.generation != tw::root::Generation()) return ERROR_KEY_DELETED;
  bool found = false;
  if (LONG rc = db.Key(open.id, nullptr, &found)) return rc;
  if (!found) return ERROR_KEY_DELETED;
  *id = open.id;
  *access = open.access;
  return ERROR_SUCCESS;
}

LONG UseKey(Db& db, HKEY key, REGSAM needed, Op op, std::int64_t* id) {
  REGSAM access = 0;
  if (LONG rc = ResolveKey(db, key, id, &access)) return rc;
  if ((access & needed) != needed) return ERROR_ACCESS_DENIED;
  return CheckFault(db, *id, op);
}

REGSAM MapAccess(REGSAM sam) {
  REGSAM out = sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (sam & GENERIC_READ) out |= KEY_READ;
  if (sam & GENERIC_WRITE) out |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= KEY_ALL_ACCESS;
  return out;
}

LONG SplitPath(LPCWSTR path, std::vector<std::u16string>* names) {
  names->clear();
  if (!path || !*path) return ERROR_SUCCESS;
  std::u16string_view text(path);
  if (text[0] == u'\\') return ERROR_BAD_PATHNAME;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\\', start);
    if (end == std::u16string_view::npos) end = text.size();
    if (end > start) {
      if (end - start > static_cast<size_t>(kMaxKeyNameChars)) return ERROR_INVALID_PARAMETER;
      names->emplace_back(text.substr(start, end - start));
    }
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

LONG Descend(Db& db, std::int64_t start, const std::vector<std::u16string>& names, bool view32,
             std::int64_t* reached, size_t* matched) {
  const Fixed fixed = FixedKeys();
  std::int64_t current = start;
  size_t i = 0;
  auto redirect = [&] {
    // The 32-bit view of HKLM\SOFTWARE is HKLM\SOFTWARE\Wow6432Node.
    if (view32 && current == fixed.software && (i == names.size() || !equalUpper(names[i], u"WOW6432NODE")))
      current = fixed.wow6432;
  };
  for (; i < names.size(); ++i) {
    redirect();
    std::u16string_view name = names[i];
    // HKEY_USERS\S-1-5-18 is the SYSTEM account's hive, .DEFAULT.
    if (current == kUsersRoot && equalUpper(name, u"S-1-5-18")) name = u".DEFAULT";
    std::int64_t child = 0;
    if (LONG rc = db.Child(current, name, &child)) return rc;
    if (!child) break;
    current = child;
  }
  if (i == names.size()) redirect();
  *reached = current;
  *matched = i;
  return ERROR_SUCCESS;
}

LONG TargetPath(Db& db, std::int64_t reached, const std::vector<std::u16string>& names, size_t matched,
                std::u16string* out) {
  if (LONG rc = db.Path(reached, out)) return rc;
  for (size_t i = matched; i < names.size(); ++i) *out += u"\\" + names[i];
  return ERROR_SUCCESS;
}

}  // namespace tw::registry::detail

namespace tw::registry {

namespace {
struct RootAlias {
  const char16_t* shortName;
  const char16_t* fullName;
  HKEY key;
};
const RootAlias kRoots[] = {{u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                            {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                            {u"HKU", u"HKEY_USERS", HKEY_USERS},
                            {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
}  // namespace

bool SplitKeyPath(std::u16string_view path, HKEY* root, std::u16string* subKey, std::u16string* rootName) {
  size_t slash = path.find(u'\\');
  std::u16string first = tw::Upcase(path.substr(0, slash));
  for (const auto& alias : kRoots) {
    if (first == alias.shortName || first == alias.fullName) {
      if (root) *root = alias.key;
      if (subKey) *subKey = slash == std::u16string_view::npos ? u"" : std::u16string(path.substr(slash + 1));
      if (rootName) *rootName = alias.fullName;
      return true;
    }
  }
  return false;
}

std::u16string RootName(HKEY root) {
  for (const auto& alias : kRoots)
    if (alias.key == root) return alias.fullName;
  return u"";
}

std::u16string CurrentUserHive() {
  // TW_USER_SID names the account of this process (a client program run as a
  // user); otherwise the spooler account of the machine configuration.
  std::u16string sid;
  if (const char* env = std::getenv("TW_USER_SID"); env && *env) {
    sid = tw::FromUtf8(env);
  } else {
    auto machine = tw::config::Get();
    if (const auto* user = tw::config::FindUser(*machine, machine->spoolerUser)) sid = user->sid;
  }
  if (sid.empty() || tw::Upcase(sid) == u"S-1-5-18") return u".DEFAULT";
  return sid;
}

}  // namespace tw::registry
