#include "job/job/port_cmd.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <windows.h>

#include "job/job/port_job.h"
#include "core/log/tw_log.h"

const WCHAR* PortCommandName(DWORD commandType) {
  switch (commandType) {
    case PORT_CMD_START_DOC: return u"PORT_CMD_START_DOC";
    case PORT_CMD_START_PAGE: return u"PORT_CMD_START_PAGE";
    case PORT_CMD_END_PAGE: return u"PORT_CMD_END_PAGE";
    case PORT_CMD_END_DOC: return u"PORT_CMD_END_DOC";
    case PORT_CMD_WRITE_TEXT_OUT: return u"PORT_CMD_WRITE_TEXT_OUT";
    case PORT_CMD_END_PAGE_RAW: return u"PORT_CMD_END_PAGE_RAW";
    default: return u"PORT_CMD_UNKNOWN";
  }
}

std::unique_ptr<CPortCmd> CPortCmd::CreateCmd(const PORT_COMMAND* header) {
  if (!header) return nullptr;
  PORT_COMMAND h;
  std::memcpy(&h, header, sizeof h);
  if (h.dwFlag != TARNWICK_CMD_FLAG) {
    Trace(u"TARNWICK_CMD_FLAG: %X is invalid. It should be: %X", h.dwFlag, TARNWICK_CMD_FLAG);
    return nullptr;
  }
  if (h.dwCommandSize != sizeof(PORT_COMMAND)) return nullptr;
  std::unique_ptr<CPortCmd> cmd;
  switch (h.dwCommandType) {
    case PORT_CMD_START_DOC: cmd = std::make_unique<CPortCmdStartDoc>(h); break;
    case PORT_CMD_START_PAGE: cmd = std::make_unique<CPortCmdStartPage>(h); break;
    case PORT_CMD_END_PAGE: cmd = std::make_unique<CPortCmdEndPage>(h); break;
    case PORT_CMD_END_DOC: cmd = std::make_unique<CPortCmdEndDoc>(h); break;
    case PORT_CMD_WRITE_TEXT_OUT: cmd = std::make_unique<CPortCmdWriteText>(h); break;
    case PORT_CMD_END_PAGE_RAW: cmd = std::make_unique<CPortCmdEndPageRaw>(h); break;
    default: return nullptr;
  }
  return cmd;
}

CPortCmd::~CPortCmd() {
  if (m_hData) {
    if (m_pData) GlobalUnlock(m_hData);
    GlobalFree(m_hData);
  }
}

DWORD CPortCmd::AddPayload(const BYTE* data, DWORD count) {
  DWORD n = std::min(count, m_sCommand.dwDataSize - m_dwReceived);
  if (!m_hData && !m_bDropped) {
    // The announced size is untrusted: a size beyond any real page is
    // treated as a block that cannot be allocated.
    DWORD cap = m_sCommand.dwCommandType == PORT_CMD_START_DOC || m_sCommand.dwCommandType == PORT_CMD_START_PAGE
                    ? kDevModePayload
                    : kMaxCommandPayload;
    if (m_sCommand.dwDataSize <= cap) m_hData = GlobalAlloc(GHND, m_sCommand.dwDataSize);
    if (!m_hData) {
      m_bDropped = true;
      LogMessageCapture(TWLOG_ERROR, u"! Error: %s: payload of %u bytes dropped", Name(), m_sCommand.dwDataSize);
    }
  }
  if (m_hData) {
    if (auto* dst = static_cast<BYTE*>(GlobalLock(m_hData))) {
      std::memcpy(dst + m_dwReceived, data, n);
      GlobalUnlock(m_hData);
    }
  }
  m_dwReceived += n;
  return n;
}

bool CPortCmd::HasDevModePayload() const {
  if (m_sCommand.dwDataSize != kDevModePayload) {
    Trace(u"INVALID DEVMODE SIZE!!!");
    LogMessageCapture(TWLOG_ERROR, u"! Error: %s: INVALID DEVMODE SIZE %u (a DEVMODE has %u bytes)", Name(),
                      m_sCommand.dwDataSize, kDevModePayload);
    return false;
  }
  return m_hData != nullptr;
}

bool CPortCmd::Admitted(CPortJob* job) const {
  if (!job) return false;
  const tw::job::DocumentState& document = job->Document();
  if (document.Admits(m_sCommand.dwCommandType)) return true;
  LogMessageCapture(TWLOG_ERROR, u"! Error: %s out of order (document %s): not run", Name(),
                    tw::job::PhaseName(document.phase));
  return false;
}

namespace {

// Runs SetDevMode on the locked record, then the follow-up operation.
template <typename Next>
BOOL WithDevMode(HGLOBAL block, void*& locked, CPortJob* job, BOOL startOfDocument, Next next) {
  locked = GlobalLock(block);
  if (!locked) return FALSE;
  BOOL taken = job->SetDevMode(static_cast<const BYTE*>(locked), startOfDocument);
  GlobalUnlock(block);
  locked = nullptr;
  if (!taken) return FALSE;
  return next();
}

}  // namespace

BOOL CPortCmdStartDoc::UpdateJob(CPortJob* job) {
  if (!Admitted(job) || !HasDevModePayload()) return FALSE;
  return WithDevMode(m_hData, m_pData, job, TRUE, [job] { return job->StartDoc(); });
}

BOOL CPortCmdStartPage::UpdateJob(CPortJob* job) {
  if (!Admitted(job) || !HasDevModePayload()) return FALSE;
  return WithDevMode(m_hData, m_pData, job, FALSE, [job] { return job->StartPage(); });
}

BOOL CPortCmdEndPage::UpdateJob(CPortJob* job) {
  if (!Admitted(job) || !m_hData) return FALSE;
  job->SetPageDataSize(m_sCommand.dwDataSize);
  return job->EndPage(m_hData);
}

BOOL CPortCmdEndPageRaw::UpdateJob(CPortJob* job) {
  if (!Admitted(job) || !m_hData) return FALSE;
  job->SetPageDataSize(m_sCommand.dwDataSize);
  return job->EndPageRaw(m_hData);
}

BOOL CPortCmdEndDoc::UpdateJob(CPortJob* job) {
  if (!Admitted(job)) return FALSE;
  return job->EndDoc();
}

BOOL CPortCmdWriteText::UpdateJob(CPortJob* job) {
  if (!Admitted(job) || !m_hData) return FALSE;
  DWORD size = m_sCommand.dwDataSize;
  // Too short for the two coordinates: the format does not allow it.
  if (size < 8) return FALSE;
  m_pData = GlobalLock(m_hData);
  if (!m_pData) return FALSE;
  const auto* bytes = static_cast<const BYTE*>(m_pData);
  LONG x, y;
  std::memcpy(&x, bytes, 4);
  std::memcpy(&y, bytes + 4, 4);
  // A zero-filled copy of the payload's size, so that the text always ends.
  std::vector<WCHAR> text(size / 2 + 1, 0);
  std::memcpy(text.data(), bytes + 8, size - 8);
  GlobalUnlock(m_hData);
  m_pData = nullptr;
  return job->AddText(x, y, text.data());
}
