// OutputDebugStringW: a debug channel that is silent unless switched on.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "tw/debugout.h"
#include "tw/eventlog_internal.h"
#include "tw/nls.h"
#include "tw/utf.h"

namespace {

std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}
std::function<void(std::u16string_view)>& sink() {
  static std::function<void(std::u16string_view)> s;
  return s;
}

// The configured channel, read at each call so a test or a host can switch
// it on while running.
void writeChannel(std::u16string_view text) {
  const char* target = std::getenv("TW_DEBUG_OUTPUT");
  if (!target || !*target) return;
  const std::string utf8 = tw::ToUtf8(text);
  if (std::string_view(target) == "stderr") {
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    return;
  }
  if (FILE* f = std::fopen(target, "ab")) {
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    std::fclose(f);
  }
}

}  // namespace

namespace tw::debugout {
void SetSink(std::function<void(std::u16string_view)> s) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(s);
}
}  // namespace tw::debugout

void OutputDebugStringW(LPCWSTR lpOutputString) {
  if (!lpOutputString) return;
  std::u16string_view text = lpOutputString;
  {
    std::lock_guard lock(sinkMutex());
    if (sink()) {
      sink()(text);
      return;
    }
  }
  writeChannel(text);
}

void OutputDebugStringA(LPCSTR lpOutputString) {
  if (!lpOutputString) return;
  int n = MultiByteToWideChar(CP_ACP, 0, lpOutputString, -1, nullptr, 0);
  if (n <= 0) return;
  std::u16string wide(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, lpOutputString, -1, wide.data(), n);
  OutputDebugStringW(wide.c_str());
}
