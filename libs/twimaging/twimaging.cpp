// The library's entries, exported by ordinal only. Arguments are checked
// here; nothing thrown inside (a failed allocation) leaves the library.
#include <new>
#include <type_traits>

#include "libs/twimaging/image_rows.h"
#include "libs/twimaging/twimaging.h"
#include "tw/modulekit.h"

namespace tw::twimaging {
namespace {

template <typename F>
HGLOBAL Guarded(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HGLOBAL WINAPI TwAdjustBrightnessContrast(HGLOBAL dib, INT brightness, INT contrast, INT reserved) {
  if (brightness < -100 || brightness > 100 || contrast < 0 || contrast > 100 || reserved != 0) return nullptr;
  return Guarded([&] { return BrightnessContrast(dib, brightness, contrast); });
}

HGLOBAL WINAPI TwOrderedDither(HGLOBAL dib, INT bits) {
  if (bits != 1) return nullptr;
  return Guarded([&]() -> HGLOBAL {
    InputImage in(dib);
    return in.ok() ? OrderedOneBit(in) : nullptr;
  });
}

HGLOBAL WINAPI TwAtkinsonDither(HGLOBAL dib, INT bits) {
  if (bits != 1) return nullptr;
  return Guarded([&]() -> HGLOBAL {
    InputImage in(dib);
    return in.ok() ? DiffuseOneBit(in, Diffusion::Atkinson) : nullptr;
  });
}

HGLOBAL WINAPI TwGreyToBilevel(HGLOBAL grey, INT threshold) {
  if (threshold < 0 || threshold > 255) return nullptr;
  return Guarded([&]() -> HGLOBAL {
    InputImage in(grey);
    return in.ok() && in.layout().bits == 8 ? ThresholdOneBit(in, threshold) : nullptr;
  });
}

HGLOBAL WINAPI TwDiffuseColors(HGLOBAL dib, INT bits, INT variant) {
  if ((bits != 1 && bits != 8) || (variant != 0 && variant != 1)) return nullptr;
  return Guarded([&]() -> HGLOBAL {
    InputImage in(dib);
    if (!in.ok()) return nullptr;
    if (bits == 1) return DiffuseOneBit(in, variant ? Diffusion::FloydSteinbergSerpentine : Diffusion::FloydSteinberg);
    return PaletteEightBits(in, true, variant == 1);
  });
}

HGLOBAL WINAPI TwQuantizeColors(HGLOBAL dib, INT bits, INT variant) {
  if ((bits != 1 && bits != 8) || (variant != 0 && variant != 1)) return nullptr;
  return Guarded([&]() -> HGLOBAL {
    InputImage in(dib);
    if (!in.ok()) return nullptr;
    if (bits == 1) return variant ? ThresholdOneBit(in, 0) : ClusteredOneBit(in);
    return variant ? CubeEightBits(in) : PaletteEightBits(in, false, false);
  });
}

// The exports' types are the ones callers cast to.
static_assert(std::is_same_v<decltype(&TwAdjustBrightnessContrast), PFN_TWADJUSTBRIGHTNESSCONTRAST>);
static_assert(std::is_same_v<decltype(&TwOrderedDither), PFN_TWREDUCEBITS>);
static_assert(std::is_same_v<decltype(&TwGreyToBilevel), PFN_TWGREYTOBILEVEL>);
static_assert(std::is_same_v<decltype(&TwDiffuseColors), PFN_TWREDUCEVARIANT>);

}  // namespace
}  // namespace tw::twimaging

TW_ORDINAL(79, tw::twimaging::TwAdjustBrightnessContrast);
TW_ORDINAL(82, tw::twimaging::TwOrderedDither);
TW_ORDINAL(83, tw::twimaging::TwAtkinsonDither);
TW_ORDINAL(91, tw::twimaging::TwGreyToBilevel);
TW_ORDINAL(98, tw::twimaging::TwDiffuseColors);
TW_ORDINAL(99, tw::twimaging::TwQuantizeColors);
