// The store: damaged and foreign database files, several processes writing
// at once, a killed writer, fault injection, batches and root changes.
#include <dlfcn.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <fstream>
#include <thread>

#include "reg_test_util.h"
#include "tw/registry.h"
#include "tw/utf.h"

using namespace regtest;

namespace {

// SQLite through the copy the platform library loaded (the tests do not
// link it themselves).
template <class F>
F sqliteFn(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

// A connection of its own to a database file, as another program has.
class RawDb {
 public:
  explicit RawDb(const std::filesystem::path& path) {
    auto open = sqliteFn<int (*)(const char*, sqlite3**)>("sqlite3_open");
    ok_ = open && open(path.c_str(), &db_) == SQLITE_OK;
  }
  ~RawDb() {
    if (auto close = sqliteFn<int (*)(sqlite3*)>("sqlite3_close")) close(db_);
  }
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  bool Exec(const char* sql) {
    auto exec = sqliteFn<int (*)(sqlite3*, const char*, void*, void*, char**)>("sqlite3_exec");
    return ok_ && exec && exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

 private:
  sqlite3* db_ = nullptr;
  bool ok_ = false;
};

bool execSql(const std::filesystem::path& path, const char* sql) { return RawDb(path).Exec(sql); }

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RegistryStore, GarbageFileIsReportedAndLeftAlone) {
  twtest::TempRoot root;
  auto path = tw::registry::DatabasePath();
  std::string garbage(8192, 'x');
  garbage.replace(0, 22, "this is not a database");
  writeFile(path, garbage);
  Key key;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\X", &key), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, key.Out()), ERROR_REGISTRY_CORRUPT);
  EXPECT_NE(tw::registry::StoreProblem().find("damaged"), std::string::npos) << tw::registry::StoreProblem();
  EXPECT_EQ(readFile(path), garbage) << "the file was changed";
  // Once the file is replaced, the store works again.
  std::filesystem::remove(path);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\X", &key), ERROR_SUCCESS);
  EXPECT_EQ(tw::registry::StoreProblem(), "");
}

TEST(RegistryStore, ForeignDatabaseIsRefusedUnchanged) {
  twtest::TempRoot root;
  auto path = tw::registry::DatabasePath();
  ASSERT_TRUE(execSql(path, "CREATE TABLE invoices(id INTEGER); INSERT INTO invoices VALUES(42);"));
  std::string before = readFile(path);
  Key key;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\X", &key), ERROR_BADDB);
  EXPECT_NE(tw::registry::StoreProblem().find("another program"), std::string::npos);
  EXPECT_EQ(readFile(path), before);
}

TEST(RegistryStore, DamagedPagesGiveAnErrorNotACrash) {
  twtest::TempRoot root;
  {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Big", &key), 0);
    std::vector<BYTE> blob(200000, 0xAB);
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())), 0);
  }
  // Checkpoint the journal into the main file, then damage the pages after the header.
  tw::root::SetDir(root.Dir());  // closes the connection
  ASSERT_TRUE(execSql(tw::registry::DatabasePath(), "PRAGMA wal_checkpoint(TRUNCATE)"));
  std::string bytes = readFile(tw::registry::DatabasePath());
  ASSERT_GT(bytes.size(), 8192u);
  for (size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0x5A ^ (i * 31));
  writeFile(tw::registry::DatabasePath(), bytes);
  tw::root::SetDir(root.Dir());
  Key key;
  LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Big", 0, KEY_READ, key.Out());
  if (rc == ERROR_SUCCESS) Query(key, u"Blob", nullptr, &rc);
  EXPECT_TRUE(rc == ERROR_REGISTRY_CORRUPT || rc == ERROR_BADDB) << rc;
}

// Another process holding the write lock of the new, still empty file (one
// creating the store at this moment) makes the first call wait, not fail:
// SQLite refuses the switch to WAL mode at once in that state.
TEST(RegistryStore, FirstUseWaitsWhileAnotherConnectionHoldsTheWriteLock) {
  twtest::TempRoot root;
  RawDb other(tw::registry::DatabasePath());
  ASSERT_TRUE(other.Exec("BEGIN IMMEDIATE"));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.Exec("ROLLBACK");
  });
  Key key;
  LONG rc = Create(HKEY_CURRENT_USER, u"SOFTWARE\\AfterTheWait", &key);
  release.join();
  EXPECT_EQ(rc, ERROR_SUCCESS) << tw::registry::StoreProblem();
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\AfterTheWait"));
}

