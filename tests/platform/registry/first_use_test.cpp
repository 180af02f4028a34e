// Several processes using a registry that does not exist yet, all at the
// same moment: each of them must find (or create) the same complete store
// and every value each of them writes must arrive.
//
// The default run is short. TW_REG_STRESS_ROUNDS=N runs N rounds,
// TW_REG_STRESS_WRITERS=N starts N writers a round (more writers make the
// first-use race likelier), TW_REG_STRESS_LOAD=N keeps N busy-looping
// processes beside them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "reg_test_util.h"
#include "tw/registry.h"
#include "tw/utf.h"

using namespace regtest;

namespace {

constexpr int kKeysPerWriter = 6;
constexpr int kValuesPerKey = 4;

int envInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

std::u16string keyPath(int writer, int key) {
  return tw::FromUtf8("SOFTWARE\\Race\\W" + std::to_string(writer) + "\\K" + std::to_string(key));
}

DWORD expected(int writer, int key, int value) { return static_cast<DWORD>(writer * 10000 + key * 100 + value); }

// The writer's work in a child process; returns the number of failed calls
// (each one reported on stderr with the store's explanation).
int writeAll(int writer) {
  int failures = 0;
  auto report = [&](const char* what, LONG rc) {
    std::fprintf(stderr, "writer %d: %s failed with %d (%s)\n", writer, what, static_cast<int>(rc),
                 tw::registry::StoreProblem().c_str());
    ++failures;
  };
  // Half the writers start with a batch (as an import does), the others with
  // a read and then single calls (as a program reading its settings does).
  bool batched = writer % 2 == 0;
  if (!batched) {
    HKEY probe = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &probe);
    if (rc) report("first read", rc);
    else RegCloseKey(probe);
  }
  std::optional<tw::registry::Batch> batch;
  if (batched) batch.emplace();
  if (batch && batch->Status()) report("batch", batch->Status());
  for (int k = 0; k < kKeysPerWriter; ++k) {
    HKEY key = nullptr;
    std::u16string path = keyPath(writer, k);
    if (LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr)) {
      report("create", rc);
      continue;
    }
    for (int v = 0; v < kValuesPerKey; ++v) {
      DWORD data = expected(writer, k, v);
      std::u16string name = tw::FromUtf8("v" + std::to_string(v));
      if (LONG rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4))
        report("set", rc);
    }
    RegCloseKey(key);
  }
  if (batch && !batch->Status())
    if (LONG rc = batch->Commit()) report("commit", rc);
  return failures;
}

// Processes that keep the CPUs busy while they live.
class Load {
 public:
  explicit Load(int count) {
    for (int i = 0; i < count; ++i) {
      pid_t pid = fork();
      if (pid == 0) {
        volatile unsigned n = 0;
        for (;;) n = n + 1u;
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~Load() {
    for (pid_t pid : pids_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  Load(const Load&) = delete;
  Load& operator=(const Load&) = delete;

 private:
  std::vector<pid_t> pids_;
};

// One round against a fresh root: the writers wait on a pipe and all start
// when it is closed. Returns a description of what went wrong, or "".
std::string runRound(const std::filesystem::path& dir, int writers) {
  tw::root::SetDir(dir);
  int gate[2];
  if (pipe(gate) != 0) return "pipe failed";
  std::vector<pid_t> pids;
  for (int w = 0; w < writers; ++w) {
    pid_t pid = fork();
    if (pid < 0) break;
    if (pid == 0) {
      close(gate[1]);
      char c;
      (void)!read(gate[0], &c, 1);  // returns 0 when the parent closes the pipe
      close(gate[0]);
      _exit(writeAll(w) ? 1 : 0);
    }
    pids.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);
  std::string problems;
  for (size_t w = 0; w < pids.size(); ++w) {
    int status = 0;
    waitpid(pids[w], &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) problems += "writer " + std::to_string(w) + " failed; ";
  }
  if (pids.size() != static_cast<size_t>(writers)) problems += "fork failed; ";
  // Every value of every writer is there, read through a fresh connection.
  tw::root::SetDir(dir);
  for (int w = 0; w < writers; ++w)
    for (int k = 0; k < kKeysPerWriter; ++k) {
      Key key;
      if (LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath(w, k).c_str(), 0, KEY_READ, key.Out())) {
        problems += "W" + std::to_string(w) + "\\K" + std::to_string(k) + " missing (" + std::to_string(rc) + "); ";
        continue;
      }
      for (int v = 0; v < kValuesPerKey; ++v) {
        DWORD data = 0, size = 4;
        std::u16string name = tw::FromUtf8("v" + std::to_string(v));
        LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
        if (rc || data != expected(w, k, v))
          problems += "W" + std::to_string(w) + "\\K" + std::to_string(k) + "\\v" + std::to_string(v) + " wrong; ";
      }
    }
  return problems;
}

TEST(RegistryFirstUse, ProcessesCreatingTheStoreAtOnceAllArrive) {
  twtest::TempRoot root;
  int rounds = envInt("TW_REG_STRESS_ROUNDS", 8);
  int writers = envInt("TW_REG_STRESS_WRITERS", 4);
  Load load(envInt("TW_REG_STRESS_LOAD", 0));
  int failed = 0;
  for (int r = 0; r < rounds; ++r) {
    auto dir = root.Dir() / ("round" + std::to_string(r));
    std::filesystem::create_directories(dir);
    std::string problems = runRound(dir, writers);
    if (!problems.empty()) {
      ++failed;
      ADD_FAILURE() << "round " << r << ": " << problems;
    }
  }
  tw::root::SetDir(root.Dir());
  std::printf("%d of %d rounds failed\n", failed, rounds);
}

}  // namespace
