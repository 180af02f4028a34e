// Test main: every test process starts in a private temporary machine root,
// so a test that forgets to make its own never touches the user's root.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tw/root.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string pattern = (std::filesystem::temp_directory_path() / "twtest-main-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 2;
  setenv("TW_ROOT", pattern.c_str(), 1);  // child processes inherit it
  tw::root::SetDir(pattern);
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(pattern, ec);
  return rc;
}
