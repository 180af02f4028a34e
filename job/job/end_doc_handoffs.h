// What the end of a document hands over to the programs that come after it,
// decided from the job's effective settings.
#pragma once

#include "job/settings/effective.h"

namespace tw::job {

struct EndDocHandOffs {
  bool startApplication = false;   // the post-print program or the job's application
  bool forwarding = false;         // the forwarding keys of the document
  bool noRedirectMessage = false;  // the forwarding program is told that nothing comes
  // "Job Finished" is written when either forwarding message is.
  bool JobStatus() const { return forwarding || noRedirectMessage; }
};

// What the job knows beside its settings.
struct JobHandOffFacts {
  bool mergeActive = false;  // the job prints in a merge group
  bool coverPages = false;   // the job puts cover pages in front
};

EndDocHandOffs DecideEndDocHandOffs(const tw::settings::EffectiveContext& ctx, const JobHandOffFacts& facts);

}  // namespace tw::job
