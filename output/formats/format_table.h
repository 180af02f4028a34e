// The output format codes 0..48: the one list every part of the monitor uses
// for a format's name, file extension, allowed colour modes and writer.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "tw/wintypes.h"

namespace tw::formats {

// Number of format codes (0..48).
inline constexpr DWORD kFormatCount = 49;

// Colour-capability bits of a format row; each allows one colour mode.
inline constexpr WORD kAllowsMode0 = 0x1;  // black and white, 1 bit
inline constexpr WORD kAllowsMode3 = 0x2;  // true colour, 24 bits
inline constexpr WORD kAllowsMode2 = 0x4;  // palette, 8 bits
inline constexpr WORD kAllowsMode1 = 0x8;  // grey, 8 bits

// The writer class the factory makes for a code.
enum class Writer {
  None,
  BMP,
  MemBMP,
  PCX,
  DCX,
  TIFF,
  MemTIFF,
  CALS,
  Raw,
  JPEG,
  JPEGLab,
  EMF,
  MemEMF,
  IOCA,
  PDF,
  PNG,
  GIF,
  HTMLGIF,
  HTMLPNG,
  HTMLJPEG,
  HTMLBMP,
  VectorPDF,
  PDFA,
  MODCA,
};

// How a TIFF code of the 42..47 family keeps its pages.
enum class TiffPaging {
  Normal,          // decided by the job's multipage switch
  AlwaysOneFile,   // one multipage file whenever output is not in memory
  NeverHeldOpen,   // never one multipage file held open
};

struct FormatInfo {
  DWORD code;
  const char16_t* name;       // shown in the group file; null for codes without a name
  const char16_t* extension;  // lower case, without the dot
  WORD colours;               // colour-capability mask
  Writer writer;              // the writer made for files on disk
  Writer memoryWriter;        // the writer made when output goes to memory
  TiffPaging paging;
};

// The row of a code, or null for a code outside the table.
const FormatInfo* FindFormat(DWORD code);
// Every row, in code order.
std::span<const FormatInfo> AllFormats();

// The name the group file and XML summary show ("Unknown file format" for a
// code without a name or outside the table).
std::u16string_view FormatName(DWORD code);
// The file extension, lower or upper case; "tmp" / "TMP" for an unknown code.
std::u16string_view FormatExtension(DWORD code, bool upperCase);
// The colour-capability mask; 0 for an unknown code.
WORD FormatColours(DWORD code);
// The writer the factory makes; Writer::None when the code has none.
Writer FormatWriter(DWORD code, bool inMemory);
// The colour mode (0..3) a format accepts for a requested mode: the mode
// itself when the mask allows it, else the nearest allowed one.
DWORD AdjustColorModeToMask(DWORD mode, WORD mask);

// Code families that several parts test.
bool IsTiffCode(DWORD code);        // 3..10, 21..23, 30, 42..47
bool IsVectorPdfCode(DWORD code);   // 36, 38, 40, 41
bool IsVectorFormatCode(DWORD code);  // 36..41

}  // namespace tw::formats
