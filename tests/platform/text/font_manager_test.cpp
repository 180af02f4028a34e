// The font manager: metrics against the font's own tables, the lfHeight
// rules, substitution, private memory fonts, glyph indices and the
// measuring calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../emf/emf_canvas.h"
#include "text_test_util.h"
#include "tw/pathmap.h"
#include "tw_test.h"

using twtest::Canvas;
using texttest::Font;

namespace {

constexpr DWORD tableTag(const char (&t)[5]) {
  return DWORD(BYTE(t[0])) | DWORD(BYTE(t[1])) << 8 | DWORD(BYTE(t[2])) << 16 | DWORD(BYTE(t[3])) << 24;
}

std::vector<BYTE> fontTable(HDC dc, DWORD tag) {
  DWORD size = GetFontData(dc, tag, 0, nullptr, 0);
  if (size == GDI_ERROR) return {};
  std::vector<BYTE> data(size);
  EXPECT_EQ(GetFontData(dc, tag, 0, data.data(), size), size);
  return data;
}

int u16(const std::vector<BYTE>& t, size_t at) { return (t.at(at) << 8) | t.at(at + 1); }
int s16(const std::vector<BYTE>& t, size_t at) { return int16_t(u16(t, at)); }

int widthOf(HDC dc, const char16_t* s) {
  SIZE size{};
  EXPECT_TRUE(GetTextExtentPoint32W(dc, s, int(std::char_traits<char16_t>::length(s)), &size));
  return size.cx;
}

// The bytes of an installed font file, found through the font itself.
std::vector<BYTE> fontFileBytes(const char16_t* face) {
  Canvas c(4, 4);
  Font f(c.Dc(), -20, face);
  DWORD size = GetFontData(c.Dc(), 0, 0, nullptr, 0);
  if (size == GDI_ERROR) return {};
  std::vector<BYTE> bytes(size);
  GetFontData(c.Dc(), 0, 0, bytes.data(), size);
  return bytes;
}

// Renames every "Liberation Mono" in a font file's name strings (UTF-16BE
// and 8-bit) to "Liberation Sans" (same length, so no offset changes).
void renameMonoToSans(std::vector<BYTE>& bytes) {
  const std::string from8 = "Liberation Mono", to8 = "Liberation Sans";
  std::string from16, to16;
  for (char ch : from8) from16 += '\0', from16 += ch;
  for (char ch : to8) to16 += '\0', to16 += ch;
  for (auto [from, to] : {std::pair{from8, to8}, std::pair{from16, to16}}) {
    auto it = bytes.begin();
    while ((it = std::search(it, bytes.end(), from.begin(), from.end())) != bytes.end())
      it = std::copy(to.begin(), to.end(), it);
  }
}

}  // namespace

TEST(FontMetrics, LiberationSansAtTenPointsAndThreeHundredDpiFollowsItsTables) {
  twtest::LeakGuard leaks;
  HDC printer = twtest::PrinterDc(2159, 2794, 300);
  ASSERT_NE(printer, nullptr);
  ASSERT_EQ(GetDeviceCaps(printer, LOGPIXELSY), 300);
  LONG height = -(10 * GetDeviceCaps(printer, LOGPIXELSY) + 36) / 72;  // 10 points, rounded
  EXPECT_EQ(height, -42);
  {
    Font font(printer, height, u"Liberation Sans");
    auto head = fontTable(printer, tableTag("head"));
    auto os2 = fontTable(printer, tableTag("OS/2"));
    auto hhea = fontTable(printer, tableTag("hhea"));
    ASSERT_GE(head.size(), 54u);
    ASSERT_GE(os2.size(), 78u);
    ASSERT_GE(hhea.size(), 36u);
    double em = 42, upem = u16(head, 18);
    int winAscent = u16(os2, 74), winDescent = u16(os2, 76), avg = s16(os2, 2);
    int ascender = s16(hhea, 4), descender = s16(hhea, 6), lineGap = s16(hhea, 8), maxAdvance = u16(hhea, 10);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(printer, &tm));
    EXPECT_EQ(tm.tmAscent, std::lround(winAscent * em / upem));
    EXPECT_EQ(tm.tmDescent, std::lround(winDescent * em / upem));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 42);
    double gap = lineGap - ((winAscent + winDescent) - (ascender - descender));
    EXPECT_EQ(tm.tmExternalLeading, std::max(0L, std::lround(gap * em / upem)));
    EXPECT_EQ(tm.tmAveCharWidth, std::lround(avg * em / upem));
    EXPECT_EQ(tm.tmMaxCharWidth, std::lround(maxAdvance * em / upem));
    EXPECT_EQ(tm.tmWeight, FW_NORMAL);
    EXPECT_EQ(tm.tmItalic, 0);
    EXPECT_EQ(tm.tmDigitizedAspectY, 300);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH);  // set for variable pitch, as GDI has it
    // Liberation Sans at 42 pixels: 38 + 9, as the tables give.
    EXPECT_EQ(tm.tmAscent, 38);
    EXPECT_EQ(tm.tmDescent, 9);
  }
  DeleteDC(printer);
}

