// A forked child process for cross-process tests, with a byte channel both
// ways. The child runs a function and leaves with _exit (no test teardown
// runs in it). Fork only while the test process has no other threads.
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>

class Child {
 public:
  // In the child: Tell() sends a byte to the parent, Await() waits for one.
  struct Channel {
    int in;
    int out;
    void Tell() const {
      char c = 1;
      (void)!write(out, &c, 1);
    }
    bool Await(int timeoutMs = 20000) const { return ReadByte(in, timeoutMs); }
  };

  // env: "NAME=value" set in the child before body runs, or null.
  explicit Child(const std::function<int(const Channel&)>& body, const char* env = nullptr) {
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]);
      close(down[1]);
      if (env) putenv(const_cast<char*>(env));
      int rc = body(Channel{down[0], up[1]});
      _exit(rc);
    }
    close(up[1]);
    close(down[0]);
    fromChild_ = up[0];
    toChild_ = down[1];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(fromChild_);
    close(toChild_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // Waits for the child's Tell().
  bool Heard(int timeoutMs = 20000) const { return ReadByte(fromChild_, timeoutMs); }
  void Tell() const {
    char c = 1;
    (void)!write(toChild_, &c, 1);
  }
  // Kills the child and reaps it.
  void Kill() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // The child's exit code (-1 if it did not exit normally).
  int Join() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  static bool ReadByte(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    char c;
    return read(fd, &c, 1) == 1;
  }
  pid_t pid_ = -1;
  int fromChild_ = -1;
  int toChild_ = -1;
};

// Milliseconds since start.
inline long long ElapsedMs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
