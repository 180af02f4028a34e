#include "job/devmode/devmode_access.h"

#include <cmath>
#include <limits>
#include <utility>

namespace tw::devmode {
namespace {

constexpr LONG kDefaultDpi = 300;
constexpr DWORD kDefaultFormat = 4;
constexpr DWORD kDefaultWatermarkBrightness = 40;

SHORT ToShort(LONG value) {
  if (value > std::numeric_limits<SHORT>::max()) return std::numeric_limits<SHORT>::max();
  if (value < std::numeric_limits<SHORT>::min()) return std::numeric_limits<SHORT>::min();
  return static_cast<SHORT>(value);
}

// The shared part of the resolution table: the stored codes -1..-4 and 0, a
// value in 50..3000, anything else 300.
LONG DecodeCommon(LONG stored) {
  switch (stored) {
    case -1: return 100;
    case -2: return 200;
    case -3: return 300;
    case -4: return 600;
    default: break;
  }
  if (stored >= 50 && stored <= 3000) return stored;
  return kDefaultDpi;
}

// Stores one dimension and re-expresses the other at the common scale.
bool SetPaperDimension(TarnwickDEVMODE& dm, LONG value, bool width) {
  LONG other = width ? dm.DM.dmPaperLength : dm.DM.dmPaperWidth;
  LONG oldScale = dm.DM.dmScale;
  LONG otherAt100 = other * oldScale / 100;
  LONG newValue = value;
  LONG newOther = otherAt100;
  SHORT scale = 100;
  if (value >= 32767 || otherAt100 >= 32767) {
    newValue = value / 10;
    newOther = other * oldScale / 1000;
    scale = 1000;
  }
  bool fits = newValue == ToShort(newValue) && newOther == ToShort(newOther);
  SHORT v = ToShort(newValue);
  SHORT o = ToShort(newOther);
  if (width) {
    dm.DM.dmPaperWidth = v;
    dm.DM.dmPaperLength = o;
  } else {
    dm.DM.dmPaperLength = v;
    dm.DM.dmPaperWidth = o;
  }
  dm.DM.dmScale = scale;
  return fits;
}

}  // namespace

LONG DecodeXResolution(LONG stored) {
  if (stored == -5 || stored == -6) return 204;
  return DecodeCommon(stored);
}

LONG DecodeYResolution(LONG stored) {
  if (stored == -5) return 98;
  if (stored == -6) return 196;
  return DecodeCommon(stored);
}

// -3 and 0 are not named by the storing rule and therefore store 300, which
// is also what they decode to.
SHORT EncodeXResolution(LONG requested) { return static_cast<SHORT>(DecodeXResolution(requested)); }
SHORT EncodeYResolution(LONG requested) { return static_cast<SHORT>(DecodeYResolution(requested)); }

LONG GetXDPI(const TarnwickDEVMODE* dm) { return dm ? DecodeXResolution(dm->DM.dmPrintQuality) : kDefaultDpi; }
LONG GetYDPI(const TarnwickDEVMODE* dm) { return dm ? DecodeYResolution(dm->DM.dmYResolution) : kDefaultDpi; }

void SetResolution(TarnwickDEVMODE& dm, LONG x, LONG y) {
  dm.DM.dmPrintQuality = EncodeXResolution(x);
  dm.DM.dmYResolution = EncodeYResolution(y);
}

LONG GetPaperWidth(const TarnwickDEVMODE& dm) { return LONG{dm.DM.dmPaperWidth} * dm.DM.dmScale / 100; }
LONG GetPaperLength(const TarnwickDEVMODE& dm) { return LONG{dm.DM.dmPaperLength} * dm.DM.dmScale / 100; }

bool SetPaperWidth(TarnwickDEVMODE& dm, LONG tenthsMm) { return SetPaperDimension(dm, tenthsMm, true); }
bool SetPaperLength(TarnwickDEVMODE& dm, LONG tenthsMm) { return SetPaperDimension(dm, tenthsMm, false); }

LONG PaperPixels(LONG dpi, LONG tenthsMm) {
  double pixels = std::trunc(static_cast<double>(dpi) / 254.0 * tenthsMm + 0.5);
  // Out-of-range products (hostile records) are limited instead of overflowing.
  if (pixels > std::numeric_limits<LONG>::max()) return std::numeric_limits<LONG>::max();
  if (pixels < std::numeric_limits<LONG>::min()) return std::numeric_limits<LONG>::min();
  return static_cast<LONG>(pixels);
}

bool ComputePaperPixels(TarnwickDEVMODE& dm) {
  constexpr DWORD kNeeded = kDmPaperLength | kDmPaperWidth | kDmPrintQuality | kDmYResolution;
  if ((dm.DM.dmFields & kNeeded) != kNeeded) return false;
  LONG dpiA = GetXDPI(&dm);
  LONG dpiB = GetYDPI(&dm);
  if ((dm.Flags & flags::FaxOutput) && dm.DM.dmOrientation == 2) std::swap(dpiA, dpiB);
  LONG width = PaperPixels(dpiA, GetPaperWidth(dm));
  LONG height = PaperPixels(dpiB, GetPaperLength(dm));
  if (width <= 0 || height <= 0) return false;
  dm.PaperWidthInPixels = width;
  dm.PaperHeightInPixels = height;
  return true;
}

DWORD GetFileFormat(const TarnwickDEVMODE* dm) { return dm ? dm->FileFormat : kDefaultFormat; }

DWORD GetColorMode(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  return dm->ColorMode > 3 ? 3 : dm->ColorMode;
}

DWORD BitsPerPixelOfColorMode(DWORD colorMode) {
  switch (colorMode) {
    case 0: return 1;
    case 1:
    case 2: return 8;
    default: return 24;
  }
}

DWORD GetBitsPerPixel(const TarnwickDEVMODE* dm) { return BitsPerPixelOfColorMode(GetColorMode(dm)); }

void SetColorMode(TarnwickDEVMODE& dm, DWORD colorMode) {
  if (colorMode > 3) colorMode = 3;
  dm.ColorMode = colorMode;
  dm.DM.dmBitsPerPel = colorMode == 0 ? 1 : 24;
}

DWORD ClampLossRatio(DWORD value) {
  if (value == 0) return 1;
  return value > 100 ? 100 : value;
}

DWORD GetLossRatio(const TarnwickDEVMODE* dm) { return ClampLossRatio(dm ? dm->LossRatio : 0); }

DWORD GetBrightness(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  return dm->Brightness > 199 ? 199 : dm->Brightness;
}

DWORD GetFileGenerationMethod(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  return dm->FileGenerationMethod >= 10 ? 0 : dm->FileGenerationMethod;
}

DWORD ClampWatermarkBrightness(DWORD value) { return value > 100 ? kDefaultWatermarkBrightness : value; }

DWORD GetWatermarkBrightnessL(const TarnwickDEVMODE* dm) {
  return dm ? ClampWatermarkBrightness(dm->WatermarkBrightnessL) : kDefaultWatermarkBrightness;
}

DWORD GetWatermarkBrightnessP(const TarnwickDEVMODE* dm) {
  return dm ? ClampWatermarkBrightness(dm->WatermarkBrightnessP) : kDefaultWatermarkBrightness;
}

namespace {
// The Flags bit of each fax kind 1..4.
constexpr DWORD kFaxBits[5] = {0, flags::FaxModeBit2, flags::FaxModeBit4, flags::FaxModeBit3, flags::FaxModeBit1};
constexpr DWORD kAllFaxBits = flags::FaxModeBit1 | flags::FaxModeBit2 | flags::FaxModeBit3 | flags::FaxModeBit4;
}  // namespace

DWORD GetFaxMode(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  for (DWORD kind = 1; kind <= 4; ++kind)
    if (dm->Flags & kFaxBits[kind]) return kind;
  return 0;
}

void SetFaxMode(TarnwickDEVMODE& dm, DWORD kind) {
  DWORD f = dm.Flags & ~kAllFaxBits;
  if (kind >= 1 && kind <= 4) f |= kFaxBits[kind];
  dm.Flags = f;
}

bool IsFaxStandardResolution(DWORD kind) { return kind == 2 || kind == 3; }

DWORD GetTextOutputType(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  return dm->TextOutputType == 3 ? 2 : dm->TextOutputType;
}

bool IsAdvancedText(const TarnwickDEVMODE* dm) {
  if (!dm) return false;
  if (dm->DM.dmDriverVersion < kVersionTextOutputType) return (dm->Flags & flags::AdvancedTextOld) != 0;
  return dm->TextOutputType == 1;
}

DWORD GetPagesPerSheet(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  return dm->PagesPerSheet == 1 ? 0 : dm->PagesPerSheet;
}

DWORD ParameterOrderCount(const TarnwickDEVMODE* dm) {
  if (!dm) return 0;
  return dm->DM.dmDriverVersion < kVersionParameterOrder16 ? 9 : 16;
}

namespace {
// Older records keep nine u16 entries from 0x19fe; the ninth overlays the
// bytes that newer records use for BatesProfile and CustomParameter.
constexpr std::size_t kParameterOrderOffset = offsetof(TarnwickDEVMODE, ParameterOrder);
}  // namespace

DWORD GetParameterOrder(const TarnwickDEVMODE* dm, DWORD index) {
  if (!dm || index >= ParameterOrderCount(dm)) return 0;
  if (index < 8 || dm->DM.dmDriverVersion < kVersionParameterOrder16) {
    WORD value;
    std::memcpy(&value, reinterpret_cast<const BYTE*>(dm) + kParameterOrderOffset + 2 * index, 2);
    return value;
  }
  return dm->ParameterOrder2[index - 8];
}

bool SetParameterOrder(TarnwickDEVMODE& dm, DWORD index, DWORD value) {
  if (index >= ParameterOrderCount(&dm)) return false;
  if (index < 8 || dm.DM.dmDriverVersion < kVersionParameterOrder16) {
    WORD v = static_cast<WORD>(value);
    std::memcpy(reinterpret_cast<BYTE*>(&dm) + kParameterOrderOffset + 2 * index, &v, 2);
  } else {
    dm.ParameterOrder2[index - 8] = static_cast<BYTE>(value);
  }
  return true;
}

std::u16string GetCustomParameter(const TarnwickDEVMODE* dm) { return dm ? dm->CustomParameter.Get() : std::u16string(); }

bool HasConsistentSize(const TarnwickDEVMODE& dm) {
  return static_cast<DWORD>(dm.DM.dmSize) + dm.DM.dmDriverExtra == kDevModeSize;
}

bool SaveAsApplies(const TarnwickDEVMODE* dm) { return dm && (dm->Flags & flags::SaveAs) != 0; }

}  // namespace tw::devmode
