// The SQLite store: connection, schema, transactions and row access.
#include "store.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "tw/casefold.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::registry::detail {

// What reading calls found, kept while nothing has changed since. Every
// committed change raises a counter that all processes of the root share,
// so they drop what they kept at their next call; a change made to the
// file by another program is seen after at most kLifetimeMs.
struct ReadCache {
  static constexpr std::int64_t kLifetimeMs = 1000;
  static constexpr size_t kMaxEntries = 4096;
  static constexpr size_t kMaxValueBytes = 1024;  // larger values are read each time

  std::uint64_t stamp = 0;
  std::int64_t filledAtMs = 0;
  std::unordered_map<std::string, std::int64_t> children;  // parent id + upcased name -> id, 0 when none
  std::unordered_map<std::string, std::optional<ValueRow>> values;  // key id + upcased name
  std::unordered_map<std::int64_t, bool> keys;                      // id -> exists

  void Clear() {
    children.clear();
    values.clear();
    keys.clear();
  }
  // Keeps the entries only when they were read at this value of the counter,
  // within their lifetime.
  void Refresh(std::uint64_t counter) {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
    const std::int64_t ms = std::int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    const size_t entries = children.size() + values.size() + keys.size();
    if (counter != stamp || ms - filledAtMs > kLifetimeMs || entries > kMaxEntries) {
      Clear();
      stamp = counter;
      filledAtMs = ms;
    }
  }
  static std::string Name(std::int64_t id, const Bytes& upper) {
    std::string key(reinterpret_cast<const char*>(&id), sizeof id);
    key.append(reinterpret_cast<const char*>(upper.data()), upper.size());
    return key;
  }
};

namespace {

// The change counter: one 64-bit word in a small file beside the store,
// mapped shared by every process that uses it.
class ChangeCounter {
 public:
  ChangeCounter() = default;
  ChangeCounter(const ChangeCounter&) = delete;
  ChangeCounter& operator=(const ChangeCounter&) = delete;
  ~ChangeCounter() { Close(); }

  // False leaves this process's reads uncached; its changes are then only
  // seen by the others once their entries expire.
  bool Open(const std::filesystem::path& store) {
    Close();
    auto path = store;
    path.replace_filename(store.filename().string() + "-changes");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && st.st_size < kBytes) {
      // The first user: the file gets the store's mode and owner, so that
      // whoever may change the store may raise the counter.
      struct stat db {};
      if (::stat(store.c_str(), &db) == 0) {
        (void)::fchmod(fd, db.st_mode & 0666);
        if (::geteuid() == 0) (void)::fchown(fd, db.st_uid, db.st_gid);
      }
      ok = ::ftruncate(fd, kBytes) == 0;
    }
    void* map = ok ? ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (map == MAP_FAILED) return false;
    word_ = static_cast<std::uint64_t*>(map);
    return true;
  }
  void Close() {
    if (word_) ::munmap(word_, kBytes);
    word_ = nullptr;
  }
  // A fork's child keeps the parent's mapping, which stays right.
  bool Active() const { return word_ != nullptr; }
  std::uint64_t Load() const { return std::atomic_ref<std::uint64_t>(*word_).load(std::memory_order_acquire); }
  void Raise() {
    if (word_) std::atomic_ref<std::uint64_t>(*word_).fetch_add(1, std::memory_order_acq_rel);
  }

 private:
  static constexpr off_t kBytes = 4096;
  std::uint64_t* word_ = nullptr;
};

constexpr int kApplicationId = 0x54575247;  // "TWRG"
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;

const char* const kSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name BLOB NOT NULL,
  uname BLOB NOT NULL,
  volatile INTEGER NOT NULL DEFAULT 0,
  flags INTEGER NOT NULL DEFAULT 0,
  class BLOB,
  sd BLOB,
  last_write INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX keys_child ON keys(parent, uname);
CREATE INDEX keys_volatile ON keys(volatile) WHERE volatile <> 0;
CREATE TABLE vals(
  key INTEGER NOT NULL,
  uname BLOB NOT NULL,
  name BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  seq INTEGER NOT NULL,
  PRIMARY KEY(key, uname)) WITHOUT ROWID;
CREATE INDEX vals_order ON vals(key, seq);
)sql";

