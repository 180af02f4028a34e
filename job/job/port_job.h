// The job interface the command stream drives (slot order as the port sees it).
#pragma once

#include "job/job/document_state.h"
#include "tw/wintypes.h"

class CPortJob {
 public:
  virtual ~CPortJob() = default;
  virtual BOOL WritePort(const BYTE* buffer, DWORD count, DWORD* consumed) = 0;
  virtual BOOL SetDevMode(const BYTE* record, BOOL startOfDocument) = 0;
  virtual BOOL StartDoc() = 0;
  virtual BOOL EndDoc() = 0;
  virtual BOOL StartPage() = 0;
  virtual BOOL EndPage(HGLOBAL hData) = 0;
  virtual BOOL EndPageRaw(HGLOBAL hData) = 0;
  virtual BOOL AbortDoc() = 0;

  // Used by the command classes.
  // Where the document stands; a command out of order does not run.
  virtual tw::job::DocumentState& Document() = 0;
  virtual void SetPageDataSize(DWORD size) = 0;
  // Adds a text item at (x, y) to the job's text collector.
  virtual BOOL AddText(LONG x, LONG y, const WCHAR* text) = 0;
};
