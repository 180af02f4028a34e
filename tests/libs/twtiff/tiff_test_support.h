// TwTiff.dll's exports as the writers take them, the writers' row functions
// and tag sequence, and an independent reader of TIFF files (libtiff itself,
// not the library under test).
#pragma once
#include <tiffio.h>

#include "../codec_test_support.h"
#include "tw_tiff_api.h"

namespace tifftest {

using codectest::Image;

struct TiffApi {
  explicit TiffApi(const codectest::Module& m)
      : OpenTiffFileW(m.Proc<OpenTiffFileW_PROC>("OpenTiffFileW")),
        OpenTiffInMemory(m.Proc<OpenTiffInMemory_PROC>("OpenTiffInMemory")),
        DefineTiffImage(m.Proc<DefineTiffImage_PROC>("DefineTiffImage")),
        DefineTiffImageInfo(m.Proc<DefineTiffImageInfo_PROC>("DefineTiffImageInfo")),
        DefineTiffImageInfoBuffer(m.Proc<DefineTiffImageInfoBuffer_PROC>("DefineTiffImageInfoBuffer")),
        EncodeTiffImage(m.Proc<EncodeTiffImage_PROC>("EncodeTiffImage")),
        CloseTiffFile(m.Proc<CloseTiffFile_PROC>("CloseTiffFile")),
        SaveDIBInTiffFileW(m.Proc<SaveDIBInTiffFileW_PROC>("SaveDIBInTiffFileW")),
        SaveDIBInTiffFile(m.Proc<SaveDIBInTiffFile_PROC>("SaveDIBInTiffFile")),
        GetTiffFileInfo(m.Proc<GetTiffFileInfo_PROC>("GetTiffFileInfo")),
        GetTiffImage(m.Proc<GetTiffImage_PROC>("GetTiffImage")),
        UpdatePageNumbersW(m.Proc<UpdatePageNumbersW_PROC>("UpdatePageNumbersW")),
        UpdatePageNumbersInMemory(m.Proc<UpdatePageNumbersInMemory_PROC>("UpdatePageNumbersInMemory")),
        SaveTiffForCiscoFormatW(m.Proc<SaveTiffForCiscoFormatW_PROC>("SaveTiffForCiscoFormatW")),
        ConvertTiffToCiscoFormatW(m.Proc<ConvertTiffToCiscoFormatW_PROC>("ConvertTiffToCiscoFormatW")),
        TiffError(m.Proc<TiffError_PROC>("TiffError")),
        SetTiffError(m.Proc<SetTiffError_PROC>("SetTiffError")),
        TiffErrorString(m.Proc<TiffErrorString_PROC>("TiffErrorString")),
        DropTiffImage(m.Proc<DropTiffImage_PROC>("DropTiffImage")),
        MoveLastImageFast(m.Proc<MoveLastImageFast_PROC>("MoveLastImageFast")),
        EncodeCcittImage(m.Proc<EncodeCcittImage_PROC>("EncodeCcittImage")),
        SaveDIBInIOCAFormatW(m.Proc<SaveDIBInIOCAFormatW_PROC>("SaveDIBInIOCAFormatW")),
        InsertMODCAPageW(m.Proc<InsertMODCAPageW_PROC>("InsertMODCAPageW")),
        LoadTiffIntoDIBW(m.Proc<LoadTiffIntoDIBW_PROC>("LoadTiffIntoDIBW")) {}

  OpenTiffFileW_PROC OpenTiffFileW;
  OpenTiffInMemory_PROC OpenTiffInMemory;
  DefineTiffImage_PROC DefineTiffImage;
  DefineTiffImageInfo_PROC DefineTiffImageInfo;
  DefineTiffImageInfoBuffer_PROC DefineTiffImageInfoBuffer;
  EncodeTiffImage_PROC EncodeTiffImage;
  CloseTiffFile_PROC CloseTiffFile;
  SaveDIBInTiffFileW_PROC SaveDIBInTiffFileW;
  SaveDIBInTiffFile_PROC SaveDIBInTiffFile;
  GetTiffFileInfo_PROC GetTiffFileInfo;
  GetTiffImage_PROC GetTiffImage;
  UpdatePageNumbersW_PROC UpdatePageNumbersW;
  UpdatePageNumbersInMemory_PROC UpdatePageNumbersInMemory;
  SaveTiffForCiscoFormatW_PROC SaveTiffForCiscoFormatW;
  ConvertTiffToCiscoFormatW_PROC ConvertTiffToCiscoFormatW;
  TiffError_PROC TiffError;
  SetTiffError_PROC SetTiffError;
  TiffErrorString_PROC TiffErrorString;
  DropTiffImage_PROC DropTiffImage;
  MoveLastImageFast_PROC MoveLastImageFast;
  EncodeCcittImage_PROC EncodeCcittImage;
  SaveDIBInIOCAFormatW_PROC SaveDIBInIOCAFormatW;
  InsertMODCAPageW_PROC InsertMODCAPageW;
  LoadTiffIntoDIBW_PROC LoadTiffIntoDIBW;

