// Text output: placement against the font's metrics, alignment, rotation,
// Dx arrays, the alpha byte, aliasing, clipping and recorded text.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "../emf/emf_canvas.h"
#include "../nls/root_guard.h"
#include "text_test_util.h"
#include "tw/root.h"
#include "tw_test.h"

using twtest::Canvas;
using twtest::Recording;
using texttest::Font;
using texttest::InkBox;

TEST(TextPlacement, BaselineBottomAndTopAlignment) {
  twtest::LeakGuard leaks;
  Canvas c(200, 200);
  Font font(c.Dc(), -40, u"Liberation Sans");
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(c.Dc(), &tm));

  // TA_BASELINE: "H" stands on the baseline; its bottom row is just above it.
  SetTextAlign(c.Dc(), TA_LEFT | TA_BASELINE);
  ASSERT_TRUE(TextOutW(c.Dc(), 20, 100, u"H", 1));
  RECT ink = c.InkBox();
  EXPECT_NEAR(ink.bottom, 100, 1);
  EXPECT_NEAR(ink.left, 20 + 3, 2);  // the H's left side bearing, about 0.08 em
  // Cap height of Liberation Sans is 0.716 em.
  EXPECT_NEAR(100 - ink.top, 0.716 * 40, 2);

  // TA_BOTTOM: the cell's bottom (descent below the baseline) is at y.
  c.Fill(0xFF);
  SetTextAlign(c.Dc(), TA_LEFT | TA_BOTTOM);
  ASSERT_TRUE(TextOutW(c.Dc(), 20, 100, u"H", 1));
  EXPECT_NEAR(c.InkBox().bottom, 100 - tm.tmDescent, 1);

  // TA_TOP: the cell's top is at y, the baseline ascent below it.
  c.Fill(0xFF);
  SetTextAlign(c.Dc(), TA_LEFT | TA_TOP);
  ASSERT_TRUE(TextOutW(c.Dc(), 20, 100, u"H", 1));
  EXPECT_NEAR(c.InkBox().bottom, 100 + tm.tmAscent, 1);

  // TA_RIGHT and TA_CENTER place the string's advance before / around x.
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32W(c.Dc(), u"HHH", 3, &size));
  for (UINT h : {UINT(TA_RIGHT), UINT(TA_CENTER)}) {
    c.Fill(0xFF);
    SetTextAlign(c.Dc(), h | TA_BASELINE);
    ASSERT_TRUE(TextOutW(c.Dc(), 150, 100, u"HHH", 3));
    RECT box = c.InkBox();
    LONG start = h == TA_RIGHT ? 150 - size.cx : 150 - size.cx / 2;
    EXPECT_NEAR(box.left, start + 3, 2) << h;
  }
}

TEST(TextPlacement, UpdateCpMovesAlongTheString) {
  Canvas c(300, 80);
  Font font(c.Dc(), -20, u"Liberation Sans");
  SetTextAlign(c.Dc(), TA_UPDATECP | TA_BASELINE);
  MoveToEx(c.Dc(), 10, 50, nullptr);
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32W(c.Dc(), u"abc", 3, &size));
  ASSERT_TRUE(TextOutW(c.Dc(), 0, 0, u"abc", 3));
  POINT cp{};
  GetCurrentPositionEx(c.Dc(), &cp);
  EXPECT_EQ(cp.x, 10 + size.cx);
  EXPECT_EQ(cp.y, 50);
  EXPECT_NEAR(c.InkBox().bottom, 50, 1);
}

