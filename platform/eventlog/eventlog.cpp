// The event log: sources, reports and readers over one SQLite store per
// machine root.
#include "tw/eventlog.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "tw/clock.h"
#include "tw/eventlog_internal.h"
#include "tw/kobject.h"
#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/root.h"
#include "tw/security.h"
#include "tw/sysinfo.h"
#include "tw/thread.h"
#include "tw/time.h"
#include "tw/utf.h"
#include "winerror.h"
#include "winreg.h"

namespace {

constexpr int kApplicationId = 0x5457454C;  // "TWEL"
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 15000;
constexpr char16_t kDefaultLog[] = u"Application";
constexpr char16_t kEventLogKey[] = u"SYSTEM\\CurrentControlSet\\Services\\EventLog";

const char* const kSchema = R"sql(
CREATE TABLE events(
  log TEXT NOT NULL COLLATE NOCASE,
  recno INTEGER NOT NULL,
  time_generated INTEGER NOT NULL,
  time_written INTEGER NOT NULL,
  source TEXT NOT NULL,
  type INTEGER NOT NULL,
  category INTEGER NOT NULL,
  event_id INTEGER NOT NULL,
  nstrings INTEGER NOT NULL,
  strings BLOB NOT NULL,
  computer TEXT NOT NULL,
  sid BLOB,
  data BLOB,
  PRIMARY KEY(log, recno)) WITHOUT ROWID;
)sql";

thread_local std::string t_problem;

struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;
struct DbDeleter {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbDeleter>;

DWORD mapSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT: return ERROR_EVENTLOG_FILE_CORRUPT;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    default: return ERROR_EVENTLOG_CANT_START;
  }
}

Stmt prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) return nullptr;
  return Stmt(s);
}

int queryInt(sqlite3* db, const char* sql, int* value) {
  Stmt s = prepare(db, sql);
  if (!s) return sqlite3_errcode(db);
  int rc = sqlite3_step(s.get());
  if (rc != SQLITE_ROW) return rc;
  *value = sqlite3_column_int(s.get(), 0);
  return SQLITE_OK;
}

// Opens the store, creating it on first use. A file that is not our store
// is never changed. Fails with a Win32 code and t_problem set.
DWORD openStoreOnce(Db& out) {
  t_problem.clear();
  const auto path = tw::eventlog::StorePath();
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  Db db(raw);
  auto fail = [&](DWORD error, const std::string& why) {
    t_problem = "the event log " + path.string() + " " + why;
    SetLastError(error);
    return error;
  };
  if (rc != SQLITE_OK) return fail(mapSqlite(rc), std::string("cannot be opened: ") + sqlite3_errstr(rc));
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
  sqlite3_extended_result_codes(db.get(), 1);

  // One statement, so that the three are read from one snapshot while
  // another process may be creating the store.
  int appId = 0, version = 0, tables = 0;
  if (Stmt s = prepare(db.get(),
                       "SELECT a.application_id, v.user_version, (SELECT count(*) FROM sqlite_master) "
                       "FROM pragma_application_id() a, pragma_user_version() v")) {
    rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW) {
      appId = sqlite3_column_int(s.get(), 0);
      version = sqlite3_column_int(s.get(), 1);
      tables = sqlite3_column_int(s.get(), 2);
      rc = SQLITE_OK;
    }
  } else {
    rc = sqlite3_errcode(db.get());
  }
  if (rc != SQLITE_OK) {
    DWORD error = mapSqlite(rc);
    if (error == ERROR_EVENTLOG_FILE_CORRUPT) return fail(error, "is damaged or is not a database; it was left as it is");
    return fail(error, std::string("cannot be read: ") + sqlite3_errmsg(db.get()));
  }
  const bool fresh = appId == 0 && tables == 0;
  if (!fresh && appId != kApplicationId)
    return fail(ERROR_EVENTLOG_FILE_CORRUPT, "is a database of another program; it was left as it is");
  if (!fresh && version > kSchemaVersion)
    return fail(ERROR_EVENTLOG_FILE_CORRUPT, "was written by a newer version (schema " + std::to_string(version) + ")");

  rc = sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return fail(mapSqlite(rc), std::string("cannot be used: ") + sqlite3_errmsg(db.get()));
  if (fresh) {
    // Another process may be creating it now: decide inside the write lock.
    rc = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(mapSqlite(rc), "is locked by another process");
    int now = 0;
    rc = queryInt(db.get(), "SELECT count(*) FROM sqlite_master", &now);
    if (rc == SQLITE_OK && now == 0) {
      rc = sqlite3_exec(db.get(), kSchema, nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) {
        const std::string pragmas = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                                    "; PRAGMA user_version=" + std::to_string(kSchemaVersion);
        rc = sqlite3_exec(db.get(), pragmas.c_str(), nullptr, nullptr, nullptr);
      }
    }
    if (rc != SQLITE_OK) {
      sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      return fail(mapSqlite(rc), "could not be set up");
    }
    rc = sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(mapSqlite(rc), "could not be set up");
  }
  out = std::move(db);
  return ERROR_SUCCESS;
}