// Children write into one key at once; every value of every child arrives.
TEST(RegistryStore, SeveralProcessesWriteAtOnce) {
  twtest::TempRoot root;
  {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Shared", &key), 0);  // the store exists before the fork
  }
  constexpr int kChildren = 4, kWrites = 60;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i) {
        HKEY key = nullptr;
        std::u16string sub = u"SOFTWARE\\Shared\\Child " + tw::FromUtf8(std::to_string(c));
        if (LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr)) {
          fprintf(stderr, "create: %d %s\n", rc, tw::registry::StoreProblem().c_str());
          ++failures;
        }
        std::u16string name = tw::FromUtf8("v" + std::to_string(i));
        DWORD value = static_cast<DWORD>(c * 1000 + i);
        if (LONG rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4)) {
          fprintf(stderr, "set: %d %s\n", rc, tw::registry::StoreProblem().c_str());
          ++failures;
        }
        HKEY shared = nullptr;
        if (LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Shared", 0, KEY_ALL_ACCESS, &shared)) {
          fprintf(stderr, "open: %d %s\n", rc, tw::registry::StoreProblem().c_str());
          ++failures;
        }
        std::u16string counter = tw::FromUtf8("c" + std::to_string(c) + "_" + std::to_string(i));
        if (RegSetValueExW(shared, counter.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4)) ++failures;
        RegCloseKey(shared);
        RegCloseKey(key);
      }
      if (failures) fprintf(stderr, "child %d: %d failures\n", c, failures);
      _exit(failures ? 1 : 0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child failed to write";
  }
  Key shared;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Shared", 0, KEY_READ, shared.Out()), 0);
  EXPECT_EQ(SubKeys(shared).size(), static_cast<size_t>(kChildren));
  EXPECT_EQ(ValueNames(shared).size(), static_cast<size_t>(kChildren * kWrites));
  for (int c = 0; c < kChildren; ++c) {
    Key child;
    std::u16string sub = u"Child " + tw::FromUtf8(std::to_string(c));
    ASSERT_EQ(RegOpenKeyExW(shared, sub.c_str(), 0, KEY_READ, child.Out()), 0);
    EXPECT_EQ(ValueNames(child).size(), static_cast<size_t>(kWrites));
    DWORD value = 0, size = 4;
    ASSERT_EQ(RegQueryValueExW(child, u"v59", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), 0);
    EXPECT_EQ(value, static_cast<DWORD>(c * 1000 + 59));
  }
}

// A writer killed in the middle of a batch leaves nothing half-written.
TEST(RegistryStore, KilledWriterLeavesNoPartialTree) {
  twtest::TempRoot root;
  {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Before", &key), 0);
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(ready[0]);
    tw::registry::Batch batch;
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Half\\Written", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    DWORD value = 1;
    RegSetValueExW(key, u"First", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    (void)!write(ready[1], "x", 1);
    pause();  // killed here, before the commit
    _exit(0);
  }
  close(ready[1]);
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Half"));
  Key after;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\After", &after), ERROR_SUCCESS) << "the store is not left locked";
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Before"));
}

TEST(RegistryStore, InjectedFaultsHitTheNamedKeyAndOperation) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  tw::registry::InjectFault(u"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tarnwick\\PortList",
                            tw::registry::Op::Create, ERROR_ACCESS_DENIED);
  Key monitor, portList;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tarnwick", &monitor), 0);
  EXPECT_EQ(Create(monitor, u"portlist", &portList), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Exists(monitor, u"PortList"));
  tw::registry::ClearFaults();
  EXPECT_EQ(Create(monitor, u"PortList", &portList), ERROR_SUCCESS);

  // A fault that fires once, on a value operation through HKCU.
  tw::registry::InjectFault(u"HKCU\\SOFTWARE\\T", tw::registry::Op::SetValue, ERROR_WRITE_FAULT, 1);
  Key t;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\T", &t), 0);
  EXPECT_EQ(SetDword(t, u"A", 1), ERROR_WRITE_FAULT);
  EXPECT_EQ(SetDword(t, u"A", 1), ERROR_SUCCESS);

  // A delete fault on one key of a tree keeps the whole tree.
  Key deep;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P\\Job 1\\Sub", &deep), 0);
  tw::registry::InjectFault(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P\\Job 1\\Sub",
                            tw::registry::Op::DeleteKey, ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P\\Job 1"),
            ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P\\Job 1\\Sub"));
  tw::registry::ClearFaults();
}

TEST(RegistryStore, BatchCommitsOrUndoesEverything) {
  twtest::TempRoot root;
  {
    tw::registry::Batch batch;
    ASSERT_EQ(batch.Status(), 0);
    Key a;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Undone\\A", &a), 0);
    ASSERT_EQ(SetDword(a, u"V", 1), 0);
  }  // no commit
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Undone"));
  {
    tw::registry::Batch batch;
    Key a;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Done\\A", &a), 0);
    // A failing call inside the batch undoes only itself.
    Key bad;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, u"\\Bad", &bad), ERROR_BAD_PATHNAME);
    ASSERT_EQ(SetDword(a, u"V", 1), 0);
    EXPECT_EQ(batch.Commit(), 0);
  }
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Done\\A"));
}