  std::string ErrorText() const {
    char text[TW_TIFF_ERROR_TEXT_SIZE];
    TiffErrorString(text, TiffError());
    return text;
  }
};

// ---- the writers' side -----------------------------------------------------------

// The context a writer hands to EncodeTiffImage: the page as a DIB-like
// image (1-bit: entry 0 black) and the colour mode that decides the rows.
struct WriterPage {
  const Image* image;
  int colorMode;  // 0 bilevel, 2 palette, 3 RGB
};

// The writers' row function: inverted full padded rows for bilevel pages,
// (bits x width + 7) / 8 palette bytes, (24 x width + 15) / 16 x 2 RGB bytes.
inline int WINAPI WriterRows(BYTE* row, DWORD r, LPVOID context) {
  auto* page = static_cast<WriterPage*>(context);
  const Image& img = *page->image;
  if (r >= img.height) return 3;
  const auto& src = img.rows[r];
  if (page->colorMode == 0) {
    std::size_t padded = (img.width + 31) / 32 * 4;
    for (std::size_t i = 0; i < padded; ++i) row[i] = static_cast<BYTE>(~(i < src.size() ? src[i] : 0));
  } else if (page->colorMode == 3) {
    std::memcpy(row, src.data(), src.size());
    std::size_t extra = (24 * std::size_t(img.width) + 15) / 16 * 2 - src.size();
    std::memset(row + src.size(), 0, extra);
  } else {
    std::memcpy(row, src.data(), src.size());
  }
  return 0;
}

enum : WORD { kShort = 3, kLong = 4, kRational = 5 };

struct WriterTags {
  WORD compression = 4;
  DWORD t4Options = 0;
  bool pageNumbers = false;
  DWORD page = 1;
  bool reverseBits = false;
  bool internetTiff = false;
  int colorMode = 0;
  LONG ppmX = 7874, ppmY = 7874;
};

// The tags in the writers' order, with their field types.
inline void DefineWriterTags(const TiffApi& api, HTWTIFF h, int image, const WriterTags& t, const Image& img) {
  if (t.pageNumbers) {
    WORD pair[2] = {static_cast<WORD>(t.page - 1), 0};
    ASSERT_TRUE(api.DefineTiffImageInfoBuffer(h, image, 297, pair, kShort, 2)) << api.ErrorText();
  }
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 259, kShort, t.compression)) << api.ErrorText();
  if (t.compression == 3) {
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 292, kLong, t.t4Options));
  }
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 256, kLong, img.width));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 257, kLong, img.height));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 258, kShort, 1));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 277, kShort, 1));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 278, kShort, img.height));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 266, kShort, t.reverseBits ? 2 : 1));
  if (t.internetTiff) {
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 254, kLong, 2));
  }
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 282, kRational, DWORD((t.ppmX * 254 + 5000) / 10000)));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 283, kRational, DWORD((t.ppmY * 254 + 5000) / 10000)));
  ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 296, kShort, 2));
  if (t.colorMode == 0) {
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 262, kShort, 0));
  } else if (t.colorMode == 3) {
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 262, kShort, 2));
    WORD bits[3] = {8, 8, 8};
    ASSERT_TRUE(api.DefineTiffImageInfoBuffer(h, image, 258, bits, kShort, 3));
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 277, kShort, 3));
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 284, kShort, 1));
    DWORD rows = std::min<DWORD>(img.height, std::max<DWORD>(1, 8192 / ((24 * img.width + 7) / 8)));
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 278, kShort, rows));
  } else {
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 262, kShort, 3));
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 258, kShort, 8));
    DWORD rows = std::min<DWORD>(img.height, std::max<DWORD>(1, 8192 / ((img.width + 7) / 8)));
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 278, kShort, rows));
    ASSERT_TRUE(api.DefineTiffImageInfo(h, image, 277, kShort, 1));
    std::size_t n = img.colors.size();
    std::vector<WORD> map(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
      map[i] = static_cast<WORD>(img.colors[i].rgbRed * 257);
      map[n + i] = static_cast<WORD>(img.colors[i].rgbGreen * 257);
      map[2 * n + i] = static_cast<WORD>(img.colors[i].rgbBlue * 257);
    }
    ASSERT_TRUE(api.DefineTiffImageInfoBuffer(h, image, 320, map.data(), kShort, static_cast<DWORD>(map.size())));
  }
}

// One page through the writer's sequence on an open handle.
inline void WritePage(const TiffApi& api, HTWTIFF h, const WriterTags& tags, const Image& img) {
  int image = api.DefineTiffImage(h);
  ASSERT_GE(image, 0) << api.ErrorText();
  DefineWriterTags(api, h, image, tags, img);
  WriterPage page{&img, tags.colorMode};
  ASSERT_TRUE(api.EncodeTiffImage(h, image, &page, &WriterRows)) << api.ErrorText();
  EXPECT_EQ(api.TiffError(), 0);
  ASSERT_TRUE(api.DropTiffImage(h, image));
}

// ---- reading back with libtiff ---------------------------------------------------

struct TiffPage {
  std::uint32_t width = 0, height = 0, rowsPerStrip = 0, strips = 0, subfileType = 0, group3 = 0;
  std::uint16_t bps = 0, spp = 0, photometric = 0, compression = 0, fillOrder = 1, unit = 0;
  bool hasPageNumber = false;
  std::uint16_t page[2] = {0, 0};
  float xres = 0, yres = 0;
  std::vector<std::uint16_t> colormap;  // red, green, blue
  Image pixels;                          // rows as libtiff decodes them (RGB for JPEG colour)
  std::string description;
};

inline std::vector<TiffPage> ReadTiff(const std::filesystem::path& path) {
  std::vector<TiffPage> pages;
  TIFFSetWarningHandler(nullptr);
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) {
    ADD_FAILURE() << "libtiff cannot open " << path;
    return pages;
  }
  do {
    TiffPage p;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &p.bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &p.spp);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &p.photometric);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &p.compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &p.fillOrder);
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &p.rowsPerStrip);
    TIFFGetField(t, TIFFTAG_SUBFILETYPE, &p.subfileType);
    TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &p.group3);
    TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &p.unit);
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &p.xres);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &p.yres);
    p.hasPageNumber = TIFFGetField(t, TIFFTAG_PAGENUMBER, &p.page[0], &p.page[1]);
    char* text = nullptr;
    if (TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &text) && text) p.description = text;
    p.strips = TIFFNumberOfStrips(t);
    if (p.photometric == PHOTOMETRIC_PALETTE) {
      std::uint16_t *r, *g, *b;
      if (TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b)) {
        std::size_t n = std::size_t(1) << p.bps;
        p.colormap.insert(p.colormap.end(), r, r + n);
        p.colormap.insert(p.colormap.end(), g, g + n);
        p.colormap.insert(p.colormap.end(), b, b + n);
      }
    }
    if (p.compression == COMPRESSION_JPEG && p.photometric == PHOTOMETRIC_YCBCR)
      TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    p.pixels.width = p.width;
    p.pixels.height = p.height;
    p.pixels.bits = p.bps * p.spp;
    std::vector<BYTE> line(static_cast<std::size_t>(TIFFScanlineSize(t)));
    for (std::uint32_t y = 0; y < p.height; ++y) {
      if (TIFFReadScanline(t, line.data(), y, 0) < 0) {
        ADD_FAILURE() << "libtiff cannot decode row " << y << " of " << path;
        break;
      }
      p.pixels.rows.emplace_back(line.begin(), line.begin() + p.pixels.RowBytes());
    }
    pages.push_back(std::move(p));
  } while (TIFFReadDirectory(t));
  TIFFClose(t);
  return pages;
}

// The bilevel page as the TIFF holds it with photometric 0 (set bit = black).
inline Image Inverted(const Image& img) {
  Image out = img;
  for (auto& row : out.rows)
    for (auto& b : row) b = static_cast<BYTE>(~b);
  return out;
}

// Compares packed rows, ignoring the padding bits past the width.
inline bool SameRows(const Image& a, const Image& b) {
  if (a.width != b.width || a.height != b.height || a.bits != b.bits || a.rows.size() != b.rows.size()) return false;
  std::size_t bits = std::size_t(a.width) * a.bits;
  for (std::size_t y = 0; y < a.rows.size(); ++y) {
    for (std::size_t i = 0; i < bits / 8; ++i)
      if (a.rows[y][i] != b.rows[y][i]) return false;
    if (bits % 8) {
      BYTE mask = static_cast<BYTE>(0xFF00 >> (bits % 8));
      if ((a.rows[y][bits / 8] & mask) != (b.rows[y][bits / 8] & mask)) return false;
    }
  }
  return true;
}

}  // namespace tifftest
