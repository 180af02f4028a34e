// Writing profile files: byte layout against hand-written expected files,
// encodings, deletions, failures, and writers in several processes.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "profile_test_util.h"
#include "tw/file.h"
#include "tw/handles.h"
#include "tw/lasterror.h"
#include "tw/profile.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

using profiletest::DataDir;
using profiletest::Show;
using profiletest::Slurp;
using profiletest::Spill;

TEST(ProfileWrite, AnsiFileKeepsWhatItDoesNotChange) {
  twtest::TempRoot root;
  auto file = root.Dir() / "drive_c/Windows/TARNWICK.INI";
  std::filesystem::copy_file(DataDir() / "printer_ansi.ini", file);
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"debug", u"3", u"TARNWICK.INI"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"TwGroup.ini", u"Group File", u"C:\\Out\\doc.grp", u"TARNWICK.INI"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"New Section", u"Key", u"Wert ä 文", u"TARNWICK.INI"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Single", nullptr, u"TARNWICK.INI"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"spaced section", nullptr, nullptr, u"TARNWICK.INI"));
  std::string expected = Slurp(DataDir() / "printer_ansi.expected");
  std::string actual = Slurp(file);
  EXPECT_EQ(actual, expected) << Show(actual) << "\n" << Show(expected);
  // Deleting what is not there changes nothing.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Nope", u"x", nullptr, u"TARNWICK.INI"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Nope", nullptr, nullptr, u"TARNWICK.INI"));
  EXPECT_EQ(Slurp(file), expected);
}

TEST(ProfileWrite, UnicodeFileStaysUtf16) {
  twtest::TempRoot root;
  auto file = root.Dir() / "drive_c/Out/doc.grp";
  std::filesystem::create_directories(file.parent_path());
  std::filesystem::copy_file(DataDir() / "group_unicode.grp", file);
  ASSERT_TRUE(WritePrivateProfileStringW(u"Group", u"Print status", u"Printing started", u"C:\\Out\\doc.grp"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"OTHER", u"a", u"2", u"C:\\Out\\doc.grp"));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Page 1", u"FileName", u"C:\\Out\\文書_001.tif", u"C:\\Out\\doc.grp"));
  std::string expected = Slurp(DataDir() / "group_unicode.expected");
  std::string actual = Slurp(file);
  EXPECT_EQ(actual, expected) << Show(actual) << "\n" << Show(expected);
  WCHAR value[64];
  GetPrivateProfileStringW(u"Page 1", u"FileName", u"", value, 64, u"C:\\Out\\doc.grp");
  EXPECT_EQ(std::u16string(value), u"C:\\Out\\文書_001.tif");
}

TEST(ProfileWrite, EncodingFollowsTheByteOrderMark) {
  twtest::TempRoot root;
  // Holding only FF FE, as CreateUNICODEFile leaves it.
  Spill(root.Dir() / "drive_c/u.grp", "\xFF\xFE");
  ASSERT_TRUE(WritePrivateProfileStringW(u"P", u"Document name", u"Ωmega", u"C:\\u.grp"));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/u.grp"),
            std::string("\xFF\xFE[\0P\0]\0\r\0\n\0", 12) + std::string("D\0o\0c\0u\0m\0e\0n\0t\0 \0n\0a\0m\0e\0=\0", 28) +
                std::string("\xA9\x03m\0e\0g\0a\0\r\0\n\0", 14));
  // Empty without a mark, and missing: ANSI.
  Spill(root.Dir() / "drive_c/a.grp", "");
  ASSERT_TRUE(WritePrivateProfileStringW(u"P", u"Document name", u"Ωmega", u"C:\\a.grp"));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/a.grp"), "[P]\r\nDocument name=?mega\r\n") << "unmappable becomes ?";
  ASSERT_TRUE(WritePrivateProfileStringW(u"P", u"K", u"v", u"C:\\new.grp"));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/new.grp"), "[P]\r\nK=v\r\n");

  // The group file's read-back check: what Windows changes on the way does not compare equal.
  struct {
    const char16_t* written;
    const char16_t* read;
  } cases[] = {{u"  leading blanks", u"leading blanks"},
               {u"\"quoted\"", u"quoted"},
               {u"'single'", u"single"},
               {u"文書", u"??"},
               {u"plain", u"plain"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"P", u"Document name", c.written, u"C:\\a.grp"));
    WCHAR back[1024];
    GetPrivateProfileStringW(u"P", u"Document name", u"", back, 1024, u"C:\\a.grp");
    EXPECT_EQ(std::u16string(back), c.read) << tw::ToUtf8(c.written);
  }
}

TEST(ProfileWrite, SectionsAreWrittenAndDeletedWhole) {
  twtest::TempRoot root;
  Spill(root.Dir() / "drive_c/s.ini", "[A]\r\nx=1\r\n; about A\r\ny=2\r\n\r\n[B]\r\nz=3\r\n[a]\r\nw=4\r\n");
  ASSERT_TRUE(WritePrivateProfileSectionW(u"B", u"k1=v1\0k2 = v2\0no equals\0", u"C:\\s.ini"));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/s.ini"),
            "[A]\r\nx=1\r\n; about A\r\ny=2\r\n\r\n[B]\r\nk1=v1\r\nk2= v2\r\n[a]\r\nw=4\r\n");
  ASSERT_TRUE(WritePrivateProfileStringW(u"a", nullptr, nullptr, u"C:\\s.ini"));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/s.ini"), "[B]\r\nk1=v1\r\nk2= v2\r\n") << "every section of that name";
  ASSERT_TRUE(WritePrivateProfileSectionW(u"B", nullptr, u"C:\\s.ini"));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/s.ini"), "");
}