TEST(TextPlacement, NinetyDegreeEscapementRunsUpThePage) {
  Canvas c(200, 300);
  SIZE size{};
  {
    Font upright(c.Dc(), -30, u"Liberation Sans");
    ASSERT_TRUE(GetTextExtentPoint32W(c.Dc(), u"HHHH", 4, &size));
  }
  Font turned(c.Dc(), -30, u"Liberation Sans", FW_NORMAL, 900);
  SetTextAlign(c.Dc(), TA_LEFT | TA_BASELINE);
  ASSERT_TRUE(TextOutW(c.Dc(), 100, 250, u"HHHH", 4));
  RECT ink = c.InkBox();
  // The baseline is now the vertical line x = 100, the string going up
  // from y = 250; the letters stand to its left.
  EXPECT_NEAR(ink.right, 100, 1);
  EXPECT_NEAR(ink.left, 100 - 0.716 * 30, 2);
  EXPECT_LE(ink.bottom, 250);
  EXPECT_GE(ink.bottom, 250 - 4);
  EXPECT_NEAR(ink.bottom - ink.top, size.cx - 2 * 2, 4);  // the advance less the side bearings
}

TEST(TextPlacement, DxArrayPositionsEachGlyph) {
  Canvas c(300, 60);
  Font font(c.Dc(), -30, u"Liberation Mono");
  SetTextAlign(c.Dc(), TA_LEFT | TA_BASELINE);
  INT dx[3] = {100, 50, 0};
  ASSERT_TRUE(ExtTextOutW(c.Dc(), 10, 40, 0, nullptr, u"III", 3, dx));
  // The three I's of a monospaced face are alike: their ink starts 100 and
  // 50 pixels apart.
  std::vector<int> starts;
  for (int x = 0; x < 300; ++x) {
    bool ink = false, before = x > 0;
    for (int y = 0; y < 60; ++y) {
      ink = ink || c.Color(x, y) != RGB(255, 255, 255);
      if (x > 0) before = before && c.Color(x - 1, y) == RGB(255, 255, 255);
    }
    if (ink && (x == 0 || before)) starts.push_back(x);
  }
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[1] - starts[0], 100);
  EXPECT_EQ(starts[2] - starts[1], 50);
  // ETO_PDY pairs move the pen up the page by their second value.
  c.Fill(0xFF);
  INT pdy[4] = {60, 20, 0, 0};
  ASSERT_TRUE(ExtTextOutW(c.Dc(), 10, 40, ETO_PDY, nullptr, u"II", 2, pdy));
  RECT right{60, 0, 300, 60}, left{0, 0, 60, 60};
  EXPECT_NEAR(InkBox(c, left).bottom - InkBox(c, right).bottom, 20, 1);
}

TEST(TextColours, AlphaByteAndBackground) {
  Canvas c(120, 50, 32);
  std::memset(c.bits(), 0xFF, size_t(c.stride()) * 50);  // alpha 255 everywhere
  Font font(c.Dc(), -30, u"Liberation Sans");
  SetBkMode(c.Dc(), TRANSPARENT);
  ASSERT_TRUE(TextOutW(c.Dc(), 5, 5, u"Wx", 2));
  int inked = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 120; ++x) {
      if ((c.Pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
        ++inked;
        EXPECT_EQ(c.Alpha(x, y), 0u) << x << "," << y;
      }
    }
  EXPECT_GT(inked, 50);
  EXPECT_EQ(c.Alpha(119, 49), 0xFFu);  // not drawn: kept

  // OPAQUE mode paints the cell (advance x height) in the background colour.
  Canvas o(120, 50);
  Font f2(o.Dc(), -30, u"Liberation Sans");
  SetBkMode(o.Dc(), OPAQUE);
  SetBkColor(o.Dc(), RGB(0, 0, 255));
  SetTextColor(o.Dc(), RGB(255, 0, 0));
  SIZE size{};
  GetTextExtentPoint32W(o.Dc(), u"Wx", 2, &size);
  ASSERT_TRUE(TextOutW(o.Dc(), 5, 5, u"Wx", 2));
  EXPECT_EQ(o.Count(RGB(0, 0, 255)) + o.Count(RGB(255, 0, 0)) > size.cx * size.cy / 2, true);
  RECT box = o.InkBox();
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.top, 5);
  EXPECT_EQ(box.right, 5 + size.cx - 1);
  EXPECT_EQ(box.bottom, 5 + size.cy - 1);
}

