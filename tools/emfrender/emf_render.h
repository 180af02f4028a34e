// Renders an enhanced metafile into an RGB image through the layer's GDI,
// the way a page is rendered: a memory DC with a DIB section filled white,
// then PlayEnhMetaFile into (0, 0, W, H).
#pragma once
#include <filesystem>
#include <span>
#include <string>

#include "image_io.h"

namespace twtools {

struct RenderOptions {
  double dpi = 150.0;  // page size = frame (0.01 mm) x dpi / 2540, rounded
  int width = 0;       // when both are set, the page size instead of dpi
  int height = 0;
  int bits = 24;       // 1, 24 or 32 bits per pixel of the render bitmap
};

struct RenderResult {
  bool rendered = false;   // an image was produced
  bool playedOk = false;   // PlayEnhMetaFile reported success
  std::string error;       // why not rendered, or what failed during playback
};

RenderResult RenderEmfBytes(std::span<const unsigned char> bytes, const RenderOptions& options, RgbImage& image);
RenderResult RenderEmfFile(const std::filesystem::path& path, const RenderOptions& options, RgbImage& image);

// The largest page the tools render (pixels a side, and in total).
inline constexpr int kMaxRenderSide = 20000;
inline constexpr long long kMaxRenderPixels = 120'000'000;

}  // namespace twtools