// Processes creating the store at the same moment, or switching it to WAL,
// can see SQLITE_BUSY without the busy handler being asked; such an open is
// tried again until the busy timeout has passed.
DWORD openStore(Db& out) {
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD error = openStoreOnce(out);
    if (error != ERROR_BUSY || GetTickCount() - start > static_cast<DWORD>(kBusyTimeoutMs)) return error;
    Sleep(5);
  }
}

// An open source or reader: its own connection and the log it works on.
class EventLogObject : public tw::kernel::KernelObject {
 public:
  EventLogObject(Db db, std::u16string log, std::u16string source, bool reader)
      : m_db(std::move(db)), m_log(std::move(log)), m_source(std::move(source)), m_reader(reader) {}
  tw::kernel::ObjectType Type() const override { return tw::kernel::ObjectType::EventLog; }

  std::mutex mutex;
  sqlite3* Database() const { return m_db.get(); }
  const std::u16string& Log() const { return m_log; }
  const std::u16string& Source() const { return m_source; }
  bool IsReader() const { return m_reader; }
  // Next record of a sequential read; nullopt before the first read.
  std::optional<std::int64_t> next;

 private:
  Db m_db;
  std::u16string m_log;
  std::u16string m_source;
  bool m_reader;
};

std::shared_ptr<EventLogObject> lookup(HANDLE h, bool reader) {
  auto object = tw::kernel::LookupHandleAs<EventLogObject>(h);
  if (!object || object->IsReader() != reader) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return object;
}

bool isThisComputer(LPCWSTR server) {
  if (!server || !*server) return true;
  std::u16string_view name = server;
  while (!name.empty() && name.front() == u'\\') name.remove_prefix(1);
  auto same = [&](std::u16string_view other) {
    return CompareStringOrdinal(name.data(), static_cast<int>(name.size()), other.data(),
                                static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
  };
  WCHAR computer[256];
  DWORD size = 256;
  if (same(u"localhost") || same(u".")) return true;
  return GetComputerNameW(computer, &size) && same(std::u16string_view(computer, size));
}

// The log under which `source` is registered; "Application" if none.
std::u16string logOfSource(std::u16string_view source) {
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEventLogKey, 0, KEY_READ, &root) != ERROR_SUCCESS) return kDefaultLog;
  std::u16string found = kDefaultLog;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD cch = 256;
    if (RegEnumKeyExW(root, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::u16string sub = std::u16string(name, cch) + u"\\" + std::u16string(source);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
      found.assign(name, cch);
      break;
    }
  }
  RegCloseKey(root);
  return found;
}

// The log a reader opens: a known log key, or "Application".
std::u16string logByName(std::u16string_view name) {
  for (const char16_t* fixed : {u"Application", u"System", u"Security"})
    if (CompareStringOrdinal(name.data(), static_cast<int>(name.size()), fixed, -1, TRUE) == CSTR_EQUAL)
      return fixed;
  HKEY key = nullptr;
  std::u16string path = std::u16string(kEventLogKey) + u"\\" + std::u16string(name);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    return std::u16string(name);
  }
  return kDefaultLog;
}

HANDLE openHandle(LPCWSTR server, LPCWSTR name, bool reader) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!isThisComputer(server)) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  Db db;
  if (openStore(db) != ERROR_SUCCESS) return nullptr;
  std::u16string log = reader ? logByName(name) : logOfSource(name);
  auto object = std::make_shared<EventLogObject>(std::move(db), std::move(log), reader ? u"" : name, reader);
  return tw::kernel::InsertHandle(std::move(object));
}

bool closeHandle(HANDLE h, bool reader) {
  if (!lookup(h, reader)) return false;
  return tw::kernel::RemoveHandle(h);
}