TEST(FontMetrics, HeightSignRules) {
  Canvas c(4, 4);
  TEXTMETRICW em{}, cell{}, deflt{};
  {
    Font f(c.Dc(), -40, u"Liberation Serif");  // < 0: the em height
    GetTextMetricsW(c.Dc(), &em);
  }
  {
    Font f(c.Dc(), 40, u"Liberation Serif");  // > 0: the cell height
    GetTextMetricsW(c.Dc(), &cell);
  }
  {
    Font f(c.Dc(), 0, u"Liberation Serif");  // 0: a default size (12 points at the device's resolution)
    GetTextMetricsW(c.Dc(), &deflt);
  }
  EXPECT_EQ(em.tmHeight - em.tmInternalLeading, 40);
  EXPECT_EQ(cell.tmHeight, 40);
  EXPECT_LT(cell.tmHeight - cell.tmInternalLeading, 40);
  EXPECT_EQ(deflt.tmHeight - deflt.tmInternalLeading, 16);  // the screen's 96 DPI
  // Mapping modes scale the request: 4 mm in MM_LOMETRIC on the 96-DPI
  // screen is 15 pixels, reported back in logical units.
  SetMapMode(c.Dc(), MM_LOMETRIC);
  TEXTMETRICW metric{};
  {
    Font f(c.Dc(), -40, u"Liberation Serif");
    GetTextMetricsW(c.Dc(), &metric);
  }
  EXPECT_NEAR(metric.tmHeight - metric.tmInternalLeading, 40, 3);
  EXPECT_NEAR(metric.tmHeight, em.tmHeight, 6);
}

TEST(FontMatching, SubstitutesAndFaceNames) {
  Canvas c(4, 4);
  const char16_t* sample = u"Metric compatible text 0123";
  std::pair<const char16_t*, const char16_t*> pairs[] = {
      {u"Arial", u"Liberation Sans"},          {u"helvetica", u"Liberation Sans"},
      {u"Times New Roman", u"Liberation Serif"}, {u"Courier New", u"Liberation Mono"},
      {u"Calibri", u"Carlito"},                {u"Cambria", u"Caladea"},
  };
  for (auto [windows, debian] : pairs) {
    int a, b;
    {
      Font f(c.Dc(), -33, windows);
      a = widthOf(c.Dc(), sample);
      WCHAR face[LF_FACESIZE]{};
      EXPECT_EQ(GetTextFaceW(c.Dc(), LF_FACESIZE, face), int(std::char_traits<char16_t>::length(windows)) + 1);
      EXPECT_EQ(std::u16string(face), std::u16string(windows));  // the face asked for
    }
    {
      Font f(c.Dc(), -33, debian);
      b = widthOf(c.Dc(), sample);
    }
    EXPECT_EQ(a, b) << std::string(windows, windows + 3);
  }
  // Unknown faces never fail: a fixed-pitch request gets a monospaced face.
  LOGFONTW lf = texttest::MakeLogfont(-30, u"No Such Face 42");
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  HFONT mono = CreateFontIndirectW(&lf);
  ASSERT_NE(mono, nullptr);
  HGDIOBJ old = SelectObject(c.Dc(), mono);
  EXPECT_EQ(widthOf(c.Dc(), u"iiii"), widthOf(c.Dc(), u"WWWW"));
  SelectObject(c.Dc(), old);
  DeleteObject(mono);
  // Bold and italic requests: a bold face is wider; an italic is reported.
  int regular, bold;
  {
    Font f(c.Dc(), -30, u"Arial");
    regular = widthOf(c.Dc(), sample);
  }
  {
    Font f(c.Dc(), -30, u"Arial", FW_BOLD);
    bold = widthOf(c.Dc(), sample);
    TEXTMETRICW tm{};
    GetTextMetricsW(c.Dc(), &tm);
    EXPECT_EQ(tm.tmWeight, FW_BOLD);
  }
  EXPECT_GT(bold, regular);
}

