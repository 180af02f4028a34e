#include "monitor/port_info.h"

#include <cstring>
#include <new>
#include <vector>

#include <winspool.h>
#include <winuser.h>

#include "client/messaging/messaging.h"
#include "client/status/job_status.h"
#include "job/job/tw_job.h"
#include "monitor/job_handover.h"
#include "core/log/tw_log.h"

namespace {

std::unique_ptr<WCHAR[]> CopyString(LPCWSTR text) {
  size_t len = text ? wcslen(text) : 0;
  std::unique_ptr<WCHAR[]> copy(new (std::nothrow) WCHAR[len + 1]);
  if (!copy) return nullptr;
  if (len) std::memcpy(copy.get(), text, len * sizeof(WCHAR));
  copy[len] = 0;
  return copy;
}

}  // namespace

CTWPortInfo::CTWPortInfo() { wcscpy_s(m_szDescription, tw::monitor::kPortDescription); }

CTWPortInfo::~CTWPortInfo() = default;

BOOL CTWPortInfo::InitializePort(LPCWSTR name, LPCWSTR path) {
  m_pszPortName = CopyString(name);
  m_pszPortPath = CopyString(path);
  return m_pszPortName && m_pszPortPath;
}

BOOL CTWPortInfo::Open() {
  m_wPortState |= PORT_STATE_OPEN;
  ++m_wOpenCount;
  return TRUE;
}

BOOL CTWPortInfo::Close() {
  // A close without an open must not wrap the count and keep the port busy.
  if (m_wOpenCount == 0) return TRUE;
  if (m_wOpenCount == 1) m_wPortState &= ~PORT_STATE_OPEN;
  --m_wOpenCount;
  return TRUE;
}

BOOL CTWPortInfo::Configure() {
  MessageBoxW(nullptr, u"There is nothing to configure on this port", u"Message", MB_OK | MB_SYSTEMMODAL);
  return TRUE;
}

BOOL CTWPortInfo::StartDocPort(LPCWSTR printerName, DWORD jobId, DWORD, LPBYTE docInfo) {
  Trace(u"> CTWPortInfo::StartDocPort");
  // A second start without an end is ignored.
  if (m_wPortState & PORT_STATE_DOC_STARTED) return TRUE;
  m_wPortState |= PORT_STATE_DOC_STARTED;
  m_pCurrentJob.reset();
  m_pCurrentJob.reset(new (std::nothrow) CTWJob);
  if (!m_pCurrentJob) return FALSE;
  m_dwPortJobId = jobId;
  m_pCurrentJob->SetJobID(jobId);
  m_pCurrentJob->SetPrinterName(printerName);
  tw::monitor::HandOverJobSettings(printerName, jobId, *m_pCurrentJob);
  // DOC_INFO_1 and DOC_INFO_2 both begin with the document name.
  if (docInfo) {
    LPWSTR name;
    std::memcpy(&name, docInfo, sizeof name);
    m_pCurrentJob->SetDocumentName(name);
  }
  m_hPrinter = tw::core::PrinterHandle(printerName);
  if (m_hPrinter) {
    std::vector<BYTE> info = m_hPrinter.QueryJob(jobId, 1);
    if (!info.empty()) {
      const auto* job = reinterpret_cast<const JOB_INFO_1W*>(info.data());
      // The spooler's document name wins over the one of the document info.
      m_pCurrentJob->SetDocumentName(job->pDocument);
      FILETIME utc, local;
      SYSTEMTIME submitted;
      if (SystemTimeToFileTime(&job->Submitted, &utc) && FileTimeToLocalFileTime(&utc, &local) &&
          FileTimeToSystemTime(&local, &submitted))
        m_pCurrentJob->SetSubmitted(submitted);
    }
  }
  return TRUE;
}

BOOL CTWPortInfo::WritePort(LPBYTE buffer, DWORD count, LPDWORD written) {
  if (!buffer || count == 0) {
    if (written) *written = 0;
    return TRUE;
  }
  if (!m_pCurrentJob) return FALSE;
  DWORD consumed = 0;
  const bool failedBefore = m_pCurrentJob->Document().Failed();
  if (!m_pCurrentJob->WritePort(buffer, count, &consumed)) {
    if (!failedBefore)
      LogMessageCapture(TWLOG_ERROR, u"! Error: Job %u of printer %s failed during WritePort: the job is cancelled",
                        m_dwPortJobId, m_pCurrentJob->PrinterName());
    if (m_hPrinter) m_hPrinter.ControlJob(m_dwPortJobId, JOB_CONTROL_CANCEL);
  }
  // The spooler always sees the whole block accepted.
  if (written) *written = count;
  return TRUE;
}

BOOL CTWPortInfo::EndDocPort() {
  Trace(u"> CTWPortInfo::EndDocPort");
  std::vector<BYTE> info;
  if (m_hPrinter) info = m_hPrinter.QueryJob(m_dwPortJobId, 1);
  const auto* job = info.empty() ? nullptr : reinterpret_cast<const JOB_INFO_1W*>(info.data());
  if (m_pCurrentJob) {
    const tw::job::DocumentState& document = m_pCurrentJob->Document();
    const bool deleted = job && (job->Status & JOB_STATUS_DELETING);
    // A document that failed during WritePort ends here too, with the abort
    // (its own cancel may have marked the job deleted); one that has ended
    // was reported finished and is not aborted after that.
    if ((deleted || document.Failed()) && !document.Ended()) {
      LogMessageCapture(TWLOG_ERROR, u"! Error: Job %u of printer %s aborted: %s", m_dwPortJobId,
                        m_pCurrentJob->PrinterName(),
                        document.Failed() ? u"failed during WritePort" : u"deleted in the queue");
      if (m_pCurrentJob->GroupFilesEnabled()) m_pCurrentJob->WritePrintStatus(u"Print job was aborted");
      m_pCurrentJob->AbortDoc();
      SendMessageToClients(*m_pCurrentJob, 5, u"Print job was aborted");
    }
  }
  if (m_hPrinter) {
    // The job always leaves the queue when its document ends.
    m_hPrinter.ControlJob(m_dwPortJobId, JOB_CONTROL_CANCEL);
    if (m_pCurrentJob) SendStatistics(*m_pCurrentJob, job);
    m_hPrinter.Close();
  }
  m_wPortState &= ~PORT_STATE_DOC_STARTED;
  m_pCurrentJob.reset();
  return TRUE;
}
