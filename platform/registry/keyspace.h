// Internal to the registry: key handles and the resolution of key paths.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "store.h"

namespace tw::registry::detail {

// Every right a predefined key grants.
constexpr REGSAM kAllRights = KEY_ALL_ACCESS | ACCESS_SYSTEM_SECURITY;

HKEY InsertKeyHandle(std::int64_t id, REGSAM access);
bool RemoveKeyHandle(HKEY key);

// The key a handle names, inside a transaction: ERROR_INVALID_HANDLE for an
// unknown handle, ERROR_KEY_DELETED when its key is gone.
LONG ResolveKey(Db& db, HKEY key, std::int64_t* id, REGSAM* access);
// As ResolveKey, and fails with ERROR_ACCESS_DENIED unless the handle
// grants `needed`, and with an injected fault for `op`.
LONG UseKey(Db& db, HKEY key, REGSAM needed, Op op, std::int64_t* id);

// Generic rights become the key rights they stand for.
REGSAM MapAccess(REGSAM sam);

// A relative key path split into names. Empty names (doubled or trailing
// backslashes) are skipped; a leading backslash is ERROR_BAD_PATHNAME, a
// name over 255 characters ERROR_INVALID_PARAMETER.
LONG SplitPath(LPCWSTR path, std::vector<std::u16string>* names);

// Follows `names` from `start` as far as keys exist (with the 32-bit view's
// redirection of HKLM\SOFTWARE and the HKU\S-1-5-18 alias). `reached` is the
// last key found, `matched` how many names were consumed.
LONG Descend(Db& db, std::int64_t start, const std::vector<std::u16string>& names, bool view32,
             std::int64_t* reached, size_t* matched);

// The names that remain after `matched`, joined under the path of `reached`.
LONG TargetPath(Db& db, std::int64_t reached, const std::vector<std::u16string>& names, size_t matched,
                std::u16string* out);

// The root-level key ids of a predefined handle (null when not predefined).
bool PredefinedKey(Db& db, HKEY key, std::int64_t* id, LONG* error);

}  // namespace tw::registry::detail
