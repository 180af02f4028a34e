// Stand-in for the job's page processing until it is built: pages are
// counted and reported to the operation hook, nothing is rendered.
#include "job/job/job_observer.h"
#include "job/job/tw_job.h"

BOOL CTWJob::StartPage() {
  tw::job::NotifyOperation(u"StartPage", 0);
  // A refused or cancelled document fails at its first page.
  if (m_bAbortPrinting || m_bCancelledBeforeFirstPage) return FALSE;
  ++m_dwSpoolPage;
  ++m_dwActPage;
  return TRUE;
}

BOOL CTWJob::EndPage(HGLOBAL) {
  tw::job::NotifyOperation(u"EndPage", m_dwPageDataSize);
  if (m_bAbortPrinting) return FALSE;
  m_bDocumentBlank = FALSE;
  return TRUE;
}

BOOL CTWJob::EndPageRaw(HGLOBAL) {
  tw::job::NotifyOperation(u"EndPageRaw", m_dwPageDataSize);
  if (m_bAbortPrinting) return FALSE;
  m_bDocumentBlank = FALSE;
  return TRUE;
}

BOOL CTWJob::AddText(LONG, LONG, const WCHAR*) {
  tw::job::NotifyOperation(u"TextOut", 0);
  return TRUE;
}