// The process's connection to the current root's store.
struct Connection {
  std::recursive_mutex mutex;
  sqlite3* db = nullptr;
  std::unique_ptr<Db> wrapper;
  std::uint64_t generation = 0;
  pid_t pid = 0;
  Fixed fixed;
  std::u16string ensuredHive;   // HKEY_USERS child known to exist
  std::int64_t ensuredHiveId = 0;
  int batchDepth = 0;
  int savepoint = 0;
  sqlite3_int64 changesAtBatch = 0;
  bool forked = false;  // set in a fork's child
  std::string problem;
  ChangeCounter counter;
  ReadCache reads;
};

Connection& conn() {
  static Connection* c = new Connection;  // used during static destruction by handle closers
  return *c;
}

LONG mapSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT: return ERROR_REGISTRY_CORRUPT;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_TOOBIG: return ERROR_INVALID_PARAMETER;
    default: return ERROR_REGISTRY_IO_FAILED;
  }
}

void closeConnection(Connection& c) {
  c.reads.Clear();
  c.counter.Close();
  c.wrapper.reset();
  if (c.db) sqlite3_close_v2(c.db);
  c.db = nullptr;
  c.ensuredHive.clear();
  c.ensuredHiveId = 0;
}

// Query of one integer ("PRAGMA user_version").
int queryInt(sqlite3* db, const char* sql, int* value) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      *value = sqlite3_column_int(stmt, 0);
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(stmt);
  return rc;
}

// Runs `step` again while it reports the database busy, for at most the
// busy timeout. The switch of a new file to WAL mode needs this: it upgrades
// the read lock it already holds to a write lock, and SQLite refuses that at
// once, without calling the busy handler (waiting there could deadlock two
// such processes), while another process is switching or creating the store.
int retryWhileBusy(const std::function<int()>& step) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  int delayMs = 1;
  for (;;) {
    int rc = step();
    if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) return rc;
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    delayMs = std::min(delayMs * 2, 50);
  }
}

// Identity, schema version and table count of the file, read in one
// snapshot: read one by one, another process creating the store between
// the reads would make it look like a database of another program.
int inspect(sqlite3* db, int* appId, int* version, int* tables) {
  int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = queryInt(db, "PRAGMA application_id", appId);
  if (rc == SQLITE_OK) rc = queryInt(db, "PRAGMA user_version", version);
  if (rc == SQLITE_OK) rc = queryInt(db, "SELECT count(*) FROM sqlite_master", tables);
  if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);  // only read
  return rc;
}

