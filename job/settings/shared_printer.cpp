#include "job/settings/shared_printer.h"

#include <cstddef>
#include <cstring>

#include "job/devmode/devmode_access.h"
#include "job/settings/job_environment.h"
#include "tw/casefold.h"

namespace tw::settings {

namespace dm = tw::devmode;

namespace {

// Copies the bytes [offset, offset + size) of the server's record.
void CopyBytes(TarnwickDEVMODE& job, const TarnwickDEVMODE& server, size_t offset, size_t size) {
  std::memcpy(reinterpret_cast<BYTE*>(&job) + offset, reinterpret_cast<const BYTE*>(&server) + offset, size);
}

template <typename Field>
void CopyField(Field& to, const Field& from) {
  std::memcpy(&to, &from, sizeof(Field));
}

constexpr DWORD kServerFlagBits = dm::flags::WriteText | dm::flags::MailMerge | dm::flags::RedirectPrinting |
                                  dm::flags::PageNumberingTag | dm::flags::InternetTiff | dm::flags::ReverseBitOrder |
                                  dm::flags::BatesNumbering;
constexpr size_t kBarcodeParamsFirst = 0x1aa0;
constexpr size_t kBarcodeParamsLast = 0x1ac0;

void CopyServerValues(TarnwickDEVMODE& job, const TarnwickDEVMODE& server, bool useOutputDirectoryFromClient) {
  if (!useOutputDirectoryFromClient && server.OutputDirectory.Length() < 260)
    CopyField(job.OutputDirectory, server.OutputDirectory);
  job.WatermarkFlags = server.WatermarkFlags;
  job.WatermarkBrightnessL = server.WatermarkBrightnessL;
  job.WatermarkBrightnessP = server.WatermarkBrightnessP;
  CopyField(job.WatermarkLandscapeImage, server.WatermarkLandscapeImage);
  CopyField(job.WatermarkPortraitImage, server.WatermarkPortraitImage);
  job.StartAppFlags = server.StartAppFlags;
  CopyField(job.ApplicationPath, server.ApplicationPath);
  // In records older than 1470 the ninth parameter-order entry occupies the
  // bytes of BatesProfile and the first unit of CustomParameter: those are
  // copied first and the entry is then checked like the others.
  bool newer = job.DM.dmDriverVersion >= dm::kVersionParameterOrder16;
  DWORD oldNinth = dm::GetParameterOrder(&job, 8);
  CopyField(job.CustomParameter, server.CustomParameter);
  job.BatesProfile = server.BatesProfile;
  if (!newer) dm::SetParameterOrder(job, 8, oldNinth);
  // Entries 0..8 of old records (each at most 8), 0..14 of newer ones (each at most 16).
  DWORD count = newer ? 15 : 9;
  DWORD largest = newer ? 16 : 8;
  for (DWORD i = 0; i < count && i < dm::ParameterOrderCount(&server); ++i) {
    DWORD entry = dm::GetParameterOrder(&server, i);
    if (entry <= largest) dm::SetParameterOrder(job, i, entry);
  }
  job.Flags = (job.Flags & ~kServerFlagBits) | (server.Flags & kServerFlagBits);
  job.TextOutputType = server.TextOutputType;
  job.TextOutputOptions = server.TextOutputOptions;
  job.LossRatio = server.LossRatio;
  job.BarcodeFlags = server.BarcodeFlags;
  job.BarcodeType = server.BarcodeType;
  CopyBytes(job, server, kBarcodeParamsFirst, kBarcodeParamsLast - kBarcodeParamsFirst + 1);
}

}  // namespace

bool IsSharedPrinter(DWORD printerAttributes, const std::optional<std::u16string_view>& jobMachineName,
                     const TarnwickDEVMODE* record, std::u16string_view localComputerName) {
  if (!(printerAttributes & kPrinterAttributeShared)) return false;
  if (jobMachineName && !tw::EqualsNoCase(AfterLastBackslash(*jobMachineName), localComputerName)) return true;
  if (!record) return false;
  std::u16string device = record->DM.dmDeviceName.Get();
  std::u16string_view head = std::u16string_view(device).substr(0, 6);
  if (tw::EqualsNoCase(head, u"\\\\http")) return false;
  return !tw::EqualsNoCase(record->ClientComputerName.Get(), localComputerName);
}

void CopySettingsForSharedPrinter(TarnwickDEVMODE& job, const TarnwickDEVMODE& server, bool ignoreStandard,
                                  bool ignoreExtended, bool useOutputDirectoryFromClient) {
  if (ignoreStandard) CopyBytes(job, server, 0, dm::kStandardPartSize);
  if (ignoreExtended)
    CopyBytes(job, server, dm::kStandardPartSize, dm::kPrivatePartSize);
  else
    CopyServerValues(job, server, useOutputDirectoryFromClient);
  job.Flags = job.Flags & ~dm::flags::SaveAs;
}

}  // namespace tw::settings
