// The event log: reports and their records, reading in every direction,
// errors, several writers at once, a killed writer and a damaged store.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "tw/clock.h"
#include "tw/eventlog_internal.h"
#include "tw_test.h"

namespace {

// One record taken apart.
struct Entry {
  EVENTLOGRECORD header{};
  std::u16string source, computer;
  std::vector<std::u16string> strings;
  std::vector<BYTE> sid, data;
  DWORD trailingLength = 0;
};

Entry Parse(const BYTE* p) {
  Entry e;
  std::memcpy(&e.header, p, sizeof e.header);
  const auto* text = reinterpret_cast<const char16_t*>(p + sizeof(EVENTLOGRECORD));
  e.source = text;
  e.computer = text + e.source.size() + 1;
  const auto* s = reinterpret_cast<const char16_t*>(p + e.header.StringOffset);
  for (WORD i = 0; i < e.header.NumStrings; ++i) {
    e.strings.emplace_back(s);
    s += e.strings.back().size() + 1;
  }
  e.sid.assign(p + e.header.UserSidOffset, p + e.header.UserSidOffset + e.header.UserSidLength);
  e.data.assign(p + e.header.DataOffset, p + e.header.DataOffset + e.header.DataLength);
  std::memcpy(&e.trailingLength, p + e.header.Length - 4, 4);
  return e;
}

// Every record of the log, read forwards in one buffer after another.
std::vector<Entry> ReadAll(LPCWSTR log, DWORD flags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ) {
  std::vector<Entry> out;
  HANDLE h = OpenEventLogW(nullptr, log);
  EXPECT_NE(h, nullptr);
  if (!h) return out;
  std::vector<BYTE> buffer(4096);
  for (;;) {
    DWORD read = 0, needed = 0;
    if (!ReadEventLogW(h, flags, 0, buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed)) {
      if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        buffer.resize(needed);
        continue;
      }
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
      break;
    }
    for (DWORD at = 0; at < read;) {
      out.push_back(Parse(buffer.data() + at));
      at += out.back().header.Length;
    }
  }
  CloseEventLog(h);
  return out;
}