LONG seed(Db& db) {
  auto now = NowFileTime();
  struct Seed {
    std::int64_t id;
    std::int64_t parent;
    const char16_t* name;
  };
  const Seed roots[] = {{kMachineRoot, 0, u"HKEY_LOCAL_MACHINE"}, {kUsersRoot, 0, u"HKEY_USERS"}};
  for (const auto& r : roots) {
    auto* stmt = db.Prepare(
        "INSERT INTO keys(id, parent, name, uname, flags, last_write) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!stmt) return db.LastError();
    auto name = NameBlob(r.name), upper = UpperBlob(r.name);
    sqlite3_bind_int64(stmt, 1, r.id);
    sqlite3_bind_int64(stmt, 2, r.parent);
    sqlite3_bind_blob(stmt, 3, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(stmt, 4, upper.data(), static_cast<int>(upper.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(stmt, 5, kFlagProtected);
    sqlite3_bind_int64(stmt, 6, now);
    if (int rc = sqlite3_step(stmt); rc != SQLITE_DONE) return db.Fail(rc);
  }
  // The hives and fixed keys that exist on every Windows machine.
  std::int64_t software = 0, id = 0;
  if (LONG rc = db.AddKey(kMachineRoot, u"SOFTWARE", false, kFlagProtected, u"", nullptr, &software)) return rc;
  for (const char16_t* name : {u"Classes", u"Wow6432Node"})
    if (LONG rc = db.AddKey(software, name, false, kFlagProtected, u"", nullptr, &id)) return rc;
  for (const char16_t* name : {u"SYSTEM", u"HARDWARE"})
    if (LONG rc = db.AddKey(kMachineRoot, name, false, kFlagProtected, u"", nullptr, &id)) return rc;
  std::int64_t hive = 0;
  if (LONG rc = db.AddKey(kUsersRoot, u".DEFAULT", false, kFlagProtected, u"", nullptr, &hive)) return rc;
  return db.AddKey(hive, u"SOFTWARE", false, 0, u"", nullptr, &id);
}

LONG loadFixed(Db& db, Fixed* fixed) {
  if (LONG rc = db.Child(kMachineRoot, u"SOFTWARE", &fixed->software)) return rc;
  if (!fixed->software) return ERROR_BADDB;
  if (LONG rc = db.Child(fixed->software, u"Wow6432Node", &fixed->wow6432)) return rc;
  if (LONG rc = db.Child(fixed->software, u"Classes", &fixed->classes)) return rc;
  if (!fixed->wow6432 || !fixed->classes) return ERROR_BADDB;
  return ERROR_SUCCESS;
}

// Opens (and on first use creates) the store of the current root. Never
// changes a file that is not a registry store of ours.
LONG openStore(Connection& c) {
  auto path = tw::root::Path("registry.sqlite");
  c.problem.clear();
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    c.problem = "cannot open the registry database " + path.string() + ": " +
                (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close_v2(db);
    return mapSqlite(rc) == ERROR_REGISTRY_CORRUPT ? ERROR_REGISTRY_CORRUPT : ERROR_REGISTRY_IO_FAILED;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);

  auto fail = [&](LONG error, const std::string& why) {
    c.problem = "the registry database " + path.string() + " " + why + "; it was left as it is";
    sqlite3_close_v2(db);
    return error;
  };
  // Look before writing anything: a file that is not ours stays untouched.
  int appId = 0, version = 0, tables = 0;
  rc = retryWhileBusy([&] { return inspect(db, &appId, &version, &tables); });
  if (rc != SQLITE_OK) {
    LONG error = mapSqlite(rc);
    if (error == ERROR_REGISTRY_CORRUPT) return fail(error, "is damaged or is not a database");
    if (error == ERROR_BUSY) return fail(error, "is locked by another process");
    return fail(error, std::string("cannot be read: ") + sqlite3_errmsg(db));
  }
  bool fresh = appId == 0 && tables == 0;
  if (!fresh && appId != kApplicationId) return fail(ERROR_BADDB, "is a database of another program");
  if (!fresh && version > kSchemaVersion)
    return fail(ERROR_BADDB, "was written by a newer version (schema " + std::to_string(version) + ")");

  rc = retryWhileBusy([&] { return sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr); });
  if (rc == SQLITE_OK)
    rc = sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    LONG error = mapSqlite(rc);
    if (error == ERROR_BUSY) return fail(error, "is locked by another process");
    return fail(error, std::string("cannot be used: ") + sqlite3_errmsg(db));
  }

  c.db = db;
  c.wrapper = std::make_unique<Db>(db);
  Db& w = *c.wrapper;
  if (fresh) {
    // Another process may be creating it at this moment: decide inside the lock.
    if (LONG error = w.Exec("BEGIN IMMEDIATE")) {
      closeConnection(c);
      c.problem = "the registry database " + path.string() + " is locked by another process";
      return error;
    }
    int now = 0;
    LONG error = mapSqlite(queryInt(db, "SELECT count(*) FROM sqlite_master", &now));
    if (!error && now == 0) {
      error = w.Exec(kSchema);
      if (!error) error = seed(w);
      if (!error) error = w.Exec(("PRAGMA application_id=" + std::to_string(kApplicationId) +
                                  "; PRAGMA user_version=" + std::to_string(kSchemaVersion))
                                     .c_str());
    }
    w.ResetAll();
    if (error) {
      w.Exec("ROLLBACK");
      closeConnection(c);
      c.problem = "the registry database " + path.string() + " could not be set up";
      return error;
    }
    if (LONG commitError = w.Exec("COMMIT")) {
      closeConnection(c);
      return commitError;
    }
  }
  if (LONG error = w.Exec("BEGIN")) {
    closeConnection(c);
    return error;
  }
  LONG error = loadFixed(w, &c.fixed);
  w.ResetAll();
  w.Exec("COMMIT");
  if (error) {
    closeConnection(c);
    c.problem = "the registry database " + path.string() + " lacks its fixed keys; it was left as it is";
    return error == ERROR_BADDB ? ERROR_REGISTRY_CORRUPT : error;
  }
  c.reads.Clear();
  // A new store replaces whatever others may have kept of an older file.
  if (c.counter.Open(path) && fresh) c.counter.Raise();
  return ERROR_SUCCESS;
}

// SQLite keeps per-process lock state that a forked child must not inherit
// from an open connection, so the connection is closed around fork() (the
// next call opens it again). A connection inside a batch is kept; the child
// then abandons it.
void beforeFork() {
  auto& c = conn();
  c.mutex.lock();
  if (c.batchDepth == 0) closeConnection(c);
}
void afterForkInParent() { conn().mutex.unlock(); }
// The child's thread has another id, so it cannot unlock what the parent's
// thread locked: the child starts with a fresh mutex.
void afterForkInChild() {
  new (&conn().mutex) std::recursive_mutex();
  conn().forked = true;
}
const bool g_forkHandlers = [] {
  return pthread_atfork(beforeFork, afterForkInParent, afterForkInChild) == 0;
}();

LONG ensureOpen(Connection& c) {
  auto generation = tw::root::Generation();
  // The fork handler tells a child it is one; without it, the process id does.
  const bool forked = g_forkHandlers ? std::exchange(c.forked, false) : c.pid != getpid();
  if (c.db && forked) {
    // A connection must not cross fork(): the child abandons the parent's.
    c.wrapper.release();
    c.db = nullptr;
    c.batchDepth = 0;
    c.reads.Clear();
  }
  if (c.db && c.generation != generation) closeConnection(c);
  if (c.db) return ERROR_SUCCESS;
  c.pid = getpid();
  c.generation = generation;
  return openStore(c);
}

// Ends a transaction: committed when `result` is success, undone otherwise.
LONG finish(Db& db, LONG result) {
  // A statement left on a row would keep the read snapshot past the commit.
  db.ResetAll();
  if (result == ERROR_SUCCESS) {
    if (LONG rc = db.Exec("COMMIT")) {
      db.Exec("ROLLBACK");
      return rc;
    }
  } else {
    db.Exec("ROLLBACK");
  }
  return result;
}

// The call's work; memory running out on the way fails it (and undoes it).
LONG call(const std::function<LONG(Db&)>& fn, Db& db) {
  try {
    return fn(db);
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

LONG runIn(Connection& c, Mode mode, const std::function<LONG(Db&)>& fn) {
  Db& db = *c.wrapper;
  if (c.batchDepth > 0) {
    std::string name = "sp" + std::to_string(++c.savepoint);
    if (LONG rc = db.Exec(("SAVEPOINT " + name).c_str())) return rc;
    LONG result = call(fn, db);
    db.ResetAll();
    if (result != ERROR_SUCCESS) db.Exec(("ROLLBACK TO " + name).c_str());
    db.Exec(("RELEASE " + name).c_str());
    return result;
  }
  const sqlite3_int64 changes = sqlite3_total_changes64(c.db);
  LONG result;
  if (mode == Mode::Read && c.counter.Active() && !FaultsActive()) {
    // The counter is read before the transaction starts, so what the
    // transaction reads is at least as new as the stamp it is kept under.
    c.reads.Refresh(c.counter.Load());
    db.StartCachedRead(&c.reads);
    result = call(fn, db);
    if (!db.EndCachedRead()) return result;
    result = finish(db, result);
  } else {
    if (LONG rc = db.Exec(mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN")) return rc;
    result = finish(db, call(fn, db));
  }
  if (result == ERROR_SUCCESS && sqlite3_total_changes64(c.db) != changes) c.counter.Raise();
  return result;
}

}  // namespace

// --- helpers -------------------------------------------------------------------

Bytes NameBlob(std::u16string_view name) {
  Bytes out(name.size() * 2);
  if (!name.empty()) std::memcpy(out.data(), name.data(), out.size());
  return out;
}

Bytes UpperBlob(std::u16string_view name) {
  std::u16string upper = tw::Upcase(name);
  Bytes out(upper.size() * 2);
  for (size_t i = 0; i < upper.size(); ++i) {
    out[2 * i] = static_cast<BYTE>(upper[i] >> 8);
    out[2 * i + 1] = static_cast<BYTE>(upper[i] & 0xFF);
  }
  return out;
}

std::u16string NameFromBlob(const void* data, int size) {
  std::u16string out(static_cast<size_t>(size) / 2, u'\0');
  if (data && size >= 2) std::memcpy(out.data(), data, out.size() * 2);
  return out;
}

std::int64_t NowFileTime() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100 + 116444736000000000LL;
}

// --- Db ----------------------------------------------------------------------

Db::~Db() {
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
}

LONG Db::Fail(int sqliteCode) {
  lastError_ = mapSqlite(sqliteCode);
  if (lastError_ == ERROR_SUCCESS) lastError_ = ERROR_REGISTRY_IO_FAILED;
  if (lastError_ == ERROR_REGISTRY_CORRUPT) {
    auto& c = conn();
    c.problem = "the registry database " + tw::root::Path("registry.sqlite").string() +
                " is damaged (" + sqlite3_errmsg(db_) + "); it was left as it is";
  }
  return lastError_;
}

void Db::ResetAll() {
  for (auto& [sql, stmt] : cache_) sqlite3_reset(stmt);
}

void Db::StartCachedRead(ReadCache* cache) {
  reads_ = cache;
  pendingBegin_ = true;
  begun_ = false;
}

bool Db::EndCachedRead() {
  reads_ = nullptr;
  pendingBegin_ = false;
  return std::exchange(begun_, false);
}

LONG Db::BeginIfPending() {
  if (!pendingBegin_) return ERROR_SUCCESS;
  pendingBegin_ = false;
  int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return Fail(rc);
  begun_ = true;
  return ERROR_SUCCESS;
}

LONG Db::Exec(const char* sql) {
  if (LONG rc = BeginIfPending()) return rc;
  char* message = nullptr;
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  sqlite3_free(message);
  return rc == SQLITE_OK ? ERROR_SUCCESS : Fail(rc);
}

sqlite3_stmt* Db::Prepare(const char* sql) {
  if (BeginIfPending() != ERROR_SUCCESS) return nullptr;
  for (auto& [text, stmt] : cache_)
    if (text == sql) {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
      return stmt;
    }
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    Fail(rc);
    return nullptr;
  }
  cache_.emplace_back(sql, stmt);
  return stmt;
}

namespace {

void bindBlob(sqlite3_stmt* stmt, int index, const Bytes& blob) {
  if (blob.empty()) sqlite3_bind_zeroblob(stmt, index, 0);
  else sqlite3_bind_blob(stmt, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
}

Bytes columnBlob(sqlite3_stmt* stmt, int col) {
  auto* data = static_cast<const BYTE*>(sqlite3_column_blob(stmt, col));
  int size = sqlite3_column_bytes(stmt, col);
  return data && size > 0 ? Bytes(data, data + size) : Bytes();
}

std::u16string columnName(sqlite3_stmt* stmt, int col) {
  return NameFromBlob(sqlite3_column_blob(stmt, col), sqlite3_column_bytes(stmt, col));
}

constexpr const char* kKeyColumns = "id, parent, name, volatile, flags, class, sd, last_write";

void readKey(sqlite3_stmt* stmt, KeyRow* row) {
  row->id = sqlite3_column_int64(stmt, 0);
  row->parent = sqlite3_column_int64(stmt, 1);
  row->name = columnName(stmt, 2);
  row->isVolatile = sqlite3_column_int(stmt, 3) != 0;
  row->flags = sqlite3_column_int(stmt, 4);
  row->className = columnName(stmt, 5);
  row->sd = columnBlob(stmt, 6);
  row->lastWrite = sqlite3_column_int64(stmt, 7);
}

// Columns name, type, data.
void readValue(sqlite3_stmt* stmt, ValueRow* row) {
  row->name = columnName(stmt, 0);
  row->type = static_cast<DWORD>(sqlite3_column_int64(stmt, 1));
  row->data = columnBlob(stmt, 2);
}

}  // namespace

LONG Db::Key(std::int64_t id, KeyRow* out, bool* found) {
  if (reads_ && !out) {
    if (auto it = reads_->keys.find(id); it != reads_->keys.end()) {
      *found = it->second;
      return ERROR_SUCCESS;
    }
  }
  static const std::string sql = std::string("SELECT ") + kKeyColumns + " FROM keys WHERE id = ?1";
  auto* stmt = Prepare(sql.c_str());
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, id);
  int rc = sqlite3_step(stmt);
  *found = rc == SQLITE_ROW;
  if (reads_ && (rc == SQLITE_ROW || rc == SQLITE_DONE)) reads_->keys[id] = *found;
  if (rc == SQLITE_ROW) {
    if (out) readKey(stmt, out);
    return ERROR_SUCCESS;
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::Child(std::int64_t parent, std::u16string_view name, std::int64_t* id) {
  const Bytes upper = UpperBlob(name);
  std::string cached;
  if (reads_) {
    cached = ReadCache::Name(parent, upper);
    if (auto it = reads_->children.find(cached); it != reads_->children.end()) {
      *id = it->second;
      return ERROR_SUCCESS;
    }
  }
  auto* stmt = Prepare("SELECT id FROM keys WHERE parent = ?1 AND uname = ?2");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, parent);
  bindBlob(stmt, 2, upper);
  int rc = sqlite3_step(stmt);
  *id = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(rc);
  if (reads_) reads_->children.emplace(std::move(cached), *id);
  return ERROR_SUCCESS;
}

LONG Db::AddKey(std::int64_t parent, std::u16string_view name, bool isVolatile, int flags,
                std::u16string_view className, const Bytes* sd, std::int64_t* id) {
  auto* stmt = Prepare(
      "INSERT INTO keys(parent, name, uname, volatile, flags, class, sd, last_write) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  if (!stmt) return lastError_;
  auto now = NowFileTime();
  sqlite3_bind_int64(stmt, 1, parent);
  bindBlob(stmt, 2, NameBlob(name));
  bindBlob(stmt, 3, UpperBlob(name));
  sqlite3_bind_int(stmt, 4, isVolatile ? 1 : 0);
  sqlite3_bind_int(stmt, 5, flags);
  if (className.empty()) sqlite3_bind_null(stmt, 6);
  else bindBlob(stmt, 6, NameBlob(className));
  if (sd && !sd->empty()) bindBlob(stmt, 7, *sd);
  else sqlite3_bind_null(stmt, 7);
  sqlite3_bind_int64(stmt, 8, now);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE) return Fail(rc);
  *id = sqlite3_last_insert_rowid(db_);
  return Touch(parent);
}

LONG Db::Touch(std::int64_t id) {
  auto* stmt = Prepare("UPDATE keys SET last_write = ?2 WHERE id = ?1");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, id);
  sqlite3_bind_int64(stmt, 2, NowFileTime());
  int rc = sqlite3_step(stmt);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::SetKeySd(std::int64_t id, const Bytes& sd) {
  auto* stmt = Prepare("UPDATE keys SET sd = ?2 WHERE id = ?1");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, id);
  bindBlob(stmt, 2, sd);
  int rc = sqlite3_step(stmt);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::ChildCount(std::int64_t id, DWORD* count) {
  auto* stmt = Prepare("SELECT count(*) FROM keys WHERE parent = ?1");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, id);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Fail(rc);
  *count = static_cast<DWORD>(sqlite3_column_int64(stmt, 0));
  return ERROR_SUCCESS;
}

LONG Db::ChildAt(std::int64_t id, DWORD index, KeyRow* out, bool* found) {
  static const std::string sql =
      std::string("SELECT ") + kKeyColumns + " FROM keys WHERE parent = ?1 ORDER BY uname LIMIT 1 OFFSET ?2";
  auto* stmt = Prepare(sql.c_str());
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, id);
  sqlite3_bind_int64(stmt, 2, index);
  int rc = sqlite3_step(stmt);
  *found = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW) readKey(stmt, out);
  return (rc == SQLITE_ROW || rc == SQLITE_DONE) ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::Children(std::int64_t id, std::vector<KeyRow>* out) {
  static const std::string sql = std::string("SELECT ") + kKeyColumns + " FROM keys WHERE parent = ?1 ORDER BY uname";
  auto* stmt = Prepare(sql.c_str());
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, id);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    KeyRow row;
    readKey(stmt, &row);
    out->push_back(std::move(row));
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::Subtree(std::int64_t id, std::vector<KeyRow>* out) {
  KeyRow self;
  bool found = false;
  if (LONG rc = Key(id, &self, &found)) return rc;
  if (!found) return ERROR_KEY_DELETED;
  out->push_back(std::move(self));
  for (size_t i = out->size() - 1; i < out->size(); ++i) {
    std::vector<KeyRow> children;
    if (LONG rc = Children((*out)[i].id, &children)) return rc;
    for (auto& child : children) out->push_back(std::move(child));
  }
  return ERROR_SUCCESS;
}

LONG Db::DeleteKeys(const std::vector<std::int64_t>& ids) {
  auto* delValues = Prepare("DELETE FROM vals WHERE key = ?1");
  if (!delValues) return lastError_;
  for (auto id : ids) {
    sqlite3_reset(delValues);
    sqlite3_bind_int64(delValues, 1, id);
    if (int rc = sqlite3_step(delValues); rc != SQLITE_DONE) return Fail(rc);
  }
  auto* delKey = Prepare("DELETE FROM keys WHERE id = ?1");
  if (!delKey) return lastError_;
  for (auto id : ids) {
    sqlite3_reset(delKey);
    sqlite3_bind_int64(delKey, 1, id);
    if (int rc = sqlite3_step(delKey); rc != SQLITE_DONE) return Fail(rc);
  }
  return ERROR_SUCCESS;
}

LONG Db::DropVolatile(DWORD* removed) {
  // A volatile key's children are volatile too, so the flag finds whole subtrees.
  if (LONG rc = Exec("DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE volatile <> 0)")) return rc;
  if (LONG rc = Exec("DELETE FROM keys WHERE volatile <> 0")) return rc;
  if (removed) *removed = static_cast<DWORD>(sqlite3_changes(db_));
  return ERROR_SUCCESS;
}

LONG Db::Value(std::int64_t key, std::u16string_view name, ValueRow* out, bool* found) {
  const Bytes upper = UpperBlob(name);
  std::string cached;
  if (reads_) {
    cached = ReadCache::Name(key, upper);
    if (auto it = reads_->values.find(cached); it != reads_->values.end()) {
      *found = it->second.has_value();
      if (*found) *out = *it->second;
      return ERROR_SUCCESS;
    }
  }
  auto* stmt = Prepare("SELECT name, type, data FROM vals WHERE key = ?1 AND uname = ?2");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, key);
  bindBlob(stmt, 2, upper);
  int rc = sqlite3_step(stmt);
  *found = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW) readValue(stmt, out);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(rc);
  if (reads_ && !(*found && out->data.size() > ReadCache::kMaxValueBytes))
    reads_->values.emplace(std::move(cached), *found ? std::optional<ValueRow>(*out) : std::nullopt);
  return ERROR_SUCCESS;
}

