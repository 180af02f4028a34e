// The record corrections that make page geometry, resolution and colour mode
// consistent. Each works on the record alone; the job's correction
// (job/settings/correct_devmode.h) runs them in order with the effective
// format and colour mode.
#pragma once

#include <string>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::devmode {

// Landscape (dmOrientation 2) exchanges dmPaperWidth and dmPaperLength, and
// PaperWidthInPixels and PaperHeightInPixels; the scale stays. Returns true
// when the record was landscape.
bool SwapLandscapeWidthHeight(TarnwickDEVMODE& dm);

// The EMF format keeps the page as drawn: annotation, watermark, barcode
// and Bates numbering are switched off for it.
void SwitchOffStampsForFormat(TarnwickDEVMODE& dm, DWORD format);

// Fax output sets 204 x 98 DPI (standard kinds 2 and 3) or 204 x 196.
// Then a negative dmPrintQuality is made concrete: -4 600 x 600, -2 204 x 196,
// -1 204 x 98, any other 300 x 300; a stored resolution above 3000 is lowered
// to 3000.
void CorrectResolution(TarnwickDEVMODE& dm);

// The TIFF flags some formats imply: 21 sets page numbering and reverse bit
// order; 22 and 23 set page numbering and clear reverse bit order; 30 clears
// reverse bit order.
void ApplyFormatFlags(TarnwickDEVMODE& dm, DWORD format);

// Stores the colour mode a format with colour-capability `mask` accepts for
// the requested mode (ColorMode and dmBitsPerPel); returns it.
DWORD CorrectColorMode(TarnwickDEVMODE& dm, DWORD requestedMode, WORD mask);

// One line with the geometry the correction traces before and after.
std::u16string GeometryText(const TarnwickDEVMODE& dm);

}  // namespace tw::devmode