bool Report(LPCWSTR source, WORD type, DWORD id, std::vector<LPCWSTR> strings) {
  HANDLE h = RegisterEventSourceW(nullptr, source);
  if (!h) return false;
  BOOL ok = ReportEventW(h, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
  DeregisterEventSource(h);
  return ok;
}

class EventLogTest : public ::testing::Test {
 protected:
  twtest::TempRoot root_;
};

TEST_F(EventLogTest, ReportedEntryReadsBackAsWindowsRecord) {
  twtest::LeakGuard guard;
  HANDLE source = RegisterEventSourceW(nullptr, u"Office Printer");
  ASSERT_NE(source, nullptr);
  PSID sid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-21-1-2-3-1001", &sid));
  LPCWSTR strings[] = {u"Office Printer", u"Report.docx", u""};
  const BYTE data[] = {1, 2, 3, 4, 5};
  const time_t before = time(nullptr);
  ASSERT_TRUE(ReportEventW(source, EVENTLOG_WARNING_TYPE, 7, 0x65, sid, 3, sizeof data, strings,
                           const_cast<BYTE*>(data)));
  ASSERT_TRUE(ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 0x64, nullptr, 0, 0, nullptr, nullptr));
  ASSERT_TRUE(DeregisterEventSource(source));

  auto entries = ReadAll(u"Application");
  ASSERT_EQ(entries.size(), 2u);
  const Entry& e = entries[0];
  EXPECT_EQ(e.header.Reserved, EVENTLOG_RECORD_SIGNATURE);
  EXPECT_EQ(e.header.RecordNumber, 1u);
  EXPECT_EQ(entries[1].header.RecordNumber, 2u);
  EXPECT_EQ(e.header.EventType, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(e.header.EventCategory, 7);
  EXPECT_EQ(e.header.EventID, 0x65u);
  EXPECT_GE(static_cast<time_t>(e.header.TimeGenerated), before);
  EXPECT_LE(static_cast<time_t>(e.header.TimeGenerated), time(nullptr));
  EXPECT_EQ(e.header.TimeWritten, e.header.TimeGenerated);
  EXPECT_EQ(e.source, u"Office Printer");
  WCHAR computer[64];
  DWORD cch = 64;
  ASSERT_TRUE(GetComputerNameW(computer, &cch));
  EXPECT_EQ(e.computer, std::u16string(computer));
  EXPECT_EQ(e.strings, (std::vector<std::u16string>{u"Office Printer", u"Report.docx", u""}));
  EXPECT_EQ(e.header.UserSidOffset % 4, 0u);
  ASSERT_EQ(e.sid.size(), GetLengthSid(sid));
  EXPECT_EQ(std::memcmp(e.sid.data(), sid, e.sid.size()), 0);
  EXPECT_EQ(e.data, std::vector<BYTE>(data, data + sizeof data));
  EXPECT_EQ(e.header.Length % 4, 0u);
  EXPECT_EQ(e.trailingLength, e.header.Length);
  EXPECT_EQ(entries[1].header.NumStrings, 0);
  EXPECT_EQ(entries[1].header.UserSidLength, 0u);
  EXPECT_EQ(entries[1].header.DataLength, 0u);
  LocalFree(sid);

  HANDLE reader = OpenEventLogW(nullptr, u"Application");
  ASSERT_NE(reader, nullptr);
  DWORD count = 0, oldest = 0;
  EXPECT_TRUE(GetNumberOfEventLogRecords(reader, &count));
  EXPECT_TRUE(GetOldestEventLogRecord(reader, &oldest));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(oldest, 1u);
  EXPECT_TRUE(CloseEventLog(reader));
}

TEST_F(EventLogTest, ReadsForwardsBackwardsAndBySeek) {
  for (int i = 1; i <= 5; ++i) {
    std::u16string n(1, static_cast<char16_t>(u'0' + i));
    ASSERT_TRUE(Report(u"Src", EVENTLOG_INFORMATION_TYPE, 100, {n.c_str()}));
  }
  auto backwards = ReadAll(u"Application", EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ);
  ASSERT_EQ(backwards.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(backwards[i].header.RecordNumber, 5 - i);

  HANDLE h = OpenEventLogW(nullptr, u"application");
  ASSERT_NE(h, nullptr);
  std::vector<BYTE> buffer(4096);
  DWORD read = 0, needed = 0;
  // A seek read starts at the record asked for; a sequential read goes on from there.
  ASSERT_TRUE(ReadEventLogW(h, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 4, buffer.data(), 4096, &read, &needed));
  Entry first = Parse(buffer.data());
  EXPECT_EQ(first.header.RecordNumber, 4u);
  EXPECT_EQ(read, first.header.Length * 2);  // records 4 and 5 (same size)
  EXPECT_FALSE(ReadEventLogW(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), 4096, &read,
                             &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_FALSE(ReadEventLogW(h, EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 9, buffer.data(), 4096, &read, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // Too small for one record: the size needed; room for one and a half: one.
  const DWORD one = first.header.Length;
  EXPECT_FALSE(ReadEventLogW(h, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 3, buffer.data(), one - 1, &read,
                             &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, one);
  EXPECT_EQ(read, 0u);
  ASSERT_TRUE(ReadEventLogW(h, EVENTLOG_SEEK_READ | EVENTLOG_BACKWARDS_READ, 3, buffer.data(), one + one / 2, &read,
                            &needed));
  EXPECT_EQ(read, one);
  EXPECT_EQ(Parse(buffer.data()).header.RecordNumber, 3u);
  ASSERT_TRUE(ReadEventLogW(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(), 4096, &read,
                            &needed));
  EXPECT_EQ(read, one * 2);  // 2 and 1
  EXPECT_EQ(Parse(buffer.data()).header.RecordNumber, 2u);
  EXPECT_EQ(Parse(buffer.data() + one).header.RecordNumber, 1u);

  // Flags must name exactly one way and one direction.
  for (DWORD bad : {DWORD{0}, DWORD{EVENTLOG_SEQUENTIAL_READ}, DWORD{EVENTLOG_FORWARDS_READ | EVENTLOG_BACKWARDS_READ |
                                                                    EVENTLOG_SEQUENTIAL_READ},
                    DWORD{EVENTLOG_SEQUENTIAL_READ | EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ}}) {
    EXPECT_FALSE(ReadEventLogW(h, bad, 0, buffer.data(), 4096, &read, &needed)) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_TRUE(CloseEventLog(h));
}

TEST_F(EventLogTest, RefusesBadArgumentsAndHandles) {
  HANDLE source = RegisterEventSourceW(nullptr, u"Src");
  ASSERT_NE(source, nullptr);
  LPCWSTR nullString[] = {u"a", nullptr};
  EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 2, 0, nullString, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ReportEventW(source, 3, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  std::u16string huge(EVENTLOG_MAX_STRING_CHARS + 1, u'x');
  LPCWSTR hugeStrings[] = {huge.c_str()};
  EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, hugeStrings, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  BYTE notSid[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, notSid, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // A source handle is no reader and the other way round.
  DWORD count = 0;
  EXPECT_FALSE(GetNumberOfEventLogRecords(source, &count));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseEventLog(source));
  EXPECT_TRUE(DeregisterEventSource(source));
  EXPECT_FALSE(DeregisterEventSource(source));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  EXPECT_EQ(RegisterEventSourceW(u"\\\\OTHERPC", u"Src"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(RegisterEventSourceW(nullptr, u""), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  WCHAR computer[64];
  DWORD cch = 64;
  ASSERT_TRUE(GetComputerNameW(computer, &cch));
  std::u16string unc = u"\\\\" + std::u16string(computer);
  HANDLE local = OpenEventLogW(unc.c_str(), u"Application");
  EXPECT_NE(local, nullptr);
  EXPECT_TRUE(CloseEventLog(local));
  EXPECT_EQ(ReadAll(u"Application").size(), 0u);  // nothing half-written
}

TEST_F(EventLogTest, SourceGoesToTheLogItIsRegisteredUnder) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\Driver X", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(Report(u"Driver X", EVENTLOG_ERROR_TYPE, 5, {}));
  ASSERT_TRUE(Report(u"Unregistered", EVENTLOG_ERROR_TYPE, 6, {}));
  auto system = ReadAll(u"System");
  ASSERT_EQ(system.size(), 1u);
  EXPECT_EQ(system[0].source, u"Driver X");
  EXPECT_EQ(system[0].header.RecordNumber, 1u);
  auto application = ReadAll(u"Application");
  ASSERT_EQ(application.size(), 1u);
  EXPECT_EQ(application[0].source, u"Unregistered");
  EXPECT_EQ(application[0].header.RecordNumber, 1u);
  EXPECT_EQ(ReadAll(u"No Such Log").size(), 1u);  // an unknown log is Application
}

// Entries take their times from the layer's clock (fake time in tests).
TEST_F(EventLogTest, TimesFollowTheLayerClock) {
  setenv("TW_FAKE_TIME", "2026-03-02T14:09:05Z", 1);
  setenv("TW_FAKE_TIME_FROZEN", "1", 1);
  tw::clock::Reload();
  const bool reported = Report(u"Src", EVENTLOG_INFORMATION_TYPE, 100, {});
  unsetenv("TW_FAKE_TIME");
  unsetenv("TW_FAKE_TIME_FROZEN");
  tw::clock::Reload();
  ASSERT_TRUE(reported);
  auto entries = ReadAll(u"Application");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].header.TimeGenerated, 1772460545u);  // 2026-03-02 14:09:05 UTC
  EXPECT_EQ(entries[0].header.TimeWritten, 1772460545u);
}

// Child processes and threads report at once: every entry arrives, each with
// its own number.
TEST_F(EventLogTest, SeveralWriterProcessesAndThreadsLoseNothing) {
  constexpr int kProcesses = 3, kThreads = 3, kEach = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kEach; ++i)
        if (!Report(u"Child", EVENTLOG_INFORMATION_TYPE, 100, {u"child"})) {
          ++failures;
          fprintf(stderr, "child report failed: error %u %s\n", GetLastError(), tw::eventlog::LastProblem().c_str());
        }
      _exit(failures ? 1 : 0);
    }
    children.push_back(pid);
  }
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      HANDLE h = RegisterEventSourceW(nullptr, u"Thread");
      if (!h) {
        ADD_FAILURE() << "thread register failed: error " << GetLastError() << " " << tw::eventlog::LastProblem();
        failures += kEach;
        return;
      }
      LPCWSTR s[] = {u"thread"};
      for (int i = 0; i < kEach; ++i)
        if (!ReportEventW(h, EVENTLOG_INFORMATION_TYPE, 0, 100, nullptr, 1, 0, s, nullptr)) {
          ++failures;
          ADD_FAILURE() << "thread report failed: error " << GetLastError();
        }
      DeregisterEventSource(h);
    });
  for (auto& t : threads) t.join();
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(failures.load(), 0);
  auto entries = ReadAll(u"Application");
  ASSERT_EQ(entries.size(), static_cast<size_t>((kProcesses + kThreads) * kEach));
  std::set<DWORD> numbers;
  for (const auto& e : entries) numbers.insert(e.header.RecordNumber);
  EXPECT_EQ(numbers.size(), entries.size());
  EXPECT_EQ(*numbers.begin(), 1u);
  EXPECT_EQ(*numbers.rbegin(), entries.size());
}

// A writer killed in the middle of reporting leaves a store that opens and
// holds every entry it completed, numbered without gaps.
TEST_F(EventLogTest, KilledWriterLeavesAUsableStore) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    HANDLE h = RegisterEventSourceW(nullptr, u"Doomed");
    if (!h) _exit(1);
    std::u16string payload(2000, u'p');
    LPCWSTR s[] = {payload.c_str()};
    for (;;) ReportEventW(h, EVENTLOG_ERROR_TYPE, 0, 102, nullptr, 1, 0, s, nullptr);
  }
  HANDLE reader = nullptr;
  DWORD count = 0;
  for (int i = 0; i < 2000 && count < 30; ++i) {
    usleep(5000);
    if (!reader) reader = OpenEventLogW(nullptr, u"Application");
    if (reader) GetNumberOfEventLogRecords(reader, &count);
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_NE(reader, nullptr);
  ASSERT_GE(count, 30u);
  CloseEventLog(reader);

  ASSERT_TRUE(Report(u"Survivor", EVENTLOG_INFORMATION_TYPE, 100, {u"after"}));
  auto entries = ReadAll(u"Application");
  ASSERT_GE(entries.size(), 31u);
  for (size_t i = 0; i < entries.size(); ++i) ASSERT_EQ(entries[i].header.RecordNumber, i + 1);
  EXPECT_EQ(entries.back().source, u"Survivor");
  EXPECT_EQ(entries[0].strings.at(0).size(), 2000u);
}

TEST_F(EventLogTest, DamagedStoreIsReportedAndLeftAsItIs) {
  auto path = tw::eventlog::StorePath();
  std::filesystem::create_directories(path.parent_path());
  const std::string garbage(8192, 'G');
  { std::ofstream(path, std::ios::binary) << garbage; }
  EXPECT_EQ(RegisterEventSourceW(nullptr, u"Src"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT));
  EXPECT_NE(tw::eventlog::LastProblem().find("damaged"), std::string::npos) << tw::eventlog::LastProblem();
  EXPECT_EQ(OpenEventLogW(nullptr, u"Application"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CORRUPT));
  std::ifstream in(path, std::ios::binary);
  std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, garbage);
}

}  // namespace