TEST(FontMatching, MemoryFontBeatsTheInstalledFaceUntilRemoved) {
  twtest::LeakGuard leaks;
  std::vector<BYTE> bytes = fontFileBytes(u"Liberation Mono");
  ASSERT_GT(bytes.size(), 10000u);
  renameMonoToSans(bytes);
  Canvas c(4, 4);
  auto monospaced = [&] {
    Font f(c.Dc(), -30, u"Liberation Sans");
    return widthOf(c.Dc(), u"iiii") == widthOf(c.Dc(), u"WWWW");
  };
  EXPECT_FALSE(monospaced());
  DWORD count = 0;
  HANDLE res = AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, &count);
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(count, 1u);
  bytes.assign(bytes.size(), 0);  // the caller's copy may go at once
  EXPECT_TRUE(monospaced());
  // Memory fonts are private: not enumerated.
  LOGFONTW query = texttest::MakeLogfont(0, u"");
  int families = 0;
  EnumFontFamiliesExW(
      c.Dc(), &query, [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM p) -> int {
        ++*reinterpret_cast<int*>(p);
        return 1;
      },
      reinterpret_cast<LPARAM>(&families), 0);
  EXPECT_GT(families, 5);
  EXPECT_TRUE(RemoveFontMemResourceEx(res));
  EXPECT_FALSE(monospaced());
  SetLastError(0);
  EXPECT_FALSE(RemoveFontMemResourceEx(res));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  // Bytes that are no font are refused.
  std::vector<BYTE> junk(1000, 0x41);
  EXPECT_EQ(AddFontMemResourceEx(junk.data(), DWORD(junk.size()), nullptr, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST(FontMatching, GlyphIndexTextWithAMemoryFont) {
  std::vector<BYTE> bytes = fontFileBytes(u"DejaVu Serif");
  ASSERT_GT(bytes.size(), 10000u);
  DWORD count = 0;
  HANDLE res = AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, &count);
  ASSERT_NE(res, nullptr);
  Canvas chars(160, 50), glyphs(160, 50);
  WORD indices[5]{};
  {
    Font f(chars.Dc(), -30, u"dejavu serif");
    ASSERT_EQ(GetGlyphIndicesW(chars.Dc(), u"Glyph", 5, indices, GGI_MARK_NONEXISTING_GLYPHS), 5u);
    ASSERT_TRUE(TextOutW(chars.Dc(), 5, 5, u"Glyph", 5));
  }
  for (WORD g : indices) EXPECT_NE(g, 0xFFFF);
  {
    Font f(glyphs.Dc(), -30, u"dejavu serif");
    ASSERT_TRUE(ExtTextOutW(glyphs.Dc(), 5, 5, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<LPCWSTR>(indices), 5,
                            nullptr));
    SIZE byGlyph{}, byChar{};
    GetTextExtentPointI(glyphs.Dc(), indices, 5, &byGlyph);
    GetTextExtentPoint32W(glyphs.Dc(), u"Glyph", 5, &byChar);
    EXPECT_EQ(byGlyph.cx, byChar.cx);
    WORD missing[1]{};
    GetGlyphIndicesW(glyphs.Dc(), u"\xE123", 1, missing, GGI_MARK_NONEXISTING_GLYPHS);
    EXPECT_EQ(missing[0], 0xFFFF);
  }
  EXPECT_TRUE(glyphs.SamePixels(chars));
  EXPECT_GT(chars.CountBlack(0, 0, 160, 50), 50);
  EXPECT_TRUE(RemoveFontMemResourceEx(res));
}

TEST(TextMeasuring, ExtentsWidthsAndAbcAgree) {
  Canvas c(4, 4);
  Font f(c.Dc(), -37, u"Liberation Serif");
  const char16_t* text = u"Waffle, iota";
  int n = int(std::char_traits<char16_t>::length(text));
  SIZE size{};
  INT partial[32]{};
  INT fit = -1;
  ASSERT_TRUE(GetTextExtentExPointW(c.Dc(), text, n, 100, &fit, partial, &size));
  EXPECT_EQ(partial[n - 1], size.cx);
  EXPECT_LE(partial[fit - 1], 100);
  EXPECT_GT(partial[fit], 100);
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    INT w = 0;
    ASSERT_TRUE(GetCharWidth32W(c.Dc(), text[i], text[i], &w));
    ABC abc{};
    ASSERT_TRUE(GetCharABCWidthsW(c.Dc(), text[i], text[i], &abc));
    EXPECT_NEAR(abc.abcA + int(abc.abcB) + abc.abcC, w, 1) << i;
    sum += w;
  }
  EXPECT_EQ(sum, size.cx);
  // Character extra and justification add to the extents.
  SetTextCharacterExtra(c.Dc(), 2);
  SIZE extra{};
  GetTextExtentPoint32W(c.Dc(), text, n, &extra);
  EXPECT_EQ(extra.cx, size.cx + 2 * n);
  SetTextCharacterExtra(c.Dc(), 0);
  SetTextJustification(c.Dc(), 11, 1);
  GetTextExtentPoint32W(c.Dc(), text, n, &extra);
  EXPECT_EQ(extra.cx, size.cx + 11);
  SetTextJustification(c.Dc(), 0, 0);
  // lfWidth sets the average character width: the text stretches by the
  // ratio of the widths.
  TEXTMETRICW natural{};
  GetTextMetricsW(c.Dc(), &natural);
  LOGFONTW lf = texttest::MakeLogfont(-37, u"Liberation Serif");
  lf.lfWidth = 40;
  Font wide(c.Dc(), lf);
  TEXTMETRICW tm{};
  GetTextMetricsW(c.Dc(), &tm);
  EXPECT_NEAR(tm.tmAveCharWidth, 40, 1);
  SIZE stretched{};
  GetTextExtentPoint32W(c.Dc(), text, n, &stretched);
  EXPECT_NEAR(stretched.cx, size.cx * 40.0 / natural.tmAveCharWidth, n);
}