LONG Db::SetValue(std::int64_t key, std::u16string_view name, DWORD type, const BYTE* data, size_t size) {
  // An existing value keeps its place (seq) and the case of its name.
  auto* update = Prepare("UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND uname = ?2");
  if (!update) return lastError_;
  Bytes upper = UpperBlob(name);
  Bytes bytes = size ? Bytes(data, data + size) : Bytes();
  sqlite3_bind_int64(update, 1, key);
  bindBlob(update, 2, upper);
  sqlite3_bind_int64(update, 3, type);
  bindBlob(update, 4, bytes);
  if (int rc = sqlite3_step(update); rc != SQLITE_DONE) return Fail(rc);
  if (sqlite3_changes(db_) == 0) {
    auto* insert = Prepare(
        "INSERT INTO vals(key, uname, name, type, data, seq) "
        "VALUES(?1, ?2, ?3, ?4, ?5, (SELECT COALESCE(MAX(seq), 0) + 1 FROM vals WHERE key = ?1))");
    if (!insert) return lastError_;
    sqlite3_bind_int64(insert, 1, key);
    bindBlob(insert, 2, upper);
    bindBlob(insert, 3, NameBlob(name));
    sqlite3_bind_int64(insert, 4, type);
    bindBlob(insert, 5, bytes);
    if (int rc = sqlite3_step(insert); rc != SQLITE_DONE) return Fail(rc);
  }
  return Touch(key);
}

