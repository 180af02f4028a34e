#include "job/job/document_state.h"

#include "job/job/port_cmd.h"

namespace tw::job {

bool DocumentState::Admits(DWORD commandType) const {
  if (commandType == PORT_CMD_START_DOC) return phase == DocumentPhase::Created;
  return phase == DocumentPhase::Started;
}

void DocumentState::Ran(DWORD commandType) {
  if (commandType == PORT_CMD_START_DOC && phase == DocumentPhase::Created) phase = DocumentPhase::Started;
  if (commandType == PORT_CMD_END_DOC && phase == DocumentPhase::Started) phase = DocumentPhase::Ended;
}

void DocumentState::Fail() {
  if (phase != DocumentPhase::Ended) phase = DocumentPhase::Failed;
}

const WCHAR* PhaseName(DocumentPhase phase) {
  switch (phase) {
    case DocumentPhase::Created: return u"created";
    case DocumentPhase::Started: return u"started";
    case DocumentPhase::Failed: return u"failed";
    case DocumentPhase::Ended: return u"ended";
  }
  return u"unknown";
}

}  // namespace tw::job