TEST(TextMeasuring, BadArgumentsAndUnicodeRanges) {
  Canvas c(4, 4);
  Font f(c.Dc(), -20, u"Liberation Sans");
  SIZE size{};
  SetLastError(0);
  EXPECT_FALSE(GetTextExtentPoint32W(c.Dc(), nullptr, 3, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(GetTextExtentPoint32W(reinterpret_cast<HDC>(0x77), u"a", 1, &size));
  EXPECT_EQ(GetFontData(c.Dc(), tableTag("zzzz"), 0, nullptr, 0), GDI_ERROR);
  DWORD bytes = GetFontUnicodeRanges(c.Dc(), nullptr);
  ASSERT_GE(bytes, sizeof(GLYPHSET));
  std::vector<BYTE> buffer(bytes);
  auto* gs = reinterpret_cast<GLYPHSET*>(buffer.data());
  ASSERT_EQ(GetFontUnicodeRanges(c.Dc(), gs), bytes);
  EXPECT_GT(gs->cGlyphsSupported, 500u);
  bool hasA = false;
  for (DWORD i = 0; i < gs->cRanges; ++i)
    hasA = hasA || (gs->ranges[i].wcLow <= u'A' && u'A' < gs->ranges[i].wcLow + gs->ranges[i].cGlyphs);
  EXPECT_TRUE(hasA);
}

TEST(DrawText, CalcRectWrapsAndSingleLineCentres) {
  Canvas c(300, 200);
  Font f(c.Dc(), -20, u"Liberation Sans");
  TEXTMETRICW tm{};
  GetTextMetricsW(c.Dc(), &tm);
  RECT r{10, 10, 110, 10};
  const char16_t* text = u"several words that cannot fit on one line of a hundred pixels";
  int h = DrawTextW(c.Dc(), text, -1, &r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GT(h, 2 * tm.tmHeight);
  EXPECT_EQ(h % tm.tmHeight, 0);
  EXPECT_EQ(r.bottom - r.top, h);
  EXPECT_LE(r.right, 110);
  EXPECT_EQ(c.CountBlack(0, 0, 300, 200), 0);  // DT_CALCRECT draws nothing

  RECT box{0, 0, 300, 200};
  DrawTextW(c.Dc(), u"&Centred", -1, &box, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  RECT ink = c.InkBox();
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 150, 3);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 100, tm.tmHeight / 2);
  SIZE plain{};
  GetTextExtentPoint32W(c.Dc(), u"Centred", 7, &plain);
  EXPECT_LE(ink.right - ink.left, plain.cx);  // the prefix character is not drawn
}

TEST(FontMatching, PrivateFontFileAddedAndRemoved) {
  std::vector<BYTE> bytes = fontFileBytes(u"Liberation Mono");
  ASSERT_GT(bytes.size(), 10000u);
  renameMonoToSans(bytes);
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(u"C:\\Fonts\\private.ttf", host), 0u);
  std::filesystem::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  Canvas c(4, 4);
  auto monospaced = [&] {
    Font f(c.Dc(), -30, u"Liberation Sans");
    return widthOf(c.Dc(), u"iiii") == widthOf(c.Dc(), u"WWWW");
  };
  SetLastError(0);
  EXPECT_EQ(AddFontResourceExW(u"C:\\Fonts\\private.ttf", 0, nullptr), 0);  // only private fonts here
  EXPECT_EQ(AddFontResourceExW(u"C:\\Fonts\\missing.ttf", FR_PRIVATE, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(AddFontResourceExW(u"C:\\Fonts\\private.ttf", FR_PRIVATE, nullptr), 1);
  EXPECT_TRUE(monospaced());
  EXPECT_TRUE(RemoveFontResourceExW(u"c:\\fonts\\PRIVATE.ttf", FR_PRIVATE, nullptr));
  EXPECT_FALSE(monospaced());
  EXPECT_FALSE(RemoveFontResourceExW(u"C:\\Fonts\\private.ttf", FR_PRIVATE, nullptr));
}
