// Deleting, copying, moving, folders and the write deny list.
#include "file_test_util.h"
#include "tw/root.h"
#include "tw_test.h"

namespace {

using filetest::Handle;
using filetest::Open;
using filetest::Put;
using filetest::Slurp;

TEST(DeleteFile, ErrorsAsOnWindows) {
  twtest::TempRoot root;
  Put(root.Dir(), "Out/a.txt", "a");
  EXPECT_TRUE(DeleteFileW(u"c:\\OUT\\A.txt"));
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/Out/a.txt"));
  EXPECT_FALSE(DeleteFileW(u"C:\\Out\\a.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(DeleteFileW(u"C:\\Nowhere\\a.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(DeleteFileW(u"C:\\Out"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "a folder";
  Put(root.Dir(), "Out/ro.txt", "r");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\Out\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteFileW(u"C:\\Out\\ro.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "read-only";
  ASSERT_TRUE(SetFileAttributesW(u"C:\\Out\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileW(u"C:\\Out\\ro.txt"));
}

TEST(CopyFile, CopiesContentAttributesAndTime) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  auto src = Put(root.Dir(), "cover.pdf", std::string(200000, 'p'));
  std::filesystem::last_write_time(src, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\cover.pdf", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  Put(root.Dir(), "Out/doc.pdf", "old");
  EXPECT_FALSE(CopyFileW(u"C:\\cover.pdf", u"C:\\Out\\doc.pdf", TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  ASSERT_TRUE(CopyFileW(u"C:\\cover.pdf", u"C:\\Out\\doc.pdf", FALSE));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/Out/doc.pdf"), std::string(200000, 'p'));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Out\\doc.pdf"),
            DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(std::filesystem::last_write_time(root.Dir() / "drive_c/Out/doc.pdf"),
            std::filesystem::last_write_time(src));
  EXPECT_FALSE(CopyFileW(u"C:\\cover.pdf", u"C:\\Out\\doc.pdf", FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "the copy is read-only now";
  EXPECT_FALSE(CopyFileW(u"C:\\missing.pdf", u"C:\\Out\\x.pdf", FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileW(u"C:\\Out", u"C:\\Out2", FALSE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "folders are not copied";
}

TEST(MoveFile, RenamesReplacesAndKeepsRules) {
  twtest::TempRoot root;
  Put(root.Dir(), "a.txt", "a");
  Put(root.Dir(), "b.txt", "b");
  EXPECT_FALSE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(MoveFileW(u"C:\\a.txt", u"C:\\B.TXT"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << "names compare without case";
  ASSERT_TRUE(MoveFileExW(u"C:\\a.txt", u"C:\\b.txt", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/b.txt"), "a");
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/a.txt"));

  ASSERT_TRUE(MoveFileW(u"C:\\b.txt", u"C:\\B.txt")) << "a change of letter case";
  EXPECT_TRUE(std::filesystem::exists(root.Dir() / "drive_c/B.txt"));
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/b.txt"));

  EXPECT_FALSE(MoveFileW(u"C:\\none.txt", u"C:\\x.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(MoveFileW(u"C:\\B.txt", u"C:\\NoDir\\x.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  std::filesystem::create_directories(root.Dir() / "drive_c/Dir");
  EXPECT_FALSE(MoveFileExW(u"C:\\B.txt", u"C:\\Dir", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED)) << "a folder is never replaced";
  ASSERT_TRUE(MoveFileW(u"C:\\Dir", u"C:\\Renamed")) << "folders move too";
  EXPECT_TRUE(std::filesystem::is_directory(root.Dir() / "drive_c/Renamed"));
}

TEST(MoveFile, AcrossFileSystemsOnlyWhenCopyingIsAllowed) {
  twtest::TempRoot root;
  // /dev/shm is another file system than the test root on most machines.
  std::filesystem::path other = "/dev/shm/twtest-move-" + std::to_string(getpid());
  std::error_code ec;
  std::filesystem::create_directories(other, ec);
  struct stat a {}, b {};
  if (ec || ::stat(other.c_str(), &a) != 0 || ::stat(root.Dir().c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system to move to";
  Put(root.Dir(), "m.txt", "moving");
  std::u16string target = u"Z:" + std::u16string(other.u16string()) + u"\\m.txt";
  for (auto& c : target)
    if (c == u'/') c = u'\\';
  EXPECT_FALSE(MoveFileExW(u"C:\\m.txt", target.c_str(), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SAME_DEVICE));
  EXPECT_TRUE(MoveFileExW(u"C:\\m.txt", target.c_str(), MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(Slurp(other / "m.txt"), "moving");
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/m.txt"));
  std::filesystem::remove_all(other, ec);
}

TEST(Directories, CreateAndRemove) {
  twtest::TempRoot root;
  EXPECT_TRUE(CreateDirectoryW(u"C:\\Jobs", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"c:\\JOBS", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\No\\Such", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  Put(root.Dir(), "Jobs/f.txt", "f");
  EXPECT_FALSE(CreateDirectoryW(u"C:\\Jobs\\f.txt", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << "a file of that name";
  std::u16string deep = u"C:\\" + std::u16string(248, u'x');
  EXPECT_FALSE(CreateDirectoryW(deep.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));

  EXPECT_FALSE(RemoveDirectoryW(u"C:\\Jobs"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\Jobs\\f.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\Gone"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(DeleteFileW(u"C:\\Jobs\\f.txt"));
  {
    Handle dir(CreateFileW(u"C:\\Jobs", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(dir.valid());
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\Jobs"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << "open without FILE_SHARE_DELETE";
  }
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Jobs"));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\Jobs"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << "the current directory";
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Windows\\System32"));
  EXPECT_TRUE(RemoveDirectoryW(u"C:\\Jobs"));
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/Jobs"));
}

TEST(DenyList, RefusesEveryWriteUnderADeniedFolder) {
  twtest::TempRoot root;
  auto machine = *tw::config::Get();
  machine.denyWrite = {u"c:\\output\\locked", u"C:\\single.txt"};
  ASSERT_TRUE(tw::config::Save(machine));
  Put(root.Dir(), "Output/Locked/old.tif", "old");
  Put(root.Dir(), "Output/Locked/sub/x.tif", "x");
  Put(root.Dir(), "Output/LockedNot/y.tif", "y");
  Put(root.Dir(), "single.txt", "s");
  Put(root.Dir(), "src.txt", "src");

  auto r = Open(u"C:\\Output\\Locked\\new.tif", GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED));
  r = Open(u"C:\\OUTPUT\\locked\\sub\\x.tif", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED)) << "below the denied folder, any case";
  r = Open(u"C:\\Output\\Locked\\old.tif", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE) << "reading is allowed";
  CloseHandle(r.handle);
  r = Open(u"C:\\Output\\LockedNot\\y.tif", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE) << "whole components only";
  CloseHandle(r.handle);
  r = Open(u"C:\\single.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED)) << "a denied file";

  auto denied = [](BOOL ok) { return !ok && GetLastError() == ERROR_ACCESS_DENIED; };
  EXPECT_TRUE(denied(DeleteFileW(u"C:\\Output\\Locked\\old.tif")));
  EXPECT_TRUE(denied(CreateDirectoryW(u"C:\\Output\\Locked\\New", nullptr)));
  EXPECT_TRUE(denied(RemoveDirectoryW(u"C:\\Output\\Locked\\sub")));
  EXPECT_TRUE(denied(MoveFileExW(u"C:\\src.txt", u"C:\\Output\\Locked\\src.txt", 0)));
  EXPECT_TRUE(denied(MoveFileExW(u"C:\\Output\\Locked\\old.tif", u"C:\\old.tif", 0)));
  EXPECT_TRUE(denied(CopyFileW(u"C:\\src.txt", u"C:\\Output\\Locked\\copy.txt", FALSE)));
  EXPECT_TRUE(denied(SetFileAttributesW(u"C:\\single.txt", FILE_ATTRIBUTE_HIDDEN)));
  WCHAR name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameW(u"C:\\Output\\Locked", u"AAA", 0, name), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CopyFileW(u"C:\\Output\\Locked\\old.tif", u"C:\\copy.tif", FALSE)) << "copying out is reading";
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/Output/Locked/old.tif"), "old");
}

}  // namespace
