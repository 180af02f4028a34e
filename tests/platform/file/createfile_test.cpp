#include <sys/stat.h>

#include "file_test_util.h"
#include "tw_test.h"

namespace {

using filetest::Handle;
using filetest::Open;
using filetest::Put;
using filetest::Slurp;

TEST(CreateFile, DispositionsCreateOpenAndReportExistingFiles) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  auto host = root.Dir() / "drive_c/Out/a.txt";
  std::filesystem::create_directories(host.parent_path());

  auto r = Open(u"C:\\Out\\a.txt", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.error, 0u);
  CloseHandle(r.handle);

  r = Open(u"c:\\out\\A.TXT", GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_EQ(r.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.error, DWORD(ERROR_FILE_EXISTS)) << "CREATE_NEW on an existing file, any letter case";

  r = Open(u"C:\\Out\\a.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.error, DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(r.handle);

  r = Open(u"C:\\Out\\b.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.error, 0u) << "OPEN_ALWAYS creating the file";
  CloseHandle(r.handle);
  EXPECT_TRUE(std::filesystem::exists(root.Dir() / "drive_c/Out/b.txt"));

  std::ofstream(host, std::ios::binary) << "old content";
  r = Open(u"C:\\Out\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.error, DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(r.handle);
  EXPECT_EQ(std::filesystem::file_size(host), 0u) << "CREATE_ALWAYS truncates";

  std::ofstream(host, std::ios::binary) << "again";
  r = Open(u"C:\\Out\\a.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  CloseHandle(r.handle);
  EXPECT_EQ(std::filesystem::file_size(host), 0u);

  r = Open(u"C:\\Out\\a.txt", GENERIC_READ, 0, TRUNCATE_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_INVALID_PARAMETER)) << "TRUNCATE_EXISTING needs write access";
  r = Open(u"C:\\Out\\missing.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_FILE_NOT_FOUND));
  r = Open(u"C:\\Out\\a.txt", GENERIC_READ, 0, 0);
  EXPECT_EQ(r.error, DWORD(ERROR_INVALID_PARAMETER)) << "unknown disposition";
}

TEST(CreateFile, MissingFileAndMissingFolderAreTwoErrors) {
  twtest::TempRoot root;
  auto r = Open(u"C:\\Windows\\nothing.ini", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(r.handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.error, DWORD(ERROR_FILE_NOT_FOUND));
  r = Open(u"C:\\NoFolder\\nothing.ini", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_PATH_NOT_FOUND));
  r = Open(u"C:\\NoFolder\\new.ini", GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(r.error, DWORD(ERROR_PATH_NOT_FOUND)) << "creating in a missing folder";
  r = Open(u"", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_PATH_NOT_FOUND));
  r = Open(u"C:\\Out\\a*.txt", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_INVALID_NAME));
  r = Open(u"\\\\server\\share\\x.txt", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_BAD_NETPATH));
  r = Open(u"\\\\.\\pipe\\nobody", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_FILE_NOT_FOUND)) << "a pipe nobody created";
}

TEST(CreateFile, LongPathsFailUnlessPrefixed) {
  twtest::TempRoot root;
  std::u16string dir = u"C:\\" + std::u16string(200, u'd');
  std::filesystem::create_directories(root.Dir() / "drive_c" / std::string(200, 'd'));
  std::u16string ok = dir + u"\\" + std::u16string(259 - dir.size() - 1, u'f');
  ASSERT_EQ(ok.size(), 259u);
  auto r = Open(ok.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE) << "259 units is the longest plain path";
  CloseHandle(r.handle);
  std::u16string tooLong = ok + u"x";
  r = Open(tooLong.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_EQ(r.error, DWORD(ERROR_PATH_NOT_FOUND));
  std::u16string prefixed = u"\\\\?\\" + tooLong;
  r = Open(prefixed.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE) << "\\\\?\\ lifts the limit";
  CloseHandle(r.handle);
}

TEST(CreateFile, FoldersOpenOnlyWithBackupSemantics) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  std::filesystem::create_directories(root.Dir() / "drive_c/Dir");
  auto r = Open(u"C:\\Dir", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED));
  r = Open(u"C:\\Dir", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  char byte;
  DWORD n = 1;
  EXPECT_FALSE(ReadFile(r.handle, &byte, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
  EXPECT_EQ(GetFileType(r.handle), DWORD(FILE_TYPE_DISK));
  CloseHandle(r.handle);
  r = Open(u"C:\\Dir", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_BACKUP_SEMANTICS);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED));
  r = Open(u"C:\\Dir", GENERIC_WRITE, 0, CREATE_NEW);
  EXPECT_EQ(r.error, DWORD(ERROR_FILE_EXISTS));
  Put(root.Dir(), "Dir/f.txt", "x");
  r = Open(u"C:\\Dir\\f.txt\\", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_INVALID_NAME)) << "a file named with a trailing backslash";
}

TEST(CreateFile, ReadOnlyAndHiddenFilesAreGuarded) {
  twtest::TempRoot root;
  Put(root.Dir(), "ro.txt", "keep");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  auto r = Open(u"C:\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED));
  r = Open(u"C:\\ro.txt", GENERIC_READ, 0, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED)) << "delete-on-close needs delete access";
  r = Open(u"C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE) << "reading a read-only file is fine";
  CloseHandle(r.handle);
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/ro.txt"), "keep");

  Put(root.Dir(), "hidden.txt", "secret");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\hidden.txt", FILE_ATTRIBUTE_HIDDEN));
  r = Open(u"C:\\hidden.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(r.error, DWORD(ERROR_ACCESS_DENIED)) << "CREATE_ALWAYS over a hidden file without HIDDEN";
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/hidden.txt"), "secret");
  r = Open(u"C:\\hidden.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
  ASSERT_NE(r.handle, INVALID_HANDLE_VALUE);
  CloseHandle(r.handle);
  EXPECT_EQ(GetFileAttributesW(u"C:\\hidden.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
}

TEST(FileHandles, ReadWriteSeekAndSize) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  Handle h(CreateFileW(u"C:\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(h.valid());
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h.get(), "0123456789", 10, &n, nullptr));
  EXPECT_EQ(n, 10u);
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h.get(), &size));
  EXPECT_EQ(size.QuadPart, 10);
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h.get(), &high), 10u);
  EXPECT_EQ(high, 0u);

  EXPECT_EQ(SetFilePointer(h.get(), 2, nullptr, FILE_BEGIN), 2u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h.get(), buf, 3, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "234");
  LARGE_INTEGER move{}, pos{};
  move.QuadPart = -2;
  ASSERT_TRUE(SetFilePointerEx(h.get(), move, &pos, FILE_END));
  EXPECT_EQ(pos.QuadPart, 8);
  ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "89");
  ASSERT_TRUE(ReadFile(h.get(), buf, sizeof buf, &n, nullptr)) << "end of file is success with 0 bytes";
  EXPECT_EQ(n, 0u);