void bindText16(sqlite3_stmt* s, int index, std::u16string_view text) {
  sqlite3_bind_text16(s, index, text.data(), static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
}

std::u16string columnText16(sqlite3_stmt* s, int column) {
  const void* p = sqlite3_column_text16(s, column);
  int bytes = sqlite3_column_bytes16(s, column);
  if (!p) return {};
  return std::u16string(static_cast<const char16_t*>(p), static_cast<size_t>(bytes) / sizeof(char16_t));
}

std::vector<BYTE> columnBlob(sqlite3_stmt* s, int column) {
  const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(s, column));
  int bytes = sqlite3_column_bytes(s, column);
  if (!p || bytes <= 0) return {};
  return std::vector<BYTE>(p, p + bytes);
}

size_t align4(size_t n) { return (n + 3) & ~size_t{3}; }

// Sizes of a record's variable parts, and the whole.
struct RecordParts {
  std::u16string source, computer;
  std::vector<BYTE> sid, strings, data;
  size_t Size() const {
    size_t n = sizeof(EVENTLOGRECORD) + (source.size() + 1 + computer.size() + 1) * sizeof(WCHAR);
    n = align4(n) + sid.size() + strings.size() + data.size();
    return align4(n) + sizeof(DWORD);
  }
};

// Lays out one row (columns of the read query) as an EVENTLOGRECORD.
std::vector<BYTE> buildRecord(sqlite3_stmt* s) {
  RecordParts parts;
  parts.source = columnText16(s, 4);
  parts.computer = columnText16(s, 10);
  parts.strings = columnBlob(s, 9);
  parts.sid = columnBlob(s, 11);
  parts.data = columnBlob(s, 12);
  const size_t size = parts.Size();
  std::vector<BYTE> out(size, 0);
  EVENTLOGRECORD r{};
  r.Length = static_cast<DWORD>(size);
  r.Reserved = EVENTLOG_RECORD_SIGNATURE;
  r.RecordNumber = static_cast<DWORD>(sqlite3_column_int64(s, 1));
  r.TimeGenerated = static_cast<DWORD>(sqlite3_column_int64(s, 2));
  r.TimeWritten = static_cast<DWORD>(sqlite3_column_int64(s, 3));
  r.EventType = static_cast<WORD>(sqlite3_column_int(s, 5));
  r.EventCategory = static_cast<WORD>(sqlite3_column_int(s, 6));
  r.EventID = static_cast<DWORD>(sqlite3_column_int64(s, 7));
  r.NumStrings = static_cast<WORD>(sqlite3_column_int(s, 8));
  size_t at = sizeof(EVENTLOGRECORD);
  auto put = [&](const void* p, size_t n) {
    if (n) std::memcpy(out.data() + at, p, n);
    at += n;
  };
  put(parts.source.c_str(), (parts.source.size() + 1) * sizeof(WCHAR));
  put(parts.computer.c_str(), (parts.computer.size() + 1) * sizeof(WCHAR));
  at = align4(at);
  r.UserSidLength = static_cast<DWORD>(parts.sid.size());
  r.UserSidOffset = static_cast<DWORD>(at);
  put(parts.sid.data(), parts.sid.size());
  r.StringOffset = static_cast<DWORD>(at);
  put(parts.strings.data(), parts.strings.size());
  r.DataLength = static_cast<DWORD>(parts.data.size());
  r.DataOffset = static_cast<DWORD>(at);
  put(parts.data.data(), parts.data.size());
  std::memcpy(out.data(), &r, sizeof r);
  const DWORD length = r.Length;
  std::memcpy(out.data() + size - sizeof(DWORD), &length, sizeof length);
  return out;
}

bool countQuery(EventLogObject& object, const char* sql, PDWORD result) {
  std::lock_guard lock(object.mutex);
  Stmt s = prepare(object.Database(), sql);
  if (!s) {
    SetLastError(mapSqlite(sqlite3_errcode(object.Database())));
    return false;
  }
  bindText16(s.get(), 1, object.Log());
  int rc = sqlite3_step(s.get());
  if (rc != SQLITE_ROW) {
    SetLastError(mapSqlite(rc));
    return false;
  }
  *result = static_cast<DWORD>(sqlite3_column_int64(s.get(), 0));
  return true;
}

}  // namespace

