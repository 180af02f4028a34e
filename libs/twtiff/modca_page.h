// A page DIB as the image of an IOCA segment: bilevel pages Group 4 (MMR)
// coded, grey and colour pages JPEG coded, or any of them uncompressed.
#pragma once
#include <windows.h>

#include "modca_fields.h"

namespace twtiff::modca {

// `compression` 0 (the default for the page's kind) or an IOCA id:
// kIocaNone, kIocaG4 (bilevel pages), kIocaJpeg (grey and colour pages);
// `quality` 1 to 100, for JPEG. False with the thread's error set.
bool MakeIocaImage(HGLOBAL dib, int compression, int quality, IocaImage& image);

}  // namespace twtiff::modca
