// The group file writer after it let go of the entries of written sections:
// a change to such a section, an entry added to or removed from it, reaches
// the file with every other byte as it was; a file changed under the writer,
// or one whose old sections are not as the writer left them, is read again.
#include "group_test_fixture.h"
#include "job/group/group_file.h"
#include "job/group/group_file_writer.h"
#include "job/group/scoped_file.h"

namespace {

using namespace twtest_group;
using tw::group::GroupFileWriter;

constexpr WCHAR kPath[] = u"C:\\Out\\pages.grp";

class GroupFileWriterTest : public GroupTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool Unicode() const { return GetParam(); }
  // The bytes a text is in the file.
  std::string Encoded(const std::u16string& text) const {
    std::string out;
    if (Unicode()) {
      for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    } else {
      out = tw::ToUtf8(text);  // the tests use ASCII only
    }
    return out;
  }
  static std::u16string PageName(int page) { return u"Page " + tw::FromUtf8(std::to_string(page)); }
  static std::u16string FileOf(int page) { return u"C:\\Out\\p" + tw::FromUtf8(std::to_string(page)) + u".tif"; }
  // Pages written one flush each, as a document's pages are.
  void WritePages(GroupFileWriter& writer, int from, int to) {
    for (int page = from; page <= to; ++page) {
      writer.Set(PageName(page), u"FileName", FileOf(page).c_str());
      writer.Set(PageName(page), u"Orientation", u"Portrait");
      writer.Set(kPrinter, u"Total number of pages", tw::FromUtf8(std::to_string(page)).c_str());
      ASSERT_TRUE(writer.Flush()) << "page " << page << ": error " << GetLastError();
    }
  }
  void Make() {
    if (Unicode()) {
      ASSERT_TRUE(tw::group::CreateUNICODEFile(kPath));
    }
  }
  // `before` with the first `from` replaced by `to`.
  std::string Replaced(std::string before, const std::u16string& from, const std::u16string& to) const {
    const size_t at = before.find(Encoded(from));
    EXPECT_NE(at, std::string::npos) << tw::ToUtf8(from);
    if (at != std::string::npos) before.replace(at, Encoded(from).size(), Encoded(to));
    return before;
  }
};

TEST_P(GroupFileWriterTest, ChangesToOldSectionsKeepEveryOtherByte) {
  Make();
  GroupFileWriter writer(kPath, kPrinter);
  // Blanks around a value and "=" in it stay as written in sections the
  // writer does not read again from the start.
  writer.Set(PageName(1), u"Note", u"  a = b  ");
  WritePages(writer, 1, 8);
  std::string expected = Bytes(kPath);
  EXPECT_EQ(expected.substr(0, Unicode() ? 2 : 1), Unicode() ? "\xFF\xFE" : "[");

  // A value of another length.
  writer.Set(PageName(2), u"FileName", u"C:\\Out\\changed.tif");
  ASSERT_TRUE(writer.Flush()) << GetLastError();
  expected = Replaced(expected, u"FileName=" + FileOf(2), u"FileName=C:\\Out\\changed.tif");
  EXPECT_EQ(Bytes(kPath), expected);

  // A key removed from one old section, one added to another, in one flush.
  writer.Set(PageName(3), u"FILENAME", nullptr);
  writer.Set(PageName(1), u"Added", u"yes");
  ASSERT_TRUE(writer.Flush()) << GetLastError();
  expected = Replaced(expected, u"FileName=" + FileOf(3) + u"\r\n", u"");
  expected = Replaced(expected, u"[Page 2]", u"Added=yes\r\n[Page 2]");
  EXPECT_EQ(Bytes(kPath), expected);

  // A value the section holds already changes nothing.
  writer.Set(PageName(4), u"orientation", u"Portrait");
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(Bytes(kPath), expected);

  // The pages go on in front of the printer's section.
  WritePages(writer, 9, 9);
  expected = Replaced(expected, u"[Tarnwick Printer]\r\nTotal number of pages=8",
                      u"[Page 9]\r\nFileName=" + FileOf(9) + u"\r\nOrientation=Portrait\r\n"
                      u"[Tarnwick Printer]\r\nTotal number of pages=9");
  EXPECT_EQ(Bytes(kPath), expected);
  EXPECT_EQ(Profile(PageName(1), u"Note", kPath), u"a = b");
  EXPECT_EQ(Profile(PageName(2), u"FileName", kPath), u"C:\\Out\\changed.tif");
  EXPECT_FALSE(HasKey(PageName(3), u"FileName", kPath));
  EXPECT_EQ(Profile(PageName(5), u"FileName", kPath), FileOf(5));
}

