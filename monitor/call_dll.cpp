// CallDLL: the library's diagnostic export. It dumps a record as the job
// would and builds (and drops) an empty page renderer, so that a support
// tool can check that the library loads and its page code links.
#include <windows.h>

#include "job/devmode/devmode_dump.h"
#include "core/log/tw_log.h"
#include "render/emf/emf_image.h"
#include "tw/modulekit.h"

TW_EXPORT LONG WINAPI CallDLL(LPVOID /*ignored*/, const TarnwickDEVMODE* devMode) {
  Trace(u"CallDLL");
  // A caller without a record gets no dumps rather than a crash.
  if (devMode) {
    for (const auto& line : tw::devmode::DumpStandardPart(*devMode)) Trace(u"%s", line.c_str());
    for (const auto& line : tw::devmode::DumpRecord(*devMode)) Trace(u"%s", line.c_str());
  }
  Trace(u"CEMFImage::Create");
  { CEMFImage image; }
  return 0;
}
