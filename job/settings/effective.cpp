#include "job/settings/effective.h"

#include "job/devmode/devmode_access.h"
#include "job/settings/save_as.h"

namespace tw::settings {

namespace dm = tw::devmode;

namespace {

LONGLONG MergeFieldValue(const tw::merge::MergeJobSettings& r, MergeField field) {
  switch (field) {
    case MergeField::OpenWithViewer: return r.openWithViewer;
    case MergeField::OpenFolder: return r.openFolder;
    case MergeField::Email: return r.sendByEmail;
    case MergeField::SharePoint: return r.uploadToSharePoint;
    case MergeField::Ftp: return r.ftpUpload;
    case MergeField::Http: return r.httpUpload;
    case MergeField::Ocr: return r.ocr;
    case MergeField::Encryption: return r.pdfEncryption;
    case MergeField::None: break;
  }
  return 0;
}

// Step 1 of the rule: the value the merge record decides, or nothing when
// the setting is read without merge.
std::optional<LONGLONG> FromMerge(const EffectiveContext& ctx, const SettingDef& def) {
  const MergeState& m = ctx.merge;
  if (!m.active || def.merge == MergeRule::None) return std::nullopt;
  switch (def.merge) {
    case MergeRule::EveryJob:
      if (m.off || !m.record) return 0;
      return MergeFieldValue(*m.record, def.mergeField);
    case MergeRule::LastJob:
      if (!m.off && m.IsLastJob()) return MergeFieldValue(*m.record, def.mergeField);
      return 0;
    case MergeRule::LastJobOnly:
      if (m.off || !m.IsLastJob()) return 0;
      return std::nullopt;
    case MergeRule::WholeGroup:
      if (m.record) return MergeFieldValue(*m.record, def.mergeField);
      return std::nullopt;
    case MergeRule::None: break;
  }
  return std::nullopt;
}

// Step 2 for numbers and switches: the Save-As counterpart.
std::optional<LONGLONG> FromSaveAs(const EffectiveContext& ctx, const SettingDef& def) {
  if (def.saveAs < 0 || !ctx.SaveAsApplies()) return std::nullopt;
  if (def.rule == Rule::SaveAsTextYesExact) {
    auto text = ReadSaveAsText(ctx.scope, static_cast<DWORD>(def.saveAs));
    if (!text) return std::nullopt;
    return *text == u"Yes" ? 1 : 0;
  }
  auto value = ReadSaveAsDword(ctx.scope, static_cast<DWORD>(def.saveAs));
  if (!value) return std::nullopt;
  return *value;
}

std::optional<LONGLONG> Override(const EffectiveContext& ctx, const SettingDef& def) {
  if (auto v = FromMerge(ctx, def)) return v;
  return FromSaveAs(ctx, def);
}

std::optional<DWORD> SaveAsDwordIfApplies(const EffectiveContext& ctx, SaveAsDword number) {
  if (!ctx.SaveAsApplies()) return std::nullopt;
  return ReadSaveAs(ctx.scope, number);
}

bool SwitchOf(const EffectiveContext& ctx, SaveAsDword number, DWORD flagsValue, DWORD bit) {
  if (auto v = SaveAsDwordIfApplies(ctx, number)) return *v != 0;
  return (flagsValue & bit) != 0;
}

// A switch that the merge record decides for every job while it merges.
std::optional<bool> EveryJobMerge(const EffectiveContext& ctx, BOOL tw::merge::MergeJobSettings::*field) {
  if (!ctx.merge.active) return std::nullopt;
  if (ctx.merge.off || !ctx.merge.record) return false;
  return (ctx.merge.record->*field) != FALSE;
}

}  // namespace

bool EffectiveContext::SaveAsApplies() const { return dm::SaveAsApplies(record); }

// --- settings of the registry and the INI file ---------------------------------

DWORD Effective(const EffectiveContext& ctx, Setting<ValueType::Dword> s, const Fill& fill) {
  const SettingDef& def = Definition(s);
  if (auto v = Override(ctx, def)) return LimitNumber(def, static_cast<DWORD>(*v));
  return Read(ctx.scope, s, fill);
}

LONG Effective(const EffectiveContext& ctx, Setting<ValueType::Number> s, const Fill& fill) {
  if (auto v = Override(ctx, Definition(s))) return static_cast<LONG>(*v);
  return Read(ctx.scope, s, fill);
}

bool Effective(const EffectiveContext& ctx, Setting<ValueType::Yes> s, const Fill& fill) {
  if (auto v = Override(ctx, Definition(s))) return *v != 0;
  return Read(ctx.scope, s, fill);
}

bool Effective(const EffectiveContext& ctx, Setting<ValueType::No> s, const Fill& fill) {
  if (auto v = Override(ctx, Definition(s))) return *v != 0;
  return Read(ctx.scope, s, fill);
}

bool Effective(const EffectiveContext& ctx, Setting<ValueType::Flag> s, const Fill& fill) {
  if (auto v = Override(ctx, Definition(s))) return *v != 0;
  return Read(ctx.scope, s, fill);
}

LONG Effective(const EffectiveContext& ctx, Setting<ValueType::DecimalText> s, const Fill& fill) {
  if (auto v = Override(ctx, Definition(s))) return static_cast<LONG>(*v);
  return Read(ctx.scope, s, fill);
}

TextRead EffectiveText(const EffectiveContext& ctx, Setting<ValueType::Text> s, DWORD maxChars, const Fill& fill) {
  const SettingDef& def = Definition(s);
  if (def.saveAs >= 0 && ctx.SaveAsApplies()) {
    if (auto text = ReadSaveAsText(ctx.scope, static_cast<DWORD>(def.saveAs), fill.nameNumber)) {
      TextRead result;
      result.found = true;
      result.value = std::move(*text);
      return result;
    }
  }
  return TryReadText(ctx.scope, s, maxChars, fill);
}

std::u16string Effective(const EffectiveContext& ctx, Setting<ValueType::Text> s, const Fill& fill) {
  return EffectiveText(ctx, s, 0, fill).value;
}

std::optional<DWORD> EffectiveSaveAs(const EffectiveContext& ctx, SaveAsDword number) {
  return SaveAsDwordIfApplies(ctx, number);
}

std::optional<std::u16string> EffectiveSaveAs(const EffectiveContext& ctx, SaveAsText number,
                                              std::optional<DWORD> index) {
  if (!ctx.SaveAsApplies()) return std::nullopt;
  return ReadSaveAs(ctx.scope, number, index);
}

// --- settings of the record ----------------------------------------------------

DWORD EffectiveFileFormat(const EffectiveContext& ctx) {
  if (ctx.merge.HasRecord()) return ctx.merge.record->outputFormat;
  if (auto v = SaveAsDwordIfApplies(ctx, SaveAsDword::FileFormat)) return *v;
  return dm::GetFileFormat(ctx.record);
}

DWORD EffectiveColorMode(const EffectiveContext& ctx) {
  if (auto v = SaveAsDwordIfApplies(ctx, SaveAsDword::ColorDepth)) return *v > 3 ? 3 : *v;
  return dm::GetColorMode(ctx.record);
}

DWORD EffectiveLossRatio(const EffectiveContext& ctx) {
  if (auto v = SaveAsDwordIfApplies(ctx, SaveAsDword::JpegLossRatio)) return dm::ClampLossRatio(*v);
  return dm::GetLossRatio(ctx.record);
}

bool EffectiveInternetTiff(const EffectiveContext& ctx) {
  return SwitchOf(ctx, SaveAsDword::TiffInternetTiffFormat, ctx.record ? ctx.record->Flags : 0, dm::flags::InternetTiff);
}

bool EffectiveReverseBitOrder(const EffectiveContext& ctx) {
  return SwitchOf(ctx, SaveAsDword::TiffReverseBitOrder, ctx.record ? ctx.record->Flags : 0,
                  dm::flags::ReverseBitOrder);
}

bool EffectivePageNumberingTag(const EffectiveContext& ctx) {
  return SwitchOf(ctx, SaveAsDword::TiffAddPageNumberingTag, ctx.record ? ctx.record->Flags : 0,
                  dm::flags::PageNumberingTag);
}

WORD EffectiveImagePdfCompression(const EffectiveContext& ctx) {
  if (auto v = SaveAsDwordIfApplies(ctx, SaveAsDword::ImagePdfCompressionFlag)) return static_cast<WORD>(*v);
  return ctx.record ? ctx.record->ImagePdfCompression : 0;
}

bool EffectiveMultipageSwitch(const EffectiveContext& ctx) {
  // The dialog asks the opposite question: each page as a separate file.
  if (auto v = SaveAsDwordIfApplies(ctx, SaveAsDword::SaveEachPageAsSeparateFile)) return *v == 0;
  return ctx.record && (ctx.record->Flags & dm::flags::Multipage);
}

bool EffectiveAppendRequested(const EffectiveContext& ctx) {
  return SwitchOf(ctx, SaveAsDword::AppendFile, ctx.record ? ctx.record->Flags : 0, dm::flags::KeepExistingFiles);
}

DWORD ExistingFileActionWithoutMerge(const EffectiveContext& ctx) {
  if (!EffectiveAppendRequested(ctx)) return ctx.record && (ctx.record->Flags & dm::flags::OverwriteExisting) ? 1 : 2;
  bool byContent = Effective(ctx, PostPrintSendInEmail) &&
                   (Effective(ctx, EmailContentBased) || Effective(ctx, EmailSimpleContentBased));
  if (byContent) return Effective(ctx, EmailMultipageContentBased) ? 2 : 0;
  return 0;
}

std::optional<DWORD> MergeExistingFileAction(const EffectiveContext& ctx) {
  if (!ctx.merge.HasRecord() || ctx.merge.off) return std::nullopt;
  const auto& r = *ctx.merge.record;
  return r.index == 0 && !r.addToExistingFile ? 1 : 0;
}

bool EffectiveRedirectPrinting(const EffectiveContext& ctx) {
  if (auto v = EveryJobMerge(ctx, &tw::merge::MergeJobSettings::redirectPrinting)) return *v;
  return SwitchOf(ctx, SaveAsDword::RedirectPrinting, ctx.record ? ctx.record->Flags : 0,
                  dm::flags::RedirectPrinting);
}

bool EffectiveImageWatermark(const EffectiveContext& ctx) {
  if (auto v = EveryJobMerge(ctx, &tw::merge::MergeJobSettings::imageWatermark)) return *v;
  if (auto v = SaveAsDwordIfApplies(ctx, SaveAsDword::PrintImageWatermark)) return *v != 0;
  return !ctx.record || (ctx.record->WatermarkFlags & 0x1);
}

bool EffectiveWatermarkFirstPageOnly(const EffectiveContext& ctx) {
  return SwitchOf(ctx, SaveAsDword::WatermarkAddFirstPageOnly, ctx.record ? ctx.record->WatermarkFlags : 0, 0x2);
}

bool EffectiveWatermarkFirstImage(const EffectiveContext& ctx) {
  return SwitchOf(ctx, SaveAsDword::WatermarkFirstImageEnabled, ctx.record ? ctx.record->WatermarkFlags : 0, 0x400);
}

DWORD EffectiveWatermarkBrightness(const EffectiveContext& ctx, bool portrait) {
  auto number = portrait ? SaveAsDword::WatermarkPBrightness : SaveAsDword::WatermarkLBrightness;
  if (auto v = SaveAsDwordIfApplies(ctx, number)) return dm::ClampWatermarkBrightness(*v);
  return portrait ? dm::GetWatermarkBrightnessP(ctx.record) : dm::GetWatermarkBrightnessL(ctx.record);
}

std::u16string EffectiveWatermarkImage(const EffectiveContext& ctx, bool portrait) {
  auto number = portrait ? SaveAsText::WatermarkPortraitImage : SaveAsText::WatermarkLandscapeImage;
  if (auto text = EffectiveSaveAs(ctx, number)) return *text;
  if (!ctx.record) return {};
  return portrait ? ctx.record->WatermarkPortraitImage.Get() : ctx.record->WatermarkLandscapeImage.Get();
}

std::u16string EffectiveOutputDirectory(const EffectiveContext& ctx) {
  if (auto text = EffectiveSaveAs(ctx, SaveAsText::OutputPath)) return *text;
  return ctx.record ? ctx.record->OutputDirectory.Get() : std::u16string();
}

std::u16string EffectiveImageFileName(const EffectiveContext& ctx) {
  if (auto text = EffectiveSaveAs(ctx, SaveAsText::Filename)) return *text;
  return ctx.record ? ctx.record->ImageFileName.Get() : std::u16string();
}

// --- post-print actions with merge rules of their own ----------------------------

bool EffectiveFtpUpload(const EffectiveContext& ctx) {
  if (auto v = FromMerge(ctx, Definition(PostPrintFtpUpload))) return *v != 0;
  return Read(ctx.scope, PostPrintFtpUpload) && Read(ctx.scope, FtpSelectedConnection) != 0;
}

bool EffectiveTiffViewer(const EffectiveContext& ctx) {
  if (!ctx.merge.active) return ctx.tiffViewer;
  return !ctx.merge.off && ctx.merge.IsLastJob() && ctx.tiffViewer;
}

bool EffectiveStartsApplication(const EffectiveContext& ctx) {
  if (!ctx.record || !(ctx.record->StartAppFlags & dm::startapp::Start)) return false;
  if (!ctx.merge.active) return true;
  if (ctx.merge.off || !ctx.merge.record) return false;
  bool belongsToFirst = (ctx.record->StartAppFlags & (dm::startapp::BeforePrinting | dm::startapp::ForMessaging)) != 0;
  return belongsToFirst ? ctx.merge.record->index == 0 : ctx.merge.record->IsLastJob();
}

// --- PDF passwords --------------------------------------------------------------

PdfPasswords JobPdfPasswords(const EffectiveContext& ctx) {
  if (Read(ctx.scope, JobPromptUserForPassword)) {
    if (!Read(ctx.scope, JobPasswordPromptResult)) return {};
    return {Read(ctx.scope, JobDocumentUserPassword), Read(ctx.scope, JobDocumentOwnerPassword)};
  }
  return {Effective(ctx, PdfDocumentUserPassword), Effective(ctx, PdfDocumentOwnerPassword)};
}

PdfPasswords EffectivePdfPasswords(const EffectiveContext& ctx) {
  if (ctx.merge.HasRecord()) {
    const auto& r = *ctx.merge.record;
    if (!r.userPassword.empty() || !r.ownerPassword.empty()) return {r.userPassword, r.ownerPassword};
  }
  return JobPdfPasswords(ctx);
}

}  // namespace tw::settings