TEST_P(GroupFileWriterTest, AFileChangedUnderTheWriterIsReadAgain) {
  Make();
  GroupFileWriter writer(kPath, kPrinter);
  WritePages(writer, 1, 6);
  // Another program adds an entry to an old section.
  ASSERT_TRUE(WritePrivateProfileStringW(PageName(1).c_str(), u"Uploaded", u"yes", kPath));
  writer.Set(PageName(2), u"FileName", u"C:\\Out\\changed.tif");
  ASSERT_TRUE(writer.Flush()) << GetLastError();
  EXPECT_EQ(Profile(PageName(1), u"Uploaded", kPath), u"yes");
  EXPECT_EQ(Profile(PageName(2), u"FileName", kPath), u"C:\\Out\\changed.tif");
  for (int page : {1, 3, 4, 5, 6}) EXPECT_EQ(Profile(PageName(page), u"FileName", kPath), FileOf(page));
  EXPECT_EQ(Profile(kPrinter, u"Total number of pages", kPath), u"6");
  EXPECT_EQ(Bytes(kPath).substr(0, Unicode() ? 2 : 1), Unicode() ? "\xFF\xFE" : "[") << "its encoding kept";
}

TEST_P(GroupFileWriterTest, OldSectionsNotAsWrittenMakeTheWriterReadTheWholeFile) {
  Make();
  GroupFileWriter writer(kPath, kPrinter);
  WritePages(writer, 1, 6);
  // The line end inside page 2 is altered in place, the file's size and times
  // kept: the writer cannot tell from the file, only from its bytes.
  const std::string before = Bytes(kPath);
  const size_t at = before.find(Encoded(u"\r\nOrientation"), before.find(Encoded(u"[Page 2]")));
  ASSERT_NE(at, std::string::npos);
  {
    tw::group::ScopedFile file(CreateFileW(kPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.Valid());
    FILETIME created{}, accessed{}, written{};
    ASSERT_TRUE(GetFileTime(file.Get(), &created, &accessed, &written));
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(at);
    ASSERT_TRUE(SetFilePointerEx(file.Get(), to, nullptr, FILE_BEGIN));
    const std::string lf = Encoded(u"\n\n");
    ASSERT_TRUE(tw::group::WriteAll(file.Get(), lf.data(), lf.size()));
    ASSERT_TRUE(SetFileTime(file.Get(), &created, &accessed, &written));
  }
  writer.Set(PageName(2), u"Orientation", u"Landscape");
  ASSERT_TRUE(writer.Flush()) << GetLastError();
  const std::string after = Bytes(kPath);
  EXPECT_EQ(after.find(Encoded(u"\n\n")), std::string::npos) << "written whole in the writer's layout";
  EXPECT_EQ(after, Replaced(before, u"[Page 2]\r\nFileName=" + FileOf(2) + u"\r\nOrientation=Portrait",
                            u"[Page 2]\r\nFileName=" + FileOf(2) + u"\r\nOrientation=Landscape"));
  EXPECT_EQ(Profile(PageName(2), u"Orientation", kPath), u"Landscape");
}

INSTANTIATE_TEST_SUITE_P(Encodings, GroupFileWriterTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utf16" : "Ansi"; });

}  // namespace
