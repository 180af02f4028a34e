// Operations on page DIBs: quarter and half turns, cropping, reduction to
// 8-bit grey, to one bit by a fixed threshold or by error diffusion, a
// closing filter for one-bit images, resampling, and small helpers.
//
// A page DIB is a movable global block holding a BITMAPINFOHEADER, the
// colour table and the rows, bottom-up (top-down when the height is
// negative), each padded to 4 bytes. Every operation takes such a block and
// returns a new block that the caller owns, or null when the input cannot
// be locked, is of a kind the operation does not handle, or a block cannot
// be had. The input is never changed and stays the caller's. Header sizes
// are not trusted: a header whose table or rows do not fit in its block is
// refused (null), never read past.
#pragma once
#include <windows.h>

#include <optional>

namespace tw::imaging {

// The image turned a quarter turn anticlockwise: old pixel (x, y), counted
// from the top-left corner, lands at (y, W - 1 - x). 1, 2, 4, 8, 16, 24 and
// 32 bits per pixel. Width and height (and the pixels per metre) swap; the
// header, masks and colour table are kept.
HGLOBAL RotateDIB90Left(HGLOBAL hDIB);
// A quarter turn clockwise: (x, y) lands at (H - 1 - y, x).
HGLOBAL RotateDIB90Right(HGLOBAL hDIB);
// A half turn: (x, y) lands at (W - 1 - x, H - 1 - y).
HGLOBAL RotateDIB180(HGLOBAL hDIB);

// The inclusive rectangle (left, top) ... (right, bottom), counted from the
// top-left corner. Null unless the header is 40 bytes and
// 0 <= left <= right < width, 0 <= top <= bottom < height.
HGLOBAL CropDIB(HGLOBAL hDIB, LONG left, LONG top, LONG right, LONG bottom);

// The inclusive rectangle CropDIB takes for a crop given by exclusive
// right and bottom edges (the first column and row not kept), clamped to a
// width x height image; empty when nothing of the image would be left.
std::optional<RECT> CropRectFromEdges(LONG width, LONG height, LONG left, LONG top, LONG rightEdge,
                                      LONG bottomEdge);

// 8-bit grey with the grey ramp table from 1 and 24 bits ((b + g + r) / 3;
// one-bit pixels through their table); 4 and 8 bits keep their pixels and
// get their table entries made grey. 40-byte header, BI_RGB.
HGLOBAL ConvertToGrey(HGLOBAL hDIB);

// One bit per pixel from 24 bits: white (bit set) when b + g + r >= 384.
// `level` is not used. Table black, white.
HGLOBAL DitherThreshold(HGLOBAL hDIB, INT level);

// Stucki error diffusion to one bit (luminance, table black, white) or to
// 8 bits (3-3-2 levels of red, green, blue with a fixed 256-colour table),
// from 4, 8 or 24 bits with more bits than asked for.
HGLOBAL StuckiDither(HGLOBAL hDIB, INT bits);

// A 3 x 3 closing (dilation, then erosion) of the black pixels of a
// one-bit image; black is decided through the colour table.
HGLOBAL BinaryClosing(HGLOBAL hDIB);

// The image resampled to width x height: nearest neighbour for one bit,
// bicubic for 4, 8 and 24 bits (palette pixels mapped back to the nearest
// colour of the table).
HGLOBAL ResizeDIB(HGLOBAL hDIB, LONG width, LONG height);

// A logical palette with the DIB's colour table; a 256-colour 3-3-2 cube
// for a DIB without one. The caller deletes it.
HPALETTE CreateDIBPalette(HGLOBAL hDIB);

// A new movable block of the same size with the same bytes.
HGLOBAL CopyDIB(HGLOBAL hDIB);

// A 24-bit copy of a 32-bit DIB (the fourth byte of each pixel dropped).
HGLOBAL Convert32To24(HGLOBAL hDIB);

// The colour count of a DIB header: biClrUsed when it is not 0, otherwise
// (and for a 12-byte core header) 2, 16 or 256 for 1, 4 or 8 bits (4 for
// the rare 2 bits), 0 for deeper pixels. `lpbi` points at the header.
DWORD GetDIBColorCount(LPCVOID lpbi);
// Bytes of the colour table: 4 per colour, 3 for a core header.
DWORD GetDIBColorTableSize(LPCVOID lpbi);
// Bytes of one row: (width x bits + 31) / 32 x 4; 0 when out of range.
DWORD GetDIBRowBytes(LONG width, WORD bits);

}  // namespace tw::imaging