TEST(TextQuality, AliasedOnOneBitAndOnRequest) {
  auto greys = [](const Canvas& c, int w, int h) {
    int n = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        COLORREF p = c.Color(x, y);
        n += p != RGB(0, 0, 0) && p != RGB(255, 255, 255);
      }
    return n;
  };
  Canvas smooth(120, 50);
  {
    Font f(smooth.Dc(), -30, u"Liberation Serif", FW_NORMAL, 0, ANTIALIASED_QUALITY);
    TextOutW(smooth.Dc(), 5, 5, u"Sag", 3);
  }
  EXPECT_GT(greys(smooth, 120, 50), 10);
  Canvas aliased(120, 50);
  {
    Font f(aliased.Dc(), -30, u"Liberation Serif", FW_NORMAL, 0, NONANTIALIASED_QUALITY);
    TextOutW(aliased.Dc(), 5, 5, u"Sag", 3);
  }
  EXPECT_EQ(greys(aliased, 120, 50), 0);
  EXPECT_GT(aliased.CountBlack(0, 0, 120, 50), 100);
  // A 1-bit target draws aliased whatever the quality; the same pixels.
  Canvas mono(120, 50, 1);
  {
    Font f(mono.Dc(), -30, u"Liberation Serif", FW_NORMAL, 0, ANTIALIASED_QUALITY);
    TextOutW(mono.Dc(), 5, 5, u"Sag", 3);
  }
  for (int y = 0; y < 50; ++y) EXPECT_EQ(mono.Text(y), aliased.Text(y)) << y;
}

TEST(TextQuality, TheFontsGaspTableDecidesGreyscaleBySize) {
  // Liberation Sans asks for aliased glyphs from 9 to 17 pixels per em and
  // for greyscale above; DejaVu Sans for greyscale from 9 pixels on.
  auto greys = [](const char16_t* face, LONG em) {
    Canvas c(160, 40);
    Font f(c.Dc(), -em, face, FW_NORMAL, 0, ANTIALIASED_QUALITY);
    TextOutW(c.Dc(), 2, 2, u"Grey or not", 11);
    int n = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 160; ++x) {
        COLORREF p = c.Color(x, y);
        n += p != RGB(0, 0, 0) && p != RGB(255, 255, 255);
      }
    EXPECT_GT(c.CountBlack(0, 0, 160, 40), 20) << em;
    return n;
  };
  EXPECT_EQ(greys(u"Liberation Sans", 12), 0);
  EXPECT_EQ(greys(u"Liberation Sans", 17), 0);
  EXPECT_GT(greys(u"Liberation Sans", 18), 20);
  EXPECT_GT(greys(u"DejaVu Sans", 12), 20);
}

TEST(TextClipping, ClippedRectangleAndOpaqueBox) {
  Canvas c(200, 60);
  Font font(c.Dc(), -40, u"Liberation Sans");
  SetBkMode(c.Dc(), TRANSPARENT);
  RECT clip{10, 0, 40, 60};
  ASSERT_TRUE(ExtTextOutW(c.Dc(), 5, 5, ETO_CLIPPED, &clip, u"WWWW", 4, nullptr));
  RECT ink = c.InkBox();
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 39);
  EXPECT_GT(c.CountBlack(10, 0, 40, 60), 20);
}

