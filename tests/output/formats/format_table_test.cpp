// The output format table and the colour-mode correction against its masks.
#include <gtest/gtest.h>

#include <set>

#include "output/formats/format_table.h"

using namespace tw::formats;

namespace {

TEST(FormatTable, NamesAndUnknownCodes) {
  EXPECT_EQ(FormatName(0), u"BMP");
  EXPECT_EQ(FormatName(17), u"JPEG L*a*b");
  EXPECT_EQ(FormatName(38), u"PDF/A");
  EXPECT_EQ(FormatName(19), u"Unknown file format") << "code 19 has no name";
  EXPECT_EQ(FormatName(48), u"Unknown file format");
  EXPECT_EQ(FormatName(49), u"Unknown file format");
  EXPECT_EQ(FormatName(0xffffffff), u"Unknown file format");
  EXPECT_EQ(FindFormat(49), nullptr);
  EXPECT_EQ(AllFormats().size(), 49u);
}

TEST(FormatTable, ExtensionsLowerAndUpperCase) {
  EXPECT_EQ(FormatExtension(11, false), u"cg4");
  EXPECT_EQ(FormatExtension(17, true), u"JPG");
  EXPECT_EQ(FormatExtension(19, true), u"ICA");
  EXPECT_EQ(FormatExtension(48, true), u"MCA");
  EXPECT_EQ(FormatExtension(39, false), u"xml");
  EXPECT_EQ(FormatExtension(49, false), u"tmp");
  EXPECT_EQ(FormatExtension(1000, true), u"TMP");
  // Every row has an upper-case form that is its extension in capitals.
  for (const FormatInfo& f : AllFormats()) {
    std::u16string_view lower = FormatExtension(f.code, false);
    std::u16string_view upper = FormatExtension(f.code, true);
    ASSERT_EQ(lower.size(), 3u);
    ASSERT_EQ(upper.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(upper[i], lower[i] >= u'a' && lower[i] <= u'z' ? lower[i] - 32 : lower[i]);
  }
}

TEST(FormatTable, WritersIncludingInMemoryVariants) {
  EXPECT_EQ(FormatWriter(37, false), Writer::None);
  EXPECT_EQ(FormatWriter(39, true), Writer::None);
  EXPECT_EQ(FormatWriter(49, false), Writer::None);
  EXPECT_EQ(FormatWriter(34, true), Writer::MemBMP);
  EXPECT_EQ(FormatWriter(34, false), Writer::BMP);
  EXPECT_EQ(FormatWriter(33, false), Writer::JPEG) << "XML with JPEG writes with the JPEG writer";
  EXPECT_EQ(FormatWriter(18, true), Writer::MemEMF);
  EXPECT_EQ(FormatWriter(20, true), Writer::PDF) << "image PDF has no in-memory variant";
  EXPECT_EQ(FormatWriter(41, false), Writer::VectorPDF);
  EXPECT_EQ(FormatWriter(38, false), Writer::PDFA);
  // The in-memory variants exist for exactly these codes.
  std::set<DWORD> memory;
  for (const FormatInfo& f : AllFormats())
    if (f.memoryWriter != f.writer) memory.insert(f.code);
  std::set<DWORD> expected = {0, 34, 3, 4, 5, 6, 7, 8, 9, 10, 21, 22, 23, 30, 42, 43, 44, 45, 46, 47, 18};
  EXPECT_EQ(memory, expected);
  for (DWORD code : expected) EXPECT_TRUE(IsTiffCode(code) || code == 0 || code == 34 || code == 18) << code;
}

TEST(FormatTable, CodeFamilies) {
  EXPECT_TRUE(IsTiffCode(3));
  EXPECT_TRUE(IsTiffCode(30));
  EXPECT_TRUE(IsTiffCode(47));
  EXPECT_FALSE(IsTiffCode(11));
  EXPECT_FALSE(IsTiffCode(48));
  EXPECT_TRUE(IsVectorPdfCode(41));
  EXPECT_FALSE(IsVectorPdfCode(39));
  EXPECT_TRUE(IsVectorFormatCode(39));
  EXPECT_FALSE(IsVectorFormatCode(35));
  EXPECT_EQ(FindFormat(42)->paging, TiffPaging::AlwaysOneFile);
  EXPECT_EQ(FindFormat(45)->paging, TiffPaging::NeverHeldOpen);
  EXPECT_EQ(FindFormat(7)->paging, TiffPaging::Normal);
}

TEST(ColourCorrection, NamedCases) {
  // A 24-bit request for a one-bit-only format becomes black and white.
  EXPECT_EQ(AdjustColorModeToMask(3, FormatColours(4)), 0u);
  // Grey for a format that takes true colour only becomes true colour.
  EXPECT_EQ(AdjustColorModeToMask(1, 0x2), 3u);
  // TIFF JPEG (0xa: grey and true colour).
  EXPECT_EQ(AdjustColorModeToMask(0, FormatColours(10)), 1u);
  EXPECT_EQ(AdjustColorModeToMask(2, FormatColours(10)), 3u);
  EXPECT_EQ(AdjustColorModeToMask(3, FormatColours(10)), 3u);
  // GIF (0xd: no true colour): true colour goes to palette.
  EXPECT_EQ(AdjustColorModeToMask(3, FormatColours(25)), 2u);
  // IOCA (0xb: no palette): palette goes to true colour, grey stays.
  EXPECT_EQ(AdjustColorModeToMask(2, FormatColours(19)), 3u);
  EXPECT_EQ(AdjustColorModeToMask(1, FormatColours(19)), 1u);
  // Modes above 3 count as 3.
  EXPECT_EQ(AdjustColorModeToMask(7, 0x1), 0u);
}

// For every mask in the table and every requested mode: an allowed mode stays,
// otherwise the result is allowed and follows the fallback order.
TEST(ColourCorrection, EveryMaskInTheTable) {
  std::set<WORD> masks;
  for (const FormatInfo& f : AllFormats()) masks.insert(f.colours);
  EXPECT_EQ(masks, (std::set<WORD>{0x1, 0x2, 0xa, 0xb, 0xd, 0xf}));
  const WORD bitOf[4] = {0x1, 0x8, 0x4, 0x2};
  const DWORD order[4][3] = {{1, 2, 3}, {2, 3, 0}, {3, 1, 0}, {2, 1, 0}};
  for (WORD mask : masks) {
    for (DWORD mode = 0; mode < 4; ++mode) {
      DWORD got = AdjustColorModeToMask(mode, mask);
      ASSERT_LE(got, 3u);
      EXPECT_TRUE(mask & bitOf[got]) << "mask " << mask << " mode " << mode << " gave " << got;
      if (mask & bitOf[mode]) {
        EXPECT_EQ(got, mode);
        continue;
      }
      for (DWORD candidate : order[mode]) {
        if (mask & bitOf[candidate]) {
          EXPECT_EQ(got, candidate) << "mask " << mask << " mode " << mode;
          break;
        }
      }
    }
  }
  EXPECT_EQ(AdjustColorModeToMask(1, 0), 3u) << "no allowed mode at all: true colour";
}

}  // namespace