DWORD ReadDword(HKEY root, const char16_t* path, const char16_t* name, LONG* error) {
  DWORD value = 0, size = sizeof value;
  *error = RegGetValueW(root, path, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

// Another process that runs its steps one at a time when asked. It is
// started before the reads under test, because forking makes the forking
// process drop what it has read.
class OtherProcess {
 public:
  explicit OtherProcess(std::vector<std::function<bool()>> steps) {
    if (pipe(go_) != 0 || pipe(done_) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(go_[1]);
      close(done_[0]);
      char c;
      for (auto& step : steps) {
        if (read(go_[0], &c, 1) != 1) _exit(2);
        char ok = step() ? 1 : 0;
        if (write(done_[1], &ok, 1) != 1) _exit(2);
      }
      _exit(0);
    }
    close(go_[0]);
    close(done_[1]);
  }
  ~OtherProcess() {
    close(go_[1]);
    close(done_[0]);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;
  bool Step() {
    char c = 1, ok = 0;
    return pid_ > 0 && write(go_[1], &c, 1) == 1 && read(done_[0], &ok, 1) == 1 && ok == 1;
  }

 private:
  int go_[2] = {-1, -1}, done_[2] = {-1, -1};
  pid_t pid_ = -1;
};

bool SetDwordAt(const char16_t* path, const char16_t* name, DWORD value) {
  return RegSetKeyValueW(HKEY_CURRENT_USER, path, name, REG_DWORD, &value, sizeof value) == 0;
}

// What a process has read before (values, missing values, missing keys, the
// key behind a handle) gives way at once to what another process committed;
// what it left uncommitted never shows.
TEST(RegistryStore, ReadsSeeAnotherProcessesChangesAtOnce) {
  twtest::TempRoot root;
  ASSERT_TRUE(SetDwordAt(u"SOFTWARE\\Seen", u"V", 1));
  OtherProcess other({
      [] { return SetDwordAt(u"SOFTWARE\\Seen", u"V", 2) && SetDwordAt(u"SOFTWARE\\Seen", u"Later", 3) &&
                  SetDwordAt(u"SOFTWARE\\Seen\\Sub", u"X", 0); },
      [] {
        tw::registry::Batch batch;  // never committed
        return SetDwordAt(u"SOFTWARE\\Seen", u"V", 4);
      },
      [] {
        tw::registry::Batch batch;
        return SetDwordAt(u"SOFTWARE\\Seen", u"V", 5) && batch.Commit() == 0;
      },
      [] { return RegDeleteKeyW(HKEY_CURRENT_USER, u"SOFTWARE\\Seen\\Sub") == 0; },
  });
  LONG rc = 0;
  for (int round = 0; round < 2; ++round) {  // the second round reads what the first kept
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Seen", u"V", &rc), 1u);
    EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Seen", u"Later", &rc), 0u);
    EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Seen\\Sub"));
  }
  ASSERT_TRUE(other.Step());
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Seen", u"V", &rc), 2u);
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Seen", u"Later", &rc), 3u);
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Seen\\Sub"));

  ASSERT_TRUE(other.Step());
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Seen", u"V", &rc), 2u);
  ASSERT_TRUE(other.Step());
  EXPECT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Seen", u"V", &rc), 5u);

  // A key deleted elsewhere: the handle that names it says so.
  Key sub;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Seen\\Sub", 0, KEY_READ, sub.Out()), 0);
  EXPECT_EQ(Query(sub, u"Nothing", nullptr, &rc).size(), 0u);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(other.Step());
  Query(sub, u"Nothing", nullptr, &rc);
  EXPECT_EQ(rc, ERROR_KEY_DELETED);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Seen\\Sub"));
}

// A program that changes the file without this API is seen within a second.
TEST(RegistryStore, ChangesMadeBehindTheApisBackShowSoon) {
  twtest::TempRoot root;
  Key key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Behind", &key), 0);
  ASSERT_EQ(SetDword(key, u"V", 1), 0);
  LONG rc = 0;
  ASSERT_EQ(ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Behind", u"V", &rc), 1u);
  ASSERT_TRUE(execSql(tw::registry::DatabasePath(), "UPDATE vals SET data = x'07000000' WHERE data = x'01000000'"));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  DWORD seen = 0;
  while ((seen = ReadDword(HKEY_CURRENT_USER, u"SOFTWARE\\Behind", u"V", &rc)) != 7u &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(seen, 7u);
}

TEST(RegistryStore, ChangingTheRootSwitchesStores) {
  twtest::TempRoot first;
  Key key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\OnlyInFirst", &key), 0);
  {
    twtest::TempRoot second;
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\OnlyInFirst"));
    EXPECT_EQ(SetDword(key, u"V", 1), ERROR_KEY_DELETED) << "a handle of another machine names nothing here";
  }
  tw::root::SetDir(first.Dir());
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\OnlyInFirst"));
}

TEST(RegistryStore, KeyHandlesAreCounted) {
  twtest::TempRoot root;
  auto before = tw::debug::Get(tw::debug::Counter::RegistryKeys);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Count", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            0);
  EXPECT_EQ(tw::debug::Get(tw::debug::Counter::RegistryKeys), before + 1);
  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_EQ(tw::debug::Get(tw::debug::Counter::RegistryKeys), before);
}

}  // namespace