TEST(TextRecording, RecordedTextPlaysBackToTheSamePixels) {
  twtest::LeakGuard leaks;
  auto draw = [](HDC dc) {
    Font a(dc, -24, u"Arial");
    SetTextColor(dc, RGB(0, 0, 128));
    TextOutW(dc, 10, 10, u"Hello, world", 12);
    Font b(dc, -18, u"Times New Roman", FW_BOLD, 0, ANTIALIASED_QUALITY);
    SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
    TextOutW(dc, 190, 80, u"Right aligned", 13);
    Font d(dc, -16, u"Courier New", FW_NORMAL, 900);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    TextOutW(dc, 20, 140, u"Turned", 6);
  };
  Canvas direct(200, 150);
  draw(direct.Dc());
  EXPECT_GT(direct.CountBlack(0, 0, 200, 150) + direct.Count(RGB(0, 0, 128)), 0);

  Recording rec;
  draw(rec.Dc());
  HENHMETAFILE h = rec.Close();
  ASSERT_NE(h, nullptr);
  Canvas played(200, 150);
  RECT page = Recording::kPage;
  ASSERT_TRUE(PlayEnhMetaFile(played.Dc(), h, &page));
  EXPECT_TRUE(played.SamePixels(direct));
  // The recorded bounds hold the ink.
  ENHMETAHEADER header = twtest::HeaderOf(h);
  RECT ink = direct.InkBox();
  EXPECT_LE(header.rclBounds.left, ink.left);
  EXPECT_LE(header.rclBounds.top, ink.top);
  EXPECT_GE(header.rclBounds.right, ink.right);
  EXPECT_GE(header.rclBounds.bottom, ink.bottom);
  DeleteEnhMetaFile(h);
}

TEST(TextRecording, ExtentsOnAMetafileDcAreThoseOfItsReference) {
  twtest::LeakGuard leaks;
  HDC printer = twtest::PrinterDc(2159, 2794);  // Letter at 254 DPI
  ASSERT_NE(printer, nullptr);
  HDC meta = CreateEnhMetaFileW(printer, nullptr, nullptr, nullptr);
  ASSERT_NE(meta, nullptr);
  for (HDC dc : {printer, meta}) SetMapMode(dc, MM_LOMETRIC);
  SIZE a{}, b{};
  TEXTMETRICW ta{}, tb{};
  {
    Font fp(printer, -42, u"Liberation Serif");
    Font fm(meta, -42, u"Liberation Serif");
    ASSERT_TRUE(GetTextExtentPoint32W(printer, u"The quick brown fox", 19, &a));
    ASSERT_TRUE(GetTextExtentPoint32W(meta, u"The quick brown fox", 19, &b));
    ASSERT_TRUE(GetTextMetricsW(printer, &ta));
    ASSERT_TRUE(GetTextMetricsW(meta, &tb));
  }
  EXPECT_EQ(a.cx, b.cx);
  EXPECT_EQ(a.cy, b.cy);
  EXPECT_EQ(ta.tmHeight, tb.tmHeight);
  EXPECT_GT(a.cx, 300);  // 4.2 mm letters: a few centimetres of text
  DeleteEnhMetaFile(CloseEnhMetaFile(meta));
  DeleteDC(printer);
}

TEST(TextTransforms, WorldRotationAndMirroringTurnTheGlyphs) {
  Canvas upright(200, 200), turned(200, 200), mirrored(200, 200);
  auto draw = [](HDC dc, const XFORM* xf) {
    SetGraphicsMode(dc, GM_ADVANCED);
    if (xf) SetWorldTransform(dc, xf);
    Font f(dc, -30, u"Liberation Sans");
    SetTextAlign(dc, TA_LEFT | TA_BASELINE);
    TextOutW(dc, 0, 0, u"LLL", 3);
  };
  XFORM move{1, 0, 0, 1, 100, 100};
  XFORM quarter{0, -1, 1, 0, 100, 100};  // a quarter turn counter-clockwise on the page
  XFORM mirror{-1, 0, 0, 1, 100, 100};   // x mirrored
  draw(upright.Dc(), &move);
  draw(turned.Dc(), &quarter);
  draw(mirrored.Dc(), &mirror);
  RECT a = upright.InkBox(), b = turned.InkBox(), c = mirrored.InkBox();
  // Upright: right of x = 100, above y = 100.
  EXPECT_GE(a.left, 100);
  EXPECT_LE(a.bottom, 100);
  // Turned: the baseline runs up from (100, 100), the letters to its left;
  // the box is the upright one turned.
  EXPECT_LE(b.right, 100);
  EXPECT_LE(b.bottom, 100);
  EXPECT_NEAR(b.right - b.left, a.bottom - a.top, 1);
  EXPECT_NEAR(b.bottom - b.top, a.right - a.left, 1);
  // Mirrored: the same box reflected about x = 100.
  EXPECT_NEAR(c.right, 200 - a.left - 1, 1);
  EXPECT_NEAR(c.left, 200 - a.right - 1, 1);
  EXPECT_EQ(c.top, a.top);
}

