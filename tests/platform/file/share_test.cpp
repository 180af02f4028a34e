// Share modes between handles of one process and between processes.
#include <sys/wait.h>
#include <unistd.h>

#include "file_test_util.h"
#include "tw_test.h"

namespace {

using filetest::Handle;
using filetest::Open;
using filetest::Put;
using filetest::Slurp;

constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Case {
  DWORD firstAccess, firstShare, secondAccess, secondShare;
  bool allowed;
};

TEST(ShareModes, SecondOpenFollowsTheWindowsMatrix) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  Put(root.Dir(), "f.txt", "x");
  const Case cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kAll, false},  // first refuses writers
      {GENERIC_READ, kAll, GENERIC_WRITE, FILE_SHARE_WRITE, false},  // second refuses the reader
      {GENERIC_READ, kAll, GENERIC_WRITE, FILE_SHARE_READ, true},
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},  // second refuses the writer
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ | GENERIC_WRITE, 0, GENERIC_READ, kAll, false},
      {GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, true},  // no data access: no check
      {DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
      {DELETE, kAll, GENERIC_READ, kAll, true},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(i++);
    Handle first(CreateFileW(u"C:\\f.txt", c.firstAccess, c.firstShare, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(first.valid());
    auto second = Open(u"C:\\f.txt", c.secondAccess, c.secondShare, OPEN_EXISTING);
    if (c.allowed) {
      EXPECT_NE(second.handle, INVALID_HANDLE_VALUE);
      if (second.handle != INVALID_HANDLE_VALUE) CloseHandle(second.handle);
    } else {
      EXPECT_EQ(second.handle, INVALID_HANDLE_VALUE);
      EXPECT_EQ(second.error, DWORD(ERROR_SHARING_VIOLATION));
    }
  }
  // Once the holder closes, the file opens again.
  auto again = Open(u"C:\\f.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(again.handle, INVALID_HANDLE_VALUE);
  CloseHandle(again.handle);
}

TEST(ShareModes, RefusedOverwriteLeavesTheFileAlone) {
  twtest::TempRoot root;
  Put(root.Dir(), "report.xml", "precious");
  Handle reader(
      CreateFileW(u"C:\\report.xml", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reader.valid());
  auto r = Open(u"C:\\report.xml", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  EXPECT_EQ(r.error, DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/report.xml"), "precious") << "no truncation on a refused open";
}

TEST(ShareModes, DeleteAndRenameNeedShareDelete) {
  twtest::TempRoot root;
  Put(root.Dir(), "out.tif", "x");
  {
    Handle h(CreateFileW(u"C:\\out.tif", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr));
    ASSERT_TRUE(h.valid());
    EXPECT_FALSE(DeleteFileW(u"C:\\out.tif"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileExW(u"C:\\out.tif", u"C:\\moved.tif", 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  }
  {
    Handle h(CreateFileW(u"C:\\out.tif", GENERIC_READ, kAll, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(DeleteFileW(u"C:\\out.tif")) << "shared for deletion";
  }
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/out.tif"));
}

TEST(ShareModes, ReplacingAFileInUseIsDenied) {
  twtest::TempRoot root;
  Put(root.Dir(), "a.txt", "a");
  Put(root.Dir(), "b.txt", "b");
  Handle h(CreateFileW(u"C:\\b.txt", GENERIC_READ, kAll, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(h.valid());
  EXPECT_FALSE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CopyFileW(u"C:\\a.txt", u"C:\\b.txt", FALSE)) << "the target is opened exclusively";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(CopyFileW(u"C:\\a.txt", u"C:\\A.TXT", FALSE)) << "a file onto itself";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  h.Reset();
  EXPECT_TRUE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/b.txt"), "a");
}

// Runs `child` in a forked process that reports back one byte through a pipe
// and then waits for the parent's byte before it exits.
class ChildProcess {
 public:
  template <class Fn>
  explicit ChildProcess(Fn child) {
    if (pipe(up_) != 0 || pipe(down_) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      char result = child() ? 'y' : 'n';
      (void)!write(up_[1], &result, 1);
      char go;
      (void)!read(down_[0], &go, 1);
      _exit(0);
    }
  }
  ~ChildProcess() {
    Release();
    int status = 0;
    waitpid(pid_, &status, 0);
    for (int fd : {up_[0], up_[1], down_[0], down_[1]}) close(fd);
  }
  // The child's report ('y' or 'n').
  char Report() {
    char c = 0;
    (void)!read(up_[0], &c, 1);
    return c;
  }
  void Release() {
    if (released_) return;
    released_ = true;
    char go = 'g';
    (void)!write(down_[1], &go, 1);
  }
  void Kill() {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    released_ = true;
  }

 private:
  int up_[2]{}, down_[2]{};
  pid_t pid_ = -1;
  bool released_ = false;
};

TEST(ShareModes, OtherProcessesSeeTheSameRules) {
  twtest::TempRoot root;
  Put(root.Dir(), "group.grp", "[P]\r\n");
  HANDLE held = INVALID_HANDLE_VALUE;
  ChildProcess child([&] {
    held = CreateFileW(u"C:\\group.grp", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return held != INVALID_HANDLE_VALUE;
  });
  ASSERT_EQ(child.Report(), 'y');
  auto r = Open(u"C:\\group.grp", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_SHARING_VIOLATION)) << "another process holds it for writing";
  r = Open(u"C:\\group.grp", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_SHARING_VIOLATION)) << "refusing writers while one is there";
  r = Open(u"C:\\group.grp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  CloseHandle(r.handle);
  EXPECT_FALSE(DeleteFileW(u"C:\\group.grp"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  child.Kill();
  EXPECT_TRUE(DeleteFileW(u"C:\\group.grp")) << "a dead process holds nothing";
}

TEST(ShareModes, TheChildIsRefusedWhileTheParentHolds) {
  twtest::TempRoot root;
  Put(root.Dir(), "x.txt", "x");
  Handle mine(CreateFileW(u"C:\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(mine.valid());
  ChildProcess child([] {
    HANDLE h = CreateFileW(u"C:\\x.txt", GENERIC_READ, kAll, nullptr, OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
  });
  EXPECT_EQ(child.Report(), 'y');
}

}  // namespace
