// Internal to the registry: the SQLite store behind the registry API.
//
// Keys form a tree of rows (keys.parent); the two roots HKEY_LOCAL_MACHINE
// and HKEY_USERS have fixed ids. Names are stored as their UTF-16 units
// (exactly as given) beside their upcased form in big-endian order, so that
// comparing the upcased blobs compares the upcased code units: that is the
// subkey order of RegEnumKeyExW. Values keep a sequence number that is set
// when a value is first created, which is their enumeration order.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tw/registry.h"
#include "winreg.h"

namespace tw::registry::detail {

using Bytes = std::vector<BYTE>;

constexpr std::int64_t kMachineRoot = 1;  // HKEY_LOCAL_MACHINE
constexpr std::int64_t kUsersRoot = 2;    // HKEY_USERS
constexpr int kMaxKeyNameChars = 255;
constexpr int kMaxValueNameChars = 16383;
constexpr int kFlagProtected = 1;  // hive roots: never deleted

struct KeyRow {
  std::int64_t id = 0;
  std::int64_t parent = 0;
  std::u16string name;
  bool isVolatile = false;
  int flags = 0;
  std::u16string className;
  Bytes sd;
  std::int64_t lastWrite = 0;
};

struct ValueRow {
  std::u16string name;
  DWORD type = REG_NONE;
  Bytes data;
};

struct ReadCache;

// One open connection, used inside one transaction (Run). Methods return a
// Win32 error code; a database failure is mapped to the nearest one.
class Db {
 public:
  explicit Db(sqlite3* db) : db_(db) {}
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  sqlite3* Raw() const { return db_; }

  LONG Exec(const char* sql);
  LONG Key(std::int64_t id, KeyRow* out, bool* found);
  LONG Child(std::int64_t parent, std::u16string_view name, std::int64_t* id);  // 0 when absent
  LONG AddKey(std::int64_t parent, std::u16string_view name, bool isVolatile, int flags,
              std::u16string_view className, const Bytes* sd, std::int64_t* id);
  LONG Touch(std::int64_t id);
  LONG SetKeySd(std::int64_t id, const Bytes& sd);
  LONG ChildCount(std::int64_t id, DWORD* count);
  // The index-th subkey in alphabetical order; found false past the end.
  LONG ChildAt(std::int64_t id, DWORD index, KeyRow* out, bool* found);
  LONG Children(std::int64_t id, std::vector<KeyRow>* out);
  // The key and all keys below it, parents first.
  LONG Subtree(std::int64_t id, std::vector<KeyRow>* out);
  LONG DeleteKeys(const std::vector<std::int64_t>& ids);
  LONG DropVolatile(DWORD* removed);

  LONG Value(std::int64_t key, std::u16string_view name, ValueRow* out, bool* found);
  LONG SetValue(std::int64_t key, std::u16string_view name, DWORD type, const BYTE* data, size_t size);
  LONG DeleteValue(std::int64_t key, std::u16string_view name, bool* found);
  LONG ValueAt(std::int64_t key, DWORD index, ValueRow* out, bool* found);
  LONG Values(std::int64_t key, std::vector<ValueRow>* out);
  LONG DeleteValues(std::int64_t key);

  // "HKEY_LOCAL_MACHINE\SOFTWARE\X" for a key id.
  LONG Path(std::int64_t id, std::u16string* out);

  sqlite3_stmt* Prepare(const char* sql);  // cached; null (and the error) on failure
  void ResetAll();                         // ends every statement (before a commit)
  LONG LastError() const { return lastError_; }
  LONG Fail(int sqliteCode);

  // A reading call outside batches: Key (existence), Child and Value may be
  // answered from `cache`, and the transaction begins with the first
  // statement that is needed. Returns whether it began.
  void StartCachedRead(ReadCache* cache);
  bool EndCachedRead();

 private:
  LONG BeginIfPending();

  sqlite3* db_;
  std::vector<std::pair<const char*, sqlite3_stmt*>> cache_;
  LONG lastError_ = 0;
  ReadCache* reads_ = nullptr;
  bool pendingBegin_ = false;
  bool begun_ = false;
};

enum class Mode { Read, Write };

// Runs `fn` in one transaction on the current root's store (a savepoint
// inside a batch). The transaction is committed when fn returns
// ERROR_SUCCESS and undone otherwise. Returns fn's result or the store's
// error (ERROR_REGISTRY_CORRUPT, ERROR_BADDB, ERROR_REGISTRY_IO_FAILED, ...).
LONG Run(Mode mode, const std::function<LONG(Db&)>& fn);

// Ids of the fixed keys of the current store.
struct Fixed {
  std::int64_t software = 0;     // HKLM\SOFTWARE
  std::int64_t wow6432 = 0;      // HKLM\SOFTWARE\Wow6432Node
  std::int64_t classes = 0;      // HKLM\SOFTWARE\Classes
};
Fixed FixedKeys();

// The key id behind HKEY_CURRENT_USER, created on first use.
LONG CurrentUserKey(Db& db, std::int64_t* id);

// Faults (fault.cpp): the injected error for an operation on a key, or 0.
bool FaultsActive();
LONG CheckFault(Db& db, std::int64_t keyId, Op op);
LONG CheckFaultPath(std::u16string_view canonicalPath, Op op);

// UTF-16 units as stored.
Bytes NameBlob(std::u16string_view name);
Bytes UpperBlob(std::u16string_view name);
std::u16string NameFromBlob(const void* data, int size);
std::int64_t NowFileTime();

}  // namespace tw::registry::detail