// In GM_ADVANCED the whole text cell follows the world transform, the
// alignment offset included: top- or bottom-aligned text under a turned
// transform lands where the same text with the same turn as escapement
// lands. Turned pages are written this way, so an offset taken along the
// device's y axis instead would move every line of a turned page by up to
// twice its ascent. (Some GDI implementations do exactly that; their own
// escapement text agrees with what is checked here.)
TEST(TextTransforms, AlignmentOffsetTurnsWithTheWorld) {
  struct Turn {
    XFORM xf;
    LONG escapement;
  };
  const Turn turns[] = {{{0, -1, 1, 0, 100, 100}, 900},
                        {{-1, 0, 0, -1, 100, 100}, 1800},
                        {{0, 1, -1, 0, 100, 100}, 2700}};
  for (UINT align : {UINT(TA_TOP), UINT(TA_BOTTOM), UINT(TA_BASELINE)}) {
    for (const Turn& t : turns) {
      Canvas world(200, 200), escaped(200, 200);
      SetGraphicsMode(world.Dc(), GM_ADVANCED);
      ASSERT_TRUE(SetWorldTransform(world.Dc(), &t.xf));
      {
        Font f(world.Dc(), -30, u"Liberation Sans");
        SetTextAlign(world.Dc(), TA_LEFT | align);
        ASSERT_TRUE(TextOutW(world.Dc(), 0, 0, u"HHxH", 4));
      }
      Font f(escaped.Dc(), -30, u"Liberation Sans", FW_NORMAL, t.escapement);
      SetTextAlign(escaped.Dc(), TA_LEFT | align);
      ASSERT_TRUE(TextOutW(escaped.Dc(), 100, 100, u"HHxH", 4));
      const RECT a = world.InkBox(), b = escaped.InkBox();
      ASSERT_LT(a.left, a.right) << align << " " << t.escapement;
      EXPECT_NEAR(a.left, b.left, 1) << align << " " << t.escapement;
      EXPECT_NEAR(a.top, b.top, 1) << align << " " << t.escapement;
      EXPECT_NEAR(a.right, b.right, 1) << align << " " << t.escapement;
      EXPECT_NEAR(a.bottom, b.bottom, 1) << align << " " << t.escapement;
      if (align == TA_TOP && t.escapement == 900) {
        // A quarter turn counter-clockwise: the cell's top edge is the line
        // x = 100, the letters stand right of it.
        EXPECT_GE(a.left, 100);
      }
    }
  }
}

TEST(TextThreads, PrivateFontsChangeWhileOtherThreadsRender) {
  // Another thread adds and removes a memory font over and over while this
  // one draws and measures with the same family: no crash, every call works.
  std::vector<BYTE> bytes;
  {
    Canvas c(4, 4);
    Font f(c.Dc(), -20, u"DejaVu Sans");
    DWORD size = GetFontData(c.Dc(), 0, 0, nullptr, 0);
    ASSERT_NE(size, GDI_ERROR);
    bytes.resize(size);
    GetFontData(c.Dc(), 0, 0, bytes.data(), size);
  }
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      DWORD count = 0;
      HANDLE h = AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, &count);
      if (h) RemoveFontMemResourceEx(h);
    }
  });
  Canvas c(300, 60);
  bool allDrawn = true;
  for (int i = 0; i < 60; ++i) {
    Font f(c.Dc(), -(12 + i % 20), u"DejaVu Sans");
    SIZE size{};
    allDrawn = allDrawn && TextOutW(c.Dc(), 5, 5, u"threads", 7) && GetTextExtentPoint32W(c.Dc(), u"threads", 7, &size) &&
               size.cx > 0;
  }
  stop = true;
  churn.join();
  EXPECT_TRUE(allDrawn);
  EXPECT_GT(c.CountBlack(0, 0, 300, 60), 0);
}

