// Where a job's document stands, as its command stream sees it. The command
// classes refuse a command out of order before it reaches the job; a command
// that fails fails the document, and a failed or ended document runs no
// further command.
#pragma once

#include "tw/wintypes.h"

namespace tw::job {

enum class DocumentPhase { Created, Started, Failed, Ended };

struct DocumentState {
  DocumentPhase phase = DocumentPhase::Created;

  // START_DOC runs only on a new document; the page and text commands and
  // END_DOC only on a started one.
  bool Admits(DWORD commandType) const;
  // A command ran successfully: START_DOC starts the document, END_DOC ends it.
  void Ran(DWORD commandType);
  // The document fails; one that has ended stays ended (it was reported
  // finished, and an abort must not follow).
  void Fail();
  bool Failed() const { return phase == DocumentPhase::Failed; }
  bool Ended() const { return phase == DocumentPhase::Ended; }
};

// "created", "started", "failed", "ended".
const WCHAR* PhaseName(DocumentPhase phase);

}  // namespace tw::job
