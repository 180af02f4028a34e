// The pages `twspool print` lists from a job's group file: read a block at a
// time, in either encoding, with the profile functions' reading rules.
#include "group_listing.h"

#include <fstream>
#include <string>

#include "tw/pathmap.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

void WriteHost(const char16_t* path, const std::string& bytes) {
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(path, host), 0u);
  std::ofstream(host, std::ios::binary) << bytes;
}

std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

// Sections of `pages` pages, each longer than the one before, so that the
// file's blocks end anywhere in a line; odd pages in one file, even in another.
std::u16string PageSections(int pages, const std::u16string& odd, const std::u16string& even) {
  std::u16string text;
  for (int i = 1; i <= pages; ++i) {
    std::u16string n = tw::FromUtf8(std::to_string(i));
    text += u"[Page " + n + u"]\r\nOrientation=Portrait\r\nPadding=" + std::u16string(i % 97, u'x') +
            u"\r\nFileName=" + (i % 2 ? odd : even) + u"\r\nFileName=second value is not read\r\n";
  }
  return text;
}

void ExpectPages(const twspool::GroupFilePages& files, int pages, const std::u16string& odd,
                 const std::u16string& even) {
  ASSERT_EQ(files.pages.size(), static_cast<size_t>(pages));
  ASSERT_EQ(files.names.size(), 2u) << "each name is held once";
  for (int i = 1; i <= pages; ++i)
    ASSERT_EQ(files.names[files.pages[i - 1]], i % 2 ? odd : even) << "page " << i;
}

TEST(GroupListing, LongFilesInBothEncodingsListEveryPage) {
  twtest::TempRoot root;
  const int pages = 900;  // several 64 KB blocks
  const std::u16string odd = u"C:\\Out\\caf\u00e9 odd.pdf", even = u"C:\\Out\\even.pdf";
  const std::u16string text =
      PageSections(pages, odd, even) + u"[Tarnwick Printer]\r\nTotal number of pages=900";  // no line end
  WriteHost(u"C:\\wide.grp", Utf16(text));
  ExpectPages(twspool::ReadGroupFilePages(u"C:\\wide.grp", u"Tarnwick Printer"), pages, odd, even);

  std::string ansi;
  for (char16_t c : text) ansi += static_cast<char>(c);  // Latin-1 text in the ANSI code page
  WriteHost(u"C:\\ansi.grp", ansi);
  ExpectPages(twspool::ReadGroupFilePages(u"C:\\ansi.grp", u"tarnwick printer "), pages, odd, even);
}

TEST(GroupListing, PagesOutsideTheCountOrWithoutAFileAreLeftOut) {
  twtest::TempRoot root;
  WriteHost(u"C:\\g.grp",
            "[Tarnwick Printer]\nTotal number of pages=3\n"
            "[Page 2]\nFileName=\"C:\\two.pdf\"\n"
            "[Page 1]\n; a comment\nfilename = C:\\one.pdf \r"
            "[Page 3]\nOrientation=Portrait\n"
            "[Page 4]\nFileName=C:\\four.pdf\n"
            "[Page 02]\nFileName=C:\\not a page.pdf\n"
            "[Tarnwick Printer]\nTotal number of pages=9\n");
  auto files = twspool::ReadGroupFilePages(u"C:\\g.grp", u"Tarnwick Printer");
  ASSERT_EQ(files.pages.size(), 2u);
  EXPECT_EQ(files.names[files.pages[0]], u"C:\\one.pdf");
  EXPECT_EQ(files.names[files.pages[1]], u"C:\\two.pdf");
  EXPECT_TRUE(twspool::ReadGroupFilePages(u"C:\\missing.grp", u"Tarnwick Printer").pages.empty());
}

}  // namespace
