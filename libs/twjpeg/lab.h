// sRGB <-> CIELAB (D50) in the 8-bit encoding of ITU-T T.42.
#pragma once
#include <cstdint>

namespace twjpeg {

// r, g, b -> L, a, b bytes.
void RgbToLab(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t out[3]);
// L, a, b bytes -> r, g, b.
void LabToRgb(std::uint8_t l, std::uint8_t a, std::uint8_t b, std::uint8_t out[3]);

}  // namespace twjpeg
