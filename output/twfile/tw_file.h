// CTWFile: base of the output writers. The job creates the writer of its
// format at the start of the document and hands it every page.
#pragma once

#include <memory>

#include "tw/wintypes.h"

class CTWJob;

class CTWFile {
 public:
  virtual ~CTWFile() = default;
  // The writer of a format code; null for a format without writer.
  static std::unique_ptr<CTWFile> CreateTWFileObject(DWORD formatCode);

  void SetJob(CTWJob* job) { m_pJob = job; }
  // Writes one page (page data block, its size, the file name, EMF data or not).
  virtual BOOL SaveFile(HGLOBAL hData, DWORD size, const WCHAR* fileName, BOOL isEmf) = 0;
  // Document-wide output (multipage files); TRUE when the format has none.
  virtual BOOL OpenDocument(const WCHAR* fileName) = 0;
  virtual BOOL CloseDocument() = 0;

 protected:
  CTWJob* m_pJob = nullptr;
};
