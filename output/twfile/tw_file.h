// CTWFile: base of the output writers. The job creates the writer of its
// format at the start of the document (CreateTWFileObject), sets
// m_dwPageNo before each page, hands it the page and deletes it at the end
// of the document. The writer classes are declared in tw_writers.h.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include <windows.h>

#include "job/devmode/tarnwick_devmode.h"

class CTWJob;
class CEMFImage;

class CTWFile {
 public:
  virtual ~CTWFile();
  CTWFile(const CTWFile&) = delete;
  CTWFile& operator=(const CTWFile&) = delete;

  // The writer of the record's effective format code (the job's Save-As
  // values and merge record count when a job is given), its in-memory
  // variant when the record asks for output in memory; null for a code
  // without writer (37, 39, 49 and above). m_DevMode is a copy of the
  // record, m_dwPageNo 0, m_pJob the job.
  static std::unique_ptr<CTWFile> CreateTWFileObject(const TarnwickDEVMODE& record, CTWJob* job);

  // Stores one page: the page's block (a metafile when bEMF, else a raw
  // page DIB; (HGLOBAL)-1 asks for the last, incomplete sheet), its size and
  // the output file name. FALSE after the failure was reported.
  virtual BOOL SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) = 0;

  TarnwickDEVMODE m_DevMode{};
  DWORD m_dwPageNo = 0;
  CTWJob* m_pJob = nullptr;

  // The internal error numbers of a writer's common steps.
  struct ShapeErrors {
    int noData;
    int noName;  // 0: the writer does not check the name
    int noDib;   // 0: no page image fails without a message
  };
  enum class PageStep { Write, Done, Failed };
  // Steps 1 to 6 of every raster writer's SaveFile: the data and name
  // checks, the page rendered into `image`, a content-based name (which
  // replaces `fileName` with the job's current name), an incomplete sheet
  // (Done: nothing to write), and the page image's presence. Failed after
  // the failure was reported.
  PageStep PreparePage(CEMFImage& image, HGLOBAL hData, BOOL bEMF, const WCHAR*& fileName, const ShapeErrors& errors,
                       bool contentNames = true);

  // A page DIB a writer may hand to its encoder: a 40-byte header, width and
  // height above 0 (bottom-up rows), uncompressed pixels of one of `depths`,
  // its colour table and rows inside the block.
  static bool IsPageDIB(HGLOBAL hDIB, std::initializer_list<WORD> depths);

 protected:
  CTWFile() = default;

  // Reports an internal error through the job (when there is one); FALSE.
  BOOL Fail(int number, const char* file, int line);
  // The path check after a failed create or write: the job reports "25: ..."
  // for a bad path (TRUE is returned then), else `internalError` is reported.
  BOOL ReportWriteFailure(const WCHAR* prefix, const WCHAR* fileName, int internalError, const char* file, int line);
  // The whole SaveFile of a writer that stores the rendered page DIB: the
  // common steps (PreparePage), then `savePageDIB` with the page DIB and the
  // name to use. TRUE without writing for an incomplete sheet.
  using PageDIBStep = std::function<BOOL(HGLOBAL hDIB, const WCHAR* szFileName)>;
  BOOL SaveRenderedPage(HGLOBAL hData, const WCHAR* szFileName, BOOL bEMF, const ShapeErrors& errors,
                        const PageDIBStep& savePageDIB);
};

// Resolves a codec library name (the record's TiffDllName, JpegDllName) to
// the path to load: the name itself when it names a file, else the driver
// directory's file, else its "3" folder's, else the bare file name (for the
// usual search). FALSE only when the spooler gives no driver directory.
BOOL GetCorrectDllName(const WCHAR* szDllName, WCHAR (&szResult)[MAX_PATH]);

namespace tw::output {

// The effective format code of a writer's record: with a job its merge
// record and Save-As values count.
DWORD EffectiveFormatCode(const TarnwickDEVMODE& record, const CTWJob* job);

// The codec library a writer uses.
enum class Codec { Tiff, Jpeg };

// A codec library loaded for a writer: resolved from the record's name,
// loaded by path, freed with the object. A library that cannot be loaded is
// reported ("TwTiff.dll cannot be loaded", "TwJpeg.dll cannot be loaded").
class CodecLibrary {
 public:
  CodecLibrary() = default;
  ~CodecLibrary() { Free(); }
  CodecLibrary(const CodecLibrary&) = delete;
  CodecLibrary& operator=(const CodecLibrary&) = delete;

  // Loads the record's library of `codec`; FALSE after reporting through
  // the job (job may be null: nothing is reported).
  BOOL Load(Codec codec, const TarnwickDEVMODE& record, CTWJob* job);
  // An entry point by its exported name; null when missing or not loaded.
  template <typename Proc>
  Proc Get(const char* name) const {
    return m_hModule ? reinterpret_cast<Proc>(GetProcAddress(m_hModule, name)) : nullptr;
  }
  void Free();
  bool Loaded() const { return m_hModule != nullptr; }
  // The path that was loaded.
  const WCHAR* Path() const { return m_szPath; }

 private:
  HMODULE m_hModule = nullptr;
  WCHAR m_szPath[MAX_PATH] = {};
};

// The message of a codec library that cannot be loaded.
const WCHAR* CodecNotLoadedText(Codec codec);

}  // namespace tw::output
