// The writer classes CTWFile::CreateTWFileObject makes, one per row of the
// format table (output/formats/format_table.h names the class of each code).
//
// Every writer is built: CTWBMPFile and CTWMemBMPFile (output/bmp),
// CTWTIFFFile and CTWMemTIFFFile (output/tiff), CTWJPEGFile and
// CTWJPEGLabFile (output/jpeg), CTWPNGFile (output/png), CTWGIFFile
// (output/gif), the HTML writers (output/html), CTWPCXFile and CTWDCXFile
// (output/pcx), CTWCALSFile and CTWRawFile (output/ccitt), CTWIOCAFile and
// CTWMODCAFile (output/modca), CTWEMFFile and CTWMemEMFFile (output/emf),
// and the PDF writers CTWPDFFile, CTWVectorPDFFile, CTWPDFAFile (output/pdf).
//
// Adding a writer: give its class here the members it needs and define its
// operations in its own folder. The factory row exists already.
// docs/output-files.md describes the calls the job makes and the common
// shape of SaveFile.
#pragma once

#include "output/pdf/pdf_writer_state.h"
#include "output/twfile/tw_file.h"
// CTWTIFFFile, CTWMemTIFFFile (codes 3-10, 21-23, 30, 42-47).
#include "output/tiff/tiff_writers.h"

// --- raster and metafile writers ---------------------------------------------------
class CTWBMPFile : public CTWFile {
 public:
  ~CTWBMPFile() override;
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};

class CTWMemBMPFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};

// The writers that store a page image: SaveFile runs the common steps, then
// SavePageDIB stores the page DIB (which is checked there first: a DIB the
// format cannot store is the writer's "no page DIB" error).
class CTWPCXFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};

class CTWDCXFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};

class CTWCALSFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};

class CTWRawFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};

// IOCA and MO:DCA keep the TIFF library from their first page until they are deleted.
class CTWIOCAFile : public CTWFile {
 public:
  ~CTWIOCAFile() override;
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);

 private:
  tw::output::CodecLibrary m_Library;
};

class CTWMODCAFile : public CTWFile {
 public:
  ~CTWMODCAFile() override;
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);

 private:
  tw::output::CodecLibrary m_Library;
};

class CTWEMFFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};

class CTWMemEMFFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};

// Stores a page DIB in an enhanced metafile drawn on the job's printer: the
// page white, the DIB one to one. FALSE when it cannot be made (logged).
BOOL SaveDIBIntoMetaFile(CTWFile* pWriter, const WCHAR* szFileName, HGLOBAL hDIB, const WCHAR* szPrinterName);

#define TW_DECLARE_WRITER(Class)                                                               \
  class Class : public CTWFile {                                                               \
   public:                                                                                     \
    BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override; \
  }
#undef TW_DECLARE_WRITER

// The JPEG, PNG and GIF writers. SavePageDIB stores a rendered page DIB
// under a name (SaveFile's last step): a DIB that is no page DIB of the
// writer's depths fails with its "no page DIB" error.
class CTWJPEGFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};
class CTWJPEGLabFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};
class CTWPNGFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};
class CTWGIFFile : public CTWFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  BOOL SavePageDIB(HGLOBAL hDIB, const WCHAR* szFileName);
};

// --- HTML beside a page image (codes 26-29) ----------------------------------------
// The HTML page of an image writer; it adds no virtual operation.
class CTWHTMLFile {
 public:
  // Writes the page that shows `szImageFile` (titled with the job's
  // document name) to `szHtmlFile`, created anew. TRUE without writing while
  // the job's sheet is incomplete; FALSE (reported, unless a name is missing)
  // when the page cannot be made, created or written.
  BOOL SaveHTMLFile(const WCHAR* szHtmlFile, const WCHAR* szImageFile, CTWJob* pJob);
};

class CTWHTMLGIFFile : public CTWGIFFile, public CTWHTMLFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};
class CTWHTMLPNGFile : public CTWPNGFile, public CTWHTMLFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};
class CTWHTMLJPEGFile : public CTWJPEGFile, public CTWHTMLFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};
class CTWHTMLBMPFile : public CTWBMPFile, public CTWHTMLFile {
 public:
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
};

// --- PDF (codes 20, 35 image; 36, 40, 41 vector; 38 PDF/A) --------------------------
class CTWPDFFile : public CTWFile {
 public:
  ~CTWPDFFile() override;
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  virtual BOOL SetPdfEncryption(const TarnwickDEVMODE& record);
  virtual BOOL SetPdfSettings(const TarnwickDEVMODE& record);
  // One multipage image PDF for the document.
  BOOL OpenPDFFile(const WCHAR* szFileName);
  BOOL SavePDFPage(HGLOBAL hData, DWORD dwSize, BOOL bEMF);
  BOOL ClosePDFFile();

 private:
  // Releases the document handle; FALSE when the library refused it (2).
  bool ReleaseDocument();
  tw::output::ImagePdfState m_Pdf;
};

class CTWVectorPDFFile : public CTWFile {
 public:
  ~CTWVectorPDFFile() override;
  BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) override;
  virtual BOOL SetPdfEncryption(const TarnwickDEVMODE& record);
  virtual BOOL SetPdfSettings(const TarnwickDEVMODE& record);
  // Every vector document: the interface is made at the start of the
  // document and ended with it; pages of a multipage document go to SavePDFPage.
  BOOL InitializeInterface(const TarnwickDEVMODE& record, const WCHAR* szFileName, BOOL bMultipage);
  BOOL SavePDFPage(HGLOBAL hData, DWORD dwSize, BOOL bEMF);
  BOOL UninitializeInterface(const TarnwickDEVMODE& record);
  // The writer reported an error during the document (its status is then not "finished successfully").
  bool ErrorReported() const { return m_Pdf.anyErrorReported; }

 protected:
  // The document settings both vector writers share: colour depth,
  // dithering, intensity and the compression values (of the PDF or PDF/A keys).
  void SetImageSettings(const TarnwickDEVMODE& record, bool pdfa);
  // The document information of the PDF or PDF/A keys.
  void SetDocumentInfo(const TarnwickDEVMODE& record, bool pdfa);
  // Flipping, the switches of the given keys and the viewer settings.
  void SetViewerSettings(const TarnwickDEVMODE& record, bool pdfa);
  tw::output::VectorPdfState m_Pdf;

 private:
  enum class Start { Started, Reported, Failed };
  // The interface, its document and settings, and the appending rule; FALSE
  // after reporting (`who` names the caller in the message).
  bool CreateDocument(const TarnwickDEVMODE& record, const WCHAR* who);
  // Starts the save of the document to memory or to `name`.
  Start StartSave(const WCHAR* name);
  // The page's metafiles played into the document and the page written
  // (companion rasters, metafiles, watermarks, layers, size, write).
  BOOL WritePage(HGLOBAL hData, BOOL bEMF, const WCHAR* who, bool sheetComplete);
  void DestroyInterface();
  // Reports an internal error and remembers that one was reported.
  BOOL Report(int number, const char* file, int line);
};

class CTWPDFAFile : public CTWVectorPDFFile {
 public:
  BOOL SetPdfSettings(const TarnwickDEVMODE& record) override;
  // A PDF/A file is never encrypted, also when a split document starts anew.
  BOOL SetPdfEncryption(const TarnwickDEVMODE& record) override;
};