LONG Db::DeleteValue(std::int64_t key, std::u16string_view name, bool* found) {
  auto* stmt = Prepare("DELETE FROM vals WHERE key = ?1 AND uname = ?2");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, key);
  bindBlob(stmt, 2, UpperBlob(name));
  if (int rc = sqlite3_step(stmt); rc != SQLITE_DONE) return Fail(rc);
  *found = sqlite3_changes(db_) > 0;
  return *found ? Touch(key) : ERROR_SUCCESS;
}

LONG Db::ValueAt(std::int64_t key, DWORD index, ValueRow* out, bool* found) {
  auto* stmt = Prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, key);
  sqlite3_bind_int64(stmt, 2, index);
  int rc = sqlite3_step(stmt);
  *found = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW) readValue(stmt, out);
  return (rc == SQLITE_ROW || rc == SQLITE_DONE) ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::Values(std::int64_t key, std::vector<ValueRow>* out) {
  auto* stmt = Prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, key);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    ValueRow row;
    readValue(stmt, &row);
    out->push_back(std::move(row));
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Db::DeleteValues(std::int64_t key) {
  auto* stmt = Prepare("DELETE FROM vals WHERE key = ?1");
  if (!stmt) return lastError_;
  sqlite3_bind_int64(stmt, 1, key);
  if (int rc = sqlite3_step(stmt); rc != SQLITE_DONE) return Fail(rc);
  return Touch(key);
}

