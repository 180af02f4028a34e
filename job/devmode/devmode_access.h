// Reading and storing rules of the TarnwickDEVMODE fields.
//
// Every reader is a pure function of the record and accepts a null record
// (no DEVMODE arrived): X and Y DPI 300, format 4, colour mode 0, watermark
// brightness 40; the other numbers read as those of a zero-filled record.
// The clamps below are applied on reading; the stored bytes stay as they came.
#pragma once

#include <string>

#include "job/devmode/tarnwick_devmode.h"

namespace tw::devmode {

// Record versions (dmDriverVersion) at which the layout of a few values changed.
inline constexpr WORD kVersionTextOutputType = 1456;  // advanced text moved to TextOutputType
inline constexpr WORD kVersionParameterOrder16 = 1470;  // parameter order grew to 16 entries

// --- resolution -------------------------------------------------------------

struct Resolution {
  LONG x;
  LONG y;
};
// The X DPI a stored dmPrintQuality means, and the Y DPI a stored dmYResolution means.
LONG DecodeXResolution(LONG stored);
LONG DecodeYResolution(LONG stored);
// The values stored for a requested X or Y resolution.
SHORT EncodeXResolution(LONG requested);
SHORT EncodeYResolution(LONG requested);

LONG GetXDPI(const TarnwickDEVMODE* dm);
LONG GetYDPI(const TarnwickDEVMODE* dm);
// Stores both resolutions by the storing rule.
void SetResolution(TarnwickDEVMODE& dm, LONG x, LONG y);

// --- page geometry ----------------------------------------------------------

// The real paper width and length in 0.1 mm (field * dmScale / 100).
LONG GetPaperWidth(const TarnwickDEVMODE& dm);
LONG GetPaperLength(const TarnwickDEVMODE& dm);
// Store a new width or length in 0.1 mm, keeping the scale convention: scale
// 100, or scale 1000 with both dimensions divided by 10 when either reaches
// 32767. Returns false when the value had to be limited to what fits.
bool SetPaperWidth(TarnwickDEVMODE& dm, LONG tenthsMm);
bool SetPaperLength(TarnwickDEVMODE& dm, LONG tenthsMm);
// Pixels for a length in 0.1 mm at a resolution: trunc(dpi / 254 * length + 0.5).
LONG PaperPixels(LONG dpi, LONG tenthsMm);
// The pixel size of the page from paper size and resolution, stored in
// PaperWidthInPixels / PaperHeightInPixels. Only when dmFields has the paper
// length, width, print quality and Y resolution bits, and only when both
// results are above 0; fax output in landscape swaps the resolutions.
// Returns true when the record was changed.
bool ComputePaperPixels(TarnwickDEVMODE& dm);

// --- format and colour ------------------------------------------------------

DWORD GetFileFormat(const TarnwickDEVMODE* dm);
// 0..3; a stored value above 3 reads as 3.
DWORD GetColorMode(const TarnwickDEVMODE* dm);
// 1 for mode 0, 8 for modes 1 and 2, 24 for mode 3 (modes above 3 count as 3).
DWORD BitsPerPixelOfColorMode(DWORD colorMode);
DWORD GetBitsPerPixel(const TarnwickDEVMODE* dm);
// Sets ColorMode (at most 3) and dmBitsPerPel: 1 for mode 0, else 24.
void SetColorMode(TarnwickDEVMODE& dm, DWORD colorMode);
// 1..100: 0 reads as 1, above 100 as 100.
DWORD ClampLossRatio(DWORD value);
DWORD GetLossRatio(const TarnwickDEVMODE* dm);
// 0..199.
DWORD GetBrightness(const TarnwickDEVMODE* dm);
// 0..9; 10 and above read as 0.
DWORD GetFileGenerationMethod(const TarnwickDEVMODE* dm);
// 0..100; larger values read as 40 (also 40 without a record).
DWORD ClampWatermarkBrightness(DWORD value);
DWORD GetWatermarkBrightnessL(const TarnwickDEVMODE* dm);
DWORD GetWatermarkBrightnessP(const TarnwickDEVMODE* dm);

// --- fax --------------------------------------------------------------------

// 0..4 from the four fax bits of Flags (0x2 → 1, 0x800000 → 2, 0x1000 → 3, 0x1 → 4).
DWORD GetFaxMode(const TarnwickDEVMODE* dm);
// Clears the four bits and sets the one of kind 1..4 (kind 0 sets none).
void SetFaxMode(TarnwickDEVMODE& dm, DWORD kind);
// Kinds 2 and 3 are standard resolution (98 DPI vertically), the others fine.
bool IsFaxStandardResolution(DWORD kind);

// --- text output, pages per sheet -------------------------------------------

// TextOutputType with 3 read as 2.
DWORD GetTextOutputType(const TarnwickDEVMODE* dm);
// Advanced text: Flags 0x200 in records older than 1456, else TextOutputType 1.
bool IsAdvancedText(const TarnwickDEVMODE* dm);
// PagesPerSheet with 1 read as 0 (off).
DWORD GetPagesPerSheet(const TarnwickDEVMODE* dm);

// --- start application ------------------------------------------------------

// Number of parameter-order entries the record holds: 9 before version 1470, else 16.
DWORD ParameterOrderCount(const TarnwickDEVMODE* dm);
// Entry i of the parameter order; 0 for an entry the record does not hold.
DWORD GetParameterOrder(const TarnwickDEVMODE* dm, DWORD index);
// Stores entry i (returns false for an index the record's version does not hold).
bool SetParameterOrder(TarnwickDEVMODE& dm, DWORD index, DWORD value);
std::u16string GetCustomParameter(const TarnwickDEVMODE* dm);

// --- the record as a whole --------------------------------------------------

// dmSize + dmDriverExtra equals the record size.
bool HasConsistentSize(const TarnwickDEVMODE& dm);
// Flags bit 31: the per-job Save-As values apply.
bool SaveAsApplies(const TarnwickDEVMODE* dm);

}  // namespace tw::devmode
