#include "job/job/end_doc_handoffs.h"

#include "job/devmode/tarnwick_devmode.h"

namespace tw::job {

namespace st = tw::settings;
namespace startapp = tw::devmode::startapp;

EndDocHandOffs DecideEndDocHandOffs(const st::EffectiveContext& ctx, const JobHandOffFacts& facts) {
  const DWORD startAppFlags = ctx.record ? ctx.record->StartAppFlags : 0;
  const bool startsApplication = st::EffectiveStartsApplication(ctx);
  // An application that starts before printing or for messaging has started.
  const bool applicationAfterPrinting =
      startsApplication && !(startAppFlags & (startapp::BeforePrinting | startapp::ForMessaging));
  const bool postPrintAction =
      st::Effective(ctx, st::PostPrintViewInDefaultViewer) || st::Effective(ctx, st::PostPrintSendInEmail) ||
      st::Effective(ctx, st::PostPrintOpenOutputFolder) || st::EffectiveTiffViewer(ctx) ||
      st::Effective(ctx, st::SharePointUpload) || st::EffectiveFtpUpload(ctx) ||
      st::Effective(ctx, st::PostPrintHttpUpload) || st::Effective(ctx, st::PostPrintDatabaseUpload) ||
      st::Effective(ctx, st::PostPrintMFilesUpload);
  const bool ocrOpensOutput = st::Effective(ctx, st::OcrEnabled) != 0 && st::Effective(ctx, st::OcrOpenOutput) != 0;

  EndDocHandOffs handOffs;
  handOffs.startApplication = applicationAfterPrinting || postPrintAction || ocrOpensOutput;
  handOffs.forwarding = st::EffectiveRedirectPrinting(ctx);
  handOffs.noRedirectMessage = !handOffs.forwarding && (postPrintAction || startsApplication || facts.mergeActive ||
                                                        facts.coverPages || ctx.SaveAsApplies() || ocrOpensOutput);
  return handOffs;
}

}  // namespace tw::job
