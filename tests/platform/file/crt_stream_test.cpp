// _wfopen streams: the Microsoft CRT's modes, byte-order marks and line ends.
#include <cerrno>

#include "file_test_util.h"
#include "tw/root.h"
#include "tw_test.h"

namespace {

using filetest::Put;
using filetest::Slurp;

std::string bytes(const char* s, size_t n) { return std::string(s, n); }

TEST(CrtStreams, LogFilesInUtf8AppendModeGetOneMarkAndCrLf) {
  twtest::TempRoot root;
  std::filesystem::create_directories(root.Dir() / "drive_c/Temp");
  for (int line = 1; line <= 2; ++line) {
    FILE* f = _wfopen(u"C:\\Temp\\TWDriverInstall.log", u"a+c, ccs=UTF-8");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fwprintf(f, u"%.8f %s: [%d] %s%s\n", 1.5, u"12/08/26", line, u"TARNWICKMON: ", u"Größe ✓"), 46);
    fclose(f);
  }
  std::string expected = "\xEF\xBB\xBF";
  for (int line = 1; line <= 2; ++line)
    expected += "1.50000000 12/08/26: [" + std::to_string(line) + "] TARNWICKMON: Gr\xC3\xB6\xC3\x9F" "e \xE2\x9C\x93\r\n";
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/Temp/TWDriverInstall.log"), expected);
}

