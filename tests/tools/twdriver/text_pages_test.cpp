// Text files typeset into metafile pages: real text records, wrapping, form
// feeds and page breaks.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/twdriver/stream_writer.h"
#include "tools/twdriver/text_pages.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

struct TextRecord {
  std::string text;
  LONG x, y;
};

// The EMR_EXTTEXTOUTW records of a page, read straight from its bytes.
std::vector<TextRecord> TextRecords(const std::vector<BYTE>& emf) {
  std::vector<TextRecord> out;
  for (size_t at = 0; at + 8 <= emf.size();) {
    DWORD type, size;
    std::memcpy(&type, &emf[at], 4);
    std::memcpy(&size, &emf[at + 4], 4);
    if (size < 8 || at + size > emf.size()) break;
    if (type == EMR_EXTTEXTOUTW) {
      EMRTEXT text;
      std::memcpy(&text, &emf[at + 36], sizeof text);
      std::u16string s(text.nChars, u'\0');
      std::memcpy(s.data(), &emf[at + text.offString], text.nChars * 2);
      out.push_back({tw::ToUtf8(s), text.ptlReference.x, text.ptlReference.y});
    }
    at += size;
  }
  return out;
}

TarnwickDEVMODE Record(LONG xDpi = 300, LONG yDpi = 300) {
  tw::twdriver::DevModeOptions options;
  options.xDpi = xDpi;
  options.yDpi = yDpi;
  return tw::twdriver::MakeDevMode(options);
}

TEST(TwDriverText, LinesWrapFormFeedsAndFullPagesStartNewPages) {
  twtest::LeakGuard leaks;
  std::string text = "First line\r\nSecond\tline\n";
  text += std::string(30, 'w') + " " + std::string(200, 'x') + "\n";  // wraps after the space, then by force
  text += "\fAfter the form feed\n";
  for (int i = 0; i < 80; ++i) text += "line " + std::to_string(i) + "\n";  // more than one page holds
  std::vector<std::vector<BYTE>> pages;
  std::string error;
  ASSERT_TRUE(tw::twdriver::TypesetText(text, {}, Record(), pages, error)) << error;
  ASSERT_GE(pages.size(), 3u);

  auto first = TextRecords(pages[0]);
  ASSERT_GE(first.size(), 5u);
  EXPECT_EQ(first[0].text, "First line");
  EXPECT_EQ(first[1].text, "Second  line");  // the tab reaches column 8
  EXPECT_EQ(first[2].text, std::string(30, 'w') + " ");
  EXPECT_EQ(first[3].text.find_first_not_of('x'), std::string::npos);
  EXPECT_LT(first[3].text.size(), 200u);
  // Every line starts at the left margin, each below the one before.
  for (size_t i = 1; i < first.size(); ++i) {
    EXPECT_EQ(first[i].x, first[0].x);
    EXPECT_GT(first[i].y, first[i - 1].y);
  }

  auto second = TextRecords(pages[1]);
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second[0].text, "After the form feed");
  EXPECT_EQ(second[0].y, first[0].y);
  auto last = TextRecords(pages.back());
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last.back().text, "line 79");

  // A page is a whole metafile the layer reads back.
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(pages[0].size()), pages[0].data());
  ASSERT_NE(h, nullptr);
  DeleteEnhMetaFile(h);
}

TEST(TwDriverText, EmptyTextIsOneBlankPageAndAClosingFormFeedAddsNone) {
  std::vector<std::vector<BYTE>> pages;
  std::string error;
  ASSERT_TRUE(tw::twdriver::TypesetText("", {}, Record(), pages, error)) << error;
  EXPECT_EQ(pages.size(), 1u);
  EXPECT_TRUE(TextRecords(pages[0]).empty());
  pages.clear();
  ASSERT_TRUE(tw::twdriver::TypesetText("one\n\f", {}, Record(), pages, error)) << error;
  EXPECT_EQ(pages.size(), 1u);
}

TEST(TwDriverText, TheChosenSizeSetsTheLineSpacing) {
  auto spacing = [](int points) {
    tw::twdriver::TextLayout layout;
    layout.face = u"Liberation Serif";
    layout.points = points;
    std::vector<std::vector<BYTE>> pages;
    std::string error;
    EXPECT_TRUE(tw::twdriver::TypesetText("a\nb\n", layout, Record(), pages, error)) << error;
    auto records = pages.empty() ? std::vector<TextRecord>{} : TextRecords(pages[0]);
    return records.size() == 2 ? records[1].y - records[0].y : 0;
  };
  LONG ten = spacing(10), twenty = spacing(20);
  EXPECT_GT(ten, 0);
  EXPECT_NEAR(static_cast<double>(twenty) / ten, 2.0, 0.2);
}

TEST(TwDriverText, TheEnscriptGridPutsSixtyFiveBaselinesElevenPointsApart) {
  std::string text;
  for (int i = 0; i < 131; ++i) text += std::string(80, static_cast<char>('a' + i % 26)) + "\n";
  std::vector<std::vector<BYTE>> pages;
  std::string error;
  ASSERT_TRUE(tw::twdriver::TypesetText(text, tw::twdriver::EnscriptLetterLayout(), Record(), pages, error)) << error;
  ASSERT_EQ(pages.size(), 3u);
  auto first = TextRecords(pages[0]), second = TextRecords(pages[1]), third = TextRecords(pages[2]);
  ASSERT_EQ(first.size(), 65u);
  ASSERT_EQ(second.size(), 65u);
  ASSERT_EQ(third.size(), 1u);
  // Hundredths of an inch: 23 pt = 32, 49 pt = 68, 49 + 11 pt = 83, 49 + 64 * 11 pt = 1046.
  EXPECT_EQ(first[0].x, 32);
  EXPECT_EQ(first[0].y, 68);
  EXPECT_EQ(first[1].y, 83);
  EXPECT_EQ(first[64].y, 1046);
  EXPECT_EQ(first[64].text, std::string(80, 'm'));  // 80 columns fit: no wrapping
  EXPECT_EQ(second[0].y, 68);
  EXPECT_EQ(second[0].text, std::string(80, 'n'));
  EXPECT_EQ(third[0].text, std::string(80, 'a'));  // line 131
}

// Pages are recorded as an application records its spool file: on the
// printer context of the job's record, so the metafile's reference device is
// the printer at the record's resolution, not the screen.
TEST(TwDriverText, PagesAreRecordedOnThePrinterContextOfTheRecord) {
  for (auto [x, y] : {std::pair<LONG, LONG>{300, 300}, {200, 100}}) {
    std::vector<std::vector<BYTE>> pages;
    std::string error;
    ASSERT_TRUE(tw::twdriver::TypesetText("text\n", {}, Record(x, y), pages, error)) << error;
    ASSERT_EQ(pages.size(), 1u);
    ENHMETAHEADER header{};
    std::memcpy(&header, pages[0].data(), sizeof header);
    // Letter: 215.9 x 279.4 mm.
    EXPECT_EQ(header.szlDevice.cx, (2159 * x + 127) / 254) << x;
    EXPECT_EQ(header.szlDevice.cy, (2794 * y + 127) / 254) << y;
    EXPECT_EQ(header.rclFrame.right, 21590);
  }
}

}  // namespace