TEST(TextRecording, CompatibleModeTextInAYUpMappingPlaysUpright) {
  twtest::LeakGuard leaks;
  Recording rec;
  SetMapMode(rec.Dc(), MM_LOMETRIC);  // 0.1 mm units, y up: one reference pixel per unit
  {
    Font f(rec.Dc(), -60, u"Liberation Sans");
    TextOutW(rec.Dc(), 20, -20, u"L", 1);
  }
  HENHMETAFILE h = rec.Close();
  ASSERT_NE(h, nullptr);
  Canvas played(200, 150);
  RECT page = Recording::kPage;
  ASSERT_TRUE(PlayEnhMetaFile(played.Dc(), h, &page));
  RECT ink = played.InkBox();
  ASSERT_GT(ink.bottom - ink.top, 30);
  // An upright L: the foot (a long row of ink) at the bottom, the stem (a
  // short one) at the top.
  auto rowInk = [&](int y) { return played.CountBlack(ink.left, y, ink.right + 1, y + 1); };
  EXPECT_GT(rowInk(ink.bottom), 2 * rowInk(ink.top));
  EXPECT_GE(ink.top, 20);
  DeleteEnhMetaFile(h);
}

namespace {

// A font of `charset` on a canvas, and what 8-bit text draws with it next
// to the same text given as characters.
struct CharsetCase {
  BYTE charset;
  std::u16string expected;  // the characters bytes 0xC0-0xFF stand for
};

LOGFONTW logfontWithCharset(BYTE charset) {
  LOGFONTW lf = texttest::MakeLogfont(-20, u"Liberation Sans");
  lf.lfCharSet = charset;
  return lf;
}

std::string highBytes() {
  std::string bytes;
  for (int b = 0xC0; b <= 0xFF; ++b) bytes += static_cast<char>(b);
  return bytes;
}

std::u16string range(char16_t first) {
  std::u16string s;
  for (int i = 0; i < 64; ++i) s += static_cast<char16_t>(first + i);
  return s;
}

// Four lines of 16 characters each, as ExtTextOutA (or W) draws them.
void drawLines(HDC dc, const std::string* bytes, const std::u16string* wide) {
  for (int line = 0; line < 4; ++line) {
    if (bytes) ExtTextOutA(dc, 5, 5 + 24 * line, 0, nullptr, bytes->data() + 16 * line, 16, nullptr);
    if (wide) ExtTextOutW(dc, 5, 5 + 24 * line, 0, nullptr, wide->data() + 16 * line, 16, nullptr);
  }
}

}  // namespace

