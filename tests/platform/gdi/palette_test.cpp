// Logical palettes as lookup tables.
#include <windows.h>

#include <vector>

#include "tw_test.h"

namespace {

HPALETTE makePalette(std::vector<PALETTEENTRY> entries) {
  std::vector<BYTE> data(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(data.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(entries.size());
  std::copy(entries.begin(), entries.end(), lp->palPalEntry);
  return CreatePalette(lp);
}

TEST(GdiPalettes, NearestIndexEntriesAndSelection) {
  twtest::LeakGuard guard;
  HPALETTE pal = makePalette({{0, 0, 0, 0}, {255, 255, 255, 0}, {200, 0, 0, 0}, {200, 0, 0, 0}});
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(250, 10, 10)), 2u);  // the first of equal entries
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(220, 220, 220)), 1u);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(30, 30, 30)), 0u);
  EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 4u);
  PALETTEENTRY e[2];
  EXPECT_EQ(GetPaletteEntries(pal, 3, 2, e), 1u);
  EXPECT_EQ(e[0].peRed, 200);
  PALETTEENTRY blue{0, 0, 255, 0};
  EXPECT_EQ(SetPaletteEntries(pal, 3, 1, &blue), 1u);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(0, 0, 250)), 3u);
  WORD count = 0;
  EXPECT_EQ(GetObjectW(pal, sizeof(count), &count), 2);
  EXPECT_EQ(count, 4);

  HDC dc = CreateCompatibleDC(nullptr);
  HPALETTE old = SelectPalette(dc, pal, FALSE);
  EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(RealizePalette(dc), 0u);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), pal);
  // PALETTEINDEX colours take the selected palette's entry.
  EXPECT_EQ(GetNearestColor(dc, PALETTEINDEX(2)), RGB(200, 0, 0));
  SelectPalette(dc, old, FALSE);
  DeleteDC(dc);
  DeleteObject(pal);

  LOGPALETTE bad{0x200, 1, {{0, 0, 0, 0}}};
  EXPECT_EQ(CreatePalette(&bad), nullptr);
  EXPECT_EQ(GetNearestPaletteIndex(reinterpret_cast<HPALETTE>(0x5), 0), CLR_INVALID);
}

}  // namespace
