// The PCX coder of the PCX and DCX writers: the 128-byte header, scan lines
// of all planes run-length coded, and the 256-colour table of 8-bit pages.
#pragma once
#include <windows.h>

#include <cstddef>
#include <span>
#include <vector>

#include "output/common/page_dib.h"

namespace tw::pcx {

#pragma pack(push, 1)
struct PcxHeader {
  BYTE manufacturer;  // 10
  BYTE version;       // 5
  BYTE encoding;      // 1: run-length
  BYTE bitsPerPixel;  // per plane
  WORD xMin, yMin, xMax, yMax;
  WORD hDpi, vDpi;
  BYTE colorMap[48];  // 16 RGB triples
  BYTE reserved;
  BYTE planes;
  WORD bytesPerLine;  // per plane
  WORD paletteInfo;
  WORD hScreenSize, vScreenSize;
  BYTE filler[54];
};
#pragma pack(pop)
static_assert(sizeof(PcxHeader) == 128);
static_assert(offsetof(PcxHeader, hDpi) == 12 && offsetof(PcxHeader, colorMap) == 16);
static_assert(offsetof(PcxHeader, planes) == 65 && offsetof(PcxHeader, bytesPerLine) == 66);
static_assert(offsetof(PcxHeader, hScreenSize) == 70 && offsetof(PcxHeader, filler) == 74);

// Page depths a PCX stores.
inline bool PcxDepth(WORD bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 24; }
inline tw::output::PageDib LockPcxPage(HGLOBAL hDIB) { return tw::output::PageDib(hDIB, {1, 4, 8, 24}); }

// What the header takes from the screen: resolution when the page has none,
// and its size.
struct Screen {
  int logPixelsX = 0, logPixelsY = 0, horzRes = 0, vertRes = 0;
};
// False when there is no screen context.
bool ReadScreen(Screen& screen);

PcxHeader MakeHeader(const tw::output::PageDib& dib, const Screen& screen);

// One scan line (all planes) run-length coded onto `out`: runs of equal
// bytes of up to 63 as 0xC0 + count and the byte; a single byte below 0xC0
// as itself.
void EncodeLine(std::span<const BYTE> line, std::vector<BYTE>& out);

// Writes the page as a PCX image at the file's current position through a
// 32 768-byte buffer of the calling thread's, flushed when full and at the
// end. False when a write fails.
bool EncodePage(const tw::output::PageDib& dib, const Screen& screen, HANDLE file);

}  // namespace tw::pcx
