// Shared test helpers: a private machine root per test and a leak guard
// over the layer's live-object counters.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tw/debug.h"
#include "tw/root.h"

namespace twtest {

// A fresh temporary root for the lifetime of the object; the process is
// switched to it and the folder is removed afterwards.
class TempRoot {
 public:
  TempRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "twtest-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) throw std::runtime_error("mkdtemp failed");
    dir_ = made;
    tw::root::SetDir(dir_);
    // The output folder that `twspool init` makes and every driver record names.
    std::filesystem::create_directories(dir_ / "drive_c/Users/Public/Documents/Tarnwick");
  }
  ~TempRoot() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// Fails the test when a counted handle or block is still alive at the end of
// the scope that was not alive at its start.
class LeakGuard {
 public:
  LeakGuard() : before_(tw::debug::Snapshot()) {}
  ~LeakGuard() { Check(); }
  void Check() const {
    auto diff = tw::debug::Diff(before_, tw::debug::Snapshot());
    EXPECT_EQ(diff, "") << "live handles or blocks changed";
  }
  std::string Diff() const { return tw::debug::Diff(before_, tw::debug::Snapshot()); }

 private:
  tw::debug::Counts before_;
};

// The shared corpus folder beside the checkout, or empty
// when this clone does not have it (tests that need it then say so and skip).
inline std::filesystem::path SharedDir() {
  const char* env = std::getenv("TW_SHARED_DIR");
  std::filesystem::path dir = env ? env : "";
  if (dir.empty() || !std::filesystem::exists(dir / "corpus")) return {};
  return dir;
}

#ifdef TW_SOURCE_ROOT
// A folder of the checkout, e.g. SourcePath("tests/platform/emf").
inline std::filesystem::path SourcePath(const std::filesystem::path& relative) {
  return std::filesystem::path(TW_SOURCE_ROOT) / relative;
}
#endif

// The build's bin/ folder (executables and modules): TW_BIN_DIR, else the
// folder of the running test executable, which the build puts there.
inline std::filesystem::path BinDir() {
  if (const char* env = std::getenv("TW_BIN_DIR"); env && *env) return env;
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path{} : exe.parent_path();
}

}  // namespace twtest
