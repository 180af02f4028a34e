// TwPdfInterface.dll: the PDF engine's interface object CPDFInt, which
// makes the document (CPDF, tw_pdf_engine.h), carries the document-wide
// settings and plays page metafiles, and the document information
// CPDFDocInfo. Linked by the writers together with TwPdfEngine.dll.
//
//   CPDFInt* pdf = CPDFInt::CreateInterface();
//   CPDF* doc = pdf->GetPDF();
//   ... settings on pdf and doc, doc->StartSavePDFFileW(name) ...
//   pdf->LoadMetaFile(emf); pdf->ExecuteMetaFile(1, page, TRUE); pdf->CloseMetaFile();
//   ... doc->WritePageToPDFFile(doc->GetPage(page)); doc->EndSavePDFFile() ...
//   pdf->Destroy();  // also destroys the CPDF
//
// Settings and what the engine does with them:
// - SetStreamFilter: 0 leaves every stream uncompressed, any other value
//   (the default 105) compresses with Flate.
// - SetColorImageFilter: 207 stores images of more than one colour as JPEG
//   at SetColorImageQuality (1..100); other values Flate (lossless).
// - SetMonoImageFilter: 307 stores two-colour images as CCITT Group 4;
//   other values Flate. Images are never interpolated.
// - Fonts are always embedded as subsets with their characters mapped
//   (SetEmbedFontsByDefault, SetSubsetFonts, SetEmbedAdobeFonts,
//   SetEmbedWindowsFonts, SetEmbedCIDFontsOnly and SetForceEmbedFontsW are
//   kept and change nothing). A face whose licence forbids embedding (OS/2
//   fsType restricted or bitmap-only), unless SetEmbedLicensedFonts(TRUE),
//   and a family named in SetForbidEmbedFontsW are drawn as outlines, with
//   the text laid invisibly over them so it stays searchable.
// - SetRemoveFontTables(TRUE) (compact PDF): the embedded TrueType subsets
//   lose their hinting (cvt, fpgm, prep, hdmx, LTSH, VDMX, gasp, kern and
//   the glyphs' instructions) and objects go into object streams.
// - SetFlipping(h, v) mirrors the pages; SetDrawPageBackground(TRUE) paints
//   them white first; SetTransparency is kept (transparency is always PDF's
//   own); SetUrlParsing(TRUE) makes every URL in the text a link.
// - SetLinearized(TRUE) writes a linearized ("fast web view") file.
// - SetPdfType: 0 PDF, 2 PDF/A-2b (XMP identification, sRGB output intent,
//   every font embedded, never encrypted: encryption settings are ignored).
// - SetEncryptionW(level, user, owner): 0 none, 1 RC4 40-bit (revision 2),
//   2 RC4 128-bit (revision 3), 3 AES 128-bit (revision 4), 4 and above AES
//   256-bit (revision 6). Passwords are UTF-16: revision 6 uses their UTF-8,
//   earlier revisions PDFDocEncoding (characters it lacks become '?'). An
//   empty owner password leaves the owner password to the reader's rules
//   (the user password then also opens with full rights).
// - SetUserPermissions(print, modify, copy, annotate): revision 2 as the
//   four switches; revision 3 and later: print full or none, copy = extract,
//   modify = assemble and modify other, annotate = annotate and fill forms;
//   accessibility always allowed.
// - SetIntValue / SetBoolValue: the viewer keys of tw_pdf_engine.h.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "tw_pdf_engine.h"

#if defined(TW_PDF_INTERFACE_BUILD)
#define TW_PDF_INTERFACE_API __attribute__((visibility("default")))
#else
#define TW_PDF_INTERFACE_API
#endif

// The document information. The constructor's switch is kept for the
// record (the engine always writes the information as given).
class TW_PDF_INTERFACE_API CPDFDocInfo {
 public:
  explicit CPDFDocInfo(bool unicode = false);
  ~CPDFDocInfo();
  CPDFDocInfo(const CPDFDocInfo&);
  CPDFDocInfo& operator=(const CPDFDocInfo&);

  void SetTitle(LPCWSTR title);
  void SetAuthor(LPCWSTR author);
  void SetSubject(LPCWSTR subject);
  void SetKeywords(LPCWSTR keywords);
  void SetCreator(LPCWSTR creator);

 private:
  friend class CPDFInt;
  struct Values;
  std::unique_ptr<Values> m_values;
};

class TW_PDF_INTERFACE_API CPDFInt {
 public:
  // A new interface with its document; null when it cannot be made.
  static CPDFInt* CreateInterface();
  // Destroys the interface and its document (an unfinished save is
  // abandoned). An interface this library does not know is left alone.
  void Destroy();
  // The document; null when it cannot be had.
  CPDF* GetPDF();
  int GetLastError() const;

  // The metafile of the next ExecuteMetaFile (a copy is kept; the caller
  // keeps and deletes its own). FALSE (PDF_ERROR_METAFILE) for a handle that
  // is not a usable metafile.
  BOOL LoadMetaFile(HENHMETAFILE metafile);
  // Plays the loaded metafile onto PDF page `pageNumber` (mode 1; other
  // modes are refused) when that page is written: with `newPage` a new page
  // is made there first, of the metafile's size and resolution; without, it
  // goes onto the open page, scaled from its resolution to the page's.
  BOOL ExecuteMetaFile(int mode, int pageNumber, BOOL newPage);
  BOOL CloseMetaFile();

  BOOL SetEncryptionW(int level, LPCWSTR userPassword, LPCWSTR ownerPassword);
  void SetUserPermissions(BOOL print, BOOL modify, BOOL copy, BOOL annotate);

  void SetStreamFilter(int filter);
  void SetColorImageFilter(int filter);
  void SetColorImageQuality(int quality);
  void SetMonoImageFilter(int filter);
  void SetDocInfo(const CPDFDocInfo* info);

  void SetEmbedFontsByDefault(BOOL embed);
  void SetSubsetFonts(BOOL subset);
  void SetRemoveFontTables(BOOL remove);
  void SetEmbedLicensedFonts(BOOL embed);
  void SetEmbedAdobeFonts(BOOL embed);
  void SetEmbedWindowsFonts(BOOL embed);
  void SetEmbedCIDFontsOnly(BOOL cidOnly);
  // Family names; FALSE (PDF_ERROR_ARGUMENT) for a null list with a count.
  BOOL SetForceEmbedFontsW(LPCWSTR* names, int count);
  BOOL SetForbidEmbedFontsW(LPCWSTR* names, int count);

  void SetFlipping(BOOL horizontal, BOOL vertical);
  void SetLinearized(BOOL linearized);
  void SetTransparency(BOOL transparency);
  void SetDrawPageBackground(BOOL background);
  void SetUrlParsing(BOOL parse);
  void SetPdfType(int type);
  void SetIntValue(int key, int value);
  void SetBoolValue(int key, BOOL value);

 private:
  CPDFInt();
  ~CPDFInt();
  CPDFInt(const CPDFInt&) = delete;
  CPDFInt& operator=(const CPDFInt&) = delete;

  std::unique_ptr<CPDF> m_pPDF;
  HENHMETAFILE m_hMetaFile = nullptr;
  int m_nError = PDF_ERROR_NONE;
};
