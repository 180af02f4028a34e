#include "job/devmode/devmode_fields.h"

#include <array>
#include <cstring>
#include <limits>
#include <vector>

#include "tw/casefold.h"
#include "tw/utf.h"

namespace tw::devmode {
namespace {

using K = FieldKind;

#define TW_FIELD(member, kind, count) FieldInfo{u## #member, offsetof(TarnwickDEVMODE, member), kind, count}
#define TW_DMFIELD(member, kind, count) FieldInfo{u## #member, offsetof(TarnwickDEVMODE, DM.member), kind, count}
#define TW_STRING(member) TW_FIELD(member, K::String, decltype(TarnwickDEVMODE::member)::kUnits)
#define TW_DMSTRING(member) TW_DMFIELD(member, K::String, decltype(TW_DEVMODE_DM::member)::kUnits)

const std::array kFields = {
    TW_DMSTRING(dmDeviceName),
    TW_DMFIELD(dmSpecVersion, K::U16, 1),
    TW_DMFIELD(dmDriverVersion, K::U16, 1),
    TW_DMFIELD(dmSize, K::U16, 1),
    TW_DMFIELD(dmDriverExtra, K::U16, 1),
    TW_DMFIELD(dmFields, K::U32, 1),
    TW_DMFIELD(dmOrientation, K::I16, 1),
    TW_DMFIELD(dmPaperSize, K::I16, 1),
    TW_DMFIELD(dmPaperLength, K::I16, 1),
    TW_DMFIELD(dmPaperWidth, K::I16, 1),
    TW_DMFIELD(dmScale, K::I16, 1),
    TW_DMFIELD(dmCopies, K::I16, 1),
    TW_DMFIELD(dmDefaultSource, K::I16, 1),
    TW_DMFIELD(dmPrintQuality, K::I16, 1),
    TW_DMFIELD(dmColor, K::I16, 1),
    TW_DMFIELD(dmDuplex, K::I16, 1),
    TW_DMFIELD(dmYResolution, K::I16, 1),
    TW_DMFIELD(dmTTOption, K::I16, 1),
    TW_DMFIELD(dmCollate, K::I16, 1),
    TW_DMSTRING(dmFormName),
    TW_DMFIELD(dmLogPixels, K::U16, 1),
    TW_DMFIELD(dmBitsPerPel, K::U32, 1),
    TW_DMFIELD(dmPelsWidth, K::U32, 1),
    TW_DMFIELD(dmPelsHeight, K::U32, 1),
    TW_DMFIELD(dmNup, K::U32, 1),
    TW_DMFIELD(dmDisplayFrequency, K::U32, 1),
    TW_DMFIELD(dmICMMethod, K::U32, 1),
    TW_DMFIELD(dmICMIntent, K::U32, 1),
    TW_DMFIELD(dmMediaType, K::U32, 1),
    TW_DMFIELD(dmDitherType, K::U32, 1),
    TW_DMFIELD(dmReserved1, K::U32, 1),
    TW_DMFIELD(dmReserved2, K::U32, 1),
    TW_DMFIELD(dmPanningWidth, K::U32, 1),
    TW_DMFIELD(dmPanningHeight, K::U32, 1),
    TW_FIELD(Flags, K::U32, 1),
    TW_FIELD(FileFormat, K::U32, 1),
    TW_FIELD(ColorMode, K::U32, 1),
    TW_FIELD(FaxHeader, K::U32, 1),
    TW_FIELD(LossRatio, K::U32, 1),
    TW_FIELD(Dithering, K::U32, 1),
    TW_FIELD(Brightness, K::U32, 1),
    TW_FIELD(PaperWidthInPixels, K::I32, 1),
    TW_FIELD(PaperHeightInPixels, K::I32, 1),
    TW_STRING(ApplicationPath),
    TW_FIELD(StartAppFlags, K::U32, 1),
    TW_FIELD(FileGenerationMethod, K::U32, 1),
    TW_STRING(OutputDirectory),
    TW_STRING(ImageFileName),
    TW_STRING(FileNamePrefix),
    TW_STRING(FileExtension),
    TW_STRING(MessagingInterfaceName),
    TW_STRING(NamingSettingsPath),
    TW_STRING(TiffDllName),
    TW_STRING(JpegDllName),
    TW_STRING(ResourceDllName),
    TW_FIELD(SessionID, K::U32, 1),
    TW_FIELD(UserFlags, K::U32, 1),
    TW_STRING(UserSID),
    TW_STRING(ClientUserName),
    TW_STRING(ClientComputerName),
    TW_STRING(ClientDomain),
    TW_STRING(ClientIPAddress),
    TW_STRING(WatermarkPortraitImage),
    TW_STRING(WatermarkLandscapeImage),
    TW_FIELD(WatermarkFlags, K::U32, 1),
    TW_FIELD(WatermarkBrightnessL, K::U16, 1),
    TW_FIELD(WatermarkBrightnessP, K::U16, 1),
    TW_STRING(AnnotationText),
    TW_STRING(AnnotationText2),
    TW_FIELD(AnnotationFont, K::Bytes, 92),
    TW_FIELD(AnnotationFlags, K::U32, 1),
    TW_FIELD(AnnotationX, K::I32, 1),
    TW_FIELD(AnnotationY, K::I32, 1),
    TW_FIELD(AnnotationAngle, K::I32, 1),
    TW_FIELD(AnnotationColor, K::U32, 1),
    TW_FIELD(ImagePdfCompression, K::U16, 1),
    TW_FIELD(ParameterOrder, K::U16Array, 8),
    TW_FIELD(BatesProfile, K::U8, 1),
    TW_STRING(CustomParameter),
    TW_FIELD(PrinterID, K::U32, 1),
    TW_FIELD(ClientFlags, K::U8, 1),
    TW_FIELD(BarcodeFlags, K::U32, 1),
    TW_FIELD(BarcodeType, K::U8, 1),
    TW_FIELD(BarcodeLinearCode, K::U8, 1),
    TW_FIELD(BarcodeHAlign, K::U8, 1),
    TW_FIELD(BarcodeVAlign, K::U8, 1),
    TW_FIELD(BarcodeX, K::I32, 1),
    TW_FIELD(BarcodeY, K::I32, 1),
    TW_FIELD(BarcodeOrientation, K::U8, 1),
    TW_FIELD(BarcodeOffsetUnits, K::U8, 1),
    TW_FIELD(BarcodeValueSource, K::U8, 1),
    TW_FIELD(BarcodeLinearParams, K::Bytes, 4),
    TW_FIELD(BarcodeQRParams, K::Bytes, 3),
    TW_FIELD(BarcodeDMParams, K::Bytes, 2),
    TW_FIELD(BarcodeDMSize, K::Bytes, 4),
    TW_FIELD(BarcodePDF417Params, K::Bytes, 6),
    TW_FIELD(TextOutputType, K::U8, 1),
    TW_FIELD(TextOutputOptions, K::U8, 1),
    TW_FIELD(ParameterOrder2, K::Bytes, 8),
    TW_FIELD(Flags2, K::U16, 1),
    TW_FIELD(BarcodeLinearHeight, K::U16, 1),
    TW_FIELD(PagesPerSheet, K::U8, 1),
    TW_FIELD(PagesPerSheetFlags, K::U8, 1),
};

#undef TW_FIELD
#undef TW_DMFIELD
#undef TW_STRING
#undef TW_DMSTRING

struct Range {
  LONGLONG min, max;
};

Range RangeOf(FieldKind kind) {
  switch (kind) {
    case K::U8:
    case K::Bytes: return {0, 0xff};
    case K::U16:
    case K::U16Array: return {0, 0xffff};
    case K::I16: return {std::numeric_limits<SHORT>::min(), std::numeric_limits<SHORT>::max()};
    case K::U32: return {0, 0xffffffffLL};
    case K::I32: return {std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()};
    case K::String: break;
  }
  return {0, 0};
}

std::size_t ElementSize(FieldKind kind) {
  switch (kind) {
    case K::U8:
    case K::Bytes: return 1;
    case K::U16:
    case K::I16:
    case K::U16Array: return 2;
    case K::U32:
    case K::I32: return 4;
    case K::String: return 2;
  }
  return 1;
}

// Decimal with an optional sign, or 0x-prefixed hexadecimal; spaces around it allowed.
std::optional<LONGLONG> ParseInteger(std::u16string_view text) {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 16) return std::nullopt;
  LONGLONG value = 0;
  for (char16_t c : text) {
    int digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
  }
  return negative ? -value : value;
}

LONGLONG ReadElement(const BYTE* at, FieldKind kind) {
  switch (kind) {
    case K::U8:
    case K::Bytes: return *at;
    case K::U16:
    case K::U16Array: {
      WORD v;
      std::memcpy(&v, at, 2);
      return v;
    }
    case K::I16: {
      SHORT v;
      std::memcpy(&v, at, 2);
      return v;
    }
    case K::U32: {
      DWORD v;
      std::memcpy(&v, at, 4);
      return v;
    }
    case K::I32: {
      LONG v;
      std::memcpy(&v, at, 4);
      return v;
    }
    case K::String: break;
  }
  return 0;
}

void WriteElement(BYTE* at, FieldKind kind, LONGLONG value) {
  switch (ElementSize(kind)) {
    case 1: *at = static_cast<BYTE>(value); break;
    case 2: {
      WORD v = static_cast<WORD>(value);
      std::memcpy(at, &v, 2);
      break;
    }
    default: {
      DWORD v = static_cast<DWORD>(value);
      std::memcpy(at, &v, 4);
      break;
    }
  }
}

}  // namespace

