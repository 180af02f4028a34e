// The machine state root.
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "tw/root.h"

namespace tw::root {
namespace {

std::mutex g_mutex;
std::filesystem::path g_dir;  // empty until first use
std::atomic<std::uint64_t> g_generation{1};

std::filesystem::path defaultDir() {
  if (const char* env = std::getenv("TW_ROOT"); env && *env) return env;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::filesystem::path(xdg) / "tarnwick";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") / ".local/share/tarnwick";
}

// The folders every root has. C:\Temp is deliberately not among them: its
// presence switches diagnostic logs on.
void makeLayout(const std::filesystem::path& dir) {
  std::error_code ec;
  for (const char* sub : {"drive_c/Windows/System32/spool/drivers/x64/3", "drive_c/Windows/Temp",
                          "drive_c/Users/Public", "run", "log"})
    std::filesystem::create_directories(dir / sub, ec);
}

}  // namespace

std::filesystem::path Dir() {
  std::lock_guard lock(g_mutex);
  if (g_dir.empty()) {
    std::error_code ec;
    auto dir = std::filesystem::absolute(defaultDir(), ec);
    g_dir = (ec ? defaultDir() : dir).lexically_normal();
    makeLayout(g_dir);
  }
  return g_dir;
}

void SetDir(const std::filesystem::path& dir) {
  std::lock_guard lock(g_mutex);
  std::error_code ec;
  auto absolute = std::filesystem::absolute(dir, ec);
  g_dir = (ec ? dir : absolute).lexically_normal();
  makeLayout(g_dir);
  g_generation.fetch_add(1);
}

std::uint64_t Generation() { return g_generation.load(); }

std::filesystem::path Path(const std::string& relative) { return Dir() / relative; }

std::string Tag() {
  // FNV-1a over the root path: short, stable, and the same in every process.
  std::uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : Dir().string()) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  static const char* hex = "0123456789abcdef";
  std::string tag;
  for (int i = 0; i < 12; ++i) tag += hex[(h >> (i * 4)) & 15];
  return tag;
}

}  // namespace tw::root
