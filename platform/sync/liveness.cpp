// Process and thread identity and liveness from /proc. A process or thread is
// identified by its id and its start time, so a reused id is never taken for
// the one that ended.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "arena.h"
#include "tw/kernelsync.h"
#include "tw/lasterror.h"
#include "winerror.h"

namespace tw::sync {
namespace {

struct StatInfo {
  bool exists = false;
  char state = 0;
  std::uint64_t startTime = 0;
};

// Field 3 (state) and field 22 (starttime) of a /proc stat file.
StatInfo ReadStat(const char* path) {
  StatInfo info;
  FILE* file = std::fopen(path, "re");
  if (!file) return info;
  char buffer[1024];
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  buffer[n] = 0;
  // The command name may hold spaces and parentheses: fields start after the last ')'.
  const char* p = std::strrchr(buffer, ')');
  if (!p) return info;
  p++;
  int field = 2;
  while (*p && field < 22) {
    while (*p == ' ') p++;
    field++;
    if (field == 3) info.state = *p;
    if (field == 22) {
      info.startTime = std::strtoull(p, nullptr, 10);
      break;
    }
    while (*p && *p != ' ') p++;
  }
  info.exists = field == 22;
  return info;
}

bool Running(const StatInfo& info, std::uint64_t startTime) {
  return info.exists && info.state != 'Z' && info.state != 'X' && (startTime == 0 || info.startTime == startTime);
}

// Bumped in a forked child, so per-thread caches of ids notice the fork.
std::atomic<std::uint32_t> g_forkGeneration{1};
void AfterForkInChild() { g_forkGeneration.fetch_add(1); }
const bool g_atforkRegistered = [] {
  pthread_atfork(nullptr, nullptr, &AfterForkInChild);
  return true;
}();

}  // namespace

std::uint64_t ProcessStartTime(DWORD pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
  StatInfo info = ReadStat(path);
  return Running(info, 0) ? info.startTime : 0;
}

bool ProcessAlive(DWORD pid, std::uint64_t startTime) {
  if (pid == 0) return false;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
  return Running(ReadStat(path), startTime);
}

bool ThreadAlive(std::int32_t pid, std::int32_t tid, std::uint64_t startTime) {
  if (pid <= 0 || tid <= 0) return false;
  char path[96];
  std::snprintf(path, sizeof path, "/proc/%d/task/%d/stat", pid, tid);
  return Running(ReadStat(path), startTime);
}

const SelfIdentity& Self() {
  thread_local SelfIdentity identity{};
  thread_local std::uint32_t seenFork = 0;
  std::uint32_t fork = g_forkGeneration.load(std::memory_order_relaxed);
  if (seenFork != fork) {
    identity.pid = static_cast<std::int32_t>(getpid());
    identity.tid = static_cast<std::int32_t>(syscall(SYS_gettid));
    identity.processStart = ProcessStartTime(static_cast<DWORD>(identity.pid));
    char path[96];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", identity.tid);
    identity.threadStart = ReadStat(path).startTime;
    seenFork = fork;
  }
  return identity;
}

bool ProcessObject::IsSignaled() { return !ProcessAlive(pid_, startTime_); }

std::shared_ptr<ProcessObject> MakeProcessObject(DWORD pid) {
  std::uint64_t start = ProcessStartTime(pid);
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return std::make_shared<ProcessObject>(pid, start);
}

}  // namespace tw::sync
