#include "job/settings/correct_devmode.h"

#include <vector>

#include "job/devmode/devmode_access.h"
#include "job/devmode/devmode_geometry.h"
#include "job/settings/save_as.h"
#include "output/formats/format_table.h"
#include "windows.h"

namespace tw::settings {

namespace dm = tw::devmode;

namespace {

constexpr char16_t kTiffViewerAppPath[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe";

bool IsViewerFormat(DWORD f) { return (f >= 3 && f <= 10) || f == 36 || f == 38 || (f >= 40 && f <= 47); }

void Trace(const TraceFn& trace, std::u16string_view text) {
  if (trace) trace(text);
}

// FTP upload with the selected connection's text and OCR switches.
void ApplyFtpConnection(const EffectiveContext& ctx, TarnwickDEVMODE& record) {
  if (!EffectiveFtpUpload(ctx)) return;
  LONG connection = Read(ctx.scope, FtpSelectedConnection);
  if (connection == 0) return;
  Fill fill{static_cast<DWORD>(connection), std::nullopt};
  if (Read(ctx.scope, FtpUploadText, fill)) record.Flags = record.Flags | dm::flags::WriteText;
  if (Read(ctx.scope, FtpUploadOcr, fill)) Write(ctx.scope, OcrEnabled, 1);
}

}  // namespace

std::u16string TiffViewerPath() {
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kTiffViewerAppPath, nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
          ERROR_SUCCESS ||
      bytes < sizeof(WCHAR))
    return {};
  std::vector<WCHAR> buffer(bytes / sizeof(WCHAR) + 1);
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kTiffViewerAppPath, nullptr, RRF_RT_REG_SZ, nullptr, buffer.data(), &size) !=
      ERROR_SUCCESS)
    return {};
  return std::u16string(buffer.data());
}

bool TiffViewerApplies(const SettingsScope& scope, DWORD effectiveFormat) {
  if (!Read(scope, PostPrintOpenTiffViewer)) return false;
  std::u16string path = TiffViewerPath();
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return IsViewerFormat(effectiveFormat);
}

void CorrectDevMode(EffectiveContext& ctx, TarnwickDEVMODE& record, const TraceFn& trace) {
  ctx.record = &record;
  Trace(trace, u"CTWJob::CorrectDevMode : == IN ==");
  Trace(trace, dm::GeometryText(record));

  ApplyFtpConnection(ctx, record);
  if (!ctx.tiffViewer && TiffViewerApplies(ctx.scope, EffectiveFileFormat(ctx))) ctx.tiffViewer = true;
  if (auto force = ReadSaveAs(ctx.scope, SaveAsDword::ForceSaveAsDialog); force && *force == 1)
    record.Flags = record.Flags | dm::flags::SaveAs;

  DWORD format = EffectiveFileFormat(ctx);
  dm::SwitchOffStampsForFormat(record, format);
  dm::CorrectResolution(record);
  dm::SwapLandscapeWidthHeight(record);
  dm::ComputePaperPixels(record);
  dm::ApplyFormatFlags(record, format);
  dm::CorrectColorMode(record, EffectiveColorMode(ctx), tw::formats::FormatColours(format));

  Trace(trace, u"CTWJob::CorrectDevMode : == OUT ==");
  Trace(trace, dm::GeometryText(record));
}

}  // namespace tw::settings