  move.QuadPart = -20;
  EXPECT_FALSE(SetFilePointerEx(h.get(), move, &pos, FILE_CURRENT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h.get(), 0, nullptr, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  // Past the end, then SetEndOfFile: the file grows with zeros.
  EXPECT_EQ(SetFilePointer(h.get(), 16, nullptr, FILE_BEGIN), 16u);
  ASSERT_TRUE(SetEndOfFile(h.get()));
  EXPECT_EQ(GetFileSize(h.get(), nullptr), 16u);
  EXPECT_EQ(SetFilePointer(h.get(), 4, nullptr, FILE_BEGIN), 4u);
  ASSERT_TRUE(SetEndOfFile(h.get()));
  EXPECT_EQ(GetFileSize(h.get(), nullptr), 4u);

  // Overlapped offsets on a synchronous handle.
  OVERLAPPED at{};
  at.Offset = 1;
  ASSERT_TRUE(ReadFile(h.get(), buf, 2, &n, &at));
  EXPECT_EQ(std::string(buf, n), "12");
  at.Offset = 100;
  EXPECT_FALSE(ReadFile(h.get(), buf, 2, &n, &at));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_HANDLE_EOF));
  EXPECT_TRUE(FlushFileBuffers(h.get()));
}

TEST(FileHandles, AccessIsChecked) {
  twtest::TempRoot root;
  Put(root.Dir(), "f.txt", "abc");
  Handle reader(CreateFileW(u"C:\\f.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr));
  Handle writer(CreateFileW(u"C:\\f.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr));
  ASSERT_TRUE(reader.valid() && writer.valid());
  DWORD n = 0;
  EXPECT_FALSE(WriteFile(reader.get(), "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  char c;
  EXPECT_FALSE(ReadFile(writer.get(), &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(SetEndOfFile(reader.get()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(FlushFileBuffers(reader.get()));
  EXPECT_FALSE(ReadFile(nullptr, &c, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetFileType(reinterpret_cast<HANDLE>(0x7777)), DWORD(FILE_TYPE_UNKNOWN));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(FileHandles, AppendDataWritesAtTheEnd) {
  twtest::TempRoot root;
  Put(root.Dir(), "log.txt", "one\n");
  Handle h(CreateFileW(u"C:\\log.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(h.valid());
  SetFilePointer(h.get(), 0, nullptr, FILE_BEGIN);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h.get(), "two\n", 4, &n, nullptr));
  h.Reset();
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/log.txt"), "one\ntwo\n");
}

TEST(FileHandles, DeleteOnCloseRemovesTheFileWithTheLastHandle) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  std::filesystem::create_directories(root.Dir() / "drive_c/Out");
  HANDLE h = CreateFileW(u"C:\\Out\\~TW1.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_WRITE_THROUGH, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Out\\~TW1.tmp"), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  auto r = Open(u"C:\\Out\\~TW1.tmp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_EQ(r.error, DWORD(ERROR_SHARING_VIOLATION)) << "the file is open without sharing";
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  CloseHandle(h);
  EXPECT_TRUE(std::filesystem::exists(root.Dir() / "drive_c/Out/~TW1.tmp")) << "a duplicate still holds it";
  CloseHandle(copy);
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/Out/~TW1.tmp"));
}

TEST(FileHandles, FileTimesRoundTrip) {
  twtest::TempRoot root;
  Handle h(CreateFileW(u"C:\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(h.valid());
  FILETIME written{};
  // 2020-01-02 03:04:05 UTC = 132224078450000000 ticks since 1601.
  ULONGLONG ticks = 132224078450000000ULL;
  written.dwLowDateTime = DWORD(ticks);
  written.dwHighDateTime = DWORD(ticks >> 32);
  ASSERT_TRUE(SetFileTime(h.get(), nullptr, nullptr, &written));
  FILETIME read{};
  ASSERT_TRUE(GetFileTime(h.get(), nullptr, nullptr, &read));
  EXPECT_EQ(read.dwLowDateTime, written.dwLowDateTime);
  EXPECT_EQ(read.dwHighDateTime, written.dwHighDateTime);
  struct stat st {};
  ASSERT_EQ(::stat((root.Dir() / "drive_c/t.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1577934245);
}

}  // namespace
