// The similarity figure between a rendering and its reference.
//
// GDI output is aliased, so two correct renderings of the same page can
// still disagree by a pixel along every edge, and a reference made with
// other fonts has other glyph shapes. The figure therefore:
//  - forgives a one-pixel shift: a pixel counts as matched when some pixel
//    of the other image within its 3x3 neighbourhood has nearly the same
//    colour (every channel within `threshold`);
//  - counts a pixel as wrong when it is unmatched in either direction
//    (something missing and something extra both count);
//  - is relative to ink, not to the page: wrong pixels are divided by the
//    pixels that differ from the page's background (the reference's most
//    frequent colour) in either image, so a page of mostly empty paper, white
//    or coloured, cannot score well while drawing nothing;
//  - is computed twice: "fine" on the images as they are, and "coarse" on
//    both reduced by 4x4 box averaging, where glyph shapes blur into grey
//    blocks and text compares by position and size only (the loose text
//    comparison the corpus asks for).
#pragma once
#include <cstdint>
#include <string>

#include "image_io.h"

namespace twtools {

struct CompareOptions {
  int threshold = 48;       // per-channel tolerance (0..255)
  int inkThreshold = 8;     // a pixel further than this from the background (any channel) is ink
  int coarseBlock = 4;      // box size of the coarse comparison
};

struct CompareResult {
  bool sizeMatches = false;
  double fine = 0.0;        // 1 - wrong/ink at full resolution, 0..1
  double coarse = 0.0;      // the same on the 4x4-reduced images
  std::uint64_t inkPixels = 0;
  std::uint64_t wrongPixels = 0;
  double pageShare = 0.0;   // wrong pixels / all pixels (for reference)
};

CompareResult CompareImages(const RgbImage& ours, const RgbImage& reference, const CompareOptions& options = {});

// Box-averages an image by `block` x `block` (the last row/column of blocks
// averages what is there).
RgbImage Reduce(const RgbImage& image, int block);

}  // namespace twtools
