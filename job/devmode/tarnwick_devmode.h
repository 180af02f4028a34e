// TarnwickDEVMODE: the driver's extended DEVMODE, 6879 bytes, byte-packed.
//
// A 220-byte Windows DEVMODEW ("DM") followed by the driver's private part.
// The record is shared with the printer driver and client programs, so the
// layout is byte-exact and several fields sit at odd offsets. Numeric members
// are read and written through the struct (the compiler emits unaligned
// accesses for packed members); never take their address. Strings are
// PackedString fields: they are read by copying and stop at the field's end
// when the record holds no terminator.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "tw/wintypes.h"

namespace tw::devmode {

// A fixed UTF-16 field of N units inside a packed record. It has alignment 1:
// the units are copied in and out, never referenced in place.
template <std::size_t N>
struct PackedString {
  BYTE raw[N * 2];

  static constexpr std::size_t kUnits = N;

  // The text up to the first zero unit, or all N units when there is none.
  std::u16string Get() const {
    std::u16string text;
    text.reserve(N);
    for (std::size_t i = 0; i < N; ++i) {
      char16_t unit = Unit(i);
      if (unit == 0) break;
      text.push_back(unit);
    }
    return text;
  }
  // Length of the text (units before the terminator, at most N).
  std::size_t Length() const {
    for (std::size_t i = 0; i < N; ++i)
      if (Unit(i) == 0) return i;
    return N;
  }
  bool Empty() const { return Unit(0) == 0; }
  char16_t Unit(std::size_t i) const {
    char16_t unit;
    std::memcpy(&unit, raw + i * 2, 2);
    return unit;
  }
  // Stores text with its terminator and zero-fills the rest. Text that does
  // not fit with a terminator is cut to N-1 units; returns false then.
  bool Set(std::u16string_view text) {
    bool fits = text.size() < N;
    std::size_t n = std::min(text.size(), N - 1);
    std::memset(raw, 0, sizeof raw);
    if (n) std::memcpy(raw, text.data(), n * 2);
    return fits;
  }
};

#pragma pack(push, 1)

// The standard part: the members of DEVMODEW, printer view of the unions.
struct TW_DEVMODE_DM {
  PackedString<32> dmDeviceName;
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  SHORT dmOrientation;
  SHORT dmPaperSize;
  SHORT dmPaperLength;
  SHORT dmPaperWidth;
  SHORT dmScale;
  SHORT dmCopies;
  SHORT dmDefaultSource;
  SHORT dmPrintQuality;
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  PackedString<32> dmFormName;
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmNup;  // dmDisplayFlags
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
};

struct TarnwickDEVMODE {
  TW_DEVMODE_DM DM;
  DWORD Flags;
  DWORD FileFormat;
  DWORD ColorMode;
  DWORD FaxHeader;
  DWORD LossRatio;
  DWORD Dithering;
  DWORD Brightness;
  LONG PaperWidthInPixels;
  LONG PaperHeightInPixels;
  PackedString<260> ApplicationPath;
  DWORD StartAppFlags;
  DWORD FileGenerationMethod;
  PackedString<260> OutputDirectory;
  PackedString<260> ImageFileName;
  PackedString<9> FileNamePrefix;
  PackedString<5> FileExtension;
  PackedString<260> MessagingInterfaceName;
  PackedString<260> NamingSettingsPath;
  PackedString<260> TiffDllName;
  PackedString<260> JpegDllName;
  PackedString<260> ResourceDllName;
  DWORD SessionID;
  DWORD UserFlags;
  PackedString<157> UserSID;
  PackedString<21> ClientUserName;
  PackedString<16> ClientComputerName;
  PackedString<16> ClientDomain;
  PackedString<16> ClientIPAddress;
  BYTE Reserved1330[0x136c - 0x1330];
  PackedString<260> WatermarkPortraitImage;
  PackedString<260> WatermarkLandscapeImage;
  DWORD WatermarkFlags;
  WORD WatermarkBrightnessL;
  WORD WatermarkBrightnessP;
  PackedString<128> AnnotationText;
  PackedString<128> AnnotationText2;
  BYTE AnnotationFont[92];  // a LOGFONTW, copied out when used
  DWORD AnnotationFlags;
  LONG AnnotationX;
  LONG AnnotationY;
  LONG AnnotationAngle;
  DWORD AnnotationColor;
  BYTE Reserved19F4[0x19fc - 0x19f4];
  WORD ImagePdfCompression;
  BYTE ParameterOrder[16];  // entries 0..7, u16 each; older records have a ninth at 0x1a0e
  BYTE BatesProfile;
  PackedString<66> CustomParameter;
  DWORD PrinterID;
  BYTE ClientFlags;
  BYTE Reserved1A98[3];
  DWORD BarcodeFlags;
  BYTE BarcodeType;
  BYTE BarcodeLinearCode;
  BYTE BarcodeHAlign;
  BYTE BarcodeVAlign;
  LONG BarcodeX;
  LONG BarcodeY;
  BYTE BarcodeOrientation;
  BYTE BarcodeOffsetUnits;
  BYTE BarcodeValueSource;
  BYTE BarcodeLinearParams[4];
  BYTE BarcodeQRParams[3];
  BYTE BarcodeDMParams[2];
  BYTE BarcodeDMSize[4];  // two bytes and a u16, passed as a record
  BYTE BarcodePDF417Params[6];
  BYTE TextOutputType;
  BYTE TextOutputOptions;
  BYTE ParameterOrder2[8];  // entries 8..15 (records of version 1470 and later)
  WORD Flags2;
  WORD BarcodeLinearHeight;
  BYTE PagesPerSheet;
  BYTE PagesPerSheetFlags;
  BYTE Reserved1AD1[0x1adf - 0x1ad1];
};

#pragma pack(pop)

inline constexpr std::size_t kDevModeSize = 6879;
inline constexpr std::size_t kStandardPartSize = 220;
inline constexpr std::size_t kPrivatePartSize = kDevModeSize - kStandardPartSize;

static_assert(sizeof(TW_DEVMODE_DM) == kStandardPartSize);
static_assert(sizeof(TarnwickDEVMODE) == kDevModeSize);
static_assert(alignof(TarnwickDEVMODE) == 1);

#define TW_DM_AT(member, off) static_assert(offsetof(TarnwickDEVMODE, member) == (off), #member)
TW_DM_AT(DM.dmDeviceName, 0x00);
TW_DM_AT(DM.dmDriverVersion, 0x42);
TW_DM_AT(DM.dmSize, 0x44);
TW_DM_AT(DM.dmDriverExtra, 0x46);
TW_DM_AT(DM.dmFields, 0x48);
TW_DM_AT(DM.dmOrientation, 0x4c);
TW_DM_AT(DM.dmPaperSize, 0x4e);
TW_DM_AT(DM.dmPaperLength, 0x50);
TW_DM_AT(DM.dmPaperWidth, 0x52);
TW_DM_AT(DM.dmScale, 0x54);
TW_DM_AT(DM.dmCopies, 0x56);
TW_DM_AT(DM.dmPrintQuality, 0x5a);
TW_DM_AT(DM.dmDuplex, 0x5e);
TW_DM_AT(DM.dmYResolution, 0x60);
TW_DM_AT(DM.dmCollate, 0x64);
TW_DM_AT(DM.dmBitsPerPel, 0xa8);
TW_DM_AT(Flags, 0xdc);
TW_DM_AT(FileFormat, 0xe0);
TW_DM_AT(ColorMode, 0xe4);
TW_DM_AT(FaxHeader, 0xe8);
TW_DM_AT(LossRatio, 0xec);
TW_DM_AT(Dithering, 0xf0);
TW_DM_AT(Brightness, 0xf4);
TW_DM_AT(PaperWidthInPixels, 0xf8);
TW_DM_AT(PaperHeightInPixels, 0xfc);
TW_DM_AT(ApplicationPath, 0x100);
TW_DM_AT(StartAppFlags, 0x308);
TW_DM_AT(FileGenerationMethod, 0x30c);
TW_DM_AT(OutputDirectory, 0x310);
TW_DM_AT(ImageFileName, 0x518);
TW_DM_AT(FileNamePrefix, 0x720);
TW_DM_AT(FileExtension, 0x732);
TW_DM_AT(MessagingInterfaceName, 0x73c);
TW_DM_AT(NamingSettingsPath, 0x944);
TW_DM_AT(TiffDllName, 0xb4c);
TW_DM_AT(JpegDllName, 0xd54);
TW_DM_AT(ResourceDllName, 0xf5c);
TW_DM_AT(SessionID, 0x1164);
TW_DM_AT(UserFlags, 0x1168);
TW_DM_AT(UserSID, 0x116c);
TW_DM_AT(ClientUserName, 0x12a6);
TW_DM_AT(ClientComputerName, 0x12d0);
TW_DM_AT(ClientDomain, 0x12f0);
TW_DM_AT(ClientIPAddress, 0x1310);
TW_DM_AT(WatermarkPortraitImage, 0x136c);
TW_DM_AT(WatermarkLandscapeImage, 0x1574);
TW_DM_AT(WatermarkFlags, 0x177c);
TW_DM_AT(WatermarkBrightnessL, 0x1780);
TW_DM_AT(WatermarkBrightnessP, 0x1782);
TW_DM_AT(AnnotationText, 0x1784);
TW_DM_AT(AnnotationText2, 0x1884);
TW_DM_AT(AnnotationFont, 0x1984);
TW_DM_AT(AnnotationFlags, 0x19e0);
TW_DM_AT(AnnotationX, 0x19e4);
TW_DM_AT(AnnotationY, 0x19e8);
TW_DM_AT(AnnotationAngle, 0x19ec);
TW_DM_AT(AnnotationColor, 0x19f0);
TW_DM_AT(ImagePdfCompression, 0x19fc);
TW_DM_AT(ParameterOrder, 0x19fe);
TW_DM_AT(BatesProfile, 0x1a0e);
TW_DM_AT(CustomParameter, 0x1a0f);
TW_DM_AT(PrinterID, 0x1a93);
TW_DM_AT(ClientFlags, 0x1a97);
TW_DM_AT(BarcodeFlags, 0x1a9b);
TW_DM_AT(BarcodeType, 0x1a9f);
TW_DM_AT(BarcodeLinearCode, 0x1aa0);
TW_DM_AT(BarcodeHAlign, 0x1aa1);
TW_DM_AT(BarcodeVAlign, 0x1aa2);
TW_DM_AT(BarcodeX, 0x1aa3);
TW_DM_AT(BarcodeY, 0x1aa7);
TW_DM_AT(BarcodeOrientation, 0x1aab);
TW_DM_AT(BarcodeOffsetUnits, 0x1aac);
TW_DM_AT(BarcodeValueSource, 0x1aad);
TW_DM_AT(BarcodeLinearParams, 0x1aae);
TW_DM_AT(BarcodeQRParams, 0x1ab2);
TW_DM_AT(BarcodeDMParams, 0x1ab5);
TW_DM_AT(BarcodeDMSize, 0x1ab7);
TW_DM_AT(BarcodePDF417Params, 0x1abb);
TW_DM_AT(TextOutputType, 0x1ac1);
TW_DM_AT(TextOutputOptions, 0x1ac2);
TW_DM_AT(ParameterOrder2, 0x1ac3);
TW_DM_AT(Flags2, 0x1acb);
TW_DM_AT(BarcodeLinearHeight, 0x1acd);
TW_DM_AT(PagesPerSheet, 0x1acf);
TW_DM_AT(PagesPerSheetFlags, 0x1ad0);
#undef TW_DM_AT

// dmFields bits the geometry looks at.
inline constexpr DWORD kDmOrientation = 0x00000001;
inline constexpr DWORD kDmPaperSize = 0x00000002;
inline constexpr DWORD kDmPaperLength = 0x00000004;
inline constexpr DWORD kDmPaperWidth = 0x00000008;
inline constexpr DWORD kDmScale = 0x00000010;
inline constexpr DWORD kDmPrintQuality = 0x00000400;
inline constexpr DWORD kDmYResolution = 0x00002000;

// Flags bits.
namespace flags {
inline constexpr DWORD FaxModeBit1 = 0x1;
inline constexpr DWORD FaxModeBit2 = 0x2;
inline constexpr DWORD InternetTiff = 0x4;
inline constexpr DWORD PageNumberingTag = 0x8;
inline constexpr DWORD ReverseBitOrder = 0x10;
inline constexpr DWORD Multipage = 0x20;
inline constexpr DWORD WriteText = 0x40;
inline constexpr DWORD MailMerge = 0x100;
inline constexpr DWORD AdvancedTextOld = 0x200;
inline constexpr DWORD NoFileOutput = 0x400;
inline constexpr DWORD GroupFileDisabled = 0x800;
inline constexpr DWORD FaxModeBit3 = 0x1000;
inline constexpr DWORD MessagingInterface = 0x2000;
inline constexpr DWORD TiffDll = 0x4000;
inline constexpr DWORD JpegDll = 0x8000;
inline constexpr DWORD FaxOutput = 0x10000;
inline constexpr DWORD OverwriteExisting = 0x20000;
inline constexpr DWORD RotatePaper = 0x40000;
inline constexpr DWORD DeleteGroupFile = 0x80000;
inline constexpr DWORD KeepExistingFiles = 0x100000;
inline constexpr DWORD FaxModeBit4 = 0x800000;
inline constexpr DWORD UserResolution = 0x1000000;
inline constexpr DWORD RedirectPrinting = 0x2000000;
inline constexpr DWORD GenerateInMemory = 0x4000000;
inline constexpr DWORD BatesNumbering = 0x8000000;
inline constexpr DWORD MirrorLeftRight = 0x20000000;
inline constexpr DWORD MirrorTopBottom = 0x40000000;
inline constexpr DWORD SaveAs = 0x80000000;
}  // namespace flags

// StartAppFlags bits.
namespace startapp {
inline constexpr DWORD Start = 0x1;
inline constexpr DWORD BeforePrinting = 0x2;
inline constexpr DWORD PassParameters = 0x4;
inline constexpr DWORD Normal = 0x8;
inline constexpr DWORD Minimized = 0x10;
inline constexpr DWORD Hidden = 0x20;
inline constexpr DWORD InSpoolerContext = 0x40;
inline constexpr DWORD ForMessaging = 0x80;
inline constexpr DWORD CustomParameterFromRegistry = 0x100;
}  // namespace startapp

// Flags2 bits.
namespace flags2 {
inline constexpr WORD DirectoryFromNamingSettings = 0x1;
inline constexpr WORD MergeWindow = 0x2;
}  // namespace flags2

// ClientFlags bit 0: the client runs in protected mode.
inline constexpr BYTE kClientProtectedMode = 0x1;

}  // namespace tw::devmode

using tw::devmode::TarnwickDEVMODE;