TEST(CrtStreams, MissingFolderMeansNoLog) {
  twtest::TempRoot root;
  errno = 0;
  EXPECT_EQ(_wfopen(u"C:\\Temp\\MessageCapture_PORTMON_DLL.txt", u"a+c, ccs=UTF-8"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/Temp"));
}

TEST(CrtStreams, TheFileMarkDecidesAndEmptyFilesGetOne) {
  twtest::TempRoot root;
  // Non-empty without a mark: the ccs encoding, no mark added.
  Put(root.Dir(), "plain.log", "old\r\n");
  FILE* f = _wfopen(u"C:\\plain.log", u"a, ccs=UTF-8");
  ASSERT_NE(f, nullptr);
  fputws(u"é\n", f);
  fclose(f);
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/plain.log"), "old\r\n\xC3\xA9\r\n");
  // A UTF-16 mark wins over ccs=UTF-8.
  Put(root.Dir(), "wide.log", bytes("\xFF\xFEo\0\r\0\n\0", 8));
  f = _wfopen(u"C:\\wide.log", u"a+, ccs=UTF-8");
  ASSERT_NE(f, nullptr);
  fputws(u"é\n", f);
  fclose(f);
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/wide.log"), bytes("\xFF\xFEo\0\r\0\n\0\xE9\0\r\0\n\0", 14));
  // An empty file gets the mark like a new one.
  Put(root.Dir(), "empty.txt", "");
  f = _wfopen(u"C:\\empty.txt", u"w, ccs=UTF-16LE");
  ASSERT_NE(f, nullptr);
  fputwc(u'A', f);
  fputws(u"\n", f);
  fclose(f);
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/empty.txt"), bytes("\xFF\xFE" "A\0\r\0\n\0", 8));
}

TEST(CrtStreams, AnsiTextAndBinaryModes) {
  twtest::TempRoot root;
  FILE* f = _wfopen(u"C:\\ansi.txt", u"wt");
  ASSERT_NE(f, nullptr);
  fputws(u"Müller 文\n", f);
  fwrite("a\nb", 1, 3, f);
  fclose(f);
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/ansi.txt"), "M\xFCller ?\r\na\r\nb");

  f = _wfopen(u"C:\\raw.bin", u"wb");
  ASSERT_NE(f, nullptr);
  fwrite("a\nb", 1, 3, f);
  fputws(u"é", f);  // raw code units in binary mode
  fclose(f);
  EXPECT_EQ(Slurp(root.Dir() / "drive_c/raw.bin"), bytes("a\nb\xE9\0", 5));

  f = _wfopen(u"C:\\raw.bin", u"rb");
  ASSERT_NE(f, nullptr);
  char buf[8] = {};
  EXPECT_EQ(fread(buf, 1, 8, f), 5u);
  EXPECT_EQ(fseek(f, 1, SEEK_SET), 0);
  EXPECT_EQ(fgetc(f), '\n');
  EXPECT_EQ(ftell(f), 2);
  fclose(f);
}

TEST(CrtStreams, ReadingTranslatesBack) {
  twtest::TempRoot root;
  Put(root.Dir(), "u8.txt", "\xEF\xBB\xBF" "first\r\nzweite \xC3\xBC\r\nlast");
  FILE* f = _wfopen(u"C:\\u8.txt", u"r, ccs=UTF-8");
  ASSERT_NE(f, nullptr);
  WCHAR line[64];
  ASSERT_NE(fgetws(line, 64, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"first\n") << "the mark is skipped, CR LF read as LF";
  ASSERT_NE(fgetws(line, 64, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"zweite ü\n");
  ASSERT_NE(fgetws(line, 3, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"la") << "count - 1 units";
  ASSERT_NE(fgetws(line, 64, f), nullptr);
  EXPECT_EQ(std::u16string(line), u"st");
  EXPECT_EQ(fgetws(line, 64, f), nullptr);
  fclose(f);

  Put(root.Dir(), "ansi.txt", "a\r\nb\xFC\r\n\x1Ahidden");
  f = _wfopen(u"C:\\ansi.txt", u"r");
  ASSERT_NE(f, nullptr);
  char text[32] = {};
  EXPECT_EQ(fread(text, 1, sizeof text, f), 5u) << "Ctrl-Z ends a text file";
  EXPECT_EQ(std::string(text, 5), "a\nb\xFC\n");
  fclose(f);
}

TEST(CrtStreams, ModesAndSharing) {
  twtest::TempRoot root;
  for (const char16_t* bad : {u"z", u"rw", u"rb, ccs=UTF-8", u"r, ccs=KOI8-R", u"r, cs=UTF-8", u"rtb", u"ax"}) {
    errno = 0;
    EXPECT_EQ(_wfopen(u"C:\\any.txt", bad), nullptr);
    EXPECT_EQ(errno, EINVAL);
  }
  Put(root.Dir(), "exists.txt", "x");
  errno = 0;
  EXPECT_EQ(_wfopen(u"C:\\exists.txt", u"wx"), nullptr);
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_EQ(_wfopen(u"C:\\missing.txt", u"r"), nullptr);
  EXPECT_EQ(errno, ENOENT);

  FILE* log = _wfopen(u"C:\\exists.txt", u"a");
  ASSERT_NE(log, nullptr);
  EXPECT_FALSE(DeleteFileW(u"C:\\exists.txt")) << "_wfopen does not share deletion";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  FILE* second = _wfopen(u"C:\\exists.txt", u"a");
  EXPECT_NE(second, nullptr) << "two _wfopen appenders share";
  if (second) fclose(second);
  fclose(log);

  FILE* secure = nullptr;
  ASSERT_EQ(_wfopen_s(&secure, u"C:\\exists.txt", u"w"), 0);
  FILE* other = nullptr;
  EXPECT_EQ(_wfopen_s(&other, u"C:\\exists.txt", u"a"), EACCES) << "_wfopen_s denies other writers";
  EXPECT_EQ(other, nullptr);
  fclose(secure);
  FILE* locked = _wfsopen(u"C:\\exists.txt", u"r", _SH_DENYRW);
  ASSERT_NE(locked, nullptr);
  errno = 0;
  EXPECT_EQ(_wfopen(u"C:\\exists.txt", u"r"), nullptr);
  EXPECT_EQ(errno, EACCES);
  fclose(locked);

  FILE* temp = _wfopen(u"C:\\scratch.tmp", u"w+TD");
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(GetFileAttributesW(u"C:\\scratch.tmp"), DWORD(FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_ARCHIVE));
  fclose(temp);
  EXPECT_EQ(GetFileAttributesW(u"C:\\scratch.tmp"), INVALID_FILE_ATTRIBUTES) << "'D' deletes on close";

  auto machine = *tw::config::Get();
  machine.denyWrite = {u"C:\\Temp"};
  ASSERT_TRUE(tw::config::Save(machine));
  std::filesystem::create_directories(root.Dir() / "drive_c/Temp");
  errno = 0;
  EXPECT_EQ(_wfopen(u"C:\\Temp\\x.log", u"a+c, ccs=UTF-8"), nullptr);
  EXPECT_EQ(errno, EACCES);
}

TEST(CrtStreams, AccessChecks) {
  twtest::TempRoot root;
  Put(root.Dir(), "Out/f.txt", "x");
  EXPECT_EQ(_waccess(u"C:\\Out", 6), 0);
  EXPECT_EQ(_waccess(u"C:\\Out\\f.txt", 6), 0);
  ASSERT_TRUE(SetFileAttributesW(u"C:\\Out\\f.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(_waccess(u"C:\\Out\\f.txt", 4), 0);
  errno = 0;
  EXPECT_EQ(_waccess(u"C:\\Out\\f.txt", 2), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(_waccess(u"C:\\Out\\none.txt", 0), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(_waccess(u"C:\\Out", 1), -1);
  EXPECT_EQ(errno, EINVAL);
}

}  // namespace
