// Path names, the Windows folders, the temporary folder and temporary names.
#include <cstdlib>
#include <regex>
#include <set>

#include "file_test_util.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

using filetest::Put;

TEST(PathNames, FullPathNameKeepsWindowsForm) {
  twtest::TempRoot root;
  WCHAR buf[MAX_PATH];
  LPWSTR part = nullptr;
  DWORD n = GetFullPathNameW(u"c:/Out/./x/../report.tif", MAX_PATH, buf, &part);
  EXPECT_EQ(std::u16string(buf), u"C:\\Out\\report.tif");
  EXPECT_EQ(n, 17u);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(std::u16string(part), u"report.tif");
  n = GetFullPathNameW(u"C:\\Out\\", MAX_PATH, buf, &part);
  EXPECT_EQ(std::u16string(buf), u"C:\\Out\\") << "a trailing separator stays";
  EXPECT_EQ(part, nullptr);
  GetFullPathNameW(u"page*.tif", MAX_PATH, buf, nullptr);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\System32\\page*.tif") << "wildcards pass";
  EXPECT_EQ(GetFullPathNameW(u"C:\\Out\\report.tif", 5, buf, nullptr), 18u) << "size needed with the null";
  EXPECT_EQ(GetFullPathNameW(u"", MAX_PATH, buf, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
}

TEST(PathNames, WindowsFoldersAndCurrentDirectory) {
  twtest::TempRoot root;
  WCHAR buf[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryW(buf, MAX_PATH), 10u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows");
  EXPECT_EQ(GetSystemDirectoryW(buf, MAX_PATH), 19u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\System32");
  EXPECT_EQ(GetSystemDirectoryW(buf, 19), 20u) << "too small: the size with the null";
  EXPECT_EQ(GetCurrentDirectoryW(0, nullptr), 20u);
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, buf), 19u);

  Put(root.Dir(), "Ocr/engine.dll", "");
  EXPECT_FALSE(SetCurrentDirectoryW(u"C:\\Ocr\\engine.dll"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  EXPECT_FALSE(SetCurrentDirectoryW(u"C:\\Nope"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryW(u"C:\\Nope\\Deeper"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Ocr"));
  EXPECT_NE(GetFileAttributesW(u"engine.dll"), INVALID_FILE_ATTRIBUTES) << "relative names use it";
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Windows\\System32"));

  EXPECT_EQ(GetLongPathNameW(u"C:\\OCR\\Engine.dll", buf, MAX_PATH), 17u);
  EXPECT_EQ(std::u16string(buf), u"C:\\OCR\\Engine.dll") << "the name comes back as given";
  EXPECT_EQ(GetShortPathNameW(u"C:\\Ocr\\missing.dll", buf, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

// Sets or clears an environment variable for the scope.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~EnvVar() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(TempPath, FromTheEnvironmentOrTheWindowsTemp) {
  WCHAR buf[MAX_PATH];
  {
    EnvVar tmp("TMP", nullptr), temp("TEMP", "C:\\Users\\alice\\AppData\\Local\\Temp");
    EXPECT_EQ(GetTempPathW(MAX_PATH, buf), 34u);
    EXPECT_EQ(std::u16string(buf), u"C:\\Users\\alice\\AppData\\Local\\Temp\\");
    EXPECT_EQ(GetTempPathW(10, buf), 35u);
  }
  {
    EnvVar tmp("TMP", "c:/spool/tmp/"), temp("TEMP", "C:\\Other");
    GetTempPathW(MAX_PATH, buf);
    EXPECT_EQ(std::u16string(buf), u"C:\\spool\\tmp\\") << "TMP first, as on Windows";
  }
  {
    EnvVar tmp("TMP", "/tmp"), temp("TEMP", nullptr);
    GetTempPathW(MAX_PATH, buf);
    EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\Temp\\") << "a Linux value is not a Windows path";
  }
}

TEST(TempFileName, NamesAndCreatesUniqueFiles) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  std::filesystem::create_directories(root.Dir() / "drive_c/Out");
  WCHAR name[MAX_PATH];
  std::regex form(R"(C:\\Out\\AAA[0-9A-F]{1,4}\.tmp)");
  std::set<std::string> seen;
  for (int i = 0; i < 30; ++i) {
    UINT unique = GetTempFileNameW(u"C:\\Out", u"AAAA-long prefix", 0, name);
    ASSERT_NE(unique, 0u);
    std::string text = tw::ToUtf8(name);
    EXPECT_TRUE(std::regex_match(text, form)) << text;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", unique);
    EXPECT_EQ(text, std::string("C:\\Out\\AAA") + hex + ".tmp");
    EXPECT_TRUE(seen.insert(text).second) << "unique";
    EXPECT_EQ(GetFileAttributesW(name), DWORD(FILE_ATTRIBUTE_ARCHIVE)) << "the empty file exists";
  }
  // A given number: no file, no check, only the low 16 bits.
  EXPECT_EQ(GetTempFileNameW(u"C:\\Out\\", u"~tw", 0x1ABCD, name), 0xABCDu);
  EXPECT_EQ(std::u16string(name), u"C:\\Out\\~twABCD.tmp");
  EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetTempFileNameW(u"C:\\NoSuchDir", u"x", 5, name), 5u);
  EXPECT_EQ(std::u16string(name), u"C:\\NoSuchDir\\x5.tmp");

  EXPECT_EQ(GetTempFileNameW(u"C:\\NoSuchDir", u"AAA", 0, name), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  std::u16string longDir = u"C:\\" + std::u16string(250, u'd');
  EXPECT_EQ(GetTempFileNameW(longDir.c_str(), u"AAA", 0, name), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUFFER_OVERFLOW));
}

TEST(TempFileName, SkipsNamesThatAreTaken) {
  twtest::TempRoot root;
  std::filesystem::create_directories(root.Dir() / "drive_c/Busy");
  WCHAR name[MAX_PATH];
  UINT first = GetTempFileNameW(u"C:\\Busy", u"~tw", 0, name);
  ASSERT_NE(first, 0u);
  // Occupy the following numbers; the next call must step over them.
  for (UINT n = first + 1; n < first + 40; ++n) {
    WCHAR taken[MAX_PATH];
    GetTempFileNameW(u"C:\\Busy", u"~tw", n, taken);
    HANDLE h = CreateFileW(taken, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  UINT next = GetTempFileNameW(u"C:\\Busy", u"~tw", 0, name);
  EXPECT_GE(next, first + 40);
}

}  // namespace