TEST(ProfileWrite, FailuresReportTheWindowsError) {
  twtest::TempRoot root;
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"K", u"V", u"C:\\NoFolder\\x.ini"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, u"K", u"V", u"C:\\x.ini"));
  EXPECT_FALSE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, u"C:\\x.ini")) << "cache flush reports FALSE";

  Spill(root.Dir() / "drive_c/ro.ini", "[S]\r\nK=old\r\n");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\ro.ini", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"K", u"new", u"C:\\ro.ini"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  Spill(root.Dir() / "drive_c/Denied/g.ini", "[S]\r\nK=old\r\n");
  auto machine = *tw::config::Get();
  machine.denyWrite = {u"C:\\Denied"};
  ASSERT_TRUE(tw::config::Save(machine));
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"K", u"new", u"C:\\Denied\\g.ini"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/Denied/g.ini"), "[S]\r\nK=old\r\n");

  Spill(root.Dir() / "drive_c/busy.ini", "[S]\r\nK=old\r\n");
  HANDLE h = CreateFileW(u"C:\\busy.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"K", u"new", u"C:\\busy.ini"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << "open elsewhere without FILE_SHARE_WRITE";
  CloseHandle(h);
  EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"new", u"C:\\busy.ini"));

  // Attributes and permissions survive the rewrite.
  Spill(root.Dir() / "drive_c/hidden.ini", "[S]\r\n");
  ASSERT_TRUE(SetFileAttributesW(u"C:\\hidden.ini", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"v", u"C:\\hidden.ini"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\hidden.ini"), DWORD(FILE_ATTRIBUTE_HIDDEN));
}

std::u16string key(int writer, int i) {
  return tw::FromUtf8("w" + std::to_string(writer) + "_" + std::to_string(i));
}

// Writes `count` keys of its own and returns whether every write succeeded.
bool writeKeys(int writer, int count) {
  for (int i = 0; i < count; ++i) {
    std::u16string k = key(writer, i), v = k + u"-value";
    if (!WritePrivateProfileStringW(u"Group", k.c_str(), v.c_str(), u"C:\\shared.grp")) return false;
  }
  return true;
}

TEST(ProfileWrite, WritersInOtherProcessesAndThreadsLoseNothing) {
  twtest::TempRoot root;
  constexpr int kProcesses = 3, kThreads = 2, kKeys = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) _exit(writeKeys(p, kKeys) ? 0 : 1);
    children.push_back(pid);
  }
  std::vector<std::thread> threads;
  std::atomic<bool> threadsOk{true};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      if (!writeKeys(100 + t, kKeys)) threadsOk = false;
    });
  for (auto& t : threads) t.join();
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child's write failed";
  }
  EXPECT_TRUE(threadsOk);
  int missing = 0;
  for (int w : {0, 1, 2, 100, 101})
    for (int i = 0; i < kKeys; ++i) {
      WCHAR value[64];
      GetPrivateProfileStringW(u"Group", key(w, i).c_str(), u"", value, 64, u"C:\\shared.grp");
      if (std::u16string(value) != key(w, i) + u"-value") ++missing;
    }
  EXPECT_EQ(missing, 0);
  WCHAR sections[64];
  GetPrivateProfileSectionNamesW(sections, 64, u"C:\\shared.grp");
  EXPECT_EQ(profiletest::List(sections), std::vector<std::u16string>{u"Group"}) << "one section, not one per writer";
}

TEST(ProfileWrite, AKilledWriterNeverLeavesHalfAFile) {
  twtest::TempRoot root;
  // A large file, so that a write takes a while.
  std::string big = "[Base]\r\n";
  for (int i = 0; i < 3000; ++i) big += "key" + std::to_string(i) + "=" + std::string(40, 'v') + "\r\n";
  Spill(root.Dir() / "drive_c/big.ini", big);
  for (int round = 0; round < 5; ++round) {
    pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0;; ++i) {
        std::u16string v = tw::FromUtf8(std::to_string(i));
        WritePrivateProfileStringW(u"Churn", u"Counter", v.c_str(), u"C:\\big.ini");
      }
    }
    usleep(20000 + round * 7000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(GetPrivateProfileIntW(u"Base", u"key0", -1, u"C:\\big.ini"), 0u);
    WCHAR value[64];
    GetPrivateProfileStringW(u"Base", u"key2999", u"", value, 64, u"C:\\big.ini");
    EXPECT_EQ(std::u16string(value), std::u16string(40, u'v')) << "the end of the file is there";
  }
  EXPECT_TRUE(WritePrivateProfileStringW(u"Base", u"key0", u"after", u"C:\\big.ini")) << "no lock left behind";
}

}  // namespace
