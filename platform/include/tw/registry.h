// Internal: registry services beyond the Win32 API, for tests and tools.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>

#include "tw/wintypes.h"

namespace tw::registry {

// --- Fault injection --------------------------------------------------------
// Makes an operation on one key fail with a chosen error, so tests can reach
// failure paths that a real store never takes. The key path is a full path
// ("HKLM\SOFTWARE\X", "HKEY_CURRENT_USER\...", abbreviations allowed),
// compared ignoring case; the operation is the one the call performs on that
// key (Create for RegCreateKeyExW naming it, SetValue for RegSetValueExW on a
// handle to it, DeleteKey for each key a delete removes, ...). `times` < 0
// keeps the fault until ClearFaults. Faults belong to this process.
enum class Op { Any, Open, Create, QueryValue, SetValue, DeleteValue, DeleteKey, EnumKeys, EnumValues, QueryInfo,
                SetSecurity, GetSecurity };
TWCPPAPI void InjectFault(std::u16string_view keyPath, Op op, LONG error, int times = -1);
TWCPPAPI void ClearFaults();

// --- Volatile keys ----------------------------------------------------------
// Removes every volatile key with its subtree, as a restart of Windows does.
// Returns a Win32 error code; `removed` gets the number of keys removed.
TWCPPAPI LONG DropVolatileKeys(DWORD* removed = nullptr);

// --- Transactions over several calls -----------------------------------------
// Between BeginBatch and EndBatch the registry calls of this thread form one
// transaction (other threads and processes wait); EndBatch(false), or a
// Batch object destroyed without Commit, undoes all of them.
TWCPPAPI LONG BeginBatch();
TWCPPAPI LONG EndBatch(bool commit);

class Batch {
 public:
  Batch() : status_(BeginBatch()) {}
  ~Batch() {
    if (status_ == 0 && !done_) EndBatch(false);
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
  LONG Status() const { return status_; }
  LONG Commit() {
    done_ = true;
    return status_ ? status_ : EndBatch(true);
  }

 private:
  LONG status_;
  bool done_ = false;
};

// --- Names and paths --------------------------------------------------------
// Splits "HKLM\SOFTWARE\X" (or "HKEY_LOCAL_MACHINE\...", HKCU, HKU, HKCR and
// their full names, any case) into the predefined key and the rest; false
// for an unknown root. `rootName` gets the full root name.
TWCPPAPI bool SplitKeyPath(std::u16string_view path, HKEY* root, std::u16string* subKey,
                           std::u16string* rootName = nullptr);
// The full name of a predefined key ("HKEY_CURRENT_USER"), empty if none.
TWCPPAPI std::u16string RootName(HKEY root);
// Where HKEY_CURRENT_USER points: the name of its key under HKEY_USERS
// (".DEFAULT" for the SYSTEM account, else the account's SID).
TWCPPAPI std::u16string CurrentUserHive();

// --- The store ---------------------------------------------------------------
TWCPPAPI std::filesystem::path DatabasePath();
// A sentence describing why the store could not be used (corrupt or foreign
// file, I/O failure), or empty when the last open succeeded.
TWCPPAPI std::string StoreProblem();
// The stored security descriptor of an open key as SDDL (for display).
TWCPPAPI LONG KeySecuritySddl(HKEY key, std::u16string* sddl);
// Whether an open key is volatile.
TWCPPAPI LONG IsKeyVolatile(HKEY key, bool* isVolatile);

}  // namespace tw::registry
