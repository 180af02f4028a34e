#include <set>

#include "file_test_util.h"
#include "tw/fileio.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

using filetest::Put;

TEST(Wildcards, WindowsMatchingRules) {
  struct Case {
    const char16_t* pattern;
    const char16_t* name;
    bool match;
  } cases[] = {
      {u"*", u"anything.txt", true},
      {u"*.*", u"noextension", true},        // "*.*" is everything
      {u"*.*", u".", true},
      {u"*.txt", u"a.TXT", true},            // case-insensitive
      {u"*.txt", u"a.txt.bak", false},
      {u"*.txt", u"a.b.txt", true},
      {u"*.", u"noextension", true},         // names without extension
      {u"*.", u"a.txt", false},
      {u"a?", u"a", true},                   // '?' matches nothing at the end
      {u"a?", u"ab", true},
      {u"a?", u"abc", false},
      {u"a?.txt", u"a.txt", true},            // ... and before a dot
      {u"a?.txt", u"ab.txt", true},
      {u"????????.???", u"report.tif", true},
      {u"Z@*.TMP", u"z@font1.tmp", true},
      {u"Z@*.TMP", u"y@font1.tmp", false},
      {u"file.txt", u"FILE.TXT", true},
      {u"file.txt", u"file.txt2", false},
      {u"*.htm", u"page.html", false},        // no 8.3 names
      {u"a*b", u"aXXb", true},
      {u"a*b", u"aXXbc", false},
      {u"*abc", u"xabcabc", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tw::file::MatchesPattern(c.name, c.pattern), c.match)
        << tw::ToUtf8(c.pattern) << " vs " << tw::ToUtf8(c.name);
}

std::vector<std::string> listAll(LPCWSTR pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(pattern, &data);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return names;
  }
  do names.push_back(tw::ToUtf8(data.cFileName));
  while (FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(h));
  return names;
}

TEST(FindFiles, ListsMatchingEntriesInNtfsOrder) {
  twtest::TempRoot root;
  twtest::LeakGuard leaks;
  Put(root.Dir(), "Out/doc_items/b.png", "12345");
  Put(root.Dir(), "Out/doc_items/A.png", "1");
  Put(root.Dir(), "Out/doc_items/c.css", "");
  Put(root.Dir(), "Out/doc_items/noext", "");
  std::filesystem::create_directories(root.Dir() / "drive_c/Out/doc_items/sub");
  Put(root.Dir(), "Out/doc_items/.~twini-abc", "");  // a profile write in progress

  EXPECT_EQ(listAll(u"C:\\Out\\doc_items\\*"),
            (std::vector<std::string>{".", "..", "A.png", "b.png", "c.css", "noext", "sub"}));
  EXPECT_EQ(listAll(u"c:\\out\\DOC_ITEMS\\*.PNG"), (std::vector<std::string>{"A.png", "b.png"}));
  EXPECT_EQ(listAll(u"C:\\Out\\doc_items\\*."), (std::vector<std::string>{".", "..", "noext", "sub"}));
  EXPECT_EQ(listAll(u"C:\\Out\\doc_items\\B.PNG"), (std::vector<std::string>{"b.png"}));

  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"C:\\Out\\doc_items\\b.png", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(data.cAlternateFileName[0], 0);
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  FindClose(h);
  h = FindFirstFileW(u"C:\\Out\\doc_items\\sub", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
  FindClose(h);

  EXPECT_EQ(listAll(u"C:\\*"), (std::vector<std::string>{"Out", "Users", "Windows"})) << "no dots at a drive root";
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Out"));
  EXPECT_EQ(listAll(u"doc*"), std::vector<std::string>{"doc_items"}) << "relative to the current directory";
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\Windows\\System32"));
}

TEST(FindFiles, Errors) {
  twtest::TempRoot root;
  Put(root.Dir(), "Out/a.txt", "");
  DWORD error = 0;
  EXPECT_TRUE(listAll(u"C:\\Out\\*.pdf", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(listAll(u"C:\\Missing\\*", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(listAll(u"C:\\Out\\a.txt\\*", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_DIRECTORY));
  EXPECT_TRUE(listAll(u"C:\\Out\\a|b", &error).empty());
  EXPECT_EQ(error, DWORD(ERROR_INVALID_NAME));
  WIN32_FIND_DATAW data;
  EXPECT_FALSE(FindNextFileW(reinterpret_cast<HANDLE>(0x1234), &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

}  // namespace
