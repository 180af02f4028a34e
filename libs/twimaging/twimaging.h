// The imaging library TwImaging.dll: brightness and contrast, and the
// reductions of a page DIB to one bit or to 8 bits with a colour table.
// Callers load the library with LoadLibraryW(kTwImagingDll) and take each
// entry by its ordinal (Entry below); the entries have no names.
//
// Every entry takes a page DIB (a movable global block: BITMAPINFOHEADER,
// colour table, rows padded to 4 bytes) and returns a new block owned by the
// caller, or null; the input is never changed. Inputs of 1, 4 and 8 bits
// (through their colour table), 24 bits and 32 bits (the fourth byte
// ignored) are read; 16-bit, compressed and malformed images give null.
// Results keep the input's width, height, row order and pixels per metre.
// One-bit results have the table black, white (a set bit is white); 8-bit
// results carry the table their method names, biClrUsed entries long.
#pragma once
#include <windows.h>

namespace tw::twimaging {

inline constexpr const char16_t* kTwImagingDll = u"TwImaging.dll";

enum Ordinal : WORD {
  // TwAdjustBrightnessContrast(dib, brightness, contrast, reserved).
  // brightness -100 .. 100, contrast 0 .. 100, reserved 0; anything else
  // gives null. Each colour value v becomes
  //   clamp(128 + (v - 128) * (100 + contrast) / 100 + brightness * 128 / 100)
  // rounded: contrast 100 doubles every distance from mid grey, brightness
  // 50 lifts mid grey by 64. Palette images have their table entries
  // changed and keep their pixels; the result has the input's depth.
  kOrdinalBrightnessContrast = 79,
  // TwOrderedDither(dib, 1): one bit by an 8 x 8 Bayer matrix (dispersed
  // dots). A flat grey v whitens round(v * 64 / 255) pixels of every
  // 8 x 8 tile, so the tone of each tile is kept within 1/128.
  kOrdinalOrderedDither = 82,
  // TwAtkinsonDither(dib, 1): one bit by Atkinson error diffusion (1/8 of
  // the error to each of six neighbours, a quarter dropped): contrast is
  // raised, flat tints of 224 and lighter come out pure white and of 31 and
  // darker pure black.
  kOrdinalAtkinsonDither = 83,
  // TwGreyToBilevel(grey, threshold): an 8-bit image (its table's
  // luminance) to one bit. threshold 0 picks the level from the image's
  // histogram (the split with the largest between-class variance), so the
  // darker of two tones becomes black and the lighter white; 1 .. 255
  // whitens the pixels at or above that level. Other depths give null.
  kOrdinalGreyToBilevel = 91,
  // TwDiffuseColors(dib, bits, variant): Floyd-Steinberg error diffusion,
  // variant 0 in raster order, 1 in serpentine order (alternate rows right
  // to left). bits 1: black and white, the error of each pixel carried in
  // full, so that the mean grey of every region is kept. bits 8: onto a
  // palette chosen from the image (its own colours when it has at most 256,
  // else a median cut of its colours), so an image of up to 256 colours is
  // reproduced exactly.
  kOrdinalDiffuseColors = 98,
  // TwQuantizeColors(dib, bits, variant): reductions without error
  // diffusion. bits 1: variant 0 an 8 x 8 clustered-dot screen (dots grow
  // from the cell's centre, as a printed halftone), variant 1 a threshold
  // picked from the image's histogram as TwGreyToBilevel does. bits 8:
  // variant 0 the nearest colour of the palette chosen from the image (as
  // TwDiffuseColors), variant 1 the 6 x 6 x 6 colour cube (entry i: red
  // i / 36 * 51, green i / 6 % 6 * 51, blue i % 6 * 51; 216 entries) with
  // 8 x 8 Bayer ordered dithering.
  kOrdinalQuantizeColors = 99,
};

using PFN_TWADJUSTBRIGHTNESSCONTRAST = HGLOBAL(WINAPI*)(HGLOBAL dib, INT brightness, INT contrast, INT reserved);
using PFN_TWREDUCEBITS = HGLOBAL(WINAPI*)(HGLOBAL dib, INT bits);                  // 82, 83
using PFN_TWGREYTOBILEVEL = HGLOBAL(WINAPI*)(HGLOBAL grey, INT threshold);         // 91
using PFN_TWREDUCEVARIANT = HGLOBAL(WINAPI*)(HGLOBAL dib, INT bits, INT variant);  // 98, 99

// GetProcAddress's name argument for an ordinal.
inline LPCSTR OrdinalName(WORD ordinal) { return reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)); }

// The entry `ordinal` of the loaded library as its function type, or null.
template <typename Fn>
Fn Entry(HMODULE module, Ordinal ordinal) {
  return reinterpret_cast<Fn>(GetProcAddress(module, OrdinalName(ordinal)));
}

}  // namespace tw::twimaging
