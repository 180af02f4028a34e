// The sRGB ICC profile of PDF/A output intents, made with lcms2 when the
// engine is built (make_srgb_profile.cpp).
#pragma once
#include <cstddef>

namespace twpdf {

extern const unsigned char kSrgbProfile[];
extern const std::size_t kSrgbProfileSize;

}  // namespace twpdf
