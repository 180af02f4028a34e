// Where a page's ink lies (FindContentMargins) and the blank-page test.
#include "emf_test_util.h"

namespace {

using namespace emftest;

HGLOBAL Dib(const twtest::DibBytes& d) { return d.Block(); }

twtest::DibBytes White(LONG w, LONG h, WORD bits, bool topDown = false) {
  twtest::DibBytes d(w, h, bits, twtest::TableFor(bits), topDown);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) d.Set(x, y, bits == 24 ? 0xFFFFFF : (1u << bits) - 1);
  return d;
}

struct Margins {
  LONG l = 9, r = 9, t = 9, b = 9;
};
Margins Find(const twtest::DibBytes& d, BYTE threshold = 254) {
  Margins m;
  HGLOBAL h = Dib(d);
  EXPECT_TRUE(FindContentMargins(h, threshold, &m.l, &m.r, &m.t, &m.b));
  GlobalFree(h);
  return m;
}

TEST(ContentMargins, DistancesFromEachEdge) {
  for (WORD bits : {1, 8, 24}) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(testing::Message() << bits << (topDown ? " top-down" : " bottom-up"));
      auto d = White(83, 41, bits, topDown);
      d.Set(0, 10, 0);  // ink in the first column
      d.Set(70, 3, 0);
      d.Set(20, 37, 0);
      Margins m = Find(d);
      EXPECT_EQ(m.l, 0);
      EXPECT_EQ(m.r, 83 - 1 - 70);
      EXPECT_EQ(m.t, 3);  // top is the top of the page in either row order
      EXPECT_EQ(m.b, 41 - 1 - 37);
    }
  }
  // One-bit rows are read eight pixels at a time: ink in every bit position.
  for (LONG x = 56; x < 72; ++x) {
    auto d = White(100, 3, 1);
    d.Set(x, 1, 0);
    d.Set(x + 2, 2, 0);
    Margins m = Find(d);
    EXPECT_EQ(m.l, x) << x;
    EXPECT_EQ(m.r, 100 - 1 - (x + 2)) << x;
  }
}

TEST(ContentMargins, WhitePagesThresholdsAndTables) {
  Margins white = Find(White(50, 20, 24));
  EXPECT_EQ(white.l, -1);
  EXPECT_EQ(white.r, -1);
  EXPECT_EQ(white.t, -1);
  EXPECT_EQ(white.b, -1);
  // Ink is R + G + B <= 3 x threshold.
  auto grey = White(10, 10, 24);
  grey.Set(4, 4, 0x7F8080);  // 383: ink at 128
  EXPECT_EQ(Find(grey, 128).l, 4);
  grey.Set(4, 4, 0x808080);  // 384: not ink at 127
  EXPECT_EQ(Find(grey, 127).l, -1);
  // Palette pixels are judged by their table entry: entry 0 white, 1 black.
  twtest::DibBytes inverted(16, 2, 1, {{255, 255, 255, 0}, {0, 0, 0, 0}});
  inverted.Set(9, 1, 1);
  EXPECT_EQ(Find(inverted).l, 9);
  // Other depths and unreadable blocks fail.
  HGLOBAL four = Dib(White(8, 8, 4));
  LONG l = 0;
  EXPECT_FALSE(FindContentMargins(four, 254, &l, nullptr, nullptr, nullptr));
  GlobalFree(four);
  EXPECT_FALSE(FindContentMargins(nullptr, 254, &l, nullptr, nullptr, nullptr));
  LONG w = 0, h = 0;
  HGLOBAL down = Dib(White(7, 5, 24, true));
  EXPECT_TRUE(GetDIBSize(down, &w, &h));
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 5);
  GlobalFree(down);
}

class BlankTest : public JobTest {
 protected:
  BOOL BlankEmf(const std::vector<BYTE>& page) {
    Block block(page);
    return IsBlankPage(block.get(), job_.get(), FALSE);
  }
};

TEST_F(BlankTest, MetafilePages) {
  TarnwickDEVMODE dm = Record();
  EXPECT_TRUE(BlankEmf(RecordPage(dm, [](HDC) {})));  // empty bounds: not even rendered
  EXPECT_TRUE(BlankEmf(RecordPage(dm, [](HDC dc) { Fill(dc, 100, 100, 900, 900, RGB(255, 255, 255)); })));
  EXPECT_FALSE(BlankEmf(RecordPage(dm, [](HDC dc) { Fill(dc, 2000, 3000, 2001, 3001); })));
  // A pale dot is no ink on a black-and-white page, but ink in colour.
  auto pale = RecordPage(dm, [](HDC dc) { Fill(dc, 500, 500, 501, 501, RGB(254, 254, 254)); });
  EXPECT_TRUE(BlankEmf(pale));
  job_->m_DevMode = Record(300, 300, 3);
  EXPECT_FALSE(BlankEmf(pale));
}

TEST_F(BlankTest, PagesThatCannotBeExaminedAreNotDropped) {
  EXPECT_FALSE(IsBlankPage(nullptr, job_.get(), FALSE));
  EXPECT_FALSE(IsBlankPage(nullptr, job_.get(), TRUE));
  EXPECT_FALSE(BlankEmf(std::vector<BYTE>(200, 0)));
  EXPECT_EQ(Status(), u"") << "the blank test reports nothing";
  Block fourBits(White(8, 8, 4).bytes);
  EXPECT_FALSE(IsBlankPage(fourBits.get(), job_.get(), TRUE));
}

TEST_F(BlankTest, RawPages) {
  auto page = White(300, 200, 24);
  Block white(page.bytes);
  EXPECT_TRUE(IsBlankPage(white.get(), job_.get(), TRUE));
  page.Set(299, 199, 0xFEFEFE);  // 762 = 3 x 254: ink
  Block pale(page.bytes);
  EXPECT_FALSE(IsBlankPage(pale.get(), job_.get(), TRUE));
  page.Set(299, 199, 0xFFFFFE);
  Block paler(page.bytes);
  EXPECT_TRUE(IsBlankPage(paler.get(), job_.get(), TRUE));
}

}  // namespace
