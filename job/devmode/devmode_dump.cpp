#include "job/devmode/devmode_dump.h"

#include <string>

#include "job/devmode/devmode_access.h"
#include "tw/utf.h"

namespace tw::devmode {
namespace {

// The format strings of the dumps put the colon in column 28 ("File format                 : %d"):
// the label takes 27 characters, then " : ".
constexpr std::size_t kLabelWidth = 27;
constexpr char16_t kEndLine[] = u"############################# END ############################";

std::u16string Number(LONGLONG value) { return FromUtf8(std::to_string(value)); }

class Dump {
 public:
  void Line(std::u16string_view label, std::u16string_view value) { lines_.push_back(DumpLine(label, value)); }
  void Line(std::u16string_view label, LONGLONG value) { Line(label, Number(value)); }
  void Switch(std::u16string_view label, DWORD bits, DWORD bit) { Line(label, (bits & bit) ? 1 : 0); }
  void Raw(std::u16string_view text) { lines_.emplace_back(text); }
  std::vector<std::u16string> Take() { return std::move(lines_); }

 private:
  std::vector<std::u16string> lines_;
};

}  // namespace

std::u16string DumpLine(std::u16string_view label, std::u16string_view value) {
  std::u16string line(label);
  if (line.size() < kLabelWidth) line.append(kLabelWidth - line.size(), u' ');
  line += u" : ";
  line += value;
  return line;
}

std::vector<std::u16string> DumpStandardPart(const TarnwickDEVMODE& dm) {
  Dump d;
  d.Raw(u"######################## DUMP Windows DEVMODE ########################");
  d.Line(u"Device Name", dm.DM.dmDeviceName.Get());
  d.Line(u"X DPI", dm.DM.dmPrintQuality);
  d.Line(u"Y DPI", dm.DM.dmYResolution);
  d.Line(u"PaperSize", dm.DM.dmPaperSize);
  d.Line(u"PaperWidth", dm.DM.dmPaperWidth);
  d.Line(u"PaperHeight", dm.DM.dmPaperLength);
  d.Line(u"Scale", dm.DM.dmScale);
  d.Line(u"Orientation", dm.DM.dmOrientation);
  d.Line(u"Bits Per Pixel", dm.DM.dmBitsPerPel);
  d.Line(u"Driver version", dm.DM.dmDriverVersion);
  d.Raw(kEndLine);
  return d.Take();
}

std::vector<std::u16string> DumpRecord(const TarnwickDEVMODE& dm) {
  Dump d;
  const DWORD f = dm.Flags;
  const DWORD app = dm.StartAppFlags;
  d.Raw(u"######################## DUMP DEVMODE ########################");
  d.Line(u"File format", GetFileFormat(&dm));
  d.Line(u"FileExtension", dm.FileExtension.Get());
  d.Line(u"ColorMode format", GetColorMode(&dm));
  d.Line(u"FaxHeader", dm.FaxHeader);
  d.Line(u"LossRatio", GetLossRatio(&dm));
  d.Line(u"Dithering", dm.Dithering);
  d.Line(u"Brightness", GetBrightness(&dm));
  d.Line(u"X DPI", GetXDPI(&dm));
  d.Line(u"Y DPI", GetYDPI(&dm));
  d.Line(u"PaperSize", dm.DM.dmPaperSize);
  d.Line(u"PaperWidth", dm.DM.dmPaperWidth);
  d.Line(u"PaperLength", dm.DM.dmPaperLength);
  d.Line(u"Scale", dm.DM.dmScale);
  d.Line(u"Orientation", dm.DM.dmOrientation);
  d.Line(u"PageWidthInPixels", dm.PaperWidthInPixels);
  d.Line(u"PageHeightInPixels", dm.PaperHeightInPixels);
  d.Line(u"Orientation", dm.DM.dmOrientation);
  d.Line(u"FileGenerationMethod", GetFileGenerationMethod(&dm));
  d.Line(u"BitsPerPixel", GetBitsPerPixel(&dm));
  d.Line(u"TIFF DLL Name", dm.TiffDllName.Get());
  d.Line(u"JPEG DLL Name", dm.JpegDllName.Get());
  d.Line(u"Output Directory", dm.OutputDirectory.Get());
  d.Line(u"FileNamePrefix", dm.FileNamePrefix.Get());
  d.Line(u"ImageFileName", dm.ImageFileName.Get());
  d.Line(u"Application Path", dm.ApplicationPath.Get());
  d.Line(u"ResourceDLLName", dm.ResourceDllName.Get());
  d.Switch(u"IsAppendImageEnabled", f, flags::Multipage);
  d.Switch(u"IsPageNumberingEnabled", f, flags::PageNumberingTag);
  d.Switch(u"IsRotatePaperEnabled", f, flags::RotatePaper);
  d.Switch(u"IsFaxOutputEnabled", f, flags::FaxOutput);
  d.Switch(u"IsMultipageImageEnabled", f, flags::Multipage);
  d.Switch(u"IsReverseBitOrderEnabled", f, flags::ReverseBitOrder);
  d.Switch(u"IsGroupFileDisabled", f, flags::GroupFileDisabled);
  d.Switch(u"IsDeleteGroupFileEnabled", f, flags::DeleteGroupFile);
  d.Switch(u"IsInternetTiffFormatEnabled", f, flags::InternetTiff);
  d.Switch(u"IsMailMergeEnabled", f, flags::MailMerge);
  d.Switch(u"IsWriteTextEnabled", f, flags::WriteText);
  d.Line(u"IsAdvancedTextEnabled", IsAdvancedText(&dm) ? 1 : 0);
  d.Switch(u"IsTiffDllEnabled", f, flags::TiffDll);
  d.Switch(u"IsJpegDllEnabled", f, flags::JpegDll);
  d.Switch(u"IsStartApplicationEnabled", app, startapp::Start);
  d.Switch(u"IsMessagingInterfaceEnabled", f, flags::MessagingInterface);
  d.Switch(u"IsStartForMessaging", app, startapp::ForMessaging);
  d.Switch(u"IsStartBeforePrint", app, startapp::BeforePrinting);
  d.Switch(u"IsPassParametersEnabled", app, startapp::PassParameters);
  d.Switch(u"IsStartNormal", app, startapp::Normal);
  d.Switch(u"IsStartMinimized", app, startapp::Minimized);
  d.Switch(u"IsStartHidden", app, startapp::Hidden);
  d.Switch(u"IsKeepExistingFilesEnabled", f, flags::KeepExistingFiles);
  d.Raw(kEndLine);
  return d.Take();
}

std::vector<std::u16string> DecodedRecordLines(const TarnwickDEVMODE& dm) {
  std::vector<std::u16string> lines = DumpStandardPart(dm);
  std::vector<std::u16string> record = DumpRecord(dm);
  lines.insert(lines.end(), record.begin(), record.end());
  return lines;
}

}  // namespace tw::devmode