std::size_t FieldInfo::Size() const { return count * ElementSize(kind); }

std::span<const FieldInfo> AllFields() { return kFields; }

const FieldInfo* FindField(std::u16string_view name) {
  if (name.size() > 3 && EqualsNoCase(name.substr(0, 3), u"DM.")) name.remove_prefix(3);
  for (const FieldInfo& f : kFields)
    if (EqualsNoCase(name, f.name)) return &f;
  return nullptr;
}

std::u16string GetFieldText(const TarnwickDEVMODE& dm, const FieldInfo& field) {
  const BYTE* at = reinterpret_cast<const BYTE*>(&dm) + field.offset;
  if (field.kind == K::String) {
    std::u16string text;
    for (std::size_t i = 0; i < field.count; ++i) {
      char16_t unit;
      std::memcpy(&unit, at + 2 * i, 2);
      if (unit == 0) break;
      text.push_back(unit);
    }
    return text;
  }
  std::string out;
  std::size_t step = ElementSize(field.kind);
  for (std::size_t i = 0; i < field.count; ++i) {
    if (i) out += ',';
    out += std::to_string(ReadElement(at + i * step, field.kind));
  }
  return FromUtf8(out);
}

bool SetFieldText(TarnwickDEVMODE& dm, const FieldInfo& field, std::u16string_view text) {
  BYTE* at = reinterpret_cast<BYTE*>(&dm) + field.offset;
  if (field.kind == K::String) {
    if (text.size() >= field.count || text.find(u'\0') != std::u16string_view::npos) return false;
    std::memset(at, 0, field.count * 2);
    if (!text.empty()) std::memcpy(at, text.data(), text.size() * 2);
    return true;
  }
  // Numbers first, all of them, so that a bad element changes nothing.
  std::vector<LONGLONG> values;
  Range range = RangeOf(field.kind);
  while (true) {
    std::size_t comma = text.find(u',');
    auto value = ParseInteger(text.substr(0, comma));
    if (!value || *value < range.min || *value > range.max) return false;
    values.push_back(*value);
    if (comma == std::u16string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  // An array may be given in full or by its first elements; the rest stays.
  if (values.size() > field.count) return false;
  std::size_t step = ElementSize(field.kind);
  for (std::size_t i = 0; i < values.size(); ++i) WriteElement(at + i * step, field.kind, values[i]);
  return true;
}

bool SetFieldByName(TarnwickDEVMODE& dm, std::u16string_view name, std::u16string_view text) {
  const FieldInfo* field = FindField(name);
  return field && SetFieldText(dm, *field, text);
}

std::vector<std::u16string> DumpFields(const TarnwickDEVMODE& dm) {
  std::vector<std::u16string> lines;
  for (const FieldInfo& f : kFields) lines.push_back(std::u16string(f.name) + u"=" + GetFieldText(dm, f));
  return lines;
}

bool SetFieldFromLine(TarnwickDEVMODE& dm, std::u16string_view line) {
  std::size_t eq = line.find(u'=');
  if (eq == std::u16string_view::npos) return false;
  return SetFieldByName(dm, line.substr(0, eq), line.substr(eq + 1));
}

bool ApplyFieldAssignments(TarnwickDEVMODE& dm, std::span<const std::u16string> assignments, std::u16string& error) {
  for (const std::u16string& line : assignments) {
    std::size_t eq = line.find(u'=');
    if (eq == std::u16string::npos) {
      error = u"\"" + line + u"\" is not Name=Value";
      return false;
    }
    std::u16string_view name = std::u16string_view(line).substr(0, eq);
    const FieldInfo* field = FindField(name);
    if (!field) {
      error = u"no field named \"" + std::u16string(name) + u"\"";
      return false;
    }
    if (!SetFieldText(dm, *field, std::u16string_view(line).substr(eq + 1))) {
      error = field->kind == K::String
                  ? u"the text for " + std::u16string(field->name) + u" does not fit in its " +
                        FromUtf8(std::to_string(field->count - 1)) + u" characters"
                  : u"\"" + line.substr(eq + 1) + u"\" is not a value of " + std::u16string(field->name);
      return false;
    }
  }
  return true;
}

bool RecordFromBytes(std::span<const BYTE> bytes, TarnwickDEVMODE& dm, std::u16string& error) {
  if (bytes.size() != kDevModeSize) {
    error = u"a DEVMODE record has " + FromUtf8(std::to_string(kDevModeSize)) + u" bytes, not " +
            FromUtf8(std::to_string(bytes.size()));
    return false;
  }
  std::memcpy(&dm, bytes.data(), kDevModeSize);
  return true;
}

}  // namespace tw::devmode