LONG Db::Path(std::int64_t id, std::u16string* out) {
  std::vector<std::u16string> parts;
  for (int depth = 0; id != 0 && depth < 1024; ++depth) {
    KeyRow row;
    bool found = false;
    if (LONG rc = Key(id, &row, &found)) return rc;
    if (!found) return ERROR_KEY_DELETED;
    parts.push_back(std::move(row.name));
    id = row.parent;
  }
  out->clear();
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    if (!out->empty()) *out += u'\\';
    *out += *it;
  }
  return ERROR_SUCCESS;
}

// --- transactions -----------------------------------------------------------------

LONG Run(Mode mode, const std::function<LONG(Db&)>& fn) {
  auto& c = conn();
  std::lock_guard lock(c.mutex);
  if (LONG rc = ensureOpen(c)) return rc;
  // The current user's hive is loaded (created) on first use, as a logon
  // loads it, in a writing transaction of its own.
  if (c.ensuredHive.empty() || c.ensuredHive != CurrentUserHive()) {
    std::int64_t id = 0;
    LONG rc = runIn(c, Mode::Write, [&](Db& db) { return CurrentUserKey(db, &id); });
    if (rc != ERROR_SUCCESS) {
      if (rc == ERROR_REGISTRY_CORRUPT && c.batchDepth == 0) closeConnection(c);
      return rc;
    }
  }
  LONG result = runIn(c, mode, fn);
  // A damaged file is looked at again on the next call (it may be replaced).
  if (result == ERROR_REGISTRY_CORRUPT && c.batchDepth == 0) closeConnection(c);
  return result;
}

