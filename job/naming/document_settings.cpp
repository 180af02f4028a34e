// The settings a document's naming and group file read, taken once per document.
#include <windows.h>

#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"

namespace st = tw::settings;

namespace tw::naming {

namespace {

DocumentSettings ReadSettings(const CTWJob& job) {
  DocumentSettings s;
  s.scope = job.SettingsScope();
  const st::EffectiveContext ctx{s.scope, &job.m_DevMode, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
  s.format = st::EffectiveFileFormat(ctx);
  s.tiffViewer = st::EffectiveTiffViewer(ctx);
  s.multipageSwitch = st::EffectiveMultipageSwitch(ctx);
  s.splitDocument = st::Effective(ctx, st::PageSplitDocument);
  s.startNewFileAfterPage = st::Effective(ctx, st::PageStartNewFileAfterPage);
  s.sendInEmail = st::Effective(ctx, st::PostPrintSendInEmail);
  s.emailContentBased = st::Effective(ctx, st::EmailContentBased);
  s.emailSimpleContentBased = st::Effective(ctx, st::EmailSimpleContentBased);
  s.emailMultipageContentBased = st::Effective(ctx, st::EmailMultipageContentBased);
  const std::optional<DWORD> merge = st::MergeExistingFileAction(ctx);
  s.action = merge ? *merge : st::ExistingFileActionWithoutMerge(ctx);
  s.htmlSeparatePages = st::Effective(ctx, st::HtmlSeparatePages);
  s.outputDirectory = ExpandedDirectory(job, s.scope, st::EffectiveOutputDirectory(ctx), s.outputDirectoryExpanded);
  s.textAction = st::Read(s.scope, st::TextActionOnExistingFiles);
  if (st::Read(s.scope, st::TextSeparateOutputDirectory))
    s.textDirectory = ConfiguredDirectory(job, s.scope, st::Read(s.scope, st::TextOutputDirectory));
  s.textInMemory = st::Effective(ctx, st::TextGenerateInMemory);
  s.ocrEnabled = s.format == 41 || st::Effective(ctx, st::OcrEnabled) != 0;
  s.ocrFormat = st::Effective(ctx, st::OcrFormat);
  s.ocrDirectorySetting = st::Effective(ctx, st::OcrOutputDirectory);
  s.ocrDirectory = ConfiguredDirectory(job, s.scope, s.ocrDirectorySetting);
  s.ocrBitmapDirectory = ConfiguredDirectory(job, s.scope, job.m_szOcrBitmapDirectory);
  s.groupIni = st::Read(s.scope, st::IniGroupIniFile, MAX_PATH);
  s.redirectCopies = st::EffectiveRedirectPrinting(ctx) && st::Effective(ctx, st::RedirectUseNumberOfCopies);
  s.redirectNumberOfCopies = st::Effective(ctx, st::RedirectNumberOfCopies);
  return s;
}

}  // namespace

const DocumentSettings& Settings(const CTWJob& job) {
  if (!job.m_Naming.m_pSettings) job.m_Naming.m_pSettings = std::make_unique<DocumentSettings>(ReadSettings(job));
  return *job.m_Naming.m_pSettings;
}

void TakeSettings(CTWJob& job) { job.m_Naming.m_pSettings = std::make_unique<DocumentSettings>(ReadSettings(job)); }

}  // namespace tw::naming