TEST(TextCharsets, EightBitTextIsReadInTheCodePageOfTheFontsCharset) {
  std::u16string latin1 = range(0xC0);
  const CharsetCase cases[] = {
      {RUSSIAN_CHARSET, range(0x0410)},  // А..я
      {EASTEUROPE_CHARSET, [] {           // 1250's upper row
         char16_t row[64];
         MultiByteToWideChar(1250, 0, highBytes().data(), 64, reinterpret_cast<LPWSTR>(row), 64);
         return std::u16string(row, 64);
       }()},
      {ANSI_CHARSET, latin1},    // the machine's ANSI code page, 1252
      {DEFAULT_CHARSET, latin1},
  };
  std::string bytes = highBytes();
  for (const CharsetCase& c : cases) {
    SCOPED_TRACE(int(c.charset));
    LOGFONTW lf = logfontWithCharset(c.charset);
    Canvas asBytes(360, 110), asText(360, 110), asLatin1(360, 110);
    {
      Font f(asBytes.Dc(), lf);
      drawLines(asBytes.Dc(), &bytes, nullptr);
    }
    {
      Font f(asText.Dc(), lf);
      drawLines(asText.Dc(), nullptr, &c.expected);
    }
    {
      Font f(asLatin1.Dc(), lf);
      drawLines(asLatin1.Dc(), nullptr, &latin1);
    }
    EXPECT_GT(asBytes.CountBlack(0, 0, 360, 110), 200);
    EXPECT_TRUE(asBytes.SamePixels(asText));
    if (c.expected != latin1) {
      EXPECT_FALSE(asBytes.SamePixels(asLatin1));
    }

    // Through a metafile: the record keeps the bytes; the advances recorded
    // with them are those of the characters drawn, so playback draws the
    // same pixels.
    Recording rec;
    {
      Font f(rec.Dc(), lf);
      drawLines(rec.Dc(), &bytes, nullptr);
      POLYTEXTA items[2] = {{5, 110, 16, bytes.data(), 0, {}, nullptr}, {200, 110, 16, bytes.data() + 48, 0, {}, nullptr}};
      ASSERT_TRUE(PolyTextOutA(rec.Dc(), items, 2));
    }
    HENHMETAFILE h = rec.Close();
    ASSERT_NE(h, nullptr);
    Canvas played(200, 150), direct(200, 150);
    {
      Font f(direct.Dc(), lf);
      drawLines(direct.Dc(), nullptr, &c.expected);
      ExtTextOutW(direct.Dc(), 5, 110, 0, nullptr, c.expected.data(), 16, nullptr);
      ExtTextOutW(direct.Dc(), 200, 110, 0, nullptr, c.expected.data() + 48, 16, nullptr);
    }
    RECT page = Recording::kPage;
    ASSERT_TRUE(PlayEnhMetaFile(played.Dc(), h, &page));
    EXPECT_TRUE(played.SamePixels(direct));
    DeleteEnhMetaFile(h);
  }
}

TEST(TextCharsets, SymbolFontsTakeTheBytesAndAnsiFollowsTheMachine) {
  // SYMBOL_CHARSET: bytes are taken as they are (a symbol font finds byte
  // b at U+F000 + b), not read in a code page: 0x80-0xBF are not 1252's.
  std::string bytes;
  for (int b = 0x80; b < 0xC0; ++b) bytes += static_cast<char>(b);
  std::u16string asIs = range(0x0080), in1252(64, u'\0');
  MultiByteToWideChar(1252, 0, bytes.data(), 64, reinterpret_cast<LPWSTR>(in1252.data()), 64);
  LOGFONTW symbol = logfontWithCharset(SYMBOL_CHARSET);
  Canvas asBytes(360, 110), asText(360, 110), asAnsi(360, 110);
  {
    Font f(asBytes.Dc(), symbol);
    drawLines(asBytes.Dc(), &bytes, nullptr);
  }
  {
    Font f(asText.Dc(), symbol);
    drawLines(asText.Dc(), nullptr, &asIs);
  }
  {
    Font f(asAnsi.Dc(), symbol);
    drawLines(asAnsi.Dc(), nullptr, &in1252);
  }
  EXPECT_TRUE(asBytes.SamePixels(asText));
  EXPECT_FALSE(asBytes.SamePixels(asAnsi));
  bytes = highBytes();

  // ANSI_CHARSET reads the machine's ANSI code page: 1251 on a Cyrillic
  // machine.
  twtest::RootGuard keep;
  twtest::TempRoot root;
  tw::config::Machine m = *tw::config::Get();
  m.ansiCodePage = 1251;
  ASSERT_TRUE(tw::config::Save(m));
  LOGFONTW ansi = logfontWithCharset(ANSI_CHARSET);
  std::u16string cyrillic = range(0x0410);
  Canvas machine(360, 110), cyrillicText(360, 110);
  {
    Font f(machine.Dc(), ansi);
    drawLines(machine.Dc(), &bytes, nullptr);
  }
  {
    Font f(cyrillicText.Dc(), ansi);
    drawLines(cyrillicText.Dc(), nullptr, &cyrillic);
  }
  EXPECT_TRUE(machine.SamePixels(cyrillicText));
}