Fixed FixedKeys() { return conn().fixed; }

LONG CurrentUserKey(Db& db, std::int64_t* id) {
  auto& c = conn();
  std::u16string hive = CurrentUserHive();
  if (hive == c.ensuredHive && c.ensuredHiveId) {
    *id = c.ensuredHiveId;
    return ERROR_SUCCESS;
  }
  if (LONG rc = db.Child(kUsersRoot, hive, id)) return rc;
  if (!*id) {
    // A user's hive always holds SOFTWARE.
    std::int64_t software = 0;
    if (LONG rc = db.AddKey(kUsersRoot, hive, false, kFlagProtected, u"", nullptr, id)) return rc;
    if (LONG rc = db.AddKey(*id, u"SOFTWARE", false, 0, u"", nullptr, &software)) return rc;
  }
  c.ensuredHive = hive;
  c.ensuredHiveId = *id;
  return ERROR_SUCCESS;
}

}  // namespace tw::registry::detail

namespace tw::registry {

using namespace detail;

LONG BeginBatch() {
  auto& c = conn();
  c.mutex.lock();
  LONG rc = ensureOpen(c);
  if (rc == ERROR_SUCCESS && c.batchDepth == 0) {
    rc = c.wrapper->Exec("BEGIN IMMEDIATE");
    c.changesAtBatch = sqlite3_total_changes64(c.db);
  }
  if (rc != ERROR_SUCCESS) {
    c.mutex.unlock();
    return rc;
  }
  ++c.batchDepth;
  return ERROR_SUCCESS;
}

LONG EndBatch(bool commit) {
  auto& c = conn();
  if (c.batchDepth == 0) return ERROR_INVALID_FUNCTION;
  LONG rc = ERROR_SUCCESS;
  if (--c.batchDepth == 0 && c.wrapper) {
    c.wrapper->ResetAll();
    rc = c.wrapper->Exec(commit ? "COMMIT" : "ROLLBACK");
    if (rc != ERROR_SUCCESS && commit) c.wrapper->Exec("ROLLBACK");
    if (rc == ERROR_SUCCESS && commit && sqlite3_total_changes64(c.db) != c.changesAtBatch) c.counter.Raise();
    // Cached ids may name keys that were rolled back.
    c.ensuredHive.clear();
    c.ensuredHiveId = 0;
  }
  c.mutex.unlock();
  return rc;
}

std::filesystem::path DatabasePath() { return tw::root::Path("registry.sqlite"); }

std::string StoreProblem() {
  auto& c = conn();
  std::lock_guard lock(c.mutex);
  return c.problem;
}

LONG DropVolatileKeys(DWORD* removed) {
  return Run(Mode::Write, [&](Db& db) { return db.DropVolatile(removed); });
}

}  // namespace tw::registry