namespace tw::eventlog {
std::filesystem::path StorePath() { return tw::root::Path("log/eventlog.db"); }
std::string LastProblem() { return t_problem; }
}  // namespace tw::eventlog

HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
  return openHandle(lpUNCServerName, lpSourceName, false);
}

BOOL DeregisterEventSource(HANDLE hEventLog) { return closeHandle(hEventLog, false) ? TRUE : FALSE; }

HANDLE OpenEventLogW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
  return openHandle(lpUNCServerName, lpSourceName, true);
}

BOOL CloseEventLog(HANDLE hEventLog) { return closeHandle(hEventLog, true) ? TRUE : FALSE; }

BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid, WORD wNumStrings,
                  DWORD dwDataSize, LPCWSTR* lpStrings, LPVOID lpRawData) {
  auto object = lookup(hEventLog, false);
  if (!object) return FALSE;
  switch (wType) {
    case EVENTLOG_SUCCESS:
    case EVENTLOG_ERROR_TYPE:
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_INFORMATION_TYPE:
    case EVENTLOG_AUDIT_SUCCESS:
    case EVENTLOG_AUDIT_FAILURE: break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  if ((wNumStrings && !lpStrings) || (dwDataSize && !lpRawData) || (lpUserSid && !IsValidSid(lpUserSid))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RecordParts parts;
  parts.source = object->Source();
  WCHAR computer[256];
  DWORD cch = 256;
  if (GetComputerNameW(computer, &cch)) parts.computer.assign(computer, cch);
  for (WORD i = 0; i < wNumStrings; ++i) {
    if (!lpStrings[i]) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::u16string_view text = lpStrings[i];
    if (text.size() > EVENTLOG_MAX_STRING_CHARS) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(lpStrings[i]);
    parts.strings.insert(parts.strings.end(), bytes, bytes + (text.size() + 1) * sizeof(WCHAR));
  }
  if (lpUserSid) {
    const auto* bytes = static_cast<const BYTE*>(lpUserSid);
    parts.sid.assign(bytes, bytes + GetLengthSid(lpUserSid));
  }
  if (dwDataSize > EVENTLOG_MAX_RECORD_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* data = static_cast<const BYTE*>(lpRawData);
  if (dwDataSize) parts.data.assign(data, data + dwDataSize);
  if (parts.Size() > EVENTLOG_MAX_RECORD_SIZE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  std::lock_guard lock(object->mutex);
  sqlite3* db = object->Database();
  // The write lock is taken before the number is chosen, so concurrent
  // writers in other processes get consecutive numbers and none is lost.
  int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (const DWORD start = GetTickCount();
       (rc & 0xFF) == SQLITE_BUSY && GetTickCount() - start < static_cast<DWORD>(kBusyTimeoutMs);) {
    Sleep(5);
    rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    SetLastError(mapSqlite(rc));
    return FALSE;
  }
  // The layer's clock, so that fake time in tests applies here too.
  const std::int64_t now = (tw::clock::NowUtc() - tw::clock::kUnixEpoch100ns) / 10000000;
  Stmt insert = prepare(db,
                        "INSERT INTO events(log, recno, time_generated, time_written, source, type, category, "
                        "event_id, nstrings, strings, computer, sid, data) VALUES(?1, "
                        "(SELECT COALESCE(MAX(recno), 0) + 1 FROM events WHERE log = ?1), ?2, ?2, ?3, ?4, ?5, ?6, ?7, "
                        "?8, ?9, ?10, ?11)");
  if (!insert) {
    rc = sqlite3_errcode(db);
  } else {
    sqlite3_stmt* s = insert.get();
    bindText16(s, 1, object->Log());
    sqlite3_bind_int64(s, 2, now);
    bindText16(s, 3, parts.source);
    sqlite3_bind_int(s, 4, wType);
    sqlite3_bind_int(s, 5, wCategory);
    sqlite3_bind_int64(s, 6, dwEventID);
    sqlite3_bind_int(s, 7, wNumStrings);
    // An empty vector has no data pointer, which SQLite would store as NULL.
    if (parts.strings.empty())
      sqlite3_bind_zeroblob(s, 8, 0);
    else
      sqlite3_bind_blob(s, 8, parts.strings.data(), static_cast<int>(parts.strings.size()), SQLITE_STATIC);
    bindText16(s, 9, parts.computer);
    if (parts.sid.empty())
      sqlite3_bind_null(s, 10);
    else
      sqlite3_bind_blob(s, 10, parts.sid.data(), static_cast<int>(parts.sid.size()), SQLITE_STATIC);
    if (parts.data.empty())
      sqlite3_bind_null(s, 11);
    else
      sqlite3_bind_blob(s, 11, parts.data.data(), static_cast<int>(parts.data.size()), SQLITE_STATIC);
    rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  insert.reset();
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    SetLastError(mapSqlite(rc));
    return FALSE;
  }
  return TRUE;
}

BOOL ReadEventLogW(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset, LPVOID lpBuffer,
                   DWORD nNumberOfBytesToRead, DWORD* pnBytesRead, DWORD* pnMinNumberOfBytesNeeded) {
  auto object = lookup(hEventLog, true);
  if (!object) return FALSE;
  const bool sequential = dwReadFlags & EVENTLOG_SEQUENTIAL_READ, seek = dwReadFlags & EVENTLOG_SEEK_READ;
  const bool forwards = dwReadFlags & EVENTLOG_FORWARDS_READ, backwards = dwReadFlags & EVENTLOG_BACKWARDS_READ;
  const DWORD known = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ;
  if ((dwReadFlags & ~known) || sequential == seek || forwards == backwards || !pnBytesRead ||
      !pnMinNumberOfBytesNeeded || (!lpBuffer && nNumberOfBytesToRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pnBytesRead = 0;
  *pnMinNumberOfBytesNeeded = 0;

  std::lock_guard lock(object->mutex);
  sqlite3* db = object->Database();
  std::optional<std::int64_t> start;
  if (seek) {
    Stmt exists = prepare(db, "SELECT 1 FROM events WHERE log = ?1 AND recno = ?2");
    if (!exists) {
      SetLastError(mapSqlite(sqlite3_errcode(db)));
      return FALSE;
    }
    bindText16(exists.get(), 1, object->Log());
    sqlite3_bind_int64(exists.get(), 2, dwRecordOffset);
    int rc = sqlite3_step(exists.get());
    if (rc != SQLITE_ROW) {
      SetLastError(rc == SQLITE_DONE ? ERROR_INVALID_PARAMETER : mapSqlite(rc));
      return FALSE;
    }
    start = dwRecordOffset;
  } else {
    start = object->next;
  }
  const char* sql = forwards ? "SELECT * FROM events WHERE log = ?1 AND recno >= ?2 ORDER BY recno ASC"
                             : "SELECT * FROM events WHERE log = ?1 AND recno <= ?2 ORDER BY recno DESC";
  Stmt s = prepare(db, sql);
  if (!s) {
    SetLastError(mapSqlite(sqlite3_errcode(db)));
    return FALSE;
  }
  bindText16(s.get(), 1, object->Log());
  sqlite3_bind_int64(s.get(), 2, start ? *start : (forwards ? 0 : INT64_MAX));

  auto* out = static_cast<BYTE*>(lpBuffer);
  DWORD written = 0;
  std::int64_t last = 0;
  bool any = false;
  for (;;) {
    int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      SetLastError(mapSqlite(rc));
      return FALSE;
    }
    std::vector<BYTE> record = buildRecord(s.get());
    if (record.size() > nNumberOfBytesToRead - written) {
      if (!any) {
        *pnMinNumberOfBytesNeeded = static_cast<DWORD>(record.size());
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
      }
      break;
    }
    std::memcpy(out + written, record.data(), record.size());
    written += static_cast<DWORD>(record.size());
    last = sqlite3_column_int64(s.get(), 1);
    any = true;
  }
  if (!any) {
    SetLastError(ERROR_HANDLE_EOF);
    return FALSE;
  }
  object->next = forwards ? last + 1 : last - 1;
  *pnBytesRead = written;
  return TRUE;
}

BOOL GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords) {
  auto object = lookup(hEventLog, true);
  if (!object) return FALSE;
  if (!NumberOfRecords) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return countQuery(*object, "SELECT count(*) FROM events WHERE log = ?1", NumberOfRecords) ? TRUE : FALSE;
}

BOOL GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord) {
  auto object = lookup(hEventLog, true);
  if (!object) return FALSE;
  if (!OldestRecord) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return countQuery(*object, "SELECT COALESCE(MIN(recno), 0) FROM events WHERE log = ?1", OldestRecord) ? TRUE
                                                                                                      : FALSE;
}
