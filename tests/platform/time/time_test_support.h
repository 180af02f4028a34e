// Test helpers for the time area: set an environment variable (TZ,
// TW_FAKE_TIME, ...) for one scope and make the layer read it.
#pragma once
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "tw/clock.h"

namespace twtest {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
    Apply();
  }
  ~ScopedEnv() {
    if (m_old)
      setenv(m_name.c_str(), m_old->c_str(), 1);
    else
      unsetenv(m_name.c_str());
    Apply();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  static void Apply() {
    tzset();
    tw::clock::Reload();
  }
  std::string m_name;
  std::optional<std::string> m_old;
};

// A frozen fake clock at `when` under time zone `tz`.
struct FakeClock {
  FakeClock(const char* when, const char* tz) : zone("TZ", tz), time("TW_FAKE_TIME", when), frozen("TW_FAKE_TIME_FROZEN", "1") {}
  ScopedEnv zone, time, frozen;
};

}  // namespace twtest
