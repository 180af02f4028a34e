#include <sys/stat.h>

#include "file_test_util.h"
#include "tw_test.h"

namespace {

using filetest::Put;

TEST(Attributes, StoredAndReportedAsOnWindows) {
  twtest::TempRoot root;
  auto host = Put(root.Dir(), "a.txt", "abc");
  std::filesystem::create_directories(root.Dir() / "drive_c/Dir");
  EXPECT_EQ(GetFileAttributesW(u"C:\\a.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE)) << "a file as Windows writes one";
  EXPECT_EQ(GetFileAttributesW(u"C:\\Dir"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\"), DWORD(FILE_ATTRIBUTE_DIRECTORY));

  ASSERT_TRUE(SetFileAttributesW(u"C:\\a.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(u"C:\\a.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\A.TXT", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY));
  EXPECT_EQ(GetFileAttributesW(u"C:\\a.txt"),
            DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY))
      << "DIRECTORY cannot be set";
  struct stat st {};
  ASSERT_EQ(::stat(host.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only is the write bits";
  ASSERT_TRUE(SetFileAttributesW(u"C:\\a.txt", FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesW(u"C:\\a.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_EQ(::stat(host.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);

  ASSERT_TRUE(SetFileAttributesW(u"C:\\Dir", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Dir"),
            DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  HANDLE h = CreateFileW(u"C:\\Dir\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "a read-only folder still takes new files";
  CloseHandle(h);

  ::chmod(host.c_str(), 0444);  // made read-only by a Linux tool
  EXPECT_EQ(GetFileAttributesW(u"C:\\a.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
}

TEST(Attributes, ExtendedQueryAndErrors) {
  twtest::TempRoot root;
  Put(root.Dir(), "five.bin", "12345");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\five.bin", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
  EXPECT_FALSE(GetFileAttributesExW(u"C:\\five.bin", GetFileExMaxInfoLevel, &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(GetFileAttributesW(u"C:\\none.bin"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\none\\x.bin"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\five.bin\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
  EXPECT_EQ(GetFileAttributesW(u"C:\\five?.bin"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
  EXPECT_TRUE(PathFileExistsW(u"c:\\FIVE.BIN"));
  EXPECT_FALSE(PathFileExistsW(u"C:\\none.bin"));
  EXPECT_FALSE(SetFileAttributesW(u"C:\\none.bin", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace
