#include "output/formats/format_table.h"

#include <array>

namespace tw::formats {
namespace {

using enum Writer;
constexpr TiffPaging N = TiffPaging::Normal;
constexpr TiffPaging One = TiffPaging::AlwaysOneFile;
constexpr TiffPaging Open = TiffPaging::NeverHeldOpen;

constexpr std::array<FormatInfo, kFormatCount> kFormats = {{
    {0, u"BMP", u"bmp", 0xf, BMP, MemBMP, N},
    {1, u"PCX", u"pcx", 0xf, PCX, PCX, N},
    {2, u"DCX", u"dcx", 0xf, DCX, DCX, N},
    {3, u"TIFF Uncompressed", u"tif", 0xf, TIFF, MemTIFF, N},
    {4, u"TIFF Group 3 1D", u"tif", 0x1, TIFF, MemTIFF, N},
    {5, u"TIFF Group 3 1D No EOL", u"tif", 0x1, TIFF, MemTIFF, N},
    {6, u"TIFF Group 3 2D", u"tif", 0x1, TIFF, MemTIFF, N},
    {7, u"TIFF Group 4", u"tif", 0x1, TIFF, MemTIFF, N},
    {8, u"TIFF Packed", u"tif", 0xf, TIFF, MemTIFF, N},
    {9, u"TIFF LZW", u"tif", 0xf, TIFF, MemTIFF, N},
    {10, u"TIFF JPEG", u"tif", 0xa, TIFF, MemTIFF, N},
    {11, u"CALS", u"cg4", 0x1, CALS, CALS, N},
    {12, u"RAW TIFF Group 3 1D", u"raw", 0x1, Raw, Raw, N},
    {13, u"RAW TIFF Group 3 1D No EOL", u"raw", 0x1, Raw, Raw, N},
    {14, u"RAW TIFF Group 3 2D", u"raw", 0x1, Raw, Raw, N},
    {15, u"RAW TIFF Group 4", u"raw", 0x1, Raw, Raw, N},
    {16, u"JPEG", u"jpg", 0x2, JPEG, JPEG, N},
    {17, u"JPEG L*a*b", u"jpg", 0x2, JPEGLab, JPEGLab, N},
    {18, u"Extended Metafile", u"emf", 0x2, EMF, MemEMF, N},
    {19, nullptr, u"ica", 0xb, IOCA, IOCA, N},
    {20, u"PDF Image", u"pdf", 0xf, PDF, PDF, N},
    {21, u"TIFF for Dialogic boards", u"tif", 0x1, TIFF, MemTIFF, N},
    {22, u"TIFF for NMS boards", u"tif", 0x1, TIFF, MemTIFF, N},
    {23, u"TIFF for Gammalink boards", u"tif", 0x1, TIFF, MemTIFF, N},
    {24, u"PNG", u"png", 0xf, PNG, PNG, N},
    {25, u"GIF", u"gif", 0xd, GIF, GIF, N},
    {26, u"HTML with GIF", u"htm", 0xd, HTMLGIF, HTMLGIF, N},
    {27, u"HTML with PNG", u"htm", 0xf, HTMLPNG, HTMLPNG, N},
    {28, u"HTML with JPEG", u"htm", 0x2, HTMLJPEG, HTMLJPEG, N},
    {29, u"HTML with BMP", u"htm", 0xf, HTMLBMP, HTMLBMP, N},
    {30, u"TIFF for CISCO", u"tif", 0x1, TIFF, MemTIFF, N},
    {31, u"XML with GIF", u"gif", 0xd, GIF, GIF, N},
    {32, u"XML with PNG", u"png", 0xf, PNG, PNG, N},
    {33, u"XML with JPEG", u"jpg", 0x2, JPEG, JPEG, N},
    {34, u"XML with BMP", u"bmp", 0xf, BMP, MemBMP, N},
    {35, u"XML with PDF Image", u"pdf", 0xf, PDF, PDF, N},
    {36, u"PDF", u"pdf", 0xf, VectorPDF, VectorPDF, N},
    {37, u"HTML", u"htm", 0x2, None, None, N},
    {38, u"PDF/A", u"pdf", 0xf, PDFA, PDFA, N},
    {39, u"XML", u"xml", 0x2, None, None, N},
    {40, u"Compact PDF", u"pdf", 0xf, VectorPDF, VectorPDF, N},
    {41, u"Compact PDF", u"pdf", 0xf, VectorPDF, VectorPDF, N},
    {42, u"TIFF Group 4", u"tif", 0x1, TIFF, MemTIFF, One},
    {43, u"TIFF Group 4", u"tif", 0x1, TIFF, MemTIFF, Open},
    {44, u"TIFF Group 3 1D", u"tif", 0x1, TIFF, MemTIFF, One},
    {45, u"TIFF Group 3 1D", u"tif", 0x1, TIFF, MemTIFF, Open},
    {46, u"TIFF Uncompressed", u"tif", 0xf, TIFF, MemTIFF, One},
    {47, u"TIFF Uncompressed", u"tif", 0xf, TIFF, MemTIFF, Open},
    {48, nullptr, u"mca", 0xb, MODCA, MODCA, N},
}};

constexpr bool RowsInCodeOrder() {
  for (DWORD i = 0; i < kFormatCount; ++i)
    if (kFormats[i].code != i) return false;
  return true;
}
static_assert(RowsInCodeOrder(), "the table is indexed by the format code");

// Upper-case forms of the extensions, as written when "Uppercase Extensions" is on.
std::u16string_view UpperExtension(std::u16string_view lower) {
  static constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 16> kUpper = {{
      {u"bmp", u"BMP"}, {u"pcx", u"PCX"}, {u"dcx", u"DCX"}, {u"tif", u"TIF"},
      {u"cg4", u"CG4"}, {u"raw", u"RAW"}, {u"jpg", u"JPG"}, {u"emf", u"EMF"},
      {u"ica", u"ICA"}, {u"pdf", u"PDF"}, {u"png", u"PNG"}, {u"gif", u"GIF"},
      {u"htm", u"HTM"}, {u"xml", u"XML"}, {u"mca", u"MCA"}, {u"tmp", u"TMP"},
  }};
  for (const auto& [l, u] : kUpper)
    if (l == lower) return u;
  return u"TMP";
}

}  // namespace

const FormatInfo* FindFormat(DWORD code) { return code < kFormatCount ? &kFormats[code] : nullptr; }

std::span<const FormatInfo> AllFormats() { return kFormats; }

std::u16string_view FormatName(DWORD code) {
  const FormatInfo* f = FindFormat(code);
  return f && f->name ? std::u16string_view(f->name) : std::u16string_view(u"Unknown file format");
}

std::u16string_view FormatExtension(DWORD code, bool upperCase) {
  const FormatInfo* f = FindFormat(code);
  std::u16string_view lower = f ? std::u16string_view(f->extension) : std::u16string_view(u"tmp");
  return upperCase ? UpperExtension(lower) : lower;
}

WORD FormatColours(DWORD code) {
  const FormatInfo* f = FindFormat(code);
  return f ? f->colours : 0;
}

Writer FormatWriter(DWORD code, bool inMemory) {
  const FormatInfo* f = FindFormat(code);
  if (!f) return Writer::None;
  return inMemory ? f->memoryWriter : f->writer;
}

DWORD AdjustColorModeToMask(DWORD mode, WORD mask) {
  if (mode > 3) mode = 3;
  static constexpr WORD kBitOfMode[4] = {kAllowsMode0, kAllowsMode1, kAllowsMode2, kAllowsMode3};
  if (mask & kBitOfMode[mode]) return mode;
  // The order in which each requested mode falls back to the others.
  struct Fallback {
    DWORD first, second, third;
  };
  static constexpr Fallback kOrder[4] = {
      {1, 2, 3},  // black and white: grey, palette, else true colour
      {2, 3, 0},  // grey: palette, true colour, black and white
      {3, 1, 0},  // palette: true colour, grey, black and white
      {2, 1, 0},  // true colour: palette, grey, black and white
  };
  for (DWORD candidate : {kOrder[mode].first, kOrder[mode].second, kOrder[mode].third})
    if (mask & kBitOfMode[candidate]) return candidate;
  return 3;
}

bool IsTiffCode(DWORD code) {
  return (code >= 3 && code <= 10) || (code >= 21 && code <= 23) || code == 30 || (code >= 42 && code <= 47);
}

bool IsVectorPdfCode(DWORD code) { return code == 36 || code == 38 || code == 40 || code == 41; }

bool IsVectorFormatCode(DWORD code) { return code >= 36 && code <= 41; }

}  // namespace tw::formats
