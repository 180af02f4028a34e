// A metafile whose anisotropic mapping makes its one-unit pen about 1e8
// pixels wide, with dashes, round caps and joins and a few thousand vertices
// (the shape of a fuzzer find that took minutes to draw). Playback must
// cost no more than filling the page and draw what such a pen covers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "emf_bytes.h"
#include "emf_canvas.h"
#include "tw_test.h"

using twtest::Canvas;
using twtest::EmfBytes;

namespace {

std::vector<BYTE> hugePenMetafile(DWORD penStyle, int vertices) {
  EmfBytes emf;
  emf.Header().nHandles = 2;
  emf.Add(EMR_SETMAPMODE, {MM_ANISOTROPIC});
  emf.Add(EMR_SETWINDOWEXTEX, {1, 1});
  emf.Add(EMR_SETVIEWPORTEXTEX, {100000000, 1});
  EMREXTCREATEPEN pen{};
  pen.ihPen = 1;
  pen.elp = {penStyle, 1, BS_SOLID, RGB(0, 0, 0), 0, 2, {1}};
  size_t at = emf.AddStruct(EMR_EXTCREATEPEN, pen, 4);
  emf.SetDword(at + sizeof(EMREXTCREATEPEN), 1);  // style {1, 1}
  emf.Add(EMR_SELECTOBJECT, {1});
  // POLYLINE16: bounds, count, points zigzagging over the frame.
  std::vector<BYTE> body(16 + 4 + 4 * static_cast<size_t>(vertices));
  DWORD count = static_cast<DWORD>(vertices);
  std::memcpy(body.data() + 16, &count, 4);
  for (int i = 0; i < vertices; ++i) {
    SHORT xy[2] = {static_cast<SHORT>(i % 2), static_cast<SHORT>(i * 37 % 150)};
    std::memcpy(body.data() + 20 + 4 * i, xy, 4);
  }
  emf.AddRaw(EMR_POLYLINE16, body);
  return emf.Finish();
}

TEST(EmfHugePen, PlaysAtOnceAndCoversThePage) {
  for (DWORD style : {DWORD(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_ROUND | PS_JOIN_ROUND),
                      DWORD(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE | PS_JOIN_MITER)}) {
    twtest::LeakGuard guard;
    std::vector<BYTE> bytes = hugePenMetafile(style, 3000);
    HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
    ASSERT_NE(emf, nullptr);
    Canvas canvas(96, 64);
    RECT rect{0, 0, 96, 64};
    EXPECT_TRUE(PlayEnhMetaFile(canvas.Dc(), emf, &rect));
    // Each vertex lies inside the page and the pen is far wider than it.
    EXPECT_EQ(canvas.Count(RGB(0, 0, 0)), 96 * 64) << std::hex << style;
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
  }
}

}  // namespace
