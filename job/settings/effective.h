// The effective value of a setting: the one way every part of the monitor
// obtains a setting of a job.
//
//   1. merge mode: the value of the job's merge record, where the merge
//      utility decides it (some only for the last job of the group);
//   2. the record's Flags bit 31 is set and the job's Save-As key holds the
//      value: the Save-As value (even when it is 0);
//   3. otherwise the DEVMODE field, or for settings the record does not hold
//      the registry or INI value with its default.
#pragma once

#include <optional>
#include <string>

#include "client/merge/merge_job_table.h"
#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/catalogue.h"
#include "job/settings/settings_store.h"

namespace tw::settings {

// The job's state in a merge group.
struct MergeState {
  bool active = false;                                // merge mode was started for the job
  const tw::merge::MergeJobSettings* record = nullptr;  // the settings the utility handed out
  bool off = false;  // the job left merge mode (cancelled by the utility or merging abandoned)

  bool HasRecord() const { return active && record; }
  bool IsLastJob() const { return HasRecord() && record->IsLastJob(); }
};

// What the rule looks at for one job.
struct EffectiveContext {
  const SettingsScope& scope;
  const TarnwickDEVMODE* record = nullptr;  // the job's copy; null when no DEVMODE arrived
  MergeState merge;
  bool tiffViewer = false;  // the job's own decision that the TIFF viewer applies

  bool SaveAsApplies() const;
};

// --- settings of the registry and the INI file ---------------------------------

DWORD Effective(const EffectiveContext& ctx, Setting<ValueType::Dword> s, const Fill& fill = {});
LONG Effective(const EffectiveContext& ctx, Setting<ValueType::Number> s, const Fill& fill = {});
bool Effective(const EffectiveContext& ctx, Setting<ValueType::Yes> s, const Fill& fill = {});
bool Effective(const EffectiveContext& ctx, Setting<ValueType::No> s, const Fill& fill = {});
bool Effective(const EffectiveContext& ctx, Setting<ValueType::Flag> s, const Fill& fill = {});
LONG Effective(const EffectiveContext& ctx, Setting<ValueType::DecimalText> s, const Fill& fill = {});
// Texts: `found` is false when neither the Save-As value nor the registry value could be read.
TextRead EffectiveText(const EffectiveContext& ctx, Setting<ValueType::Text> s, DWORD maxChars = 0,
                       const Fill& fill = {});
std::u16string Effective(const EffectiveContext& ctx, Setting<ValueType::Text> s, const Fill& fill = {});
INT Effective(const EffectiveContext& ctx, Setting<ValueType::IniInt> s);
std::u16string Effective(const EffectiveContext& ctx, Setting<ValueType::IniText> s, DWORD maxChars = 0,
                         std::u16string_view fallback = {});

// A Save-As value by itself: present only while Flags bit 31 applies.
std::optional<DWORD> EffectiveSaveAs(const EffectiveContext& ctx, SaveAsDword number);
std::optional<std::u16string> EffectiveSaveAs(const EffectiveContext& ctx, SaveAsText number,
                                              std::optional<DWORD> index = {});

// --- settings of the record ----------------------------------------------------

DWORD EffectiveFileFormat(const EffectiveContext& ctx);        // merge, Save-As 0, FileFormat (4 without record)
DWORD EffectiveColorMode(const EffectiveContext& ctx);         // Save-As 8, ColorMode; 0..3
DWORD EffectiveLossRatio(const EffectiveContext& ctx);         // Save-As 9, LossRatio; 1..100
bool EffectiveInternetTiff(const EffectiveContext& ctx);       // Save-As 10, Flags 0x4
bool EffectiveReverseBitOrder(const EffectiveContext& ctx);    // Save-As 11, Flags 0x10
bool EffectivePageNumberingTag(const EffectiveContext& ctx);   // Save-As 12, Flags 0x8
WORD EffectiveImagePdfCompression(const EffectiveContext& ctx);  // Save-As 13, ImagePdfCompression
// The multipage switch as the record and Save-As 3 give it (0 = one file).
bool EffectiveMultipageSwitch(const EffectiveContext& ctx);
// Adding to an existing file was asked: Save-As 4, else Flags 0x100000.
bool EffectiveAppendRequested(const EffectiveContext& ctx);
// While the job merges: 1 for the first job of the group unless its record
// asks to add to the existing file, else 0. Empty when the job does not
// merge (or has left merge mode): the action is then decided without merge.
std::optional<DWORD> MergeExistingFileAction(const EffectiveContext& ctx);
// The existing-file action without merge: 1 (overwrite, Flags 0x20000) or 2
// (new name) unless adding to the file is asked; then 0, or 2 when the output
// is e-mailed split by content with "Multipage Content Based Email".
DWORD ExistingFileActionWithoutMerge(const EffectiveContext& ctx);
bool EffectiveRedirectPrinting(const EffectiveContext& ctx);   // merge, Save-As 36, Flags 0x2000000
bool EffectiveImageWatermark(const EffectiveContext& ctx);     // merge, Save-As 102, WatermarkFlags bit 0 (on without record)
bool EffectiveWatermarkFirstPageOnly(const EffectiveContext& ctx);  // Save-As 41, WatermarkFlags 0x2
bool EffectiveWatermarkFirstImage(const EffectiveContext& ctx);     // Save-As 46, WatermarkFlags 0x400
DWORD EffectiveWatermarkBrightness(const EffectiveContext& ctx, bool portrait);  // Save-As 47/48, 0..100 else 40
std::u16string EffectiveWatermarkImage(const EffectiveContext& ctx, bool portrait);  // Save-As text 37/38
std::u16string EffectiveOutputDirectory(const EffectiveContext& ctx);  // Save-As text 0, OutputDirectory
std::u16string EffectiveImageFileName(const EffectiveContext& ctx);    // Save-As text 1, ImageFileName

// --- post-print actions with merge rules of their own ----------------------------

// "FTP upload" with a selected connection; in merge mode the last job's record.
bool EffectiveFtpUpload(const EffectiveContext& ctx);
// The job's own TIFF-viewer decision; in merge mode only the last job keeps it.
bool EffectiveTiffViewer(const EffectiveContext& ctx);
// The job starts the configured application (StartAppFlags bit 0x1). In
// merge mode the first job of the group does when the application starts
// before printing or for messaging, else the last job; a job that left
// merge mode starts none.
bool EffectiveStartsApplication(const EffectiveContext& ctx);

// --- PDF passwords --------------------------------------------------------------

struct PdfPasswords {
  std::u16string user;
  std::u16string owner;
};
// The job's passwords: with "Prompt User for Password" the per-job values
// when the user answered, else none; without it the Save-As texts 6 and 7,
// then "Document User Password" / "Document Owner Password" of the PDF key.
PdfPasswords JobPdfPasswords(const EffectiveContext& ctx);
// The merge record's passwords when it has either, else the job's.
PdfPasswords EffectivePdfPasswords(const EffectiveContext& ctx);

}  // namespace tw::settings
