// GDI objects and handles: creation, GetObject, stock objects, deletion
// while selected, invalid handles, concurrent use.
#include <windows.h>

#include <thread>
#include <vector>

#include "tw/debug.h"
#include "tw_test.h"

namespace {

TEST(GdiHandles, InvalidHandlesFailWithoutCrashing) {
  HGDIOBJ bogus[] = {reinterpret_cast<HGDIOBJ>(0x1234), reinterpret_cast<HGDIOBJ>(0x80000001),
                     reinterpret_cast<HGDIOBJ>(~ULONG_PTR{0}), nullptr};
  for (HGDIOBJ h : bogus) {
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetObjectType(h), 0u);
    EXPECT_EQ(GetObjectW(h, 0, nullptr), 0);
    EXPECT_EQ(SelectObject(static_cast<HDC>(h), GetStockObject(BLACK_PEN)), nullptr);
    EXPECT_FALSE(Rectangle(static_cast<HDC>(h), 0, 0, 1, 1));
    EXPECT_EQ(GetDeviceCaps(static_cast<HDC>(h), HORZRES), 0);
  }
  // A deleted handle is stale, and a handle of the wrong kind is refused.
  HPEN pen = CreatePen(PS_SOLID, 1, 0);
  ASSERT_TRUE(DeleteObject(pen));
  EXPECT_FALSE(DeleteObject(pen));
  HRGN rgn = CreateRectRgn(0, 0, 1, 1);
  EXPECT_EQ(CombineRgn(rgn, reinterpret_cast<HRGN>(GetStockObject(WHITE_BRUSH)), nullptr, RGN_COPY), ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  DeleteObject(rgn);
  // A sign-extended handle still names its object.
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  auto value = static_cast<std::int32_t>(reinterpret_cast<ULONG_PTR>(brush));
  HGDIOBJ extended = reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(value));
  EXPECT_EQ(GetObjectType(extended), static_cast<DWORD>(OBJ_BRUSH));
  DeleteObject(brush);
}

TEST(GdiHandles, CountedAndReleased) {
  auto before = tw::debug::Get(tw::debug::Counter::GdiObjects);
  HPEN pen = CreatePen(PS_DASH, 0, RGB(1, 2, 3));
  HBRUSH brush = CreateHatchBrush(HS_CROSS, RGB(4, 5, 6));
  EXPECT_EQ(tw::debug::Get(tw::debug::Counter::GdiObjects), before + 2);
  GetStockObject(GRAY_BRUSH);  // stock objects are not counted
  EXPECT_EQ(tw::debug::Get(tw::debug::Counter::GdiObjects), before + 2);
  DeleteObject(pen);
  DeleteObject(brush);
  EXPECT_EQ(tw::debug::Get(tw::debug::Counter::GdiObjects), before);
}

TEST(GdiObjects, GetObjectReturnsTheCreationData) {
  twtest::LeakGuard guard;
  HPEN pen = CreatePen(PS_INSIDEFRAME, 5, RGB(9, 8, 7));
  LOGPEN lp{};
  ASSERT_EQ(GetObjectW(pen, sizeof(lp), &lp), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_INSIDEFRAME));
  EXPECT_EQ(lp.lopnWidth.x, 5);
  EXPECT_EQ(lp.lopnColor, RGB(9, 8, 7));
  EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
  DeleteObject(pen);

  DWORD dashes[] = {4, 2};
  LOGBRUSH lb{BS_SOLID, RGB(1, 1, 1), 0};
  HPEN ext = ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_SQUARE, 3, &lb, 2, dashes);
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(GetObjectType(ext), static_cast<DWORD>(OBJ_EXTPEN));
  BYTE buffer[64];
  ASSERT_EQ(GetObjectW(ext, sizeof(buffer), buffer), static_cast<int>(offsetof(EXTLOGPEN, elpStyleEntry) + 8));
  auto* elp = reinterpret_cast<EXTLOGPEN*>(buffer);
  EXPECT_EQ(elp->elpWidth, 3u);
  EXPECT_EQ(elp->elpNumEntries, 2u);
  EXPECT_EQ(elp->elpStyleEntry[0], 4u);
  DeleteObject(ext);
  // Cosmetic extended pens are one unit wide with a solid brush.
  EXPECT_EQ(ExtCreatePen(PS_COSMETIC | PS_SOLID, 2, &lb, 0, nullptr), nullptr);

  HBRUSH hatch = CreateHatchBrush(HS_BDIAGONAL, RGB(7, 7, 7));
  LOGBRUSH back{};
  ASSERT_EQ(GetObjectW(hatch, sizeof(back), &back), static_cast<int>(sizeof(LOGBRUSH)));
  EXPECT_EQ(back.lbStyle, static_cast<UINT>(BS_HATCHED));
  EXPECT_EQ(back.lbHatch, static_cast<ULONG_PTR>(HS_BDIAGONAL));
  DeleteObject(hatch);
  EXPECT_EQ(CreateHatchBrush(99, 0), nullptr);

  LOGFONTW lf{};
  lf.lfHeight = -42;
  lf.lfWeight = FW_BOLD;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  std::u16string face = u"Arial";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  LOGFONTW out{};
  ASSERT_EQ(GetObjectW(font, sizeof(out), &out), static_cast<int>(sizeof(LOGFONTW)));
  EXPECT_EQ(out.lfHeight, -42);
  EXPECT_EQ(out.lfQuality, NONANTIALIASED_QUALITY);
  EXPECT_EQ(std::u16string(out.lfFaceName), u"Arial");
  DeleteObject(font);
  EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
}

TEST(GdiObjects, StockObjectsAndSelection) {
  twtest::LeakGuard guard;
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
  EXPECT_NE(GetCurrentObject(dc, OBJ_BITMAP), nullptr);
  EXPECT_EQ(GetStockObject(42), nullptr);
  // Deleting a stock object succeeds and changes nothing.
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
  // SelectObject returns the previous object; a pen deleted while selected
  // stays usable until it is deselected.
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(LineTo(dc, 1, 1));
  EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), pen);  // the old (stale) handle comes back
  // Palettes are not selected with SelectObject.
  EXPECT_EQ(SelectObject(dc, GetStockObject(DEFAULT_PALETTE)), nullptr);
  DeleteDC(dc);
  EXPECT_FALSE(DeleteDC(dc));
}

TEST(GdiHandles, ConcurrentCreateSelectDelete) {
  twtest::LeakGuard guard;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&failures] {
      HDC dc = CreateCompatibleDC(nullptr);
      for (int i = 0; i < 500; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(i, 0, 0));
        HGDIOBJ old = SelectObject(dc, brush);
        if (!old || !PatBlt(dc, 0, 0, 1, 1, PATCOPY)) ++failures;
        SelectObject(dc, old);
        if (!DeleteObject(brush)) ++failures;
      }
      DeleteDC(dc);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
