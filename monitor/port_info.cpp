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

// JOB_INFO_1 of a job: size query, then the call. Empty when not read.
std::vector<BYTE> QueryJobInfo1(HANDLE printer, DWORD jobId, bool onlyAfterShortBuffer) {
  DWORD needed = 0;
  BOOL ok = GetJobW(printer, jobId, 1, nullptr, 0, &needed);
  if (ok || needed == 0) return {};
  if (onlyAfterShortBuffer && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
  std::vector<BYTE> info(needed, 0);
  if (!GetJobW(printer, jobId, 1, info.data(), needed, &needed)) return {};
  return info;
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
  if (!printerName || !OpenPrinterW(const_cast<LPWSTR>(printerName), &m_hPrinter, nullptr))
    m_hPrinter = INVALID_HANDLE_VALUE;
  if (m_hPrinter != INVALID_HANDLE_VALUE) {
    std::vector<BYTE> info = QueryJobInfo1(m_hPrinter, jobId, false);
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
  if (!m_pCurrentJob->WritePort(buffer, count, &consumed) && m_hPrinter != INVALID_HANDLE_VALUE)
    SetJobW(m_hPrinter, m_dwPortJobId, 0, nullptr, JOB_CONTROL_CANCEL);
  // The spooler always sees the whole block accepted.
  if (written) *written = count;
  return TRUE;
}

BOOL CTWPortInfo::EndDocPort() {
  Trace(u"> CTWPortInfo::EndDocPort");
  if (m_hPrinter != INVALID_HANDLE_VALUE) {
    std::vector<BYTE> info = QueryJobInfo1(m_hPrinter, m_dwPortJobId, true);
    const auto* job = info.empty() ? nullptr : reinterpret_cast<const JOB_INFO_1W*>(info.data());
    if (job && (job->Status & JOB_STATUS_DELETING) && m_pCurrentJob) {
      // The user deleted the job while it was being written.
      if (m_pCurrentJob->GroupFilesEnabled()) m_pCurrentJob->WritePrintStatus(u"Print job was aborted");
      m_pCurrentJob->AbortDoc();
      SendMessageToClients(*m_pCurrentJob, 5, u"Print job was aborted");
    }
    // The job always leaves the queue when its document ends.
    SetJobW(m_hPrinter, m_dwPortJobId, 0, nullptr, JOB_CONTROL_CANCEL);
    if (m_pCurrentJob) SendStatistics(*m_pCurrentJob, job);
    ClosePrinter(m_hPrinter);
    m_hPrinter = INVALID_HANDLE_VALUE;
  }
  m_wPortState &= ~PORT_STATE_DOC_STARTED;
  m_pCurrentJob.reset();
  return TRUE;
}
